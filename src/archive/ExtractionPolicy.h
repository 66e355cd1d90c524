#pragma once
// The rules every extraction follows, whatever the kind and the caller:
// - a stored name becomes a path inside the destination (".." and "." parts,
//   a leading "/" and a drive part dropped);
// - the path is walked from the destination one component at a time without
//   following links: nothing is made, written or removed through a link or a
//   non-folder, whether the archive made it or it was there before;
// - a file is written under a temporary name beside its target and renamed
//   over it only when complete, with the entry's time and its mode within
//   the umask;
// - a symbolic link is made only when its target, resolved as text from
//   where the link lands, stays inside the destination and passes through no
//   link; links are made after every other entry;
// - a hard link links to a file this run extracted, never copies;
// - devices, FIFOs and sockets are skipped with a message.

#include "archive/Archive.h"
#include "archive/FileWriteQueue.h"

#include "SafeDir.h"

#include <QIODevice>
#include <QList>
#include <QSet>
#include <map>
#include <memory>
#include <sys/types.h>

class ExtractionPolicy {
public:
    explicit ExtractionPolicy(const ExtractRequest& request);
    ~ExtractionPolicy();
    // "" when the destination exists or was made and could be opened.
    QString openError() const { return openError_; }
    // For kinds whose `fill` writes exactly the entry's size into any device
    // (no seeks): small files are read into memory and written on worker
    // threads, their outcomes taken in the entries' order.
    void writeSmallFilesAhead();

    // Extracts one entry (skipped when the request does not select it);
    // `fill` writes a file's data and may raise TTarError, which is passed
    // on after the partial file is removed. False when the run is to stop.
    bool take(const ArchiveEntry& entry, const std::function<void(QIODevice&)>& fill);
    // Makes the links held back, sets the folders' times and modes, and
    // returns the run's result. `error` is what ended the run early, if anything.
    ExtractResult finish(const QString& error = QString());

    // The path an entry lands on, relative to the destination ("" when
    // nothing of the name is left).
    QString relativePathOf(const ArchiveEntry& entry) const;

private:
    struct Existing {
        bool exists = false, folder = false, link = false, walkFailed = false;
    };
    struct HeldLink {
        ArchiveEntry entry;
        QString rel;
    };
    struct FolderTimes {
        QString rel;
        int mode;
        QDateTime time;
    };

    Existing existing(const QString& rel);
    // The replace decision for an existing file; false to skip. Sets stop_.
    bool mayReplace(const ArchiveEntry& entry, const QString& rel);
    bool makeFolder(const ArchiveEntry& entry, const QString& rel);
    bool writeFile(const ArchiveEntry& entry, const QString& rel, const std::function<void(QIODevice&)>& fill);
    bool makeSymLink(const ArchiveEntry& entry, const QString& rel);
    bool makeHardLink(const ArchiveEntry& entry, const QString& rel);
    // The folder `rel` goes into once the rules allow writing it: no link or
    // file on its path, no folder in its place, the replace policy agreeing.
    // -1 otherwise (after a message when something was wrong).
    int targetFolder(const ArchiveEntry& entry, const QString& rel, QString& leaf);
    // The folder that holds `rel`, made when missing; -1 after a message.
    int parentFolder(const QString& rel, const ArchiveEntry& entry, QString& leaf);
    // Renames the finished temporary file or link over `leaf`.
    bool commit(int dirFd, const std::string& temp, const QString& leaf, const QString& rel);
    // A file read into memory and handed to the writers.
    bool queueFile(const ArchiveEntry& entry, const QString& rel, const QString& leaf, int dirFd,
                   const std::function<void(QIODevice&)>& fill);
    // Takes the outcomes of the queued files: those finished, or (`all`)
    // every one.
    void collect(bool all);
    // A name, or a folder on its path, still being written is waited for
    // before it is looked at or made.
    void awaitWriters(const QString& rel);
    // The folder the last walk reached, held open for the writers.
    std::shared_ptr<qz::OpenFolder> heldFolder(const QString& parentRel, int dirFd);
    void note(const QString& text) const;
    void fail(const QString& text);
    QString diskPath(const QString& rel) const;
    mode_t fileMode(const ArchiveEntry& entry, mode_t fallback) const;

    const ExtractRequest& request_;
    qz::SafeDir dir_;
    QString openError_;
    mode_t umask_ = 022;
    bool yesToAll_ = false, noToAll_ = false, stop_ = false;
    int entriesDone_ = 0;
    qint64 bytesDone_ = 0;
    ExtractResult result_;
    QSet<QString> written_;
    QList<HeldLink> heldLinks_;
    QSet<QString> heldRels_;  // where the held links land, while they are made
    QList<FolderTimes> folders_;
    // The queued writes (set up with the first file queued).
    bool writeAhead_ = false;
    std::unique_ptr<FileWriteQueue> writers_;
    QSet<QString> inFlight_;
    std::map<QString, std::shared_ptr<qz::OpenFolder>> heldFolders_;
};
