#include "SfxFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace sfx {

namespace {

uint16_t le16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t le64(const unsigned char* p) { return uint64_t(le32(p)) | (uint64_t(le32(p + 4)) << 32); }

constexpr uint32_t kEndSig = 0x06054B50, kCentralSig = 0x02014B50, kLocalSig = 0x04034B50;
constexpr uint32_t kZip64EndSig = 0x06064B50, kZip64LocatorSig = 0x07064B50;

// Code page 437's upper half as Unicode.
const uint16_t kCp437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Traditional PKWARE encryption.
class Keys {
public:
    explicit Keys(const std::string& password)
    {
        for (unsigned char c : password)
            update(c);
    }
    unsigned char decrypt(unsigned char c)
    {
        const unsigned t = (k2_ | 2) & 0xFFFF;
        c ^= uint8_t((t * (t ^ 1)) >> 8);
        update(c);
        return c;
    }

private:
    void update(unsigned char c)
    {
        k0_ = crc(k0_, c);
        k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
        k2_ = crc(k2_, uint8_t(k1_ >> 24));
    }
    static uint32_t crc(uint32_t v, unsigned char c)
    {
        static const z_crc_t* table = get_crc_table();
        return table[(v ^ c) & 0xFF] ^ (v >> 8);
    }
    uint32_t k0_ = 305419896u, k1_ = 591751049u, k2_ = 878082192u;
};

// Where an entry's data starts (after the local header), or -1.
int64_t dataStart(Reader& r, const Entry& e)
{
    unsigned char h[30];
    if (e.localHeader < 0 || !r.readAt(e.localHeader, h, 30) || le32(h) != kLocalSig)
        return -1;
    return e.localHeader + 30 + le16(h + 26) + le16(h + 28);
}

// Reads the 12-byte encryption header and checks its last byte.
bool openEncrypted(Reader& r, const Entry& e, int64_t at, Keys& keys)
{
    unsigned char head[12];
    if (e.compressedSize < 12 || !r.readAt(at, head, 12))
        return false;
    unsigned char last = 0;
    for (unsigned char c : head)
        last = keys.decrypt(c);
    const uint8_t check = (e.flags & 8) ? uint8_t(e.dosTime >> 8) : uint8_t(e.crc >> 24);
    return last == check;
}

} // namespace

int64_t PeImageEnd(Reader& r)
{
    unsigned char dos[64];
    if (!r.readAt(0, dos, 64) || dos[0] != 'M' || dos[1] != 'Z')
        return -1;
    const int64_t pe = le32(dos + 60);
    unsigned char coff[24];
    if (!r.readAt(pe, coff, 24) || std::memcmp(coff, "PE\0\0", 4) != 0)
        return -1;
    const unsigned sections = le16(coff + 6);
    const int64_t table = pe + 24 + le16(coff + 20);
    int64_t end = 0;
    for (unsigned i = 0; i < sections; ++i) {
        unsigned char s[40];
        if (!r.readAt(table + 40 * int64_t(i), s, 40))
            return -1;
        const uint32_t rawSize = le32(s + 16), rawAt = le32(s + 20);
        if (rawSize)
            end = std::max<int64_t>(end, int64_t(rawAt) + rawSize);
    }
    return end;
}

bool ReadOptions(Reader& r, int64_t at, Options& o)
{
    unsigned char head[8];
    if (at < 0 || !r.readAt(at, head, 8) || head[0] != 'M' || head[1] != 'P' || (head[2] != 'V' && head[2] != 'U'))
        return false;
    o = Options();
    o.flags = head[3];
    o.blockStart = at;
    std::vector<std::string*> texts{&o.caption, &o.defaultDir, &o.commandLine};
    int64_t pos;
    if (head[2] == 'V') {
        o.blockLength = le16(head + 6);
        texts.push_back(&o.message);
        pos = at + 8;
    } else {
        // The older form: three lengths after the flags, no message, no bit 7.
        o.flags &= uint8_t(~NoSuccessMessage);
        pos = at + 7;
        o.blockLength = 7 + head[4] + head[5] + head[6];
    }
    const int64_t blockEnd = at + o.blockLength;
    for (size_t i = 0; i < texts.size(); ++i) {
        unsigned char len;
        if (head[2] == 'V') {
            if (pos + 1 > blockEnd || !r.readAt(pos, &len, 1))
                return false;
            ++pos;
        } else {
            len = head[4 + i];
        }
        if (pos + len > blockEnd)
            return false;
        texts[i]->assign(len, '\0');
        if (len && !r.readAt(pos, texts[i]->data(), len))
            return false;
        pos += len;
    }
    return true;
}

