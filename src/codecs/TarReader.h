#pragma once
// Walks the headers of a tar file one entry at a time and copies entry data.
// Understands the traditional and ustar headers (with the name prefix), GNU
// long-name and long-link records ('L', 'K'), pax extended headers ('x', 'g':
// path, linkpath, size, mtime, uid, gid, uname, gname) and base-256 numbers.
// Every failure of the underlying file, and a header whose numbers cannot be
// used, is raised as TTarError.

#include "codecs/TarEntry.h"

#include <QFile>
#include <QIODevice>
#include <QMap>

class TTarReader {
public:
    explicit TTarReader(const QString& path, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    ~TTarReader();
    TTarReader(const TTarReader&) = delete;
    TTarReader& operator=(const TTarReader&) = delete;

    // Back to the first header.
    void rewind();
    // Reads the next entry; false at the end of the archive (a zero block, or
    // fewer than 512 bytes left). Right after it, position() is the start of the
    // entry's data.
    bool nextEntry(TTarEntry& entry);
    // Copies the current entry's data (the bytes not yet consumed) into `out`
    // and moves past its padding.
    void copyEntryData(QIODevice& out);
    // The same into a new file at `path` (created or truncated).
    void copyEntryDataToFile(const QString& path);
    // Copies `size` bytes starting at archive offset `offset` (an entry's data
    // offset as noted from position()) into `out`.
    void copyRange(qint64 offset, qint64 size, QIODevice& out);

    qint64 position() const;
    qint64 size() const { return fileSize_; }
    QString path() const { return file_.fileName(); }

    // Extension records larger than this are taken as corrupt.
    static constexpr qint64 MaxExtensionSize = 1 << 20;

private:
    void readExact(char* buf, qint64 n);
    void seekTo(qint64 pos);
    void copyBytes(qint64 n, QIODevice& out);
    static void applyPax(const QByteArray& data, QMap<QByteArray, QByteArray>& into);

    QFile file_;
    qint64 fileSize_ = 0;
    qint64 pending_ = 0;
    qint64 pos_ = 0;
    QMap<QByteArray, QByteArray> globalPax_;
};
