#pragma once
// The parts of a set read as one zip without joining them: pieces of the
// part files one after another, then the directory rewritten for the whole
// (held in memory). Reads may come from several threads at once.

#include "zipdir/ZipDir.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct QzInput;

class ZipSetSource : public zipdir::Source {
public:
    ZipSetSource() = default;
    ZipSetSource(const ZipSetSource&) = delete;
    ZipSetSource& operator=(const ZipSetSource&) = delete;

    // Takes a part's file; false when it cannot be read. The parts are
    // opened for each read, so that a set of any number of parts needs
    // no more than one descriptor a reading thread.
    bool OpenPart(const QString& fileName);
    int PartCount() const { return int(parts_.size()); }
    qint64 PartSize(int part) const;
    // Reads n bytes of one part at `offset`; false when they are not all there.
    bool ReadPart(int part, qint64 offset, void* dst, qint64 n) const;
    // Appends bytes [from, to) of a part to the zip.
    void AddPiece(int part, qint64 from, qint64 to);
    // Appends bytes held in memory (the directory and end record).
    void AddTail(const QByteArray& bytes);

    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* dst, size_t n) const override;
    // The zip in the form the unzip module takes (valid while this lives).
    const QzInput* Input();

private:
    struct Piece {
        uint64_t start = 0;  // where it begins in the zip
        uint64_t length = 0;
        int part = -1;       // -1: the tail
        qint64 from = 0;     // where it begins in its part
    };
    struct Part {
        QByteArray path; // encoded for the file system
        qint64 size = 0;
    };
    std::vector<Part> parts_;
    std::vector<Piece> pieces_;
    QByteArray tail_;
    uint64_t size_ = 0;
    std::unique_ptr<QzInput> input_;
};
