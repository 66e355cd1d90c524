#include "ZipCommon.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

// ---- callbacks -------------------------------------------------------------

bool Reporter::call(int code, int32_t err, int32_t size, const std::string& text, QzCallbackRecord* out)
{
    if (!cb_) return aborted_;
    QzCallbackRecord local;
    QzCallbackRecord* r = out ? out : &local;
    std::memset(r, 0, sizeof *r);
    r->engine = engine_;
    r->isZipAction = zip_ ? 1 : 0;
    r->actionCode = code;
    r->errorCode = err;
    r->size = size;
    size_t n = std::min(text.size(), sizeof r->text - 1);
    std::memcpy(r->text, text.data(), n);
    r->text[n] = 0;
    if (cb_(r)) aborted_ = true;
    return aborted_;
}

bool Reporter::bytes(int64_t n)
{
    while (n > INT32_MAX) { if (call(QZ_CB_BYTES, 0, INT32_MAX, std::string())) return true; n -= INT32_MAX; }
    return call(QZ_CB_BYTES, 0, int32_t(n), std::string());
}

bool Reporter::totals(int64_t files, int64_t bytes)
{
    if (call(QZ_CB_TOTALFILES, 0, clamp32(files), std::string())) return true;
    return call(QZ_CB_TOTALSIZE, 0, clamp32(bytes), std::string());
}

// ---- PKWARE traditional encryption ----------------------------------------

static uint32_t crcByte(uint32_t crc, uint8_t c)
{
    static const z_crc_t* table = get_crc_table();
    return table[(crc ^ c) & 0xFF] ^ (crc >> 8);
}

void PkCrypt::init(const std::string& password)
{
    keys_[0] = 0x12345678u;
    keys_[1] = 0x23456789u;
    keys_[2] = 0x34567890u;
    for (unsigned char c : password) update(c);
}

void PkCrypt::update(uint8_t c)
{
    keys_[0] = crcByte(keys_[0], c);
    keys_[1] = keys_[1] + (keys_[0] & 0xFF);
    keys_[1] = keys_[1] * 134775813u + 1;
    keys_[2] = crcByte(keys_[2], uint8_t(keys_[1] >> 24));
}

void makeCryptHeader(PkCrypt& crypt, uint8_t check, uint8_t out[12])
{
    static std::random_device rd;
    for (int i = 0; i < 11; ++i) out[i] = uint8_t(rd());
    out[11] = check;
    crypt.encrypt(out, 12);
}

// ---- names and matching ---------------------------------------------------

static inline char fold(char c)
{
    if (c == '\\') return '/';
    if (c >= 'A' && c <= 'Z') return char(c - 'A' + 'a');
    return c;
}

bool wildMatch(const std::string& pattern, const std::string& name)
{
    // Iterative matcher with one backtrack point for the last '*'.
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') { star = p++; mark = n; continue; }
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n]))) { ++p; ++n; continue; }
        if (star != std::string::npos) { p = star + 1; n = ++mark; continue; }
        return false;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool hasWild(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool nameMatches(const std::string& wanted, const std::string& name)
{
    return hasWild(wanted) ? wildMatch(wanted, name) : slashes(wanted) == slashes(name);
}

std::string slashes(std::string s)
{
    for (char& c : s) if (c == '\\') c = '/';
    return s;
}

static const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::string cp437ToUtf8(const std::string& raw)
{
    std::string out;
    out.reserve(raw.size());
    for (unsigned char c : raw) {
        if (c < 0x80) { out += char(c); continue; }
        uint16_t u = kCp437High[c - 0x80];
        if (u < 0x800) { out += char(0xC0 | (u >> 6)); out += char(0x80 | (u & 0x3F)); }
        else { out += char(0xE0 | (u >> 12)); out += char(0x80 | ((u >> 6) & 0x3F)); out += char(0x80 | (u & 0x3F)); }
    }
    return out;
}

bool validUtf8(const std::string& s)
{
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t k;
        if (c < 0x80) k = 0;
        else if (c >= 0xC2 && c <= 0xDF) k = 1;
        else if ((c & 0xF0) == 0xE0) k = 2;
        else if (c >= 0xF0 && c <= 0xF4) k = 3;
        else return false;
        if (k && i + k >= n) return false;
        for (size_t j = 1; j <= k; ++j)
            if ((static_cast<unsigned char>(s[i + j]) & 0xC0) != 0x80) return false;
        i += k + 1;
    }
    return true;
}

