#pragma once
// Writes a tar file: regular file entries, an optional volume header and, for
// callers that want them, directory entries; closed with two zero blocks and
// zeros up to a whole record of 20 blocks, as GNU tar and bsdtar end theirs.
// Traditional headers throughout, with two additions so nothing is lost:
// names longer than 100 bytes are preceded by a GNU long-name record, and
// numbers too large for their octal field are written in base-256.
// Failures of the files involved are raised as TTarError.

#include "codecs/TarEntry.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFile>
#include <QIODevice>

class TTarWriter {
public:
    // Attributes given to every entry written.
    quint16 permissions = TarMode::AllPermissions;
    // When set, an entry added from a file gets that file's own permission
    // bits instead of `permissions`, as every tar tool writes them.
    bool modesFromFiles = false;
    quint32 userId = 0;
    quint32 groupId = 0;
    QString userName;
    QString groupName;
    quint16 specialBits = 0;
    QString magic = QStringLiteral("ustar");

    TTarWriter();
    explicit TTarWriter(const QString& path,
                        QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Truncate);
    // Writes into `sink` (open for writing, not owned, such as a TGzipWriter);
    // `name` stands for it in messages. close() finishes the tar and leaves
    // the sink open.
    TTarWriter(QIODevice& sink, const QString& name);
    // Writes the end block if finish() was not called, then closes the file.
    // Errors at that point cannot be raised; call finish() to see them.
    ~TTarWriter();
    TTarWriter(const TTarWriter&) = delete;
    TTarWriter& operator=(const TTarWriter&) = delete;

    void open(const QString& path, QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Truncate);

    // Adds the bytes of the file at diskPath under memberName (the disk path
    // with "\" turned into "/" when memberName is empty).
    void addFile(const QString& diskPath, const QString& memberName);
    // The same for a file already looked at: what `info` has read of it
    // (its time, and its mode with modesFromFiles) is not read again.
    void addFile(const QFileInfo& info, const QString& memberName);
    // Adds the rest of `stream` (from its current position) as one entry.
    void addStream(QIODevice& stream, const QString& memberName, const QDateTime& time);
    void addVolumeHeader(const QString& label, const QDateTime& time);
    // A directory entry (type '5', no data); memberName gets a trailing "/".
    void addDirectory(const QString& memberName, const QDateTime& time);
    // Writes the end block and flushes; the file stays open until close().
    void finish();
    // finish() if needed, then closes the file.
    void close();

    bool isOpen() const { return out_ && out_->isOpen(); }

    // The nine permission bits of the file described by `info`.
    static quint16 fileMode(const QFileInfo& info);

    // Seconds written for a time: whole seconds since 1970-01-01, 0 before it.
    static qint64 headerTime(const QDateTime& time);

private:
    void writeHeader(const QByteArray& name, qint64 size, qint64 mtime, char type, const QByteArray& magic8,
                     quint16 mode);
    void addData(QIODevice& stream, const QString& memberName, const QDateTime& time, quint16 mode);
    void writeLongNameRecord(const QByteArray& name);
    void put(const char* data, qint64 n);
    void flushBuffer();
    QByteArray magicField() const;

    QFile file_;
    QIODevice* out_ = nullptr;   // file_ or the caller's sink
    QString name_;
    qint64 written_ = 0;
    QByteArray buf_;
    bool finished_ = false;
};
