// Reading the end record and the central directory.
#include "TZipEngine.h"
#include "ZipSpanState.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <new>

ZipDirEntry ZipDirEntry::From(const zipdir::Entry& e, uint64_t prefix, TCodePage codePage)
{
    ZipDirEntry d;
    d.MadeByVersion = e.madeByVersion;
    d.HostSystem = e.hostSystem;
    d.NeededVersion = e.neededVersion;
    d.Flags = e.flags;
    d.Method = e.method;
    d.DateTime = e.dosDateTime;
    d.CRC32 = e.crc;
    d.CompressedSize = e.compressedSize;
    d.UncompressedSize = e.uncompressedSize;
    d.NameLength = uint16_t(e.rawName.size());
    d.ExtraLength = uint16_t(e.extra.size());
    d.CommentLength = uint16_t(e.comment.size());
    d.StartDisk = e.startDisk;
    d.InternalAttributes = e.internalAttributes;
    d.ExternalAttributes = e.externalAttributes;
    d.LocalHeaderOffset = e.localOffset - prefix;
    d.FileName = QString::fromUtf8(e.name);
    d.FileName.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!e.comment.empty())
        d.FileComment = ZipText::DecodeEntryText(e.comment.data(), qsizetype(e.comment.size()), e.flags, codePage,
                                                 e.hostSystem, e.madeByVersion);
    d.Encrypted = e.flags & 1;
    if (!e.extra.empty())
        d.ExtraData = QByteArray(e.extra.data(), qsizetype(e.extra.size()));
    return d;
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
    if (OnOpenDisk)
        return OnOpenDisk(*this, diskNo);
    // The parts of a set are numbered after its own name.
    SpanState& s = span();
    s.inArchive.clear();
    PartNumberOf(zipFileName_, &s.inArchive);
    if (s.inArchive.isEmpty())
        s.inArchive = zipFileName_;
    OpenDisk(diskNo);
    return true;
}

