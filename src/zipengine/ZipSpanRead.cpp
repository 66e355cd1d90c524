// Disk spanning: joining a set of parts back into one zip.

#include "TMZipDataList.h"
#include "TZipEngine.h"
#include "ZipSetSource.h"
#include "ZipSpanState.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

using namespace ZipSpanning;

// Reads exactly n bytes from the set, going on to the next part where the
// current one ends.
qint64 TZipEngine::readAcross(char* dst, qint64 n, int errorId)
{
    qint64 done = 0;
    while (done < n) {
        const qint64 got = InFile.read(dst + done, n - done);
        if (got < 0)
            throw EZipEngine(errorId, true);
        done += got;
        if (done == n)
            break;
        if (!InFile.atEnd() || CurrentDisk >= LastDiskNumber)
            throw EZipEngine(errorId, true);
        OpenDisk(CurrentDisk + 1);
    }
    return done;
}

// Copies the set's bytes from where it is read up to (disk, offset).
void TZipEngine::copyAcross(QFile& out, int targetDisk, qint64 targetOffset, int errorId)
{
    SpanState& s = span();
    QByteArray buffer;
    for (;;) {
        const qint64 pos = InFile.pos();
        if (CurrentDisk > targetDisk || (CurrentDisk == targetDisk && pos > targetOffset))
            throw EZipEngine(errorId, true);
        if (CurrentDisk == targetDisk && pos == targetOffset)
            return;
        const qint64 size = InFile.size();
        // A part that ends before what the directory says lies on it is cut short.
        if (CurrentDisk == targetDisk && size < targetOffset && pos >= size)
            throw EZipEngine(errorId, true);
        const qint64 partEnd = CurrentDisk == targetDisk ? std::min(targetOffset, size) : size;
        if (pos >= partEnd) {
            if (CurrentDisk >= LastDiskNumber)
                throw EZipEngine(errorId, true);
            OpenDisk(CurrentDisk + 1);
            continue;
        }
        const qint64 n = std::min(kCopyChunk, partEnd - pos);
        buffer.resize(n);
        if (InFile.read(buffer.data(), n) != n)
            throw EZipEngine(errorId, true);
        if (out.write(buffer.constData(), n) != n)
            throw EZipEngine(ZipMsg::DS_NoWrite, true);
        if (s.progress)
            progress(ProgressBytes, QString(), n);
    }
}

// Steps back from disk to disk until the one holding the end record is in.
void TZipEngine::findLastPart()
{
    SpanState& s = span();
    for (int pass = 0;; ++pass) {
        s.newDisk = pass > 0;
        const TDriveType drive = PromptDisk(false);
        CloseInFile();
        if (QFileInfo(zipFileName_).isFile() && ReadEndRecord(false))
            return;
        // A fixed drive has no other disk to offer: the second pass says what was given.
        if (drive != DriveRemovable && pass > 0) {
            raiseIfEarlierPart(zipFileName_);
            throw EZipEngine(ZipMsg::DS_NoValidZip, true);
        }
    }
}

// Takes the set ZipFileName is a part of as the set being read.
void TZipEngine::beginSetRead()
{
    SpanState& s = span();
    DriveRoot = DriveRootOf(zipFileName_);
    CurrentDisk = -1;
    s.typedRoot.clear();
    s.inArchive.clear();
    PartNumberOf(zipFileName_, &s.inArchive);
    if (s.inArchive.isEmpty())
        s.inArchive = zipFileName_;
}

