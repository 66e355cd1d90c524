// Disk spanning: copying one zip out as a set of parts (numbered files on a
// fixed drive, one per disk on a removable one) and joining a set back into
// one zip. Local headers with their names and extra fields, central headers
// and the end record never straddle two parts; every header records the
// disk its local header lies on and the end record names its own disk and
// the disk where the directory starts.

#include "TMZipDataList.h"
#include "TZipEngine.h"
#include "TZipEngineUser.h"
#include "ZipSpanState.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr qint64 kCopyChunk = 1 << 20;
// The marker a writer puts first when the set turned out to need one part only.
constexpr uint32_t kOnePartMarker = 0x30304B50;

void letWindowWork()
{
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

QString driveRootOf(const QString& path)
{
    const QFileInfo fi(path);
    QStorageInfo storage(fi.absolutePath());
    QString root = storage.isValid() ? storage.rootPath() : QStringLiteral("/");
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

QString threeDigits(int n)
{
    return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
}

// A file name split before its extension ("archive" and ".zip").
void splitName(const QString& fileName, QString& stem, QString& ext)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        stem = fileName.left(dot);
        ext = fileName.mid(dot);
    } else {
        stem = fileName;
        ext.clear();
    }
}

} // namespace

// ---- names -------------------------------------------------------------------

QString TZipEngine::PartFileName(const QString& archive, int32_t partNo)
{
    const QFileInfo fi(archive);
    QString stem, ext;
    splitName(fi.fileName(), stem, ext);
    const QString name = stem + threeDigits(partNo) + ext;
    const QString folder = fi.path();
    return archive.contains(QLatin1Char('/')) ? folder + QLatin1Char('/') + name : name;
}

int32_t TZipEngine::PartNumberOf(const QString& partFile, QString* archive)
{
    const QFileInfo fi(partFile);
    QString stem, ext;
    splitName(fi.fileName(), stem, ext);
    if (stem.size() < 4)
        return -1;
    const QString digits = stem.right(3);
    if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }))
        return -1;
    const int n = digits.toInt();
    if (n < 1)
        return -1;
    if (archive) {
        const QString name = stem.left(stem.size() - 3) + ext;
        *archive = partFile.contains(QLatin1Char('/')) ? fi.path() + QLatin1Char('/') + name : name;
    }
    return n;
}

// ---- state ---------------------------------------------------------------------

TZipEngine::SpanState& TZipEngine::span()
{
    if (!span_)
        span_ = std::make_unique<SpanState>();
    return *span_;
}

TZipEngine::TDriveType TZipEngine::driveTypeOf(const QString& path) const
{
    if (Platform::IsRemovableDrive(path))
        return DriveRemovable;
    const QByteArray fs = QStorageInfo(QFileInfo(path).absolutePath()).fileSystemType();
    static const QList<QByteArray> network{"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p"};
    return network.contains(fs) ? DriveRemote : DriveFixed;
}

void TZipEngine::progress(ProgressType type, const QString& name, qint64 size)
{
    if (OnProgress)
        OnProgress(*this, type, name, int32_t(std::min<qint64>(size, INT32_MAX)));
}

void TZipEngine::copyingMessage(const QString& name)
{
    if (OnMessage)
        OnMessage(*this, 0, QStringLiteral("Copying: ") + name);
}