bool isAscii(const std::string& s)
{
    for (unsigned char c : s) if (c >= 0x80) return false;
    return true;
}

std::string safeRelativeName(const std::string& name)
{
    std::string s = slashes(name);
    // Drop a drive part such as "C:" (possibly after leading slashes).
    size_t i = 0;
    while (i < s.size() && s[i] == '/') ++i;
    if (i + 1 < s.size() && s[i + 1] == ':' && ((s[i] | 0x20) >= 'a' && (s[i] | 0x20) <= 'z')) s.erase(0, i + 2);
    std::string out;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t next = s.find('/', pos);
        if (next == std::string::npos) next = s.size();
        std::string part = s.substr(pos, next - pos);
        if (!part.empty() && part != "." && part != "..") {
            if (part.find(':') != std::string::npos && part.size() == 2) { /* stray drive part */ }
            else { if (!out.empty()) out += '/'; out += part; }
        }
        pos = next + 1;
    }
    return out;
}

std::string baseName(const std::string& path)
{
    std::string s = slashes(path);
    while (!s.empty() && s.back() == '/') s.pop_back();
    size_t k = s.rfind('/');
    return k == std::string::npos ? s : s.substr(k + 1);
}

std::string parentDir(const std::string& path)
{
    std::string s = path;
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    size_t k = s.rfind('/');
    if (k == std::string::npos) return ".";
    if (k == 0) return "/";
    return s.substr(0, k);
}

// ---- dates ----------------------------------------------------------------

uint32_t unixToDos(int64_t t)
{
    time_t tt = time_t(t);
    struct tm tmv;
    if (!localtime_r(&tt, &tmv) || tmv.tm_year < 80) return (1u << 21) | (1u << 16); // 1980-01-01
    if (tmv.tm_year > 207) tmv.tm_year = 207;
    uint32_t date = uint32_t(((tmv.tm_year - 80) << 9) | ((tmv.tm_mon + 1) << 5) | tmv.tm_mday);
    uint32_t tim = uint32_t((tmv.tm_hour << 11) | (tmv.tm_min << 5) | (tmv.tm_sec / 2));
    return (date << 16) | tim;
}

int64_t dosToUnix(uint32_t dos)
{
    struct tm tmv;
    std::memset(&tmv, 0, sizeof tmv);
    uint32_t date = dos >> 16, tim = dos & 0xFFFF;
    tmv.tm_year = int((date >> 9) & 0x7F) + 80;
    tmv.tm_mon = int((date >> 5) & 0x0F) - 1;
    tmv.tm_mday = int(date & 0x1F);
    tmv.tm_hour = int(tim >> 11);
    tmv.tm_min = int((tim >> 5) & 0x3F);
    tmv.tm_sec = int((tim & 0x1F) * 2);
    if (tmv.tm_mon < 0) tmv.tm_mon = 0;
    if (tmv.tm_mday < 1) tmv.tm_mday = 1;
    tmv.tm_isdst = -1;
    return int64_t(mktime(&tmv));
}

// ---- little-endian helpers -------------------------------------------------

uint16_t rd16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint64_t rd64(const uint8_t* p) { return uint64_t(rd32(p)) | (uint64_t(rd32(p + 4)) << 32); }
void wr16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void wr32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }

bool preadAll(int fd, void* p, size_t n, uint64_t off)
{
    uint8_t* d = static_cast<uint8_t*>(p);
    while (n) {
        ssize_t r = ::pread(fd, d, n, off_t(off));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        d += r; n -= size_t(r); off += uint64_t(r);
    }
    return true;
}

// ---- the zip directory ----------------------------------------------------

static std::string decodeName(const Entry& e)
{
    if (e.flags & 0x800) return e.rawName;
    // Info-ZIP's Unicode path extra field, when its CRC matches the raw name.
    const std::string& x = e.extra;
    size_t i = 0;
    while (i + 4 <= x.size()) {
        uint16_t id = rd16(reinterpret_cast<const uint8_t*>(x.data() + i));
        uint16_t len = rd16(reinterpret_cast<const uint8_t*>(x.data() + i + 2));
        if (i + 4 + len > x.size()) break;
        if (id == 0x7075 && len >= 5 && x[i + 4] == 1) {
            uint32_t crc = rd32(reinterpret_cast<const uint8_t*>(x.data() + i + 5));
            uint32_t have = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(e.rawName.data()), uInt(e.rawName.size())));
            std::string u = x.substr(i + 9, len - 5);
            if (crc == have && validUtf8(u)) return u;
        }
        i += 4 + len;
    }
    int host = e.madeBy >> 8;
    bool dosHost = host == 0 || host == 11 || host == 14 || host == 6;
    if (!dosHost && validUtf8(e.rawName)) return e.rawName;
    return cp437ToUtf8(e.rawName);
}