// Finds the last part and reads its end record, comment and every central
// header (which may run on over the following parts).
void TZipEngine::readSetDirectory(SetDirectory& d)
{
    SpanState& s = span();
    findLastPart();
    s.date = QFileInfo(InFile).lastModified();
    d.end = EndRecord;
    const ZipEndOfCentral& end = d.end;
    if (end.TotalEntries == 0xFFFF || end.CentralSize == 0xFFFFFFFFu || end.CentralOffset == 0xFFFFFFFFu)
        throw EZipEngine(ZipMsg::DS_NotSupported, true);
    // A numbered part holds the end record of the disk its number names: one
    // that says it is another disk leaves parts of the set unaccounted for.
    const int32_t number = PartNumberOf(zipFileName_);
    if (number > 0 && number != end.ThisDiskNo + 1)
        throw EZipEngine(ZipMsg::DS_NoValidZip, true);
    LastDiskNumber = end.ThisDiskNo;
    CurrentDisk = end.ThisDiskNo;
    const qint64 endOffset = EndRecordOffset;
    if (end.ZipCommentLen) {
        if (!InFile.seek(endOffset + kEndRecordSize))
            throw EZipEngine(ZipMsg::DS_FailedSeek, true);
        d.comment = InFile.read(end.ZipCommentLen);
        if (d.comment.size() != end.ZipCommentLen)
            throw EZipEngine(ZipMsg::DS_EOArchComLen, true);
    }
    if (end.CentralDiskNo > end.ThisDiskNo)
        throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
    if (end.CentralDiskNo != CurrentDisk)
        OpenDisk(end.CentralDiskNo);
    if (!InFile.seek(end.CentralOffset))
        throw EZipEngine(ZipMsg::DS_FailedSeek, true);

    d.list = TMZipDataList(end.TotalEntries);
    d.records.assign(end.TotalEntries, QByteArray());
    d.total = 0;
    for (int i = 0; i < end.TotalEntries; ++i) {
        unsigned char h[kCentralHeaderSize];
        readAcross(reinterpret_cast<char*>(h), kCentralHeaderSize, ZipMsg::DS_CEHBadRead);
        if (GetLE32(h) != ZipSig::CentralHeader)
            throw EZipEngine(ZipMsg::DS_CEHWrongSig, true);
        const int nameLen = GetLE16(h + 28), extraLen = GetLE16(h + 30), commentLen = GetLE16(h + 32);
        QByteArray record(kCentralHeaderSize + nameLen + extraLen + commentLen, '\0');
        std::memcpy(record.data(), h, kCentralHeaderSize);
        readAcross(record.data() + kCentralHeaderSize, nameLen, ZipMsg::DS_CENameLen);
        readAcross(record.data() + kCentralHeaderSize + nameLen, extraLen, ZipMsg::DS_CEExtraLen);
        readAcross(record.data() + kCentralHeaderSize + nameLen + extraLen, commentLen, ZipMsg::DS_CECommentLen);
        const uint32_t compressed = GetLE32(h + 20), offset = GetLE32(h + 42);
        if (compressed == 0xFFFFFFFFu || offset == 0xFFFFFFFFu || GetLE16(h + 34) == 0xFFFF)
            throw EZipEngine(ZipMsg::DS_NotSupported, true);
        TMZipDataItem& item = d.list.At(i);
        item.FileName = record.mid(kCentralHeaderSize, nameLen);
        item.NameLength = uint16_t(nameLen);
        item.CompressedSize = compressed;
        item.SourceDisk = GetLE16(h + 34);
        item.SourceOffset = offset;
        if (item.SourceDisk > LastDiskNumber)
            throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
        d.total += compressed + nameLen + extraLen + commentLen;
        d.records[size_t(i)] = std::move(record);
    }
    d.list.IndexSources();
}

// The directory and end record of the joined zip: every header on disk 0
// at the offset noted in NewOffset, the directory starting at `centralStart`.
QByteArray TZipEngine::joinedDirectory(SetDirectory& d, qint64 centralStart)
{
    if (centralStart > qint64(0xFFFFFFFEu))
        throw EZipEngine(ZipMsg::DS_NotSupported, true);
    QByteArray out;
    qint64 centralSize = 0;
    for (int i = 0; i < d.end.TotalEntries; ++i) {
        QByteArray& record = d.records[size_t(i)];
        const TMZipDataItem& item = d.list.At(i);
        auto* r = reinterpret_cast<unsigned char*>(record.data());
        PutLE16(r + 34, 0);
        PutLE32(r + 42, uint32_t(item.NewOffset));
        out += record;
        centralSize += record.size();
    }
    unsigned char rec[22];
    PutLE32(rec, ZipSig::EndOfCentral);
    PutLE16(rec + 4, 0);
    PutLE16(rec + 6, 0);
    PutLE16(rec + 8, d.end.TotalEntries);
    PutLE16(rec + 10, d.end.TotalEntries);
    PutLE32(rec + 12, uint32_t(centralSize));
    PutLE32(rec + 16, uint32_t(centralStart));
    PutLE16(rec + 20, uint16_t(d.comment.size()));
    out += QByteArray(reinterpret_cast<const char*>(rec), 22);
    out += d.comment;
    return out;
}

