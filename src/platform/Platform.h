#pragma once
// The operating-system services the program uses, in one place: where the
// program and its data live, free space, scratch folders, the busy cursor,
// opening help pages and web pages, the recycle bin.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class QSaveFile;

namespace Platform {

// The running executable and its folder (no trailing separator).
QString ProgramPath();
QString ProgramFolder();

// Where "config" and the "temp" scratch folder live: the variable
// QUARN_DATA_DIR when set; else, for a program that is not installed,
// ProgramFolder when it is writable; else $XDG_DATA_HOME/quarn
// (~/.local/share/quarn). The folder is not created.
QString DataFolder();
// Creates DataFolder() (and parents) when missing; returns whether it exists.
bool EnsureDataFolder();

// Where the program's own files are. A build tree or a portable copy keeps
// everything beside the program; an installed program keeps the modules, the
// image decoder and sfxstub.bin in lib/quarn and the help pages in
// share/quarn/help of its prefix (the paths below are relative to the
// program's folder and set by the build).
enum class ProgramFiles { Modules, Help };
QString ProgramFilesFolder(ProgramFiles kind);
// The same decision for a program living in `programFolder`.
QString ProgramFilesFolderFor(const QString& programFolder, ProgramFiles kind);
// True when `programFolder` is the bin folder of an installed layout: the
// modules are not beside the program but in the installed module folder.
bool IsInstalledLayout(const QString& programFolder);

// The help page `page` (e.g. "unzip.html") in the help folder.
QString HelpPagePath(const QString& page);

// Free bytes of the file system that holds `path` (the nearest existing
// parent for a path not yet created); -1 when unknown.
qint64 FreeOnDisk(const QString& path);
// Tests replace the measurement; an empty function restores the real one.
void SetFreeOnDiskHook(std::function<qint64(const QString&)> hook);

// Total bytes of the file system that holds `path`; -1 when unknown.
qint64 DiskSizeOf(const QString& path);

// True when the file system holding `path` lies on a block device whose
// `removable` flag is set (the device itself or, for a partition, its disk).
// Network and virtual file systems count as not removable.
bool IsRemovableDrive(const QString& path);
// Tests replace the answer; an empty function restores the real one.
void SetRemovableDriveHook(std::function<bool(const QString&)> hook);

// True when `path` lies on the file system that holds "/" (the system drive).
bool IsOnSystemFileSystem(const QString& path);
// True when `a` and `b` (or their nearest existing parents) lie on one file system.
bool SameFileSystem(const QString& a, const QString& b);

// True when `a` and `b` lie on the same file system (for paths not yet
// created, their nearest existing parents).
bool SameFileSystem(const QString& a, const QString& b);

// Mounted, ready, writable local file systems, in the order the system lists them.
QStringList LogicalDriveRoots();

// Opening documents and web pages with the desktop's handler. Tests install a
// hook that records the URL instead; it returns whether the open was handed on.
bool OpenUrl(const QString& urlOrPath);
void SetOpenUrlHook(std::function<bool(const QString&)> hook);
// Opens ProgramFolder/help/<page>.
bool OpenHelpPage(const QString& page);

// Moves a file or folder to the desktop's trash; false when that is not possible.
bool MoveToTrash(const QString& path);

// Deletes every file below `folder` at any depth (hidden ones included), then
// removes every sub-folder, deepest first. The folder itself stays. Best effort:
// returns false when something could not be removed. Symbolic links are
// removed as links; what they point to is never touched.
bool EmptyFolder(const QString& folder);
// EmptyFolder, then removes `folder` itself.
bool RemoveFolderTree(const QString& folder);

// Removes a scratch file, or a scratch folder with everything in it; a
// removal that failed once (a busy or flaky file system) is tried again, so
// no scratch is left behind. False when it is still there.
bool RemoveScratch(const QString& path);

// A folder for scratch files, made in `parent` under a new hidden name; it
// goes (RemoveScratch) with everything in it when this goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const QString& parent);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Empty when the folder could not be made.
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const { return path_ + QLatin1Char('/') + name; }

private:
    QString path_;
};

// A local date and time in the system locale's short date and long time
// format (without the time zone); "" for an invalid value.
QString DateTimeText(const QDateTime& time);

// Makes `folder` (and its parents) when missing and leaves it readable and
// writable by the owner alone. False when it cannot be made, or when a link
// or a file stands in its place.
bool MakePrivateFolder(const QString& folder);

// QSaveFile::commit() that keeps the old file when the new one could not be
// written out: Qt 6.4's commit() renames the new file into place even when
// writing its last buffered data failed (and ignores a failed sync), so this
// flushes and syncs the new file to disk first and abandons it when either
// fails. After the rename the folder is synced too, so that a system crash
// cannot leave the old name pointing at nothing or at half a file.
bool CommitSaveFile(QSaveFile& file);

// A name beside `finalName` that no file has, hidden like every scratch
// file (".quarn-<random><kind><name>"): a new file is written there and
// takes the final name only when it is complete.
QString ScratchNameBeside(const QString& finalName, const QString& kind = QStringLiteral("-"));

// Writes the folder holding `path` to disk, so that a name just given to a
// finished file survives a system crash. Best effort: a folder that cannot
// be synced loses nothing that is not already on its way to disk.
void SyncFolderOf(const QString& path);

// Joins a folder and a name with exactly one "/".
QString JoinPath(const QString& folder, const QString& name);

// Nested hourglass: the wait cursor is shown while at least one BusyCursor lives.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    // How many BusyCursor objects are alive (tests).
    static int depth();
};

} // namespace Platform
