#include "zipdir/ZipNames.h"

#include <zlib.h>

namespace zipdir {

const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// 0x80..0x9F (unassigned bytes map to the C1 control of the same value);
// the rest of the high half is Latin-1.
const char16_t kWindows1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};


namespace {

void appendUtf8(std::string& out, char32_t u)
{
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | (u >> 6));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xE0 | (u >> 12));
        out += char(0x80 | ((u >> 6) & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

bool allAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

bool IsValidUtf8(const char* data, size_t size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    size_t i = 0;
    while (i < size) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (size - i < len)
            return false;
        for (size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Over-long forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string Cp437ToUtf8(const std::string& raw)
{
    std::string out;
    out.reserve(raw.size());
    for (unsigned char c : raw)
        appendUtf8(out, c < 0x80 ? char32_t(c) : char32_t(kCp437High[c - 0x80]));
    return out;
}

std::string Windows1252ToUtf8(const std::string& raw)
{
    std::string out;
    out.reserve(raw.size());
    for (unsigned char c : raw)
        appendUtf8(out, (c >= 0x80 && c < 0xA0) ? char32_t(kWindows1252C1[c - 0x80]) : char32_t(c));
    return out;
}

bool UnicodePathField(const std::string& extra, const std::string& rawName, std::string& utf8)
{
    const auto* x = reinterpret_cast<const unsigned char*>(extra.data());
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        const unsigned id = unsigned(x[i] | x[i + 1] << 8), len = unsigned(x[i + 2] | x[i + 3] << 8);
        if (i + 4 + len > extra.size())
            return false;
        if (id == 0x7075 && len >= 5 && x[i + 4] == 1) {
            const uint32_t crc = uint32_t(x[i + 5]) | uint32_t(x[i + 6]) << 8 | uint32_t(x[i + 7]) << 16 | uint32_t(x[i + 8]) << 24;
            const uint32_t have = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(rawName.data()), uInt(rawName.size())));
            std::string u = extra.substr(i + 9, len - 5);
            if (crc == have && IsValidUtf8(u)) {
                utf8 = std::move(u);
                return true;
            }
            return false;
        }
        i += 4 + len;
    }
    return false;
}

std::string DecodeName(const std::string& rawName, const std::string& extra, uint16_t flags, int hostSystem,
                       int madeByVersion, CodePage codePage)
{
    std::string u;
    if (UnicodePathField(extra, rawName, u))
        return u;
    if (allAscii(rawName))
        return rawName;
    // Bit 11 says the writer stored UTF-8; that outranks any host guess.
    if ((flags & 0x800) && IsValidUtf8(rawName))
        return rawName;
    const bool oem = (codePage == CodePage::Auto && hostSystem == 0) || hostSystem == 6
                     || (hostSystem == 11 && madeByVersion == 50) || codePage == CodePage::Oem;
    if (oem)
        return Cp437ToUtf8(rawName);
    if (IsValidUtf8(rawName))
        return rawName;
    return Windows1252ToUtf8(rawName);
}

} // namespace zipdir
