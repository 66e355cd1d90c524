#include "platform/Platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>
#include <QUuid>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Platform {

namespace {
std::function<qint64(const QString&)>& freeHook()
{
    static std::function<qint64(const QString&)> h;
    return h;
}
std::function<bool(const QString&)>& removableHook()
{
    static std::function<bool(const QString&)> h;
    return h;
}
std::function<bool(const QString&)>& urlHook()
{
    static std::function<bool(const QString&)> h;
    return h;
}
int g_busyDepth = 0;

// The nearest folder of `path` (itself included) that exists.
QString nearestExisting(const QString& path)
{
    QString p = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!p.isEmpty()) {
        if (QFileInfo::exists(p))
            return p;
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    return QStringLiteral("/");
}

bool folderIsWritable(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    // Permission bits say little on some file systems (read-only mounts, ACLs): try it.
    QTemporaryFile probe(JoinPath(folder, QStringLiteral(".quarn-probe-XXXXXX")));
    return probe.open();
}
} // namespace

QString ProgramPath()
{
    return QCoreApplication::applicationFilePath();
}

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString DataFolder()
{
    const QString env = qEnvironmentVariable("QUARN_DATA_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    const QString prog = ProgramFolder();
    if (!IsInstalledLayout(prog) && folderIsWritable(prog))
        return prog;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/quarn"));
}

bool EnsureDataFolder()
{
    const QString d = DataFolder();
    return QDir().mkpath(d) && QFileInfo(d).isDir();
}

#ifndef QUARN_BIN_TO_MODULES
#define QUARN_BIN_TO_MODULES "../lib/quarn"
#endif
#ifndef QUARN_BIN_TO_HELP
#define QUARN_BIN_TO_HELP "../share/quarn/help"
#endif

namespace {
// The module that every layout holds; it tells where the modules are.
const char* const kModuleMark = "libziplib.so";

QString installedFolder(const QString& programFolder, const char* relative)
{
    return QDir::cleanPath(JoinPath(programFolder, QString::fromUtf8(relative)));
}
} // namespace

bool IsInstalledLayout(const QString& programFolder)
{
    const QString mark = QString::fromLatin1(kModuleMark);
    return !QFileInfo::exists(JoinPath(programFolder, mark)) &&
           QFileInfo::exists(JoinPath(installedFolder(programFolder, QUARN_BIN_TO_MODULES), mark));
}

QString ProgramFilesFolderFor(const QString& programFolder, ProgramFiles kind)
{
    switch (kind) {
    case ProgramFiles::Modules:
        return IsInstalledLayout(programFolder) ? installedFolder(programFolder, QUARN_BIN_TO_MODULES)
                                                : programFolder;
    case ProgramFiles::Help: {
        const QString beside = JoinPath(programFolder, QStringLiteral("help"));
        const QString installed = installedFolder(programFolder, QUARN_BIN_TO_HELP);
        return !QFileInfo(beside).isDir() && QFileInfo(installed).isDir() ? installed : beside;
    }
    }
    return programFolder;
}

QString ProgramFilesFolder(ProgramFiles kind)
{
    return ProgramFilesFolderFor(ProgramFolder(), kind);
}

QString HelpPagePath(const QString& page)
{
    return JoinPath(ProgramFilesFolder(ProgramFiles::Help), page);
}

qint64 FreeOnDisk(const QString& path)
{
    if (freeHook())
        return freeHook()(path);
    const QByteArray p = QFile::encodeName(nearestExisting(path));
    struct statvfs st {};
    if (::statvfs(p.constData(), &st) != 0)
        return -1;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

void SetFreeOnDiskHook(std::function<qint64(const QString&)> hook)
{
    freeHook() = std::move(hook);
}

qint64 DiskSizeOf(const QString& path)
{
    const QByteArray p = QFile::encodeName(nearestExisting(path));
    struct statvfs st {};
    if (::statvfs(p.constData(), &st) != 0)
        return -1;
    return qint64(st.f_blocks) * qint64(st.f_frsize);
}

bool IsRemovableDrive(const QString& path)
{
    if (removableHook())
        return removableHook()(path);
    struct stat st {};
    if (::stat(QFile::encodeName(nearestExisting(path)).constData(), &st) != 0)
        return false;
    // /sys/dev/block/MAJOR:MINOR leads to the device; a partition's own
    // folder has no `removable` file, its disk (the parent folder) has.
    const QString dev = QStringLiteral("/sys/dev/block/%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
    const QString real = QFileInfo(dev).canonicalFilePath();
    if (real.isEmpty())
        return false;
    for (const QString& folder : {real, QFileInfo(real).path()}) {
        QFile flag(folder + QStringLiteral("/removable"));
        if (flag.open(QIODevice::ReadOnly))
            return flag.readAll().trimmed() == "1";
    }
    return false;
}

void SetRemovableDriveHook(std::function<bool(const QString&)> hook)
{
    removableHook() = std::move(hook);
}

bool SameFileSystem(const QString& a, const QString& b)
{
    const QStorageInfo first(nearestExisting(a));
    const QStorageInfo second(nearestExisting(b));
    if (!first.isValid() || !second.isValid())
        return false;
    return first.rootPath() == second.rootPath() && first.device() == second.device();
}

bool IsOnSystemFileSystem(const QString& path)
{
    return SameFileSystem(path, QStringLiteral("/"));
}

QStringList LogicalDriveRoots()
{
    QStringList roots;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid() || !s.isReady() || s.isReadOnly())
            continue;
        const QByteArray fs = s.fileSystemType();
        // Kernel and memory file systems are not places for user data.
        static const QList<QByteArray> skip = {"proc", "sysfs", "devtmpfs", "devpts", "cgroup", "cgroup2",
                                               "securityfs", "pstore", "debugfs", "tracefs", "mqueue",
                                               "hugetlbfs", "configfs", "fusectl", "bpf", "autofs",
                                               "binfmt_misc", "overlay", "nsfs", "squashfs"};
        if (skip.contains(fs) || fs.startsWith("fuse.") || fs == "nfs" || fs == "cifs" || fs == "smb3")
            continue;
        if (!QFileInfo(s.rootPath()).isWritable())
            continue;
        roots << s.rootPath();
    }
    return roots;
}

bool OpenUrl(const QString& urlOrPath)
{
    if (urlHook())
        return urlHook()(urlOrPath);
    const QUrl url = urlOrPath.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(urlOrPath) : QUrl(urlOrPath);
    return QDesktopServices::openUrl(url);
}

void SetOpenUrlHook(std::function<bool(const QString&)> hook)
{
    urlHook() = std::move(hook);
}

bool OpenHelpPage(const QString& page)
{
    return OpenUrl(HelpPagePath(page));
}

bool MakePrivateFolder(const QString& folder)
{
    if (!QFileInfo(folder).isSymLink())
        QDir().mkpath(folder);
    const QFileInfo fi(folder);
    if (fi.isSymLink() || !fi.isDir())
        return false;
    return QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

bool MoveToTrash(const QString& path)
{
    QFile f(path);
    return f.moveToTrash();
}

bool EmptyFolder(const QString& folder)
{
    const QFileInfo fi(folder);
    if (!fi.isDir() || fi.isSymLink())
        return false;
    bool ok = true;
    QStringList dirs;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    // QDirIterator does not follow symbolic links to folders unless asked to.
    while (it.hasNext()) {
        it.next();
        const QFileInfo e = it.fileInfo();
        if (e.isDir() && !e.isSymLink()) {
            dirs << e.absoluteFilePath();
        } else if (!QFile::remove(e.absoluteFilePath())) {
            // A read-only file: make it writable once, then try again.
            QFile::setPermissions(e.absoluteFilePath(), e.permissions() | QFileDevice::WriteOwner);
            ok = QFile::remove(e.absoluteFilePath()) && ok;
        }
    }
    // Deepest first: longer paths of one tree are always below shorter ones.
    std::sort(dirs.begin(), dirs.end(), [](const QString& a, const QString& b) {
        return a.count(QLatin1Char('/')) > b.count(QLatin1Char('/'));
    });
    for (const QString& d : dirs)
        ok = QDir().rmdir(d) && ok;
    return ok;
}

bool CommitSaveFile(QSaveFile& file)
{
    if (!file.flush() || ::fsync(file.handle()) != 0) {
        const int error = errno;
        file.cancelWriting();
        file.commit();  // removes the new file
        errno = error;
        return false;
    }
    if (!file.commit())
        return false;
    SyncFolderOf(file.fileName());
    return true;
}

QString ScratchNameBeside(const QString& finalName, const QString& kind)
{
    const QFileInfo fi(finalName);
    QString name;
    do {
        name = fi.dir().filePath(QStringLiteral(".quarn-") + QUuid::createUuid().toString(QUuid::Id128).left(12) + kind +
                                 fi.fileName());
    } while (QFileInfo::exists(name) || QFileInfo(name).isSymLink());
    return name;
}

void SyncFolderOf(const QString& path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool RemoveFolderTree(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return !QFileInfo::exists(folder);
    const bool emptied = EmptyFolder(folder);
    return QDir().rmdir(folder) && emptied;
}

ScratchFolder::ScratchFolder(const QString& parent)
{
    QTemporaryDir made(JoinPath(parent, QStringLiteral(".quarn-XXXXXX")));
    if (!made.isValid())
        return;
    made.setAutoRemove(false);
    path_ = made.path();
}

ScratchFolder::~ScratchFolder()
{
    if (!path_.isEmpty())
        RemoveScratch(path_);
}

bool RemoveScratch(const QString& path)
{
    const auto remove = [&path] {
        const QFileInfo fi(path);
        if (fi.isDir() && !fi.isSymLink())
            return RemoveFolderTree(path);
        return QFile::remove(path) || !(fi.exists() || fi.isSymLink());
    };
    return remove() || remove();
}

QString DateTimeText(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    timeFormat.remove(zone);
    return locale.toString(time.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(time.time(), timeFormat.trimmed());
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

BusyCursor::BusyCursor()
{
    ++g_busyDepth;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyCursor::~BusyCursor()
{
    --g_busyDepth;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
}

int BusyCursor::depth()
{
    return g_busyDepth;
}

} // namespace Platform