static void applyZip64(Entry& e, bool needU, bool needC, bool needO)
{
    const std::string& x = e.extra;
    size_t i = 0;
    while (i + 4 <= x.size()) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(x.data() + i);
        uint16_t id = rd16(p), len = rd16(p + 2);
        if (i + 4 + len > x.size()) return;
        if (id == 0x0001) {
            size_t k = 4;
            if (needU && k + 8 <= 4u + len) { e.usize = rd64(p + k); k += 8; }
            if (needC && k + 8 <= 4u + len) { e.csize = rd64(p + k); k += 8; }
            if (needO && k + 8 <= 4u + len) { e.localOffset = rd64(p + k); k += 8; }
            return;
        }
        i += 4 + len;
    }
}

Directory readDirectory(int fd)
{
    Directory d;
    struct stat st;
    if (fstat(fd, &st) != 0) { d.error = QZ_ERR_NOFILE; d.errorText = "cannot read the zip file"; return d; }
    uint64_t size = uint64_t(st.st_size);
    if (size < 22) { d.error = QZ_ERR_FORMAT; d.errorText = "not a zip file (too short)"; return d; }
    uint64_t tail = std::min<uint64_t>(size, 65557);
    std::vector<uint8_t> buf(tail);
    if (!preadAll(fd, buf.data(), tail, size - tail)) { d.error = QZ_ERR_EOF; d.errorText = "cannot read the end of the zip file"; return d; }
    int64_t eocd = -1;
    for (int64_t i = int64_t(tail) - 22; i >= 0; --i) {
        if (rd32(&buf[i]) == 0x06054b50u) {
            uint16_t clen = rd16(&buf[i + 20]);
            if (uint64_t(i) + 22 + clen <= tail) { eocd = i; break; }
        }
    }
    if (eocd < 0) { d.error = QZ_ERR_FORMAT; d.errorText = "end of central directory not found: not a zip file"; return d; }
    const uint8_t* e = &buf[size_t(eocd)];
    uint64_t eocdPos = size - tail + uint64_t(eocd);
    uint64_t count = rd16(e + 10);
    uint64_t cdSize = rd32(e + 12);
    uint64_t cdOff = rd32(e + 16);
    d.comment.assign(reinterpret_cast<const char*>(e + 22), rd16(e + 20));
    if (rd16(e + 4) != 0 || rd16(e + 6) != 0) {
        if (rd16(e + 4) != 0) { d.error = QZ_ERR_UNSUPPORTED; d.errorText = "archives spread over several disks are not supported here"; return d; }
    }
    // Zip64 end record through its locator.
    if ((count == 0xFFFF || cdSize == 0xFFFFFFFFu || cdOff == 0xFFFFFFFFu) && eocdPos >= 20) {
        uint8_t loc[20];
        if (preadAll(fd, loc, 20, eocdPos - 20) && rd32(loc) == 0x07064b50u) {
            uint64_t z64 = rd64(loc + 8);
            uint8_t r[56];
            if (z64 + 56 <= size && preadAll(fd, r, 56, z64) && rd32(r) == 0x06064b50u) {
                count = rd64(r + 32);
                cdSize = rd64(r + 40);
                cdOff = rd64(r + 48);
                eocdPos = z64;
            }
        }
    }
    if (cdSize > eocdPos) { d.error = QZ_ERR_FORMAT; d.errorText = "central directory size is out of range"; return d; }
    // The central directory may be shifted by data in front (a self-extractor).
    uint64_t realOff = eocdPos - cdSize;
    if (realOff < cdOff) { d.error = QZ_ERR_FORMAT; d.errorText = "central directory offset is out of range"; return d; }
    d.dataStart = realOff - cdOff;
    d.centralOffset = realOff;
    if (count > cdSize / 46 + 1) { d.error = QZ_ERR_FORMAT; d.errorText = "entry count does not fit the central directory"; return d; }
    std::vector<uint8_t> cd(static_cast<size_t>(cdSize));
    if (cdSize && !preadAll(fd, cd.data(), size_t(cdSize), realOff)) { d.error = QZ_ERR_EOF; d.errorText = "cannot read the central directory"; return d; }
    size_t p = 0;
    d.entries.reserve(size_t(count));
    for (uint64_t n = 0; n < count; ++n) {
        if (p + 46 > cd.size() || rd32(&cd[p]) != 0x02014b50u) { d.error = QZ_ERR_FORMAT; d.errorText = "a central header signature is wrong"; return d; }
        const uint8_t* c = &cd[p];
        Entry en;
        en.madeBy = rd16(c + 4); en.needed = rd16(c + 6); en.flags = rd16(c + 8); en.method = rd16(c + 10);
        en.dosTime = (uint32_t(rd16(c + 14)) << 16) | rd16(c + 12);
        en.crc = rd32(c + 16); en.csize = rd32(c + 20); en.usize = rd32(c + 24);
        size_t nl = rd16(c + 28), xl = rd16(c + 30), cl = rd16(c + 32);
        en.diskStart = rd16(c + 34); en.intAttr = rd16(c + 36); en.extAttr = rd32(c + 38); en.localOffset = rd32(c + 42);
        if (p + 46 + nl + xl + cl > cd.size()) { d.error = QZ_ERR_FORMAT; d.errorText = "a central header runs past the directory"; return d; }
        en.rawName.assign(reinterpret_cast<const char*>(c + 46), nl);
        en.extra.assign(reinterpret_cast<const char*>(c + 46 + nl), xl);
        en.comment.assign(reinterpret_cast<const char*>(c + 46 + nl + xl), cl);
        en.central.assign(reinterpret_cast<const char*>(c), 46 + nl + xl + cl);
        applyZip64(en, en.usize == 0xFFFFFFFFu, en.csize == 0xFFFFFFFFu, en.localOffset == 0xFFFFFFFFu);
        en.localOffset += d.dataStart;
        if (en.localOffset + 30 > realOff || en.csize > realOff) { d.error = QZ_ERR_FORMAT; d.errorText = "an entry's offset or size is out of range"; return d; }
        en.name = decodeName(en);
        d.entries.push_back(std::move(en));
        p += 46 + nl + xl + cl;
    }
    return d;
}