bool TZipEngine::ReadEndRecord(bool raise)
{
    ArchiveComment.clear();
    CloseInFile();
    InFile.setFileName(zipFileName_);
    if (zipFileName_.isEmpty() || QFileInfo(zipFileName_).isDir() || !InFile.open(QIODevice::ReadOnly)) {
        // A file that is there but cannot be read is not a missing one: the
        // reason is said.
        const bool there = !zipFileName_.isEmpty() && QFileInfo(zipFileName_).isFile();
        const int id = there ? ZipMsg::DS_FileOpen : ZipMsg::DS_NoInFile;
        const QString text = there ? QStringLiteral("%1: %2 (%3)").arg(LoadZipStr(id), zipFileName_, InFile.errorString())
                                   : LoadZipStr(id);
        if (raise)
            throw EZipEngine(text, id, true);
        IssueMessage(id, there ? text.mid(LoadZipStr(id).size()) : QString());
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

zipdir::CodePage sharedCodePage(TCodePage c)
{
    return c == TCodePage::cpOEM ? zipdir::CodePage::Oem : c == TCodePage::cpNone ? zipdir::CodePage::None : zipdir::CodePage::Auto;
}

// The engine's message for a directory the reader could not take.
EZipEngine faultException(const zipdir::Directory& d)
{
    switch (d.fault) {
    case zipdir::Fault::EndUnreadable: return EZipEngine(ZipMsg::DS_EOCBadRead, true);
    case zipdir::Fault::CentralSignature: return EZipEngine(ZipMsg::DS_CEHWrongSig, true);
    case zipdir::Fault::Spanned: return EZipEngine(ZipMsg::DS_NotSupported, true);
    case zipdir::Fault::Overlap:
        return EZipEngine(QStringLiteral("Invalid zip file with overlapped components (possible zip bomb): ")
                              + QString::fromUtf8(d.faultText.substr(d.faultText.find(": ") + 2)),
                          ZipMsg::DS_CEHBadRead, true);
    case zipdir::Fault::NotAZip: return EZipEngine(ZipMsg::DS_NoValidZip, true);
    default: return EZipEngine(ZipMsg::DS_CEHBadRead, true);
    }
}

} // namespace

void TZipEngine::takeEntry(ZipDirEntry&& e)
{
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

// The directory of an archive on one disk, through the reader the
// compression modules share, so that every operation sees these entries.
void TZipEngine::readSharedDirectory(bool recovering)
{
    zipdir::ReadOptions options;
    options.codePage = sharedCodePage(CodePage);
    const zipdir::Directory d = zipdir::Read(zipdir::FileSource(InFile.handle()), options);
    if (recovering && !d.recovered)
        throw EZipEngine(ZipMsg::DS_NoValidZip, true);
    if (!d.recovered)
        DirectoryStart = qint64(d.centralStart);
    DataStart = d.entries.empty() ? (EffectiveSize == kEndRecordSize ? 0 : EffectiveSize) : qint64(d.firstEntry - d.prefix);
    if (d.ok() && (d.prefix != 0 || !d.inconsistency.empty())) {
        StructureWarning = true;
        IssueMessage(ZipMsg::LI_WrongZipStruct,
                     d.inconsistency.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromUtf8(d.inconsistency)));
    }
    Entries.reserve(d.entries.size());
    for (const zipdir::Entry& e : d.entries)
        takeEntry(ZipDirEntry::From(e, d.prefix, CodePage));
    if (!d.ok())
        throw faultException(d);
}

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

    try {
        ReadEndRecord(true);
    } catch (const EZipEngine& e) {
        // No end record: an archive cut short is read from its local headers.
        if ((e.ResourceId() != ZipMsg::DS_NoValidZip && e.ResourceId() != ZipMsg::DS_FirstFileOnHD) || !InFile.isOpen())
            throw;
        // An earlier part of a numbered set: the last one holds the directory.
        raiseIfEarlierPart(zipFileName_);
        if (e.ResourceId() != ZipMsg::DS_NoValidZip)
            throw;
        readSharedDirectory(true);
        return;
    }
    LastDiskNumber = EndRecord.ThisDiskNo;
    if (EndRecord.ThisDiskNo != 0)
        Spanned = true;
    CurrentDisk = EndRecord.ThisDiskNo;
    if (EndRecord.ThisDiskNo == 0 && EndRecord.CentralDiskNo == 0) {
        readSharedDirectory(false);
        return;
    }

    // The last disk of a spanned set: the directory starts on the disk the
    // end record names and may run on over the following disks.
    if (EndRecord.CentralDiskNo == EndRecord.ThisDiskNo) {
        DirectoryStart = EndRecordOffset - qint64(EndRecord.CentralSize);
    } else {
        if (!openDisk(EndRecord.CentralDiskNo))
            throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
        EffectiveSize = InFile.size();
        DirectoryStart = EndRecord.CentralOffset;
    }
    DataStart = EffectiveSize == kEndRecordSize ? 0 : EffectiveSize;
    if (EndRecord.CentralOffset != DirectoryStart) {
        StructureWarning = true;
        IssueMessage(ZipMsg::LI_WrongZipStruct);
    }

    auto reader = std::make_unique<ZipBufferedReader>(InFile);
    if (!reader->Seek(DirectoryStart))
        throw EZipEngine(ZipMsg::LI_ReadZipError, true);

    unsigned char h[kCentralHeaderSize];
    QByteArray name, extra, comment;
    Entries.reserve(size_t(std::min<qint64>(EndRecord.TotalEntries, EndRecord.CentralSize / kCentralHeaderSize + 1)));
    for (qint64 n = 0; n < EndRecord.TotalEntries; ++n) {
        while (reader->Read(h, kCentralHeaderSize) < kCentralHeaderSize) {
            if (CurrentDisk >= LastDiskNumber || !openDisk(CurrentDisk + 1))
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            reader = std::make_unique<ZipBufferedReader>(InFile);
        }
        if (GetLE32(h) != ZipSig::CentralHeader)
            throw EZipEngine(ZipMsg::DS_CEHWrongSig, true);
        const int nameLen = GetLE16(h + 28), extraLen = GetLE16(h + 30), commentLen = GetLE16(h + 32);
        if (reader->Read(name, nameLen) < nameLen)
            throw EZipEngine(ZipMsg::DS_CENameLen, true);
        if (reader->Read(extra, extraLen) < extraLen)
            throw EZipEngine(ZipMsg::LI_ReadZipError, true);
        if (reader->Read(comment, commentLen) < commentLen)
            throw EZipEngine(ZipMsg::DS_CECommentLen, true);
        const zipdir::Entry e = zipdir::ParseCentral(h, name.toStdString(), extra.toStdString(), comment.toStdString(), 0,
                                                     sharedCodePage(CodePage));
        DataStart = std::min<qint64>(DataStart, qint64(e.localOffset));
        takeEntry(ZipDirEntry::From(e, 0, CodePage));
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
