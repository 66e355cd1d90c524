#include "RarHeaders.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz::rar {

namespace {

const char Sig4[] = "Rar!\x1a\x07\x00";
const char Sig5[] = "Rar!\x1a\x07\x01\x00";
// How far into a file a signature is looked for (a self-extractor's program comes first).
const size_t SignatureSearch = 1 << 20;

class File {
public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat st;
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0)
            size_ = uint64_t(st.st_size);
    }
    ~File()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    // Exactly `n` bytes at `off`, or false.
    bool read(uint64_t off, void* p, size_t n) const
    {
        if (off > size_ || n > size_ - off)
            return false;
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, static_cast<char*>(p) + done, n - done, off_t(off + done));
            if (got <= 0)
                return false;
            done += size_t(got);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

std::string slashed(std::string s)
{
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

// ---- RAR 4 ------------------------------------------------------------------

void scan4(const File& f, uint64_t pos, HeaderScan& out)
{
    enum { MarkBlock = 0x72, MainBlock = 0x73, FileBlock = 0x74, NewSubBlock = 0x7a, EndBlock = 0x7b };
    while (pos < f.size()) {
        uint8_t h[7];
        if (!f.read(pos, h, sizeof h)) {
            out.cut = true;
            return;
        }
        const uint8_t type = h[2];
        const uint16_t flags = le16(h + 3);
        const uint16_t headSize = le16(h + 5);
        if (headSize < 7)
            return; // damaged: the reader says so
        if (pos + headSize > f.size()) {
            out.cut = true;
            return;
        }
        std::vector<uint8_t> head(headSize);
        f.read(pos, head.data(), headSize);
        uint64_t addSize = 0;
        if ((flags & 0x8000) || type == FileBlock || type == NewSubBlock) {
            if (headSize < 11)
                return;
            addSize = le32(head.data() + 7);
            if ((type == FileBlock || type == NewSubBlock) && (flags & 0x100) && headSize >= 36)
                addSize |= uint64_t(le32(head.data() + 32)) << 32;
        }
        switch (type) {
        case MainBlock:
            out.volume = flags & 0x0001;
            out.solidArchive = flags & 0x0008;
            out.newNumbering = flags & 0x0010;
            if (flags & 0x0080) {
                out.headersEncrypted = true;
                return;
            }
            break;
        case FileBlock: {
            if (headSize < 32)
                return;
            HeaderEntry e;
            e.packed = addSize;
            e.unpacked = le32(head.data() + 11);
            e.host = head[15];
            e.crc = le32(head.data() + 16);
            e.dosTime = le32(head.data() + 20);
            e.version = head[24];
            e.method = head[25];
            e.attributes = le32(head.data() + 28);
            size_t nameAt = 32;
            if (flags & 0x100) {
                if (headSize < 40)
                    return;
                e.unpacked |= uint64_t(le32(head.data() + 36)) << 32;
                nameAt = 40;
            }
            const size_t nameSize = le16(head.data() + 26);
            if (nameAt + nameSize > headSize)
                return;
            std::string name(reinterpret_cast<const char*>(head.data() + nameAt), nameSize);
            // A Unicode name follows the plain one after a zero byte.
            if (flags & 0x200)
                name = name.substr(0, std::strlen(name.c_str()));
            e.name = slashed(name);
            e.splitBefore = flags & 0x01;
            e.splitAfter = flags & 0x02;
            e.encrypted = flags & 0x04;
            e.solid = flags & 0x10;
            e.folder = (flags & 0xe0) == 0xe0;
            e.cut = pos + headSize + addSize > f.size();
            out.entries.push_back(e);
            break;
        }
        case EndBlock:
            out.ended = true;
            out.moreVolumes = flags & 0x0001;
            return;
        default: break;
        }
        pos += headSize + addSize;
        if (pos > f.size()) {
            out.cut = true;
            return;
        }
    }
}

// ---- RAR 5 ------------------------------------------------------------------

// Reads one variable-length number from [p, end); false when it runs past.
bool vint(const uint8_t*& p, const uint8_t* end, uint64_t& v)
{
    v = 0;
    for (int shift = 0; p < end && shift < 70; shift += 7) {
        const uint8_t b = *p++;
        v |= uint64_t(b & 0x7f) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

// Whether the extra area [p, end) of a file header holds an encryption record.
bool extraEncrypted(const uint8_t* p, const uint8_t* end)
{
    while (p < end) {
        uint64_t size, type;
        const uint8_t* at = p;
        if (!vint(at, end, size) || size > uint64_t(end - at))
            return false;
        const uint8_t* next = at + size;
        if (!vint(at, next, type))
            return false;
        if (type == 0x01)
            return true;
        p = next;
    }
    return false;
}

void scan5(const File& f, uint64_t pos, HeaderScan& out)
{
    enum { MainHeader = 1, FileHeader = 2, EncryptionHeader = 4, EndHeader = 5 };
    const uint64_t MaxHeader = 2 * 1024 * 1024;
    while (pos < f.size()) {
        uint8_t first[14];
        const size_t firstSize = size_t(std::min<uint64_t>(sizeof first, f.size() - pos));
        if (firstSize < 5 || !f.read(pos, first, firstSize)) {
            out.cut = true;
            return;
        }
        const uint8_t* p = first + 4;
        uint64_t headSize;
        if (!vint(p, first + firstSize, headSize)) {
            out.cut = firstSize < sizeof first;
            return;
        }
        const uint64_t headStart = pos + uint64_t(p - first);
        if (headSize == 0 || headSize > MaxHeader)
            return;
        if (headStart + headSize > f.size()) {
            out.cut = true;
            return;
        }
        std::vector<uint8_t> head(headSize);
        f.read(headStart, head.data(), size_t(headSize));
        const uint8_t* q = head.data();
        const uint8_t* end = q + headSize;
        uint64_t type, flags, extraSize = 0, dataSize = 0;
        if (!vint(q, end, type) || !vint(q, end, flags))
            return;
        if ((flags & 0x1) && !vint(q, end, extraSize))
            return;
        if ((flags & 0x2) && !vint(q, end, dataSize))
            return;
        if (extraSize > uint64_t(end - q))
            return;
        const uint8_t* extra = end - extraSize;
        switch (type) {
        case MainHeader: {
            uint64_t archiveFlags;
            if (!vint(q, extra, archiveFlags))
                return;
            out.volume = archiveFlags & 0x1;
            out.solidArchive = archiveFlags & 0x4;
            out.newNumbering = true;
            break;
        }
        case FileHeader: {
            uint64_t fileFlags, unpacked, attributes, compression, host, nameLen;
            if (!vint(q, extra, fileFlags) || !vint(q, extra, unpacked) || !vint(q, extra, attributes))
                return;
            HeaderEntry e;
            const int fixed = ((fileFlags & 0x2) ? 4 : 0) + ((fileFlags & 0x4) ? 4 : 0);
            if (extra - q < fixed)
                return;
            if (fileFlags & 0x2) {
                e.mtime = le32(q);
                q += 4;
            }
            if (fileFlags & 0x4) {
                e.crc = le32(q);
                q += 4;
            }
            if (!vint(q, extra, compression) || !vint(q, extra, host) || !vint(q, extra, nameLen)
                || nameLen > uint64_t(extra - q))
                return;
            e.name = std::string(reinterpret_cast<const char*>(q), size_t(nameLen));
            e.host = host == 1 ? 3 : 2; // Unix, else Windows, as RAR 4 numbers them
            e.attributes = uint32_t(attributes);
            e.version = 50 + unsigned(compression & 0x3f);
            e.method = 0x30 + unsigned((compression >> 7) & 0x7);
            e.packed = dataSize;
            e.unpacked = unpacked;
            e.folder = fileFlags & 0x1;
            e.solid = compression & 0x40;
            e.encrypted = extraEncrypted(extra, end);
            e.splitBefore = flags & 0x08;
            e.splitAfter = flags & 0x10;
            e.cut = headStart + headSize + dataSize > f.size();
            out.entries.push_back(e);
            break;
        }
        case EncryptionHeader:
            out.headersEncrypted = true;
            return;
        case EndHeader: {
            uint64_t endFlags = 0;
            vint(q, extra, endFlags);
            out.ended = true;
            out.moreVolumes = endFlags & 0x1;
            return;
        }
        default: break;
        }
        pos = headStart + headSize + dataSize;
        if (pos > f.size()) {
            out.cut = true;
            return;
        }
    }
}

} // namespace

HeaderScan scanHeaders(const std::string& path)
{
    HeaderScan out;
    File f(path);
    if (!f.ok())
        return out;
    std::vector<char> head(size_t(std::min<uint64_t>(f.size(), SignatureSearch)));
    if (!f.read(0, head.data(), head.size()))
        return out;
    for (size_t at = 0; at + 7 <= head.size(); ++at) {
        if (head[at] != 'R' || std::memcmp(head.data() + at, Sig4, 6) != 0)
            continue;
        if (head[at + 6] == 0) {
            out.format = 4;
            scan4(f, at + 7, out);
            return out;
        }
        if (at + 8 <= head.size() && std::memcmp(head.data() + at, Sig5, 8) == 0) {
            out.format = 5;
            scan5(f, at + 8, out);
            return out;
        }
    }
    return out;
}

namespace {

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWithNoCase(const std::string& s, const std::string& suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(uint8_t(s[s.size() - suffix.size() + i])) != suffix[i])
            return false;
    return true;
}

// The name of volume `n` (0 = the first) after `path`'s pattern.
struct Naming {
    bool ok = false;
    bool newStyle = false;
    std::string stem;   // up to ".part" (new) or up to the dot of ".rar" (old)
    size_t digits = 1;
    bool upper = false; // ".RAR", ".R00"
    std::string name(unsigned n) const
    {
        if (newStyle) {
            std::string num = std::to_string(n + 1);
            if (num.size() < digits)
                num.insert(0, digits - num.size(), '0');
            return stem + num + (upper ? ".RAR" : ".rar");
        }
        if (n == 0)
            return stem + (upper ? ".RAR" : ".rar");
        // x.r00 .. x.r99, then x.s00 ...
        const unsigned k = n - 1;
        std::string ext = ".";
        ext += char((upper ? 'R' : 'r') + k / 100);
        ext += char('0' + (k / 10) % 10);
        ext += char('0' + k % 10);
        return stem + ext;
    }
};

Naming namingOf(const std::string& path, bool newStyle)
{
    Naming n;
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return n;
    const std::string ext = path.substr(dot + 1);
    n.upper = !ext.empty() && std::isupper(uint8_t(ext[0]));
    if (newStyle) {
        // stem.partNN.rar
        if (!endsWithNoCase(path, ".rar"))
            return n;
        const std::string body = path.substr(0, dot);
        size_t d = body.size();
        while (d > 0 && std::isdigit(uint8_t(body[d - 1])))
            --d;
        if (d == body.size() || d < 5 || !endsWithNoCase(body.substr(0, d), ".part"))
            return n;
        n.stem = body.substr(0, d);
        n.digits = body.size() - d;
        n.newStyle = true;
        n.ok = true;
        return n;
    }
    // stem.rar, stem.r00, stem.s01 ...
    const bool rar = endsWithNoCase(path, ".rar");
    const bool numbered = ext.size() == 3 && std::isalpha(uint8_t(ext[0])) && std::isdigit(uint8_t(ext[1]))
                          && std::isdigit(uint8_t(ext[2]));
    if (!rar && !numbered)
        return n;
    n.stem = path.substr(0, dot);
    n.ok = true;
    return n;
}

} // namespace

std::vector<std::string> findVolumes(const std::string& path, std::string& missing)
{
    missing.clear();
    const HeaderScan given = scanHeaders(path);
    if (!given.volume)
        return {path};
    Naming naming = namingOf(path, true);
    if (!naming.ok || (!given.newNumbering && given.format == 4))
        naming = namingOf(path, false);
    if (!naming.ok)
        return {path};
    std::vector<std::string> out;
    for (unsigned n = 0; n < 1000; ++n) {
        const std::string name = naming.name(n);
        if (!exists(name)) {
            missing = name;
            break;
        }
        out.push_back(name);
        const HeaderScan s = n == 0 && name == path ? given : scanHeaders(name);
        if (!s.volume || (s.ended && !s.moreVolumes))
            break;
        if (!s.ended) {
            // A volume without its end block: the next one decides, if it is there.
            if (!exists(naming.name(n + 1)))
                break;
        }
    }
    // The given file must be part of what was found; otherwise read it alone.
    for (const std::string& v : out)
        if (v == path)
            return out;
    missing.clear();
    return {path};
}

} // namespace qz::rar
