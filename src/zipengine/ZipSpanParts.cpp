#include "ZipSpanParts.h"

#include "TZipEngine.h"

#include "platform/Platform.h"
#include "zipdir/ScratchFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace {

bool exists(const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

bool renameFile(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

ZipSpanParts::ZipSpanParts(const QString& archive) : archive_(archive) {}

ZipSpanParts::~ZipSpanParts() = default;

QString ZipSpanParts::Writing(int disk)
{
    if (disk < 0)
        return QString();
    if (scratch_.size() <= size_t(disk))
        scratch_.resize(size_t(disk) + 1);
    QString& name = scratch_[size_t(disk)];
    if (name.isEmpty())
        name = Platform::ScratchNameBeside(TZipEngine::PartFileName(archive_, disk + 1));
    return name;
}

bool ZipSpanParts::Commit(int lastDisk, QString& failed)
{
    // The old parts move aside first, under names of their own: until every
    // new part has its name they can still be put back.
    std::vector<std::pair<QString, QString>> aside; // (part name, where it is now)
    auto putBack = [&aside]() {
        const int error = errno;
        for (auto it = aside.rbegin(); it != aside.rend(); ++it)
            renameFile(it->second, it->first);
        errno = error;
    };
    std::vector<QString> names;
    for (int disk = 0; disk <= lastDisk; ++disk)
        names.push_back(TZipEngine::PartFileName(archive_, disk + 1));
    // Every new part on disk before any takes its name: after a crash the
    // names hold the old set or whole new parts.
    for (int disk = 0; disk <= lastDisk; ++disk) {
        if (!zipdir::SyncFile(QFile::encodeName(Writing(disk)).toStdString())) {
            failed = names[size_t(disk)];
            return false;
        }
    }
    // The old set's later parts, as far as their numbers run on (only where
    // there was an old set: its first part is being replaced).
    std::vector<QString> old = names;
    if (exists(names.front()))
        for (int n = lastDisk + 2; exists(TZipEngine::PartFileName(archive_, n)); ++n)
            old.push_back(TZipEngine::PartFileName(archive_, n));
    for (const QString& name : old) {
        if (!exists(name))
            continue;
        const QString to = Platform::ScratchNameBeside(name, QStringLiteral("-old-"));
        if (!renameFile(name, to)) {
            failed = name;
            putBack();
            return false;
        }
        aside.emplace_back(name, to);
    }
    for (int disk = 0; disk <= lastDisk; ++disk) {
        if (!renameFile(Writing(disk), names[size_t(disk)])) {
            const int error = errno;
            failed = names[size_t(disk)];
            for (int done = disk - 1; done >= 0; --done)
                renameFile(names[size_t(done)], Writing(done));
            errno = error;
            putBack();
            return false;
        }
    }
    // Parts written past the end before the writing was cut back.
    for (size_t disk = size_t(lastDisk) + 1; disk < scratch_.size(); ++disk)
        if (!scratch_[disk].isEmpty() && exists(scratch_[disk]))
            Platform::RemoveScratch(scratch_[disk]);
    scratch_.clear();
    for (const auto& [name, now] : aside)
        Platform::RemoveScratch(now);
    zipdir::SyncFolderOf(QFile::encodeName(names.front()).toStdString());
    return true;
}

void ZipSpanParts::Discard()
{
    for (const QString& name : scratch_)
        if (!name.isEmpty() && exists(name))
            Platform::RemoveScratch(name);
    scratch_.clear();
}
