#include "SfxParts.h"

#include "ZipFormat.h"

#include <QDir>
#include <QFileInfo>

#include <array>
#include <functional>
#include <optional>

// ---- The option block ----------------------------------------------------

int SfxOptionBlock::RawLength() const
{
    return int(12 + Caption.size() + DefaultDir.size() + CommandLine.size() + Message.size());
}

QByteArray SfxOptionBlock::Encode() const
{
    const int length = (RawLength() + 3) & ~3;
    QByteArray b(length, '\0');
    auto* p = reinterpret_cast<unsigned char*>(b.data());
    p[0] = 'M';
    p[1] = 'P';
    p[2] = 'V';
    p[3] = Flags;
    p[4] = 0;
    p[5] = 1;
    PutLE16(p + 6, uint16_t(length));
    int at = 8;
    for (const QByteArray* t : {&Caption, &DefaultDir, &CommandLine, &Message}) {
        p[at++] = uint8_t(t->size());
        std::copy(t->begin(), t->end(), b.begin() + at);
        at += int(t->size());
    }
    return b;
}

bool SfxOptionBlock::Decode(const unsigned char* p, qsizetype n)
{
    if (n < 8 || p[0] != 'M' || p[1] != 'P' || (p[2] != 'V' && p[2] != 'U'))
        return false;
    const bool v = p[2] == 'V';
    SfxOptionBlock o;
    o.Flags = v ? p[3] : uint8_t(p[3] & ~SfxFlag::NoSuccessMsg);
    QByteArray* texts[] = {&o.Caption, &o.DefaultDir, &o.CommandLine, &o.Message};
    qsizetype at = v ? 8 : 7;
    for (int i = 0; i < (v ? 4 : 3); ++i) {
        qsizetype len;
        if (v) {
            if (at >= n)
                return false;
            len = p[at++];
        } else {
            len = p[4 + i];
        }
        if (at + len > n)
            return false;
        *texts[i] = QByteArray(reinterpret_cast<const char*>(p + at), len);
        at += len;
    }
    *this = o;
    return true;
}

// ---- Icons -----------------------------------------------------------------

