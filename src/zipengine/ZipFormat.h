#pragma once
// The engine's view of zip records (the end record as the engine keeps it,
// field access, DOS times) and a buffered reader for the directory of a
// spanned set, which runs on over several disks.

#include "zipdir/ZipDir.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <cstdint>
#include <cstring>

namespace ZipSig {
constexpr uint32_t LocalHeader = zipdir::Sig::Local;
constexpr uint32_t CentralHeader = zipdir::Sig::Central;
constexpr uint32_t EndOfCentral = zipdir::Sig::End;
constexpr uint32_t SpanMarker = zipdir::Sig::Descriptor;
constexpr uint32_t Zip64EndOfCentral = zipdir::Sig::Zip64End;
constexpr uint32_t Zip64EndLocator = zipdir::Sig::Zip64Locator;
} // namespace ZipSig

constexpr int kEndRecordSize = 22;
constexpr int kCentralHeaderSize = 46;
// The end record plus the longest comment it can declare.
constexpr int kMaxEndSearch = kEndRecordSize + 65535;

inline uint16_t GetLE16(const unsigned char* p) { return zipdir::Le16(p); }
inline uint32_t GetLE32(const unsigned char* p) { return zipdir::Le32(p); }
inline void PutLE16(unsigned char* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLE32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

// The end-of-central-directory record.
struct ZipEndOfCentral {
    uint32_t HeaderSig = 0;
    uint16_t ThisDiskNo = 0;
    uint16_t CentralDiskNo = 0;
    uint16_t CentralEntries = 0; // on this disk
    uint16_t TotalEntries = 0;
    uint32_t CentralSize = 0;
    uint32_t CentralOffset = 0;
    uint16_t ZipCommentLen = 0;

    static ZipEndOfCentral Parse(const unsigned char* p)
    {
        ZipEndOfCentral r;
        r.HeaderSig = GetLE32(p);
        r.ThisDiskNo = GetLE16(p + 4);
        r.CentralDiskNo = GetLE16(p + 6);
        r.CentralEntries = GetLE16(p + 8);
        r.TotalEntries = GetLE16(p + 10);
        r.CentralSize = GetLE32(p + 12);
        r.CentralOffset = GetLE32(p + 16);
        r.ZipCommentLen = GetLE16(p + 20);
        return r;
    }
};

// A DOS date-time (date in the high half) as local time; an invalid value
// (month 0, day 0, hour 25 ...) gives an invalid QDateTime.
QDateTime DosDateTimeToQDateTime(uint32_t dosDateTime);
// The reverse, for times from 1980 to 2107; earlier times give 1 Jan 1980.
uint32_t QDateTimeToDosDateTime(const QDateTime& t);

// Sequential reading over an open file or buffer with a large buffer, so that the many
// small reads of a directory walk cost no system call each.
class ZipBufferedReader {
public:
    explicit ZipBufferedReader(QIODevice& file, qsizetype bufferSize = 256 * 1024);

    // Reads up to n bytes into dst; returns how many arrived.
    qsizetype Read(void* dst, qsizetype n);
    // Reads exactly n bytes into `out` (resized); returns how many arrived.
    qsizetype Read(QByteArray& out, qsizetype n);
    // Moves the position forward by n bytes (a seek past the buffer when needed).
    // Returns false when the position would pass the end of the file.
    bool Skip(qint64 n);
    bool Seek(qint64 pos);
    qint64 Pos() const { return filePos_ - (end_ - cur_); }
    qint64 Size() const { return size_; }

private:
    bool fill();

    QIODevice& file_;
    QByteArray buf_;
    qsizetype cur_ = 0, end_ = 0;
    qint64 filePos_; // file position of buf_[end_]
    qint64 size_;
};
