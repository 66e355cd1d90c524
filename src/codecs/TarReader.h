#pragma once
// Walks the headers of a tar file one entry at a time and copies entry data.
// Understands the traditional and ustar headers (with the name prefix), GNU
// long-name and long-link records ('L', 'K'), pax extended headers ('x', 'g':
// path, linkpath, size, mtime, uid, gid, uname, gname) and base-256 numbers.
// Every failure of the underlying file, and a header whose numbers cannot be
// used, is raised as TTarError.
//
// It reads either a tar file (with seeks) or a sequential device such as a
// TGzipReader: there it moves forward only, skipping by reading, and rewind()
// and copyRange() raise TTarError; size() is unknown (-1).

#include "codecs/TarEntry.h"

#include <QFile>
#include <QIODevice>
#include <QMap>

class TTarReader {
public:
    explicit TTarReader(const QString& path, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    // Reads from `device` (open, not owned); `name` stands for it in messages.
    TTarReader(QIODevice& device, const QString& name);
    ~TTarReader();
    TTarReader(const TTarReader&) = delete;
    TTarReader& operator=(const TTarReader&) = delete;

    // Back to the first header.
    void rewind();
    // Reads the next entry; false at the end of the archive (a zero block, or
    // nothing left). A header cut short, data that runs past the end and a
    // damaged sparse map raise TTarError. Right after it, position() is the start of the
    // entry's data.
    bool nextEntry(TTarEntry& entry);
    // Copies the current entry's data (the bytes not yet consumed) into `out`
    // and moves past its padding. A sparse member comes out at its real size:
    // holes are skipped over in a file device, written as zeros elsewhere.
    void copyEntryData(QIODevice& out);
    // The same into a new file at `path` (created or truncated).
    void copyEntryDataToFile(const QString& path);
    // Copies `size` bytes starting at archive offset `offset` (an entry's data
    // offset as noted from position()) into `out`.
    void copyRange(qint64 offset, qint64 size, QIODevice& out);

    qint64 position() const;
    qint64 size() const { return fileSize_; }
    QString path() const { return name_; }

    // Extension records larger than this are taken as corrupt.
    static constexpr qint64 MaxExtensionSize = 1 << 20;
    // Member sizes above this are taken as corrupt (no offset sum can overflow).
    static constexpr qint64 MaxMemberSize = qint64(1) << 60;

private:
    void readExact(char* buf, qint64 n);
    // Reads up to `n` bytes; fewer only at the end of the data.
    qint64 readUpTo(char* buf, qint64 n);
    // Moves `n` bytes forward; false when the data ends first.
    bool skip(qint64 n);
    void seekTo(qint64 pos);
    void requireSeekable(const char* what) const;
    void copyBytes(qint64 n, QIODevice& out);
    // Applies pax records to `into`; `global` keeps only the keys a member uses.
    static void applyPax(const QByteArray& data, QMap<QByteArray, QByteArray>& into, bool global);
    void readGnuSparse(const char* header, TTarEntry& entry);
    void readPaxSparse(const QMap<QByteArray, QByteArray>& pax, QByteArray& name, TTarEntry& entry);
    void readSparseMapBlocks(TTarEntry& entry);
    void checkSparseMap(const TTarEntry& entry) const;
    void copySparseData(QIODevice& out);

    QFile file_;
    QIODevice* dev_ = nullptr;
    QString name_;
    bool sequential_ = false;
    qint64 fileSize_ = -1;
    qint64 pending_ = 0;
    qint64 pos_ = 0;
    QMap<QByteArray, QByteArray> globalPax_;
    // The current member's sparse map and real size (empty, 0: not sparse).
    std::vector<std::pair<qint64, qint64>> sparse_;
    qint64 realSize_ = 0;
};
