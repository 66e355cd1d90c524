#pragma once
// Field encodings of the 512-byte tar header, shared by the reader and the writer.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace tarformat {

constexpr int BlockSize = 512;

// Header field offsets and widths.
constexpr int NameOff = 0, NameLen = 100;
constexpr int ModeOff = 100, UidOff = 108, GidOff = 116, ShortLen = 8;
constexpr int SizeOff = 124, MtimeOff = 136, LongLen = 12;
constexpr int ChecksumOff = 148;
constexpr int TypeOff = 156;
constexpr int LinkOff = 157, LinkLen = 100;
constexpr int MagicOff = 257, MagicLen = 8;
constexpr int UnameOff = 265, GnameOff = 297, OwnerNameLen = 32;
constexpr int DevMajorOff = 329, DevMinorOff = 337;
constexpr int PrefixOff = 345, PrefixLen = 155;
constexpr int ChecksummedBytes = 345;

inline qint64 roundUp(qint64 n) { return (n + BlockSize - 1) / BlockSize * BlockSize; }

// Short octal (8-byte fields): six digits, leading zeros as spaces, a space and
// a zero byte. Values that do not fit are written in base-256 (high bit set).
void putShortOctal(char* field, uint64_t value);
// Long octal (12-byte fields): eleven digits, leading zeros as spaces, a space.
// Values of 8^11 or more are written in base-256.
void putLongOctal(char* field, uint64_t value);
// Copies at most `width` bytes of text, zero-filling the rest.
void putText(char* field, int width, const QByteArray& text);

// Reads a numeric field: base-256 when the first byte has its high bit set
// (negative values allowed), otherwise octal digits after leading spaces up to
// the first other byte. `ok` is false when the value does not fit 63 bits.
int64_t getNumber(const char* field, int width, bool* ok = nullptr);
// The bytes of a text field up to its first zero byte.
QByteArray getText(const char* field, int width);

// Sum of the first 345 bytes with the checksum field taken as spaces, and the
// same over all 512 bytes (unsigned and signed), which other writers use.
unsigned checksum345(const char* header);
unsigned checksum512(const char* header);
int checksum512Signed(const char* header);

// Bytes of a name or other text from a header: UTF-8 when valid, else Latin-1.
QString decodeText(const QByteArray& bytes);

} // namespace tarformat
