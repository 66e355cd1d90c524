// Disk spanning: copying one zip out as a set of parts, numbered files on a
// fixed drive, one after another on a removable one.

#include "TMZipDataList.h"
#include "TZipEngine.h"
#include "TZipEngineUser.h"
#include "ZipSpanState.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

using namespace ZipSpanning;

// ---- writing parts ----------------------------------------------------------------

// The part's buffered bytes reach the file here: a part whose last write
// failed is never taken for whole.
void TZipEngine::flushPart()
{
    SpanState& s = span();
    if (s.out.isOpen() && !s.out.flush())
        throw EZipEngine(ZipMsg::DS_NoWrite, true);
}

void TZipEngine::closePart()
{
    SpanState& s = span();
    if (!s.out.isOpen())
        return;
    if (s.date.isValid())
        s.out.setFileTime(s.date, QFileDevice::FileModificationTime);
    s.out.close();
}

// Deletes every file and folder on the disk, deepest first, once the user
// agreed. Only a set written at the top of the medium erases it: nothing
// outside the folder the set goes to is ever removed.
void TZipEngine::eraseDisk()
{
    const QString folder = QDir::cleanPath(QFileInfo(span().outArchive).absolutePath());
    if (folder != QDir::cleanPath(DriveRoot)) {
        TraceLine(QStringLiteral("EraseFloopy - not erased, the set goes into ") + folder);
        return;
    }
    if (ConfirmErase && User()) {
        if (User()->Ask(QStringLiteral("Erase ") + DriveRoot, PromptButtons::YesNo) != PromptButton::Yes)
            throw EZipEngine(ZipMsg::DS_Canceled, false);
    }
    QDir root(DriveRoot);
    const QFileInfoList items = root.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& item : items) {
        const QString path = item.absoluteFilePath();
        if (item.isDir() && !item.isSymLink()) {
            TraceLine(QStringLiteral("EraseFloopy - Removing ") + path);
            if (!Platform::RemoveFolderTree(path))
                throw EZipEngine(ZipMsg::DS_Canceled, true);
        } else {
            TraceLine(QStringLiteral("EraseFloopy - Deleting ") + path);
            if (!QFile::remove(path))
                throw EZipEngine(ZipMsg::DS_Canceled, true);
        }
    }
}

void TZipEngine::openNextPart()
{
    SpanState& s = span();
    for (;;) {
        const TDriveType drive = PromptDisk(true);
        const QString name = PartFileName(s.outArchive, CurrentDisk + 1);
        if (drive == DriveRemovable && (AddOptions & AddDiskSpanErase)
            && (!OnGetNextDisk || s.lastStatusAnswer == zdaErase))
            eraseDisk();
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink()) {
            const qint64 free = Platform::FreeOnDisk(name);
            const qint64 total = Platform::DiskSizeOf(name);
            const int32_t status = zdsSameFileName | (total != free ? zdsHasFiles : zdsEmpty);
            int32_t action = zdaCancel;
            if (OnStatusDisk) {
                OnStatusDisk(*this, CurrentDisk, name, status, action);
                s.lastStatusAnswer = action;
            } else if (Unattended) {
                throw EZipEngine(ZipMsg::DS_NoUnattSpan, true);
            } else if (User()) {
                const QString text = ZipFormat(
                    LoadZipStr(ZipMsg::DS_AskDeleteFile, QStringLiteral("Overwrite previous file %s")), {name});
                switch (User()->Ask(text, PromptButtons::YesNoCancel)) {
                case PromptButton::Yes: action = zdaOk; break;
                case PromptButton::No: action = zdaReject; break;
                default: action = zdaCancel; break;
                }
            }
            if (action == zdaCancel)
                throw EZipEngine(ZipMsg::DS_Canceled, false);
            if (action == zdaReject) {
                s.newDisk = true;
                continue;
            }
            // A part of that name is replaced, never written through a link;
            // a staged one only once the whole set is written.
            if (!s.staged)
                QFile::remove(name);
        }
        const QString file = writingPart(CurrentDisk);
        s.out.setFileName(file);
        if (!s.out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw EZipEngine(ZipMsg::DS_NoOutFile, true);
        qint64 free = Platform::FreeOnDisk(name);
        if (MaxVolumeSize > 0 && (free < 0 || free > MaxVolumeSize))
            free = MaxVolumeSize;
        if (CurrentDisk == 0)
            free -= KeepFreeOnDisk1;
        if (free < MinFreeVolumeSize || free <= 0) {
            s.out.close();
            QFile::remove(file);
            if (Unattended)
                // On a fixed drive no other disk can be offered: the room is what is wrong.
                throw EZipEngine(drive == DriveRemovable ? ZipMsg::DS_NoUnattSpan : ZipMsg::DS_NoDiskSpace, true);
            bool retry = false;
            if (OnStatusDisk) {
                int32_t action = zdaCancel;
                OnStatusDisk(*this, CurrentDisk, name, zdsNotEnoughSpace, action);
                s.lastStatusAnswer = action;
                retry = action != zdaCancel;
            } else if (User()) {
                retry = User()->Ask(LoadZipStr(ZipMsg::DS_NoDiskSpace), PromptButtons::RetryCancel) == PromptButton::Retry;
            } else {
                throw EZipEngine(ZipMsg::DS_NoMem, true);
            }
            if (!retry)
                throw EZipEngine(ZipMsg::DS_Canceled, false);
            s.newDisk = true;
            continue;
        }
        s.diskFree = free;
        s.partBytes = 0;
        if (drive == DriveRemovable && !s.labelNoticeShown) {
            // This system cannot label a disk; the part's number is in its name.
            s.labelNoticeShown = true;
            showMessage(LoadZipStr(ZipMsg::DS_NoVolume));
            TraceLine(LoadZipStr(ZipMsg::DS_NoVolume));
        }
        return;
    }
}