QString TZipEngine::tempZipName(const QString& folder) const
{
    const QString dir = folder.isEmpty() ? QDir::tempPath() : folder;
    for (;;) {
        const QString name = dir + QStringLiteral("/zip")
                             + QString::number(QRandomGenerator::global()->generate() & 0xFFFFFF, 16) + QStringLiteral(".zip");
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

// ---- asking for disks ----------------------------------------------------------

TZipEngine::TDriveType TZipEngine::PromptDisk(bool writing)
{
    SpanState& s = span();
    letWindowWork();
    s.drive = driveTypeOf(DriveRoot);
    bool answeredOk = true;
    auto driveReady = [this]() {
        const QStorageInfo storage(DriveRoot);
        return storage.isValid() && storage.isReady();
    };
    while ((answeredOk && !driveReady()) || s.newDisk) {
        if (s.drive != DriveRemovable) {
            s.newDisk = false;
            break;
        }
        if (Unattended)
            throw EZipEngine(ZipMsg::DS_NoUnattSpan, true);
        QString text;
        int32_t total = LastDiskNumber;
        if (CurrentDisk < 0) {
            text = LoadZipStr(ZipMsg::DS_InsertDisk, QStringLiteral("Please insert last disk in set"));
        } else if (writing) {
            s.diskSize = Platform::DiskSizeOf(DriveRoot);
            qint64 size = s.diskSize;
            if (MaxVolumeSize > 0 && (size <= 0 || MaxVolumeSize < size))
                size = MaxVolumeSize;
            if (size <= 0) {
                text = ZipFormat(LoadZipStr(ZipMsg::DS_InsertAVolume), {QString::number(CurrentDisk + 1)});
            } else {
                total = int32_t(std::max<qint64>(CurrentDisk, (EffectiveSize + KeepFreeOnDisk1 + 4) / size));
                text = ZipFormat(LoadZipStr(ZipMsg::DS_InsertVolume),
                                 {QString::number(CurrentDisk + 1), QString::number(total + 1)});
            }
        } else {
            text = ZipFormat(LoadZipStr(ZipMsg::DS_InsertVolume),
                             {QString::number(CurrentDisk + 1), QString::number(LastDiskNumber + 1)});
        }
        text += ZipFormat(LoadZipStr(ZipMsg::DS_InDrive, QStringLiteral("\r\nin drive: %s")), {DriveRoot});
        bool abort = false;
        if (OnGetNextDisk) {
            OnGetNextDisk(*this, CurrentDisk + 1, total + 1, DriveRoot, abort);
        } else if (User()) {
            abort = User()->Ask(text, PromptButtons::OkCancel) != PromptButton::Ok;
        } else {
            abort = true;
        }
        if (abort)
            throw EZipEngine(ZipMsg::DS_Canceled, false);
        answeredOk = true;
        s.newDisk = false;
    }
    return s.drive;
}

void TZipEngine::OpenDisk(int32_t diskNo)
{
    SpanState& s = span();
    CloseInFile();
    CurrentDisk = diskNo;
    for (;;) {
        s.newDisk = true;
        const TDriveType drive = PromptDisk(false);
        // No volume label can be read or set here: the number in the part's
        // file name tells the disks apart.
        InFile.setFileName(PartFileName(s.inArchive, diskNo + 1));
        if (InFile.open(QIODevice::ReadOnly))
            return;
        if (drive != DriveRemovable)
            throw EZipEngine(ZipMsg::DS_NoInFile, true);
        IssueMessage(ZipMsg::DS_NoInFile);
    }
}

// An earlier part of a numbered set, given where the last one is needed.
void TZipEngine::raiseIfEarlierPart(const QString& path) const
{
    QString archive;
    const int32_t n = PartNumberOf(path, &archive);
    if (n < 1)
        return;
    QFile first(PartFileName(archive, 1));
    unsigned char head[8];
    if (!first.open(QIODevice::ReadOnly) || first.read(reinterpret_cast<char*>(head), 8) != 8
        || GetLE32(head) != ZipSig::SpanMarker || GetLE32(head + 4) != ZipSig::LocalHeader)
        return;
    // The last part holds the end record; any other part of the set does not.
    if (n > 1) {
        QFile part(path);
        if (!part.open(QIODevice::ReadOnly))
            return;
        const qint64 size = part.size();
        const qint64 tail = std::min<qint64>(size, kMaxEndSearch);
        if (!part.seek(size - tail))
            return;
        if (part.read(tail).contains(QByteArrayLiteral("PK\x05\x06")))
            return;
    }
    if (n == 1)
        throw EZipEngine(ZipMsg::DS_FirstInSet, true);
    throw EZipEngine(ZipMsg::DS_NotLastInSet, n);
}

QString TZipEngine::EarlierPartProblem(const QString& path)
{
    try {
        TZipEngine().raiseIfEarlierPart(path);
    } catch (const EZipEngine& e) {
        return e.Message();
    }
    return QString();
}

// ---- writing parts ----------------------------------------------------------------

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
            // A part of that name is replaced, never written through a link.
            QFile::remove(name);
        }
        s.out.setFileName(name);
        if (!s.out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw EZipEngine(ZipMsg::DS_NoOutFile, true);
        qint64 free = Platform::FreeOnDisk(name);
        if (MaxVolumeSize > 0 && (free < 0 || free > MaxVolumeSize))
            free = MaxVolumeSize;
        if (CurrentDisk == 0)
            free -= KeepFreeOnDisk1;
        if (free < MinFreeVolumeSize || free <= 0) {
            s.out.close();
            QFile::remove(name);
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

void TZipEngine::reserveRoom(qint64 mustFit)
{
    SpanState& s = span();
    for (;;) {
        if (!s.out.isOpen())
            openNextPart();
        // What cannot fit even on an empty part is split after all.
        if (mustFit <= 0 || s.diskFree >= mustFit || s.partBytes == 0)
            return;
        closePart();
        ++CurrentDisk;
        s.newDisk = true;
    }
}

void TZipEngine::WriteSplit(const char* data, qint64 length, qint64 mustFit)
{
    SpanState& s = span();
    letWindowWork();
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
        closePart();
        ++CurrentDisk;
        s.newDisk = true;
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

int32_t TZipEngine::WriteSpan(const QString& source, const QString& destination)
{
    SpanState& s = span();
    DriveRoot = driveRootOf(destination);
    CurrentDisk = 0;
    s.outArchive = destination;
    s.diskFree = 0;
    s.partBytes = 0;
    s.newDisk = true;
    s.labelNoticeShown = false;
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

        const QString central = LoadZipStr(ZipMsg::DS_CopyCentral);
        copyingMessage(central);
        progress(ProgressNewFile, central, qint64(d.endRecord - d.centralStart) + qint64(d.comment.size()) + 22);
        int32_t centralDisk = -1;
        qint64 centralOffset = 0, centralSize = 0;
        int onLastDisk = 0;
        int32_t countedDisk = -1;
        for (const zipdir::Entry& e : d.entries) {
            QByteArray record = QByteArray::fromStdString(e.record);
            if (record.size() < kCentralHeaderSize)
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            const TMZipDataItem& item = list.FindHeader(0, qint64(e.localOffset), QByteArray::fromStdString(e.rawName));
            auto* r = reinterpret_cast<unsigned char*>(record.data());
            PutLE16(r + 34, uint16_t(item.DiskNo));
            PutLE32(r + 42, uint32_t(item.NewOffset));
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
            reserveRoom(22 + qint64(d.comment.size()));
            centralDisk = CurrentDisk;
            centralOffset = s.partBytes;
        }

        const qint64 endLen = 22 + qint64(d.comment.size());
        reserveRoom(endLen);
        if (CurrentDisk != countedDisk)
            onLastDisk = 0;
        unsigned char rec[22];
        PutLE32(rec, ZipSig::EndOfCentral);
        PutLE16(rec + 4, uint16_t(CurrentDisk));
        PutLE16(rec + 6, uint16_t(centralDisk));
        PutLE16(rec + 8, uint16_t(onLastDisk));
        PutLE16(rec + 10, uint16_t(count));
        PutLE32(rec + 12, uint32_t(centralSize));
        PutLE32(rec + 16, uint32_t(centralOffset));
        PutLE16(rec + 20, uint16_t(d.comment.size()));
        const QByteArray endRecord = QByteArray(reinterpret_cast<const char*>(rec), 22) + QByteArray::fromStdString(d.comment);
        WriteSplit(endRecord.constData(), endRecord.size(), endLen);
    });
    s.progress = false;
    progress(ProgressEnd, QString(), 0);
    in.close();
    closePart();
    EndBusy();
    return result;
}

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

int32_t TZipEngine::ReadSpan(const QString& folder, QString& tempZip)
{
    SpanState& s = span();
    DriveRoot = driveRootOf(zipFileName_);
    CurrentDisk = -1;
    s.inArchive.clear();
    PartNumberOf(zipFileName_, &s.inArchive);
    if (s.inArchive.isEmpty())
        s.inArchive = zipFileName_;
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
        findLastPart();
        s.date = QFileInfo(InFile).lastModified();
        const ZipEndOfCentral end = EndRecord;
        if (end.TotalEntries == 0xFFFF || end.CentralSize == 0xFFFFFFFFu || end.CentralOffset == 0xFFFFFFFFu)
            throw EZipEngine(ZipMsg::DS_NotSupported, true);
        LastDiskNumber = end.ThisDiskNo;
        CurrentDisk = end.ThisDiskNo;
        const qint64 endOffset = EndRecordOffset;
        QByteArray comment;
        if (end.ZipCommentLen) {
            if (!InFile.seek(endOffset + kEndRecordSize))
                throw EZipEngine(ZipMsg::DS_FailedSeek, true);
            comment = InFile.read(end.ZipCommentLen);
            if (comment.size() != end.ZipCommentLen)
                throw EZipEngine(ZipMsg::DS_EOArchComLen, true);
        }
        if (end.CentralDiskNo > end.ThisDiskNo)
            throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
        if (end.CentralDiskNo != CurrentDisk)
            OpenDisk(end.CentralDiskNo);
        if (!InFile.seek(end.CentralOffset))
            throw EZipEngine(ZipMsg::DS_FailedSeek, true);

        // First pass: every central header, kept for the second.
        TMZipDataList list(end.TotalEntries);
        std::vector<QByteArray> records(end.TotalEntries);
        qint64 total = 0;
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
            TMZipDataItem& item = list.At(i);
            item.FileName = record.mid(kCentralHeaderSize, nameLen);
            item.NameLength = uint16_t(nameLen);
            item.CompressedSize = compressed;
            item.SourceDisk = GetLE16(h + 34);
            item.SourceOffset = offset;
            if (item.SourceDisk > LastDiskNumber)
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            total += compressed + nameLen + extraLen + commentLen;
            records[size_t(i)] = std::move(record);
        }
        list.IndexSources();

        OpenDisk(0);
        s.progress = true;
        progress(ProgressTotalFiles, QString(), end.TotalEntries);
        progress(ProgressTotalSize, QString(), total);
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
        const qint64 centralStart = out.pos();
        if (centralStart > qint64(0xFFFFFFFEu))
            throw EZipEngine(ZipMsg::DS_NotSupported, true);
        qint64 centralSize = 0;
        for (int i = 0; i < end.TotalEntries; ++i) {
            QByteArray& record = records[size_t(i)];
            const TMZipDataItem& item = list.At(i);
            auto* r = reinterpret_cast<unsigned char*>(record.data());
            PutLE16(r + 34, 0);
            PutLE32(r + 42, uint32_t(item.NewOffset));
            if (out.write(record) != record.size())
                throw EZipEngine(ZipMsg::DS_CEHBadWrite, true);
            centralSize += record.size();
        }
        unsigned char rec[22];
        PutLE32(rec, ZipSig::EndOfCentral);
        PutLE16(rec + 4, 0);
        PutLE16(rec + 6, 0);
        PutLE16(rec + 8, end.TotalEntries);
        PutLE16(rec + 10, end.TotalEntries);
        PutLE32(rec + 12, uint32_t(centralSize));
        PutLE32(rec + 16, uint32_t(centralStart));
        PutLE16(rec + 20, uint16_t(comment.size()));
        if (out.write(reinterpret_cast<const char*>(rec), 22) != 22 || out.write(comment) != comment.size())
            throw EZipEngine(ZipMsg::DS_EOCBadWrite, true);
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
