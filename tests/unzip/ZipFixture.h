#pragma once
// Writes small stored zips for the unzip-page tests: local headers, central
// directory and end record, with the names, contents and DOS times given.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <cstdint>

namespace ZipFixture {

struct Entry {
    QString name;      // stored as UTF-8 with "/" separators
    QByteArray data;
    uint32_t dosTime = (uint32_t(45) << 25) | (6u << 21) | (15u << 16) | (10u << 11) | (30u << 5) | 4u; // 2025-06-15 10:30:08
};

inline uint32_t Crc32(const QByteArray& d)
{
    uint32_t c = 0xFFFFFFFFu;
    for (char ch : d) {
        c ^= uint8_t(ch);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

inline void Put16(QByteArray& b, uint32_t v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}
inline void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline QByteArray Build(const QList<Entry>& entries)
{
    QByteArray out, central;
    for (const Entry& e : entries) {
        const QByteArray name = e.name.toUtf8();
        const uint32_t crc = Crc32(e.data);
        const uint32_t offset = uint32_t(out.size());
        const uint16_t flags = name == e.name.toLatin1() ? 0 : 0x800;
        Put32(out, 0x04034b50);
        Put16(out, 10);
        Put16(out, flags);
        Put16(out, 0);
        Put32(out, e.dosTime);
        Put32(out, crc);
        Put32(out, uint32_t(e.data.size()));
        Put32(out, uint32_t(e.data.size()));
        Put16(out, uint32_t(name.size()));
        Put16(out, 0);
        out += name;
        out += e.data;

        Put32(central, 0x02014b50);
        Put16(central, 20);
        Put16(central, 10);
        Put16(central, flags);
        Put16(central, 0);
        Put32(central, e.dosTime);
        Put32(central, crc);
        Put32(central, uint32_t(e.data.size()));
        Put32(central, uint32_t(e.data.size()));
        Put16(central, uint32_t(name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, name.endsWith('/') ? 0x10 : 0);
        Put32(central, offset);
        central += name;
    }
    const uint32_t cdOffset = uint32_t(out.size());
    out += central;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, uint32_t(entries.size()));
    Put16(out, uint32_t(entries.size()));
    Put32(out, uint32_t(central.size()));
    Put32(out, cdOffset);
    Put16(out, 0);
    return out;
}

inline bool Write(const QString& path, const QList<Entry>& entries)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray b = Build(entries);
    return f.write(b) == b.size();
}

// Writes the zip at `path`, making its folders; a zip that cannot be written
// ends the test program. Returns `path`.
inline QString Made(const QString& path, const QList<Entry>& entries)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!Write(path, entries))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace ZipFixture