// Closes the part in hand; the next write opens the one after it.
void TZipEngine::nextPart()
{
    flushPart();
    closePart();
    ++CurrentDisk;
    span().newDisk = true;
}

void TZipEngine::reserveRoom(qint64 mustFit)
{
    SpanState& s = span();
    for (;;) {
        if (!s.out.isOpen())
            openNextPart();
        // What cannot fit even on an empty part is split after all.
        if (mustFit <= 0 || s.diskFree >= mustFit || s.partBytes == 0)
            return;
        nextPart();
    }
}

void TZipEngine::WriteSplit(const char* data, qint64 length, qint64 mustFit)
{
    SpanState& s = span();
    LetWindowWork();
    if (CancelFlag)
        throw EZipEngine(ZipMsg::DS_Canceled, false);
    reserveRoom(mustFit);
    for (;;) {
        const qint64 n = std::min(length, s.diskFree);
        if (n > 0) {
            if (s.out.write(data, n) != n)
                throw EZipEngine(ZipMsg::DS_NoWrite, true);
            if (s.progress)
                progress(ProgressBytes, QString(), n);
            s.partBytes += n;
            s.diskFree -= n;
            data += n;
            length -= n;
        }
        if (length == 0)
            return;
        nextPart();
        reserveRoom(0);
    }
}

// ---- the copies ------------------------------------------------------------------

int32_t TZipEngine::spanResult(const std::function<void()>& work)
{
    try {
        work();
        return 0;
    } catch (const EZipEngine& e) {
        IssueException(e);
        return -7;
    } catch (const std::bad_alloc&) {
        IssueMessage(ZipMsg::GE_NoMem);
        return -8;
    } catch (const std::exception& e) {
        IssueMessage(ZipMsg::DS_ErrorUnknown, QString::fromLocal8Bit(e.what()));
        return -9;
    }
}

// Takes `destination` as the set being written, from its first part.
void TZipEngine::beginSetWrite(const QString& destination)
{
    SpanState& s = span();
    DriveRoot = DriveRootOf(destination);
    CurrentDisk = 0;
    s.outArchive = destination;
    s.diskFree = 0;
    s.partBytes = 0;
    s.newDisk = true;
    s.labelNoticeShown = false;
    s.progress = false;
    s.typedRoot.clear();
    s.date = QDateTime();
    s.staged.reset();
    if (driveTypeOf(DriveRoot) != DriveRemovable)
        s.staged = std::make_unique<ZipSpanParts>(destination);
}