bool localDataOffset(int fd, const Entry& e, uint64_t& dataOffset, std::string& err)
{
    uint8_t h[30];
    if (!preadAll(fd, h, 30, e.localOffset)) { err = "error while reading a local header"; return false; }
    if (rd32(h) != 0x04034b50u) { err = "a local header signature is wrong"; return false; }
    dataOffset = e.localOffset + 30 + rd16(h + 26) + rd16(h + 28);
    return true;
}

// ---- files ----------------------------------------------------------------

static bool writeAll(int fd, const uint8_t* p, size_t n, int& err)
{
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { err = w < 0 ? errno : ENOSPC; return false; }
        p += w; n -= size_t(w);
    }
    return true;
}

bool OutFile::write(const void* p, size_t n)
{
    if (err_) return false;
    const uint8_t* s = static_cast<const uint8_t*>(p);
    pos_ += n;
    if (buf_.size() + n > cap_) {
        if (!flush()) return false;
        if (n >= cap_) return writeAll(fd_, s, n, err_);
    }
    buf_.insert(buf_.end(), s, s + n);
    return true;
}

bool OutFile::flush()
{
    if (err_) return false;
    if (buf_.empty()) return true;
    bool ok = writeAll(fd_, buf_.data(), buf_.size(), err_);
    buf_.clear();
    return ok;
}

bool OutFile::writeAt(uint64_t off, const void* p, size_t n)
{
    if (!flush()) return false;
    const uint8_t* s = static_cast<const uint8_t*>(p);
    while (n) {
        ssize_t w = ::pwrite(fd_, s, n, off_t(off));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { err_ = w < 0 ? errno : ENOSPC; return false; }
        s += w; n -= size_t(w); off += uint64_t(w);
    }
    return true;
}

bool OutFile::truncateTo(uint64_t off)
{
    if (!flush()) return false;
    if (::ftruncate(fd_, off_t(off)) != 0 || ::lseek(fd_, off_t(off), SEEK_SET) < 0) { err_ = errno; return false; }
    pos_ = off;
    return true;
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string errnoText(int err) { return std::strerror(err); }

} // namespace qz