namespace SfxIconImage {

QByteArray BuiltIn()
{
    static const unsigned char bytes[] = {
#include "BuiltInSfxIcon.inc"
    };
    static_assert(sizeof bytes == FileSize, "the stub icon must be one 32x32 16-colour image");
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool HeaderIs32x32x16(const QByteArray& ico)
{
    return ico.size() > 8 && uint8_t(ico[6]) == 32 && uint8_t(ico[7]) == 32 && uint8_t(ico[8]) == 16;
}

bool IsSingle32x32x16(const QByteArray& ico)
{
    if (ico.size() != FileSize)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(ico.constData());
    // Header: reserved 0, type 1 (icon), one image; the entry: 32 by 32, 16
    // colours, 744 bytes at offset 22; the image header: 32 wide, 64 high
    // (both masks), 4 bits per pixel.
    return GetLE16(p) == 0 && GetLE16(p + 2) == 1 && GetLE16(p + 4) == 1 && p[6] == 32 && p[7] == 32 && p[8] == 16
           && GetLE32(p + 14) == uint32_t(ImageSize) && GetLE32(p + 18) == 22 && GetLE32(p + 22) == 40
           && GetLE32(p + 26) == 32 && GetLE32(p + 30) == 64 && GetLE16(p + 36) == 4;
}

namespace {

// The resource tree of a PE image held in memory, every offset checked.
class PeResources {
public:
    explicit PeResources(const QByteArray& image) : d_(image)
    {
        const std::optional<uint32_t> pe = u32(60);
        if (!pe || d_.size() < 2 || d_[0] != 'M' || d_[1] != 'Z' || !bytesAre(*pe, "PE\0\0", 4))
            return;
        const auto sections = u16(*pe + 6), optSize = u16(*pe + 20), magic = u16(*pe + 24);
        if (!sections || !optSize || !magic)
            return;
        // The resource table entry sits 112 bytes into the optional header of a
        // 32-bit program (PE header + 136) and 128 bytes into a 64-bit one's.
        const std::optional<uint32_t> rva = u32(qint64(*pe) + 24 + (*magic == 0x20B ? 128 : 112));
        if (!rva || !*rva)
            return;
        // The sections follow the optional header, whatever its size.
        const qint64 table = qint64(*pe) + 24 + *optSize;
        for (int i = 0; i < *sections; ++i) {
            const qint64 s = table + 40 * qint64(i);
            if (!bytesAre(s, ".rsrc\0\0\0", 8))
                continue;
            const auto virtSize = u32(s + 8), va = u32(s + 12), rawSize = u32(s + 16), rawAt = u32(s + 20);
            if (!virtSize || !va || !rawSize || !rawAt)
                return;
            const uint32_t extent = std::max(*virtSize, *rawSize);
            if (*rva < *va || *rva - *va >= extent)
                return;
            va_ = *va;
            rawAt_ = *rawAt;
            root_ = qint64(*rawAt) + (*rva - *va);
            return;
        }
    }

    bool valid() const { return root_ >= 0; }

    // Calls `take` with each data entry (file position and size) below type
    // `type`, identifier `id` (any when id < 0), any language, in order until
    // it returns true.
    void forEachIcon(uint32_t type, int64_t id, const std::function<bool(qint64, uint32_t)>& take) const
    {
        bool stop = false;
        forEachIdEntry(root_, [&](uint32_t typeId, uint32_t typeOff) {
            if (typeId != type || !(typeOff & 0x80000000u))
                return false;
            forEachIdEntry(root_ + (typeOff & 0x7FFFFFFFu), [&](uint32_t nameId, uint32_t nameOff) {
                if ((id >= 0 && nameId != uint32_t(id)) || !(nameOff & 0x80000000u))
                    return false;
                forEachEntry(root_ + (nameOff & 0x7FFFFFFFu), [&](uint32_t, uint32_t langOff) {
                    if (langOff & 0x80000000u)
                        return false;
                    const auto dataRva = u32(root_ + langOff), size = u32(root_ + langOff + 4);
                    if (!dataRva || !size || *dataRva < va_)
                        return false;
                    const qint64 at = qint64(*dataRva) - va_ + rawAt_;
                    if (at + qint64(*size) > d_.size())
                        return false;
                    stop = take(at, *size);
                    return stop;
                });
                return stop;
            });
            return stop;
        });
    }

    std::optional<uint32_t> u32(qint64 at) const
    {
        if (at < 0 || at + 4 > d_.size())
            return std::nullopt;
        return GetLE32(reinterpret_cast<const unsigned char*>(d_.constData()) + at);
    }
    std::optional<uint16_t> u16(qint64 at) const
    {
        if (at < 0 || at + 2 > d_.size())
            return std::nullopt;
        return GetLE16(reinterpret_cast<const unsigned char*>(d_.constData()) + at);
    }

private:
    bool bytesAre(qint64 at, const char* what, int n) const
    {
        return at >= 0 && at + n <= d_.size() && std::equal(what, what + n, d_.constData() + at);
    }
    // Every entry of the directory at `dir`: numeric ones only (named ones are skipped).
    void forEachIdEntry(qint64 dir, const std::function<bool(uint32_t, uint32_t)>& f) const
    {
        forEachEntry(dir, [&](uint32_t name, uint32_t off) { return !(name & 0x80000000u) && f(name, off); });
    }
    void forEachEntry(qint64 dir, const std::function<bool(uint32_t, uint32_t)>& f) const
    {
        const auto named = u16(dir + 12), ids = u16(dir + 14);
        if (!named || !ids)
            return;
        for (int i = 0; i < *named + *ids; ++i) {
            const auto name = u32(dir + 16 + 8 * qint64(i)), off = u32(dir + 20 + 8 * qint64(i));
            if (!name || !off)
                return;
            // Entries point into the tree; one pointing back at the root would loop.
            if ((*off & 0x7FFFFFFFu) == 0)
                continue;
            if (f(*name, *off))
                return;
        }
    }

    const QByteArray& d_;
    qint64 root_ = -1;
    uint32_t va_ = 0, rawAt_ = 0;
};

} // namespace

qint64 FindStubIconImage(const QByteArray& image)
{
    PeResources pe(image);
    qint64 found = -1;
    if (pe.valid())
        pe.forEachIcon(3, 1, [&](qint64 at, uint32_t size) {
            if (size != uint32_t(ImageSize))
                return false;
            found = at;
            return true;
        });
    return found;
}

QByteArray FirstIcon(const QByteArray& image)
{
    PeResources pe(image);
    QByteArray ico;
    if (!pe.valid())
        return ico;
    pe.forEachIcon(3, -1, [&](qint64 at, uint32_t size) {
        if (size < 40)
            return false;
        const QByteArray img = image.mid(at, size);
        const auto* p = reinterpret_cast<const unsigned char*>(img.constData());
        uint32_t width, height;
        uint16_t bits;
        if (GetLE32(p) == 0x474E5089u) { // a PNG image: its size from the IHDR chunk
            if (size < 24)
                return false;
            width = uint32_t(p[16] << 24 | p[17] << 16 | p[18] << 8 | p[19]);
            height = uint32_t(p[20] << 24 | p[21] << 16 | p[22] << 8 | p[23]);
            bits = 32;
        } else {
            width = GetLE32(p + 4);
            height = GetLE32(p + 8) / 2;
            bits = GetLE16(p + 14);
        }
        ico = QByteArray(22, '\0');
        auto* h = reinterpret_cast<unsigned char*>(ico.data());
        PutLE16(h + 2, 1);
        PutLE16(h + 4, 1);
        h[6] = width >= 256 ? 0 : uint8_t(width);
        h[7] = height >= 256 ? 0 : uint8_t(height);
        h[8] = bits < 8 ? uint8_t(1u << bits) : 0;
        PutLE16(h + 10, 1);
        PutLE16(h + 12, bits);
        PutLE32(h + 14, size);
        PutLE32(h + 18, 22);
        ico += img;
        return true;
    });
    return ico;
}

} // namespace SfxIconImage

// ---- Texts -----------------------------------------------------------------

namespace SfxTexts {

QString FailureText(bool toProgram, int32_t result)
{
    switch (result) {
    case -12: return toProgram ? QStringLiteral("Error in size of the supplied icon.") : QString();
    case -11: return toProgram ? QStringLiteral("Memory or general error while setting icon.") : QString();
    case -10:
        return toProgram ? QStringLiteral("ERROR : Icon not found in SfxStub.bin.") : QStringLiteral("ERROR : Memory Error.");
    case -9: return QStringLiteral("ERROR : General failure during copy.");
    case -3: return toProgram ? QStringLiteral("Error in open of source zip file.") : QStringLiteral("Error in open of source file.");
    case -2: return QStringLiteral("ERROR : Read or write error during copy. There may not be enough space on disk.");
    case -1: return QStringLiteral("Error in creation of destination.");
    }
    return QString();
}

QString IconRefusedText()
{
    return QStringLiteral("YOU MUST CHOOSE AN ICON THAT IS 32 BY 32 PIXELS AND WHICH CONTAINS ONLY 16 COLORS.");
}

QString ConvertedToProgramText(const QString& zip)
{
    const QFileInfo fi(zip);
    return QStringLiteral("THE ZIP FILE \r") + fi.fileName() + QStringLiteral("\r")
           + QStringLiteral("WAS CONVERTED TO A SELF EXTRACTING ZIP FILE IN THE FOLDER ") + QStringLiteral("\r")
           + fi.absolutePath();
}

QString ConvertedToZipText(const QString& program)
{
    const QFileInfo fi(program);
    return QStringLiteral("THE SELF EXTRACTING ZIP FILE \r") + fi.fileName() + QStringLiteral("\r")
           + QStringLiteral("WAS CONVERTED TO A REGULAR ZIP FILE IN THE FOLDER ") + QStringLiteral("\r") + fi.absolutePath();
}

QString AutoRunName(const QString& zip)
{
    const QFileInfo fi(zip);
    if (fi.fileName().startsWith(QLatin1Char('!')))
        return zip;
    return QDir(fi.path()).filePath(QLatin1Char('!') + fi.fileName());
}

} // namespace SfxTexts