QString TZipEngine::writingPart(int disk)
{
    SpanState& s = span();
    return s.staged ? s.staged->Writing(disk) : PartFileName(s.outArchive, disk + 1);
}

void TZipEngine::commitSetParts()
{
    SpanState& s = span();
    if (!s.staged)
        return;
    QString failed;
    if (!s.staged->Commit(CurrentDisk, failed)) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        throw EZipEngine(LoadZipStr(ZipMsg::DS_NoOutFile) + QStringLiteral(": ") + failed + QStringLiteral(" (") +
                             reason + QLatin1Char(')'),
                         ZipMsg::DS_NoOutFile, true);
    }
    s.staged.reset();
}

void TZipEngine::discardSetParts()
{
    SpanState& s = span();
    closePart();
    if (s.staged)
        s.staged->Discard();
    s.staged.reset();
}

// Writes the central headers (their disk numbers and offsets already those
// of the set) and the end record, neither straddling two parts.
void TZipEngine::writeSetDirectory(const std::vector<QByteArray>& records, const QByteArray& comment)
{
    SpanState& s = span();
    const QString central = LoadZipStr(ZipMsg::DS_CopyCentral);
    copyingMessage(central);
    qint64 centralBytes = 0;
    for (const QByteArray& record : records)
        centralBytes += record.size();
    progress(ProgressNewFile, central, centralBytes + qint64(comment.size()) + 22);
    int32_t centralDisk = -1;
    qint64 centralOffset = 0, centralSize = 0;
    int onLastDisk = 0;
    int32_t countedDisk = -1;
    for (const QByteArray& record : records) {
        reserveRoom(record.size());
        if (centralDisk < 0) {
            centralDisk = CurrentDisk;
            centralOffset = s.partBytes;
        }
        WriteSplit(record.constData(), record.size(), record.size());
        // How many headers the part in hand holds (the end record says so for its own part).
        if (CurrentDisk != countedDisk) {
            countedDisk = CurrentDisk;
            onLastDisk = 0;
        }
        ++onLastDisk;
        centralSize += record.size();
    }
    if (centralDisk < 0) {
        reserveRoom(22 + qint64(comment.size()));
        centralDisk = CurrentDisk;
        centralOffset = s.partBytes;
    }

    const qint64 endLen = 22 + qint64(comment.size());
    reserveRoom(endLen);
    if (CurrentDisk != countedDisk)
        onLastDisk = 0;
    unsigned char rec[22];
    PutLE32(rec, ZipSig::EndOfCentral);
    PutLE16(rec + 4, uint16_t(CurrentDisk));
    PutLE16(rec + 6, uint16_t(centralDisk));
    PutLE16(rec + 8, uint16_t(onLastDisk));
    PutLE16(rec + 10, uint16_t(records.size()));
    PutLE32(rec + 12, uint32_t(centralSize));
    PutLE32(rec + 16, uint32_t(centralOffset));
    PutLE16(rec + 20, uint16_t(comment.size()));
    const QByteArray endRecord = QByteArray(reinterpret_cast<const char*>(rec), 22) + comment;
    WriteSplit(endRecord.constData(), endRecord.size(), endLen);
}

