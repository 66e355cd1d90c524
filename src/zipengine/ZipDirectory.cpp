// Reading the end record and the central directory.
#include "TZipEngine.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <new>

void ZipDirEntry::SetFixedFields(const unsigned char* p)
{
    MadeByVersion = p[0];
    HostSystem = p[1];
    NeededVersion = GetLE16(p + 2);
    Flags = GetLE16(p + 4);
    Method = GetLE16(p + 6);
    DateTime = GetLE32(p + 8);
    CRC32 = GetLE32(p + 12);
    CompressedSize = GetLE32(p + 16);
    UncompressedSize = GetLE32(p + 20);
    NameLength = GetLE16(p + 24);
    ExtraLength = GetLE16(p + 26);
    CommentLength = GetLE16(p + 28);
    StartDisk = GetLE16(p + 30);
    InternalAttributes = GetLE16(p + 32);
    ExternalAttributes = GetLE32(p + 34);
    LocalHeaderOffset = GetLE32(p + 38);
}

void TZipEngine::SetZipFileName(const QString& path)
{
    zipFileName_ = path;
    ReadDirectory();
}

void TZipEngine::CloseInFile()
{
    if (InFile.isOpen())
        InFile.close();
}

void TZipEngine::resetDirectoryState()
{
    Count = 0;
    DirectoryOnlyCount = 0;
    DataStart = 0;
    EffectiveSize = 0;
    RealSize = 0;
    EndRecordOffset = 0;
    DirectoryStart = 0;
    StructureWarning = false;
    Spanned = false;
    LastDiskNumber = 0;
    ArchiveComment.clear();
    CurrentDisk = 0;
    DriveRoot.clear();
    VolumeLabel.clear();
    EndRecord = ZipEndOfCentral();
}

bool TZipEngine::openDisk(int32_t diskNo)
{
    if (!OnOpenDisk)
        return false;
    return OnOpenDisk(*this, diskNo);
}

bool TZipEngine::ReadEndRecord(bool raise)
{
    ArchiveComment.clear();
    CloseInFile();
    InFile.setFileName(zipFileName_);
    if (zipFileName_.isEmpty() || QFileInfo(zipFileName_).isDir() || !InFile.open(QIODevice::ReadOnly)) {
        if (raise)
            throw EZipEngine(ZipMsg::DS_NoInFile, true);
        IssueMessage(ZipMsg::DS_FileOpen);
        return false;
    }

    // A disk of a backup set carries its number in its label: "PKBACK# 003".
    int volumeNumber = 0;
    if (VolumeLabel.startsWith(QLatin1String("PKBACK# "))) {
        bool ok = false;
        volumeNumber = VolumeLabel.mid(8, 3).trimmed().toInt(&ok);
        if (!ok)
            volumeNumber = 0;
    }

    bool firstPart = false;
    unsigned char head[8];
    if (InFile.read(reinterpret_cast<char*>(head), 8) == 8)
        firstPart = GetLE32(head) == ZipSig::SpanMarker && GetLE32(head + 4) == ZipSig::LocalHeader;
    if (firstPart)
        Spanned = true;

    const qint64 size = InFile.size();
    EffectiveSize = RealSize = size;

    unsigned char rec[kEndRecordSize];
    if (size >= kEndRecordSize && InFile.seek(size - kEndRecordSize)
        && InFile.read(reinterpret_cast<char*>(rec), kEndRecordSize) == kEndRecordSize
        && GetLE32(rec) == ZipSig::EndOfCentral) {
        EndRecord = ZipEndOfCentral::Parse(rec);
        EndRecordOffset = size - kEndRecordSize;
        return true;
    }

    // Search the tail backwards for the record nearest the end.
    const qint64 tailLen = std::min<qint64>(size, kMaxEndSearch);
    const qint64 tailStart = size - tailLen;
    if (!InFile.seek(tailStart))
        throw EZipEngine(ZipMsg::DS_FailedSeek, true);
    const QByteArray tail = InFile.read(tailLen);
    if (tail.size() != tailLen)
        throw EZipEngine(ZipMsg::DS_EOCBadRead, true);
    const auto* t = reinterpret_cast<const unsigned char*>(tail.constData());
    for (qint64 i = tailLen - (kEndRecordSize + 1); i >= 0; --i) {
        if (t[i] != 'P' || t[i + 1] != 'K' || t[i + 2] != 5 || t[i + 3] != 6)
            continue;
        EndRecord = ZipEndOfCentral::Parse(t + i);
        EndRecordOffset = tailStart + i;
        const qint64 recordEnd = EndRecordOffset + kEndRecordSize + EndRecord.ZipCommentLen;
        if (recordEnd < size) {
            EffectiveSize = recordEnd;
            // Zero fill up to a 512-byte boundary (written by some copiers and
            // transfer programs) is accepted silently.
            const qint64 garbage = size - recordEnd;
            const qint64 garbageInTail = recordEnd - tailStart;
            const bool zeroFill = garbage < 512 && size % 512 == 0
                                  && std::all_of(t + garbageInTail, t + tailLen, [](unsigned char b) { return b == 0; });
            if (!zeroFill)
                IssueMessage(ZipMsg::LI_GarbageAtEOF);
        }
        if (EndRecord.ZipCommentLen != 0) {
            const qint64 avail = tailLen - (i + kEndRecordSize);
            const qint64 len = std::min<qint64>(EndRecord.ZipCommentLen, avail);
            ArchiveComment = ZipText::FromAnsi(tail.constData() + i + kEndRecordSize, len);
        }
        return true;
    }

    if (!raise)
        return false;
    if (!firstPart && volumeNumber > 0)
        throw EZipEngine(ZipMsg::DS_NotLastInSet, volumeNumber);
    if (!firstPart)
        throw EZipEngine(ZipMsg::DS_NoValidZip, true);
    if (volumeNumber == 1)
        throw EZipEngine(ZipMsg::DS_FirstInSet, true);
    throw EZipEngine(ZipMsg::DS_FirstFileOnHD, true);
}

