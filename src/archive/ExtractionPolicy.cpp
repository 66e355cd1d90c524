#include "archive/ExtractionPolicy.h"

#include "codecs/TarEntry.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string bytes(const QString& s) { return QFile::encodeName(s).toStdString(); }

QString errnoText(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Removes a temporary file unless it was handed on.
struct TempGuard {
    int dirFd;
    std::string name;
    bool armed = true;
    ~TempGuard()
    {
        if (armed && !name.empty())
            ::unlinkat(dirFd, name.c_str(), 0);
    }
};

void setTimes(int fd, const QDateTime& time)
{
    if (!time.isValid())
        return;
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_NOW;
    ts[1].tv_sec = time_t(time.toSecsSinceEpoch());
    ts[1].tv_nsec = 0;
    ::futimens(fd, ts);
}

// A stored name without the "./" parts and trailing "/" that change nothing.
QString plainName(QString name)
{
    while (name.startsWith(QLatin1String("./")))
        name.remove(0, 2);
    name.replace(QLatin1String("/./"), QLatin1String("/"));
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    return name;
}

} // namespace

ExtractionPolicy::ExtractionPolicy(const ExtractRequest& request)
    : request_(request), dir_(bytes(request.destination.isEmpty() ? QStringLiteral(".") : request.destination), true)
{
    if (dir_.error() != 0)
        openError_ = QStringLiteral("cannot create the folder %1: %2").arg(request.destination, errnoText(dir_.error()));
    umask_ = ::umask(0);
    ::umask(umask_);
}

ExtractionPolicy::~ExtractionPolicy() = default;

void ExtractionPolicy::writeSmallFilesAhead() { writeAhead_ = FileWriteQueue::threadsWanted() > 1; }

void ExtractionPolicy::note(const QString& text) const
{
    if (request_.note)
        request_.note(text);
}

void ExtractionPolicy::fail(const QString& text)
{
    ++result_.failed;
    note(text);
}

QString ExtractionPolicy::diskPath(const QString& rel) const
{
    const QString base = request_.destination.isEmpty() ? QStringLiteral(".") : request_.destination;
    return rel.isEmpty() ? base : base + QLatin1Char('/') + rel;
}

QString ExtractionPolicy::relativePathOf(const ArchiveEntry& entry) const
{
    const QString rel = tarSafeRelativePath(entry.name);
    if (request_.folderNames || entry.folder())
        return rel;
    return rel.mid(rel.lastIndexOf(QLatin1Char('/')) + 1);
}

mode_t ExtractionPolicy::fileMode(const ArchiveEntry& entry, mode_t fallback) const
{
    const mode_t m = entry.mode >= 0 ? mode_t(entry.mode & 0777) : fallback;
    return m & ~umask_;
}