std::string ReadDirectory(Reader& r, std::vector<Entry>& entries)
{
    entries.clear();
    const int64_t size = r.size();
    const int64_t tailLen = std::min<int64_t>(size, 22 + 65535);
    std::vector<unsigned char> tail(static_cast<size_t>(tailLen));
    if (tailLen < 22 || !r.readAt(size - tailLen, tail.data(), tail.size()))
        return "The archive is damaged: it has no end record.";
    int64_t endAt = -1;
    for (int64_t i = tailLen - 22; i >= 0; --i)
        if (le32(&tail[size_t(i)]) == kEndSig) {
            endAt = size - tailLen + i;
            break;
        }
    if (endAt < 0)
        return "The archive is damaged: it has no end record.";
    const unsigned char* e = &tail[size_t(endAt - (size - tailLen))];
    if (le16(e + 4) != 0 || le16(e + 6) != 0)
        return "The archive spans several disks; this program cannot read it.";
    uint64_t count = le16(e + 10), dirSize = le32(e + 12), dirOffset = le32(e + 16);
    int64_t dirEnd = endAt;
    unsigned char loc[20];
    if (endAt >= 20 + 56 && r.readAt(endAt - 20, loc, 20) && le32(loc) == kZip64LocatorSig) {
        unsigned char z[56];
        const int64_t at = endAt - 20 - 56;
        if (r.readAt(at, z, 56) && le32(z) == kZip64EndSig) {
            count = le64(z + 32);
            dirSize = le64(z + 40);
            dirOffset = le64(z + 48);
            dirEnd = at;
        }
    }
    if (dirSize > uint64_t(dirEnd) || count > dirSize / 46)
        return "The archive is damaged: its directory does not fit.";
    const int64_t dirAt = dirEnd - int64_t(dirSize);
    const int64_t shift = dirAt - int64_t(dirOffset);
    std::vector<unsigned char> dir(static_cast<size_t>(dirSize));
    if (dirSize && !r.readAt(dirAt, dir.data(), dir.size()))
        return "The archive is damaged: its directory cannot be read.";
    size_t p = 0;
    for (uint64_t n = 0; n < count; ++n) {
        if (p + 46 > dir.size() || le32(&dir[p]) != kCentralSig)
            return "The archive is damaged: a directory entry is broken.";
        const unsigned char* h = &dir[p];
        Entry en;
        en.madeByVersion = h[4];
        en.hostSystem = h[5];
        en.flags = le16(h + 8);
        en.method = le16(h + 10);
        en.dosTime = le32(h + 12);
        en.crc = le32(h + 16);
        en.compressedSize = le32(h + 20);
        en.size = le32(h + 24);
        const size_t nameLen = le16(h + 28), extraLen = le16(h + 30), commentLen = le16(h + 32);
        uint64_t local = le32(h + 42);
        if (p + 46 + nameLen + extraLen + commentLen > dir.size())
            return "The archive is damaged: a directory entry is broken.";
        en.name.assign(reinterpret_cast<const char*>(h + 46), nameLen);
        en.utf8 = en.flags & (1u << 11);
        // Zip64 values, in the order of the fields that overflowed.
        const unsigned char* x = h + 46 + nameLen;
        for (size_t k = 0; k + 4 <= extraLen;) {
            const unsigned id = le16(x + k), len = le16(x + k + 2);
            if (k + 4 + len > extraLen)
                break;
            // Info-ZIP's Unicode path: the UTF-8 name, valid while the stored name is unchanged.
            if (id == 0x7075 && len >= 5 && x[k + 4] == 1 && !en.utf8
                && le32(x + k + 5) == uint32_t(crc32(0, h + 46, uInt(nameLen)))) {
                en.name.assign(reinterpret_cast<const char*>(x + k + 9), len - 5);
                en.utf8 = true;
            }
            if (id == 1) {
                const unsigned char* v = x + k + 4;
                size_t used = 0;
                auto take = [&](uint64_t& field) {
                    if (field == 0xFFFFFFFFu && used + 8 <= len) {
                        field = le64(v + used);
                        used += 8;
                    }
                };
                take(en.size);
                take(en.compressedSize);
                take(local);
            }
            k += 4 + len;
        }
        en.localHeader = int64_t(local) + shift;
        entries.push_back(std::move(en));
        p += 46 + nameLen + extraLen + commentLen;
    }
    return std::string();
}

namespace {

// Windows-1252's 0x80..0x9F (the rest of its upper half is Latin-1).
const uint16_t kCp1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool validUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || (n > 1 && c < 0xC2) || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

} // namespace