namespace {

// The directory's extent as the records at the end of the archive give it.
struct DirectoryExtent {
    qint64 total;  // entries
    qint64 size;   // bytes of central headers
    qint64 offset; // where the headers say the directory starts
    qint64 end;    // where the directory ends: the (Zip64) end record
};

// An archive with more entries or bytes than the end record can hold keeps
// the true values in a Zip64 end record, found through the locator just
// before the end record. Returns false (leaving `x` alone) when there is none.
bool readZip64End(QFile& f, qint64 endRecordOffset, DirectoryExtent& x)
{
    unsigned char loc[20];
    if (endRecordOffset < 20 + 56 || !f.seek(endRecordOffset - 20)
        || f.read(reinterpret_cast<char*>(loc), 20) != 20 || GetLE32(loc) != ZipSig::Zip64EndLocator)
        return false;
    // The locator's offset, or (data in front of the archive shifts it) the
    // record right before the locator.
    for (const uint64_t at : {GetLE64(loc + 8), uint64_t(endRecordOffset - 20 - 56)}) {
        unsigned char r[56];
        if (at > uint64_t(endRecordOffset - 20 - 56) || !f.seek(qint64(at))
            || f.read(reinterpret_cast<char*>(r), 56) != 56 || GetLE32(r) != ZipSig::Zip64EndOfCentral)
            continue;
        const uint64_t total = GetLE64(r + 32), size = GetLE64(r + 40), offset = GetLE64(r + 48);
        if (size > at || offset > at || total > size / kCentralHeaderSize)
            return false;
        x = DirectoryExtent{qint64(total), qint64(size), qint64(offset), qint64(at)};
        return true;
    }
    return false;
}

} // namespace

