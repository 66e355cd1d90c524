#include "batch/BatchRules.h"

#include "archive/Archive.h"
#include "platform/Platform.h"
#include "zipengine/ZipListing.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

namespace BatchRules {

QString StatusFolderText(const QString& folder)
{
    if (folder.size() > 90) {
        const qsizetype finalSep = folder.size() - 1;
        return folder.left(60) + QStringLiteral("...") + folder.mid(finalSep - 27, 27);
    }
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        return folder.chopped(1);
    return folder;
}

QString FolderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

QString FileDateText(const QDateTime& time)
{
    if (time.isValid() && time.time() == QTime(0, 0))
        return QLocale::system().toString(time.date(), QLocale::ShortFormat);
    return Platform::DateTimeText(time);
}

int32_t UnzippedSize(const QString& path)
{
    const std::unique_ptr<Archive> archive = openArchive(path);
    if (!archive)
        return 0;
    int32_t total = 0;
    archive->list([&total](const ArchiveEntry& e) {
        if (!e.folder() && e.size > 0)
            total = ZipListing::AddToTotal(total, uint64_t(e.size));
        return true;
    });
    return total;
}

QString ExtractFolderName(const QString& fileName)
{
    const QString ending = archivekind::fromName(fileName) == ArchiveKind::Rar ? QStringLiteral(".rar")
                                                                               : QStringLiteral(".zip");
    const qsizetype at = fileName.indexOf(ending);
    return at < 0 ? fileName : fileName.left(at);
}

QString UniqueExtractFolder(const QString& base, const QString& name)
{
    // A file of the folder's name blocks the folder as much as a folder does.
    const QString first = Platform::JoinPath(base, name);
    if (!QFileInfo::exists(first))
        return first;
    for (int n = 1;; ++n) {
        const QString candidate = first + QLatin1Char('0') + QString::number(n);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

bool KeepInPlace(const QString& zipPath)
{
    const QFileInfo fi(zipPath);
    QString folder = fi.absolutePath().toLower();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const QString name = fi.fileName().toLower();
    return folder.contains(QStringLiteral("windows")) || folder.contains(QStringLiteral("program file")) ||
           folder.contains(QStringLiteral("java")) || name.contains(QStringLiteral("java"));
}

QString MoveTarget(const QString& moveFolder, const QString& zipPath, bool failed, bool recreateFolders)
{
    const QFileInfo fi(zipPath);
    QString target;
    if (failed)
        target = Platform::JoinPath(moveFolder, QStringLiteral("ZipError"));
    else if (recreateFolders)
        target = Platform::JoinPath(moveFolder, fi.absolutePath().mid(1));
    else
        target = moveFolder;
    if (target.size() > 1 && target.endsWith(QLatin1Char('/')))
        target.chop(1);
    const QString name = fi.fileName();
    if (!QFileInfo::exists(Platform::JoinPath(target, name)))
        return target;
    for (int n = 1;; ++n) {
        const QString dupe = Platform::JoinPath(target, QStringLiteral("dupe0") + QString::number(n));
        if (!QFileInfo::exists(Platform::JoinPath(dupe, name)))
            return dupe;
    }
}

namespace {
// Copies `from` to `to` under a scratch name that takes `to` only once the
// copy is whole and on disk: a failed or interrupted copy leaves nothing.
bool copyWhole(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray buffer;
    for (;;) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty())
            break;
        if (out.write(buffer) != buffer.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return Platform::CommitSaveFile(out);
}
} // namespace

MoveResult MoveZip(const QString& zipPath, const QString& targetFolder)
{
    if (!QFileInfo(targetFolder).isDir() && !QDir().mkpath(targetFolder))
        return MoveResult::CopyFailed;
    const QString copy = Platform::JoinPath(targetFolder, QFileInfo(zipPath).fileName());
    if (QFileInfo(copy).canonicalFilePath() == QFileInfo(zipPath).canonicalFilePath())
        return MoveResult::CopyFailed;  // the same file: copying would truncate it
    if (!copyWhole(zipPath, copy))
        return MoveResult::CopyFailed;
    const QFileInfo original(zipPath);
    const QFileInfo made(copy);
    if (!made.exists() || made.size() != original.size()) {
        // A copy that is not the zip's size is ours to take back; the zip stays where it was.
        if (made.exists())
            Platform::RemoveScratch(copy);
        return MoveResult::CopyFailed;
    }
    if (QFile::remove(zipPath))
        return MoveResult::Moved;
    if (!original.isWritable()) {
        QFile::setPermissions(zipPath, QFile::permissions(zipPath) | QFileDevice::WriteOwner);
        if (QFile::remove(zipPath))
            return MoveResult::Moved;
    }
    return MoveResult::CopyOnly;
}

} // namespace BatchRules