int32_t TZipEngine::ReadSpan(const QString& folder, QString& tempZip)
{
    SpanState& s = span();
    beginSetRead();
    BeginBusy();
    tempZip = tempZipName(folder);
    QFile out(tempZip);
    bool made = false;
    const int32_t result = spanResult([&]() {
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (!QFileInfo(QFileInfo(tempZip).path()).isDir())
                throw EZipEngine(ZipMsg::DS_NoTempFile, true);
            throw EZipEngine(ZipMsg::DS_NoOutFile, true);
        }
        made = true;
        SetDirectory d;
        readSetDirectory(d);
        const ZipEndOfCentral& end = d.end;
        TMZipDataList& list = d.list;

        OpenDisk(0);
        s.progress = true;
        progress(ProgressTotalFiles, QString(), end.TotalEntries);
        progress(ProgressTotalSize, QString(), d.total);
        unsigned char marker[4];
        if (InFile.read(reinterpret_cast<char*>(marker), 4) != 4
            || (GetLE32(marker) != ZipSig::SpanMarker && GetLE32(marker) != kOnePartMarker))
            throw EZipEngine(ZipMsg::DS_ExtWrongSig, true);

        // Each entry's bytes must hold its header and data at least: less
        // means a part before its end came up short.
        const TMZipDataItem* previous = nullptr;
        qint64 previousLength = 0;
        auto checkPrevious = [&]() {
            if (previous && out.pos() - previous->NewOffset < previousLength)
                throw EZipEngine(ZipMsg::DS_ZipData, true);
        };
        for (const int index : list.SourceOrder()) {
            TMZipDataItem& item = list.At(index);
            copyAcross(out, item.SourceDisk, item.SourceOffset, ZipMsg::DS_LOHBadRead);
            checkPrevious();
            unsigned char h[30];
            readAcross(reinterpret_cast<char*>(h), 30, ZipMsg::DS_LOHBadRead);
            if (GetLE32(h) != ZipSig::LocalHeader)
                throw EZipEngine(ZipMsg::DS_LOHWrongSig, true);
            const int nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            QByteArray name(nameLen, '\0');
            readAcross(name.data(), nameLen, ZipMsg::DS_LONameLen);
            if (name != item.FileName)
                throw EZipEngine(ZipMsg::DS_EntryLost, true);
            item.DiskNo = 0;
            item.NewOffset = out.pos();
            if (item.NewOffset > qint64(0xFFFFFFFEu))
                throw EZipEngine(ZipMsg::DS_NotSupported, true);
            const QString shown = QString::fromUtf8(name);
            copyingMessage(shown);
            progress(ProgressNewFile, shown,
                     qint64(item.CompressedSize) + nameLen + extraLen + 30 + ((GetLE16(h + 6) & 8) ? 16 : 0));
            if (out.write(reinterpret_cast<const char*>(h), 30) != 30 || out.write(name) != nameLen)
                throw EZipEngine(ZipMsg::DS_LOHBadWrite, true);
            if (s.progress)
                progress(ProgressBytes, QString(), 30 + nameLen);
            previous = &item;
            previousLength = 30 + nameLen + extraLen + qint64(item.CompressedSize);
        }
        // The last entry's data runs up to the directory.
        copyAcross(out, end.CentralDiskNo, end.CentralOffset, ZipMsg::DS_ZipData);
        checkPrevious();
        s.progress = false;

        // Second pass: the headers, now all on disk 0 at their new offsets.
        const QByteArray directory = joinedDirectory(d, out.pos());
        if (out.write(directory) != directory.size())
            throw EZipEngine(ZipMsg::DS_CEHBadWrite, true);
        if (!out.flush())
            throw EZipEngine(ZipMsg::DS_NoWrite, true);
    });
    s.progress = false;
    progress(ProgressEnd, QString(), 0);
    CloseInFile();
    if (out.isOpen()) {
        if (s.date.isValid())
            out.setFileTime(s.date, QFileDevice::FileModificationTime);
        out.close();
    }
    if (result != 0) {
        if (made)
            QFile::remove(tempZip);
        tempZip.clear();
    }
    EndBusy();
    return result;
}