void TZipEngine::readCentralDirectory()
{
    // The drive that holds the archive must be mounted and readable.
    const QFileInfo info(zipFileName_);
    const QStorageInfo storage(info.absolutePath());
    DriveRoot = storage.rootPath();
    if (!DriveRoot.endsWith(QLatin1Char('/')))
        DriveRoot += QLatin1Char('/');
    if (!storage.isValid() || !storage.isReady())
        throw EZipEngine(ZipMsg::DS_DriveNoMount, DriveRoot);
    VolumeLabel = storage.name();

    ReadEndRecord(true);
    LastDiskNumber = EndRecord.ThisDiskNo;
    if (EndRecord.ThisDiskNo != 0)
        Spanned = true;
    CurrentDisk = EndRecord.ThisDiskNo;

    DirectoryExtent extent{EndRecord.TotalEntries, EndRecord.CentralSize, EndRecord.CentralOffset, EndRecordOffset};
    if (EndRecord.ThisDiskNo == 0
        && (EndRecord.TotalEntries == 0xFFFF || EndRecord.CentralSize == 0xFFFFFFFFu || EndRecord.CentralOffset == 0xFFFFFFFFu))
        readZip64End(InFile, EndRecordOffset, extent);

    if (EndRecord.CentralDiskNo == EndRecord.ThisDiskNo) {
        // The directory ends where the (Zip64) end record begins. (This equals
        // the effective size less directory, comment and records, and stays
        // right when a declared comment runs past the end of a cut-off file.)
        DirectoryStart = extent.end - extent.size;
    } else {
        if (!openDisk(EndRecord.CentralDiskNo))
            throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
        EffectiveSize = InFile.size();
        DirectoryStart = EndRecord.CentralOffset;
    }

    DataStart = EffectiveSize == kEndRecordSize ? 0 : EffectiveSize;
    if (extent.offset != DirectoryStart) {
        StructureWarning = true;
        IssueMessage(ZipMsg::LI_WrongZipStruct);
    }

    auto reader = std::make_unique<ZipBufferedReader>(InFile);
    if (!reader->Seek(DirectoryStart))
        throw EZipEngine(ZipMsg::LI_ReadZipError, true);

    unsigned char h[kCentralHeaderSize];
    QByteArray bytes;
    Entries.reserve(size_t(std::min<qint64>(extent.total, extent.size / kCentralHeaderSize + 1)));
    for (qint64 n = 0; n < extent.total; ++n) {
        while (reader->Read(h, kCentralHeaderSize) < kCentralHeaderSize) {
            if (CurrentDisk >= LastDiskNumber || !openDisk(CurrentDisk + 1))
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            reader = std::make_unique<ZipBufferedReader>(InFile);
        }
        if (GetLE32(h) != ZipSig::CentralHeader)
            throw EZipEngine(ZipMsg::DS_CEHWrongSig, true);
        ZipDirEntry e;
        e.SetFixedFields(h + 4);
        if (reader->Read(bytes, e.NameLength) < e.NameLength)
            throw EZipEngine(ZipMsg::DS_CENameLen, true);
        e.FileName = ZipText::DecodeEntryText(bytes.constData(), bytes.size(), e.Flags, CodePage, e.HostSystem,
                                              e.MadeByVersion);
        e.FileName.replace(QLatin1Char('/'), QLatin1Char('\\'));
        e.Encrypted = e.Flags & 1;
        if (e.ExtraLength) {
            if (reader->Read(e.ExtraData, e.ExtraLength) < e.ExtraLength)
                throw EZipEngine(ZipMsg::LI_ReadZipError, true);
        }
        if (e.CommentLength) {
            if (reader->Read(bytes, e.CommentLength) < e.CommentLength)
                throw EZipEngine(ZipMsg::DS_CECommentLen, true);
            e.FileComment = ZipText::DecodeEntryText(bytes.constData(), bytes.size(), e.Flags, CodePage,
                                                     e.HostSystem, e.MadeByVersion);
        }
        DataStart = std::min<qint64>(DataStart, e.LocalHeaderOffset);
        const bool hasFilePart = !e.FileName.isEmpty() && !e.FileName.endsWith(QLatin1Char('\\'))
                                 && !e.FileName.endsWith(QLatin1Char(':'));
        if (UseDirOnlyEntries || hasFilePart) {
            Entries.push_back(std::move(e));
            Count = int32_t(Entries.size());
            if (OnNewName)
                OnNewName(*this, Count, Entries.back());
        } else {
            ++DirectoryOnlyCount;
        }
    }
}

void TZipEngine::ReadDirectory()
{
    Entries.clear();
    resetDirectoryState();
    if (zipFileName_.isEmpty() || !QFileInfo::exists(zipFileName_)) {
        if (OnDirUpdate)
            OnDirUpdate(*this);
        return;
    }
    BeginBusy();
    try {
        readCentralDirectory();
    } catch (const EZipEngine& e) {
        IssueException(e);
    } catch (const std::bad_alloc&) {
        IssueMessage(ZipMsg::GE_NoMem);
    } catch (const std::exception& e) {
        IssueMessage(ZipMsg::LI_ErrorUnknown, QString::fromLocal8Bit(e.what()));
    }
    Count = int32_t(Entries.size());
    EndBusy();
    CloseInFile();
    if (OnDirUpdate)
        OnDirUpdate(*this);
}
