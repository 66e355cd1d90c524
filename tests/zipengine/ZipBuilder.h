#pragma once
// Writes small zip archives byte by byte for the tests, with every field under
// the test's control (host system, flags, data descriptors, comments, stray
// bytes before and after).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>
#include <zlib.h>

#include <cstdint>
#include <vector>

struct BuildEntry {
    QByteArray name;
    QByteArray data;
    QByteArray comment;
    QByteArray extra;
    uint8_t madeBy = 20;
    uint8_t host = 0;
    uint16_t flags = 0;
    uint16_t time = 0x6000; // 12:00:00
    uint16_t date = 0x5A21; // 2025-01-01
    bool dataDescriptor = false;
};

class ZipBuilder {
public:
    std::vector<BuildEntry> entries;
    QByteArray prefix;        // bytes before the zip data (a stub)
    bool adjustOffsets = true; // shift offsets by the prefix length
    QByteArray archiveComment;
    QByteArray trailing;      // bytes after the end record
    int declaredCommentLength = -1; // overrides the end record's comment length

    BuildEntry& add(const QByteArray& name, const QByteArray& data = QByteArray())
    {
        BuildEntry e;
        e.name = name;
        e.data = data;
        entries.push_back(e);
        return entries.back();
    }

    static void le16(QByteArray& b, uint32_t v)
    {
        b += char(v & 0xFF);
        b += char((v >> 8) & 0xFF);
    }
    static void le32(QByteArray& b, uint32_t v)
    {
        le16(b, v & 0xFFFF);
        le16(b, v >> 16);
    }

    QByteArray build() const
    {
        QByteArray out = prefix;
        const uint32_t shift = adjustOffsets ? uint32_t(prefix.size()) : 0;
        std::vector<uint32_t> offsets;
        for (const BuildEntry& e : entries) {
            offsets.push_back(uint32_t(out.size() - prefix.size()) + shift);
            const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()), uInt(e.data.size())));
            const uint16_t flags = e.flags | (e.dataDescriptor ? 8 : 0);
            le32(out, 0x04034B50);
            le16(out, 20);
            le16(out, flags);
            le16(out, 0);
            le16(out, e.time);
            le16(out, e.date);
            le32(out, e.dataDescriptor ? 0 : crc);
            le32(out, e.dataDescriptor ? 0 : uint32_t(e.data.size()));
            le32(out, e.dataDescriptor ? 0 : uint32_t(e.data.size()));
            le16(out, uint32_t(e.name.size()));
            le16(out, uint32_t(e.extra.size()));
            out += e.name;
            out += e.extra;
            out += e.data;
            if (e.dataDescriptor) {
                le32(out, 0x08074B50);
                le32(out, crc);
                le32(out, uint32_t(e.data.size()));
                le32(out, uint32_t(e.data.size()));
            }
        }
        const uint32_t dirStart = uint32_t(out.size() - prefix.size()) + shift;
        const qsizetype dirBegin = out.size();
        for (size_t i = 0; i < entries.size(); ++i) {
            const BuildEntry& e = entries[i];
            const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.data.constData()), uInt(e.data.size())));
            le32(out, 0x02014B50);
            out += char(e.madeBy);
            out += char(e.host);
            le16(out, 20);
            le16(out, e.flags | (e.dataDescriptor ? 8 : 0));
            le16(out, 0);
            le16(out, e.time);
            le16(out, e.date);
            le32(out, crc);
            le32(out, uint32_t(e.data.size()));
            le32(out, uint32_t(e.data.size()));
            le16(out, uint32_t(e.name.size()));
            le16(out, uint32_t(e.extra.size()));
            le16(out, uint32_t(e.comment.size()));
            le16(out, 0);
            le16(out, 0);
            le32(out, e.name.endsWith('/') ? 0x10 : 0);
            le32(out, offsets[i]);
            out += e.name;
            out += e.extra;
            out += e.comment;
        }
        const uint32_t dirSize = uint32_t(out.size() - dirBegin);
        le32(out, 0x06054B50);
        le16(out, 0);
        le16(out, 0);
        le16(out, uint32_t(entries.size()));
        le16(out, uint32_t(entries.size()));
        le32(out, dirSize);
        le32(out, dirStart);
        le16(out, declaredCommentLength >= 0 ? uint32_t(declaredCommentLength) : uint32_t(archiveComment.size()));
        out += archiveComment;
        out += trailing;
        return out;
    }

    bool write(const QString& path) const
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return f.write(build()) >= 0;
    }
};

inline bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