// The same checks as joining, but the parts are only mapped: the set is read
// in place as one zip through `set`.
int32_t TZipEngine::MapSpan(ZipSetSource& set)
{
    beginSetRead();
    BeginBusy();
    const int32_t result = spanResult([&]() {
        SetDirectory d;
        readSetDirectory(d);
        CloseInFile();
        const ZipEndOfCentral& end = d.end;
        for (int disk = 0; disk <= LastDiskNumber; ++disk) {
            CurrentDisk = disk;
            if (!set.OpenPart(PartFileName(span().inArchive, disk + 1)))
                throw EZipEngine(ZipMsg::DS_NoInFile, true);
        }
        unsigned char marker[4];
        if (!set.ReadPart(0, 0, marker, 4)
            || (GetLE32(marker) != ZipSig::SpanMarker && GetLE32(marker) != kOnePartMarker))
            throw EZipEngine(ZipMsg::DS_ExtWrongSig, true);
        // Where each part starts in the joined zip (the marker is left out).
        std::vector<qint64> base(size_t(LastDiskNumber) + 1);
        base[0] = -4;
        for (int disk = 1; disk <= LastDiskNumber; ++disk)
            base[size_t(disk)] = base[size_t(disk) - 1] + set.PartSize(disk - 1);
        // The offset in the joined zip of (disk, offset), which must lie at or
        // after `at` and within its part.
        auto joinedAt = [&](int disk, qint64 offset, qint64 at, int errorId) {
            const qint64 joined = base[size_t(disk)] + offset;
            if (set.PartSize(disk) < offset || joined < at || (disk == 0 && offset < 4))
                throw EZipEngine(errorId, true);
            return joined;
        };

        // Each entry's bytes must hold its header and data at least: less
        // means a part before its end came up short.
        const TMZipDataItem* previous = nullptr;
        qint64 previousLength = 0;
        qint64 at = 0;
        auto checkPrevious = [&]() {
            if (previous && at - previous->NewOffset < previousLength)
                throw EZipEngine(ZipMsg::DS_ZipData, true);
        };
        for (int disk = 0; disk <= end.CentralDiskNo; ++disk) {
            const qint64 size = set.PartSize(disk);
            set.AddPiece(disk, disk == 0 ? 4 : 0, disk == end.CentralDiskNo ? std::min<qint64>(end.CentralOffset, size) : size);
        }
        for (const int index : d.list.SourceOrder()) {
            TMZipDataItem& item = d.list.At(index);
            at = joinedAt(item.SourceDisk, item.SourceOffset, at, ZipMsg::DS_LOHBadRead);
            checkPrevious();
            unsigned char h[30];
            if (!set.ReadAt(uint64_t(at), h, 30))
                throw EZipEngine(ZipMsg::DS_LOHBadRead, true);
            if (GetLE32(h) != ZipSig::LocalHeader)
                throw EZipEngine(ZipMsg::DS_LOHWrongSig, true);
            const int nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            QByteArray name(nameLen, '\0');
            if (!set.ReadAt(uint64_t(at) + 30, name.data(), size_t(nameLen)))
                throw EZipEngine(ZipMsg::DS_LONameLen, true);
            if (name != item.FileName)
                throw EZipEngine(ZipMsg::DS_EntryLost, true);
            item.DiskNo = 0;
            item.NewOffset = at;
            if (item.NewOffset > qint64(0xFFFFFFFEu))
                throw EZipEngine(ZipMsg::DS_NotSupported, true);
            previous = &item;
            previousLength = 30 + nameLen + extraLen + qint64(item.CompressedSize);
            at += 30 + nameLen;
        }
        // The last entry's data runs up to the directory.
        at = joinedAt(end.CentralDiskNo, end.CentralOffset, at, ZipMsg::DS_ZipData);
        checkPrevious();
        set.AddTail(joinedDirectory(d, at));
    });
    CloseInFile();
    EndBusy();
    return result;
}