int32_t TZipEngine::WriteSpan(const QString& source, const QString& destination)
{
    SpanState& s = span();
    beginSetWrite(destination);
    BeginBusy();
    QFile in(source);
    const int32_t result = spanResult([&]() {
        if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly))
            throw EZipEngine(ZipMsg::DS_NoInFile, true);
        zipdir::ReadOptions options;
        options.recover = false;
        const zipdir::Directory d = zipdir::Read(zipdir::FileSource(in.handle()), options);
        if (d.fault == zipdir::Fault::EndUnreadable)
            throw EZipEngine(ZipMsg::DS_EOCBadRead, true);
        if (!d.ok())
            throw EZipEngine(ZipMsg::DS_NoValidZip, true);
        // The part numbers and offsets of a set are 16 and 32 bits wide here.
        if (d.zip64)
            throw EZipEngine(ZipMsg::DS_NotSupported, true);
        s.date = QFileInfo(in).lastModified();
        EffectiveSize = qint64(d.archiveEnd);
        const int count = int(d.entries.size());
        TMZipDataList list(count);
        for (int i = 0; i < count; ++i) {
            const zipdir::Entry& e = d.entries[size_t(i)];
            TMZipDataItem& item = list.At(i);
            item.FileName = QByteArray::fromStdString(e.rawName);
            item.NameLength = uint16_t(e.rawName.size());
            item.CompressedSize = e.compressedSize;
            item.SourceOffset = qint64(e.localOffset);
        }
        list.IndexSources();

        const unsigned char marker[4] = {0x50, 0x4B, 0x07, 0x08};
        WriteSplit(reinterpret_cast<const char*>(marker), 4, 0);
        s.progress = true;
        progress(ProgressTotalFiles, QString(), count);
        progress(ProgressTotalSize, QString(), EffectiveSize);

        const std::vector<int> order = list.SourceOrder();
        QByteArray buffer;
        for (size_t k = 0; k < order.size(); ++k) {
            TMZipDataItem& item = list.At(order[k]);
            const qint64 end = k + 1 < order.size() ? list.At(order[k + 1]).SourceOffset : qint64(d.centralStart);
            unsigned char h[30];
            if (!in.seek(item.SourceOffset) || in.read(reinterpret_cast<char*>(h), 30) != 30)
                throw EZipEngine(ZipMsg::DS_LOHBadRead, true);
            if (GetLE32(h) != ZipSig::LocalHeader)
                throw EZipEngine(ZipMsg::DS_LOHWrongSig, true);
            const int nameLen = GetLE16(h + 26), extraLen = GetLE16(h + 28);
            const QByteArray name = in.read(nameLen);
            if (name.size() != nameLen)
                throw EZipEngine(ZipMsg::DS_LONameLen, true);
            const QByteArray extra = in.read(extraLen);
            if (extra.size() != extraLen)
                throw EZipEngine(ZipMsg::DS_LOExtraLen, true);
            const qint64 headerLen = 30 + nameLen + extraLen;
            reserveRoom(headerLen);
            item.DiskNo = CurrentDisk;
            item.NewOffset = s.partBytes;
            const QString shown = QString::fromUtf8(name);
            copyingMessage(shown);
            progress(ProgressNewFile, shown,
                     qint64(item.CompressedSize) + headerLen + ((GetLE16(h + 6) & 8) ? 16 : 0));
            const QByteArray header = QByteArray(reinterpret_cast<const char*>(h), 30) + name + extra;
            WriteSplit(header.constData(), header.size(), headerLen);
            // The data, its descriptor and whatever lies up to the next header.
            for (qint64 at = item.SourceOffset + headerLen; at < end;) {
                const qint64 n = std::min(kCopyChunk, end - at);
                buffer.resize(n);
                if (in.read(buffer.data(), n) != n)
                    throw EZipEngine(ZipMsg::DS_ZipData, true);
                WriteSplit(buffer.constData(), n, 0);
                at += n;
            }
        }

        std::vector<QByteArray> records;
        records.reserve(d.entries.size());
        for (const zipdir::Entry& e : d.entries) {
            QByteArray record = QByteArray::fromStdString(e.record);
            if (record.size() < kCentralHeaderSize)
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            const TMZipDataItem& item = list.FindHeader(0, qint64(e.localOffset), QByteArray::fromStdString(e.rawName));
            auto* r = reinterpret_cast<unsigned char*>(record.data());
            PutLE16(r + 34, uint16_t(item.DiskNo));
            PutLE32(r + 42, uint32_t(item.NewOffset));
            records.push_back(std::move(record));
        }
        writeSetDirectory(records, QByteArray::fromStdString(d.comment));
        flushPart();
    });
    s.progress = false;
    progress(ProgressEnd, QString(), 0);
    in.close();
    closePart();
    // A set on a fixed drive takes its place whole, or not at all.
    int32_t placed = result;
    if (placed == 0)
        placed = spanResult([this]() { commitSetParts(); });
    if (placed != 0)
        discardSetParts();
    EndBusy();
    return placed;
}