ExtractionPolicy::Existing ExtractionPolicy::existing(const QString& rel)
{
    Existing e;
    std::string parent, leaf;
    qz::SafeDir::split(bytes(rel), parent, leaf);
    const int fd = dir_.folder(parent, false);
    if (fd < 0) {
        e.walkFailed = errno != ENOENT;
        return e;
    }
    struct stat st;
    if (::fstatat(fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return e;
    e.exists = true;
    e.folder = S_ISDIR(st.st_mode);
    e.link = S_ISLNK(st.st_mode);
    return e;
}

int ExtractionPolicy::parentFolder(const QString& rel, const ArchiveEntry& entry, QString& leaf)
{
    std::string parent, leafBytes;
    qz::SafeDir::split(bytes(rel), parent, leafBytes);
    leaf = QFile::decodeName(QByteArray::fromStdString(leafBytes));
    const int fd = dir_.folder(parent, true);
    if (fd < 0) {
        const int err = errno;
        if (err == ELOOP || err == ENOTDIR)
            fail(QStringLiteral("%1 skipped: a part of its path is a link or a file").arg(entry.name));
        else
            fail(QStringLiteral("cannot create the folder for %1: %2").arg(diskPath(rel), errnoText(err)));
    }
    return fd;
}

int ExtractionPolicy::targetFolder(const ArchiveEntry& entry, const QString& rel, QString& leaf)
{
    const Existing was = existing(rel);
    if (was.walkFailed) {
        fail(QStringLiteral("%1 skipped: a part of its path is a link or a file").arg(entry.name));
        return -1;
    }
    if (was.folder) {
        fail(QStringLiteral("%1 is a folder; not replaced").arg(diskPath(rel)));
        return -1;
    }
    if (was.exists && !mayReplace(entry, rel))
        return -1;
    return parentFolder(rel, entry, leaf);
}

bool ExtractionPolicy::commit(int dirFd, const std::string& temp, const QString& leaf, const QString& rel)
{
    if (::renameat(dirFd, temp.c_str(), dirFd, bytes(leaf).c_str()) == 0)
        return true;
    const int err = errno;
    ::unlinkat(dirFd, temp.c_str(), 0);
    fail(err == EISDIR || err == ENOTEMPTY || err == EEXIST
             ? QStringLiteral("%1 is a folder; not replaced").arg(diskPath(rel))
             : QStringLiteral("cannot create %1: %2").arg(diskPath(rel), errnoText(err)));
    return false;
}

bool ExtractionPolicy::mayReplace(const ArchiveEntry& entry, const QString& rel)
{
    if (yesToAll_ || request_.replace == ReplacePolicy::Always)
        return true;
    if (noToAll_ || request_.replace == ReplacePolicy::Never || !request_.ask) {
        ++result_.skipped;
        if (!noToAll_)
            note(QStringLiteral("%1 exists; kept").arg(diskPath(rel)));
        return false;
    }
    switch (request_.ask(entry, diskPath(rel))) {
    case ReplaceAnswer::Yes: return true;
    case ReplaceAnswer::YesToAll: yesToAll_ = true; return true;
    case ReplaceAnswer::NoToAll: noToAll_ = true; break;
    case ReplaceAnswer::Cancel: stop_ = true; break;
    case ReplaceAnswer::No: break;
    }
    ++result_.skipped;
    return false;
}

bool ExtractionPolicy::take(const ArchiveEntry& entry, const std::function<void(QIODevice&)>& fill)
{
    if (stop_ || (request_.cancel && request_.cancel->load())) {
        result_.stopped = true;
        return false;
    }
    if (request_.selected && !request_.selected(entry))
        return true;
    const QString rel = relativePathOf(entry);
    if (!rel.isEmpty() && request_.folderNames && rel != plainName(entry.name))
        note(QStringLiteral("%1 extracted as %2").arg(entry.name, rel));
    awaitWriters(rel);
    if (entry.type == ArchiveEntry::HardLink)
        collect(true); // its file may still be being written
    if (rel.isEmpty()) {
        if (!entry.folder())
            note(QStringLiteral("%1 skipped (no usable name)").arg(entry.name));
    } else {
        switch (entry.type) {
        case ArchiveEntry::Folder:
            if (request_.folderNames)
                makeFolder(entry, rel);
            break;
        case ArchiveEntry::File: writeFile(entry, rel, fill); break;
        case ArchiveEntry::SymLink: heldLinks_ << HeldLink{entry, rel}; break;
        case ArchiveEntry::HardLink: makeHardLink(entry, rel); break;
        default:
            ++result_.skipped;
            note(QStringLiteral("%1 skipped (not a file, folder or link)").arg(entry.name));
            break;
        }
    }
    ++entriesDone_;
    if (entry.type == ArchiveEntry::File)
        bytesDone_ += entry.size;
    if (request_.progress && !request_.progress(entriesDone_, bytesDone_))
        stop_ = true;
    if (stop_)
        result_.stopped = true;
    return !stop_;
}

bool ExtractionPolicy::makeFolder(const ArchiveEntry& entry, const QString& rel)
{
    if (dir_.folder(bytes(rel), true) < 0) {
        const int err = errno;
        if (err == ELOOP || err == ENOTDIR)
            fail(QStringLiteral("%1 skipped: a part of its path is a link or a file").arg(entry.name));
        else
            fail(QStringLiteral("cannot create the folder %1: %2").arg(diskPath(rel), errnoText(err)));
        return false;
    }
    ++result_.extracted;
    folders_ << FolderTimes{rel, entry.mode, entry.time};
    return true;
}

bool ExtractionPolicy::writeFile(const ArchiveEntry& entry, const QString& rel, const std::function<void(QIODevice&)>& fill)
{
    QString leaf;
    const int dirFd = targetFolder(entry, rel, leaf);
    if (dirFd < 0)
        return false;
    if (writeAhead_ && fill && entry.size >= 0 && entry.size <= FileWriteQueue::MaxFileSize)
        return queueFile(entry, rel, leaf, dirFd, fill);
    std::string temp;
    const int fd = qz::SafeDir::createTemp(dirFd, temp, fileMode(entry, 0666));
    if (fd < 0) {
        fail(QStringLiteral("cannot create %1: %2").arg(diskPath(rel), errnoText(errno)));
        return false;
    }
    TempGuard guard{dirFd, temp};
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        fail(QStringLiteral("cannot create %1: %2").arg(diskPath(rel), out.errorString()));
        return false;
    }
    // A damaged entry raises; the guard removes its part. Nothing here
    // walks the folder cache, so `dirFd` stays the folder of the file.
    if (fill)
        fill(out);
    if (!out.flush() || out.error() != QFileDevice::NoError) {
        fail(QStringLiteral("write error on %1: %2").arg(diskPath(rel), out.errorString()));
        return false;
    }
    setTimes(fd, entry.time);
    out.close();
    if (out.error() != QFileDevice::NoError) {
        fail(QStringLiteral("write error on %1: %2").arg(diskPath(rel), out.errorString()));
        return false;
    }
    guard.armed = false;
    if (!commit(dirFd, temp, leaf, rel))
        return false;
    written_.insert(rel);
    ++result_.extracted;
    return true;
}

std::shared_ptr<qz::OpenFolder> ExtractionPolicy::heldFolder(const QString& parentRel, int dirFd)
{
    const auto it = heldFolders_.find(parentRel);
    if (it != heldFolders_.end())
        return it->second;
    const int own = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    // Files under way keep theirs open.
    if (heldFolders_.size() >= 64)
        heldFolders_.clear();
    return heldFolders_[parentRel] = std::make_shared<qz::OpenFolder>(own);
}

bool ExtractionPolicy::queueFile(const ArchiveEntry& entry, const QString& rel, const QString& leaf, int dirFd,
                                 const std::function<void(QIODevice&)>& fill)
{
    auto f = std::make_unique<FileWriteQueue::File>();
    f->data.reserve(entry.size);
    {
        // A damaged entry raises here, before anything is on disk.
        QBuffer buffer(&f->data);
        buffer.open(QIODevice::WriteOnly);
        fill(buffer);
    }
    const qsizetype slash = rel.lastIndexOf(QLatin1Char('/'));
    f->folder = heldFolder(slash < 0 ? QString() : rel.left(slash), dirFd);
    if (!f->folder) {
        fail(QStringLiteral("cannot create %1: %2").arg(diskPath(rel), errnoText(errno)));
        return false;
    }
    f->leaf = bytes(leaf);
    f->rel = rel;
    f->mode = fileMode(entry, 0666);
    f->mtime = entry.time.isValid() ? entry.time.toSecsSinceEpoch() : -1;
    if (!writers_)
        writers_ = std::make_unique<FileWriteQueue>(FileWriteQueue::threadsWanted());
    writers_->push(std::move(f));
    inFlight_.insert(rel);
    collect(false);
    return true;
}

void ExtractionPolicy::collect(bool all)
{
    using Step = FileWriteQueue::File::Step;
    if (!writers_)
        return;
    writers_->settle(all);
    while (const std::unique_ptr<FileWriteQueue::File> f = writers_->takeOldest()) {
        inFlight_.remove(f->rel);
        const QString path = diskPath(f->rel);
        switch (f->step) {
        case Step::Written:
            written_.insert(f->rel);
            ++result_.extracted;
            break;
        case Step::Create: fail(QStringLiteral("cannot create %1: %2").arg(path, errnoText(f->error))); break;
        case Step::Write: fail(QStringLiteral("write error on %1: %2").arg(path, errnoText(f->error))); break;
        case Step::Rename:
        case Step::Pending:
            fail(f->error == EISDIR || f->error == ENOTEMPTY || f->error == EEXIST
                     ? QStringLiteral("%1 is a folder; not replaced").arg(path)
                     : QStringLiteral("cannot create %1: %2").arg(path, errnoText(f->error)));
            break;
        }
    }
}

void ExtractionPolicy::awaitWriters(const QString& rel)
{
    if (inFlight_.isEmpty())
        return;
    for (qsizetype k = rel.indexOf(QLatin1Char('/'));; k = rel.indexOf(QLatin1Char('/'), k + 1)) {
        if (inFlight_.contains(k < 0 ? rel : rel.left(k))) {
            collect(true);
            return;
        }
        if (k < 0)
            return;
    }
}

bool ExtractionPolicy::makeHardLink(const ArchiveEntry& entry, const QString& rel)
{
    const QString sourceRel = tarSafeRelativePath(entry.linkTarget);
    if (sourceRel.isEmpty() || !written_.contains(sourceRel)) {
        ++result_.failed;
        note(QStringLiteral("%1 skipped (link to %2, which was not extracted)").arg(entry.name, entry.linkTarget));
        return false;
    }
    if (sourceRel == rel)
        return true;
    std::string sourceParent, sourceLeaf;
    qz::SafeDir::split(bytes(sourceRel), sourceParent, sourceLeaf);
    const int cached = dir_.folder(sourceParent, false);
    const int sourceFd = cached < 0 ? -1 : ::dup(cached);
    struct stat st;
    if (sourceFd < 0 || ::fstatat(sourceFd, sourceLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        if (sourceFd >= 0)
            ::close(sourceFd);
        ++result_.failed;
        note(QStringLiteral("%1 skipped (link to %2, which is no longer a file)").arg(entry.name, entry.linkTarget));
        return false;
    }
    QString leaf;
    const int dirFd = targetFolder(entry, rel, leaf);
    if (dirFd < 0) {
        ::close(sourceFd);
        return false;
    }
    // A new name first, then renamed over the old one, so nothing goes
    // before its replacement exists.
    std::string temp;
    const bool linked = qz::SafeDir::makeFreeName(
        temp, [&](const char* name) { return ::linkat(sourceFd, sourceLeaf.c_str(), dirFd, name, 0); });
    const int err = errno;
    ::close(sourceFd);
    if (!linked) {
        fail(QStringLiteral("cannot create the link %1: %2").arg(diskPath(rel), errnoText(err)));
        return false;
    }
    if (!commit(dirFd, temp, leaf, rel))
        return false;
    written_.insert(rel);
    ++result_.extracted;
    return true;
}

bool ExtractionPolicy::makeSymLink(const ArchiveEntry& entry, const QString& rel)
{
    const QString target = entry.linkTarget;
    const auto refuse = [&](const QString& why) {
        ++result_.skipped;
        note(QStringLiteral("%1 skipped (its link target %2 %3)").arg(entry.name, target, why));
        return false;
    };
    // A part of the path that is a link on disk, or one of this run's links
    // still to be made, may lead anywhere once it exists.
    const char* why = qz::SafeDir::linkRefusal(bytes(rel), bytes(target), [this](const std::string& path) {
        const QString p = QFile::decodeName(QByteArray::fromStdString(path));
        return heldRels_.contains(p) || existing(p).link;
    });
    if (why)
        return refuse(QString::fromLatin1(why));
    QString leaf;
    const int dirFd = targetFolder(entry, rel, leaf);
    if (dirFd < 0)
        return false;
    std::string temp;
    const std::string targetBytes = bytes(target);
    if (!qz::SafeDir::makeFreeName(temp, [&](const char* name) { return ::symlinkat(targetBytes.c_str(), dirFd, name); })) {
        fail(QStringLiteral("cannot create the link %1: %2").arg(diskPath(rel), errnoText(errno)));
        return false;
    }
    if (!commit(dirFd, temp, leaf, rel))
        return false;
    ++result_.extracted;
    return true;
}

ExtractResult ExtractionPolicy::finish(const QString& error)
{
    collect(true);
    for (const HeldLink& l : heldLinks_)
        heldRels_.insert(l.rel);
    for (const HeldLink& l : heldLinks_)
        makeSymLink(l.entry, l.rel);
    heldLinks_.clear();
    heldRels_.clear();
    // Deepest first, so setting a folder's time is not undone by its children.
    for (qsizetype i = folders_.size() - 1; i >= 0; --i) {
        const FolderTimes& f = folders_[i];
        const int fd = dir_.folder(bytes(f.rel), false);
        if (fd < 0)
            continue;
        if (f.mode >= 0)
            ::fchmod(fd, mode_t(f.mode & 0777) & ~umask_);
        setTimes(fd, f.time);
    }
    folders_.clear();
    result_.error = error;
    return result_;
}
