// Disk spanning, what writing and reading share: the parts' names, asking
// for disks and opening the parts of a set being read. Local headers with
// their names and extra fields, central headers and the end record never
// straddle two parts; every header records the disk its local header lies
// on and the end record names its own disk and the disk where the directory
// starts (ZipSpanWrite.cpp writes sets, ZipSpanRead.cpp joins them).

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

namespace ZipSpanning {

void LetWindowWork()
{
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

QString DriveRootOf(const QString& path)
{
    const QFileInfo fi(path);
    QStorageInfo storage(fi.absolutePath());
    QString root = storage.isValid() ? storage.rootPath() : QStringLiteral("/");
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

} // namespace ZipSpanning

namespace {

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

using namespace ZipSpanning;

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
    LetWindowWork();
    if (s.typedRoot != DriveRoot) {
        s.drive = driveTypeOf(DriveRoot);
        s.typedRoot = DriveRoot;
    }
    // Only a removable disk is ever asked for.
    if (s.drive != DriveRemovable) {
        s.newDisk = false;
        return s.drive;
    }
    bool answeredOk = true;
    auto driveReady = [this]() {
        const QStorageInfo storage(DriveRoot);
        return storage.isValid() && storage.isReady();
    };
    while ((answeredOk && !driveReady()) || s.newDisk) {
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
