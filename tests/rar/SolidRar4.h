#pragma once
// A solid RAR 4 archive for the tests, made from a sample: no free tool
// writes RAR.

#include "TestTools.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace rartests {

inline uint32_t crc32(const QByteArray& data)
{
    uint32_t crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// libarchive's solid, encrypted RAR 4 sample (its path given) with the
// encrypted mark taken off every file header (each header's check value
// mended): a solid RAR 4 archive whose entries past the first are plain
// solid entries.
inline QByteArray solidRar4(const QString& solidEncryptedSample)
{
    QByteArray d = testtools::readFile(solidEncryptedSample);
    qsizetype pos = 7;  // after the marker block
    while (pos + 11 <= d.size()) {
        const auto u8 = [&d](qsizetype at) { return uint32_t(uint8_t(d[at])); };
        const uint32_t type = u8(pos + 2);
        uint32_t flags = u8(pos + 3) | u8(pos + 4) << 8;
        const uint32_t size = u8(pos + 5) | u8(pos + 6) << 8;
        if (size < 7 || pos + qsizetype(size) > d.size())
            break;
        uint32_t add = 0;
        if ((flags & 0x8000) || type == 0x74)
            add = u8(pos + 7) | u8(pos + 8) << 8 | u8(pos + 9) << 16 | u8(pos + 10) << 24;
        if (type == 0x74) {
            flags &= ~0x04u;
            d[pos + 3] = char(flags & 0xff);
            const uint32_t check = crc32(d.mid(pos + 2, size - 2)) & 0xffff;
            d[pos] = char(check & 0xff);
            d[pos + 1] = char(check >> 8);
        }
        if (type == 0x7b)
            break;
        pos += qsizetype(size) + add;
    }
    return d;
}

} // namespace rartests