std::string NameUtf8(const Entry& e)
{
    if (e.utf8 && validUtf8(e.name))
        return e.name;
    // The program's rule: names from DOS, OS/2 and old NTFS writers are in the
    // OEM code page; others are UTF-8 when they are valid UTF-8, else Windows-1252.
    const bool oem = e.hostSystem == 0 || e.hostSystem == 6 || (e.hostSystem == 11 && e.madeByVersion == 50);
    if (!oem && validUtf8(e.name))
        return e.name;
    std::string out;
    for (unsigned char c : e.name) {
        if (c < 0x80)
            appendUtf8(out, c);
        else if (oem)
            appendUtf8(out, kCp437[c - 0x80]);
        else
            appendUtf8(out, c < 0xA0 ? kCp1252[c - 0x80] : c);
    }
    return out;
}

std::string SafeRelativeName(const std::string& utf8)
{
    std::string s = utf8;
    std::replace(s.begin(), s.end(), '\\', '/');
    size_t i = 0;
    while (i < s.size() && s[i] == '/')
        ++i;
    if (i + 1 < s.size() && s[i + 1] == ':' && ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z'))
        s.erase(0, i + 2);
    std::string out;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t next = s.find('/', pos);
        if (next == std::string::npos)
            next = s.size();
        std::string part = s.substr(pos, next - pos);
        // Windows drops trailing dots and spaces, which would turn "..." into "..".
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (!part.empty()) {
            for (char& c : part)
                if (static_cast<unsigned char>(c) < 32 || std::strchr("<>:\"|?*", c))
                    c = '_';
            if (!out.empty())
                out += '/';
            out += part;
        }
        pos = next + 1;
    }
    return out;
}

bool PasswordFits(Reader& r, const Entry& e, const std::string& password)
{
    const int64_t at = dataStart(r, e);
    Keys keys(password);
    return at >= 0 && openEncrypted(r, e, at, keys);
}

Result Extract(Reader& r, const Entry& e, const std::string& password,
               const std::function<bool(const void*, size_t)>& sink)
{
    if (e.method != 0 && e.method != 8)
        return Result::Unsupported;
    if (e.flags & 0x40) // strong encryption
        return Result::Unsupported;
    int64_t at = dataStart(r, e);
    if (at < 0)
        return Result::Damaged;
    uint64_t left = e.compressedSize;
    Keys keys(password);
    const bool encrypted = e.encrypted();
    if (encrypted) {
        if (!openEncrypted(r, e, at, keys))
            return Result::BadPassword;
        at += 12;
        left -= 12;
    }
    if (at + int64_t(left) > r.size())
        return Result::Damaged;

    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (e.method == 8 && inflateInit2(&z, -15) != Z_OK)
        return Result::ReadError;
    struct Ender {
        z_stream& z;
        bool on;
        ~Ender()
        {
            if (on)
                inflateEnd(&z);
        }
    } ender{z, e.method == 8};

    std::vector<unsigned char> in(65536), out(65536);
    uint32_t crc = crc32(0, nullptr, 0);
    uint64_t written = 0;
    bool streamEnd = false;
    while (!streamEnd) {
        const size_t n = size_t(std::min<uint64_t>(left, in.size()));
        if (n && !r.readAt(at, in.data(), n))
            return Result::ReadError;
        at += int64_t(n);
        left -= n;
        if (encrypted)
            for (size_t k = 0; k < n; ++k)
                in[k] = keys.decrypt(in[k]);
        if (e.method == 0) {
            if (n && !sink(in.data(), n))
                return Result::WriteError;
            crc = crc32(crc, in.data(), uInt(n));
            written += n;
            streamEnd = left == 0;
            continue;
        }
        z.next_in = in.data();
        z.avail_in = uInt(n);
        do {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                return encrypted ? Result::BadPassword : Result::Damaged;
            const size_t got = out.size() - z.avail_out;
            if (got && !sink(out.data(), got))
                return Result::WriteError;
            crc = crc32(crc, out.data(), uInt(got));
            written += got;
            if (rc == Z_STREAM_END) {
                streamEnd = true;
                break;
            }
            if (rc == Z_BUF_ERROR && z.avail_in == 0)
                break;
        } while (z.avail_in > 0 || z.avail_out == 0);
        if (!streamEnd && left == 0 && n == 0)
            return Result::Damaged;
    }
    if (crc != e.crc || written != e.size)
        return encrypted ? Result::BadPassword : Result::CrcError;
    return Result::Ok;
}

} // namespace sfx
