#include "ZipCommon.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/random.h>
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
    // Entries are encrypted on several threads at once: each draws its own.
    if (::getrandom(out, 11, 0) != 11) {
        thread_local std::random_device rd;
        for (int i = 0; i < 11; ++i) out[i] = uint8_t(rd());
    }
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

namespace {

// The time of a DOS date and time read as local time, through mktime.
int64_t localDosToUnix(uint32_t dos)
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

} // namespace

int64_t dosToUnix(uint32_t dos)
{
    // mktime reads the zone file on every call; the zone's offset is looked
    // up once per hour of a date instead (zones change their offsets on the
    // hour).
    thread_local std::unordered_map<uint32_t, int64_t> offsets;
    const uint32_t hour = dos & ~uint32_t(0x7FF);
    auto it = offsets.find(hour);
    if (it == offsets.end()) {
        if (offsets.size() >= 4096) offsets.clear();
        it = offsets.emplace(hour, localDosToUnix(hour)).first;
    }
    // The seconds within the hour, as mktime would count them.
    const uint32_t tim = dos & 0x7FF;
    return it->second + int64_t((tim >> 5) & 0x3F) * 60 + int64_t(tim & 0x1F) * 2;
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

Directory readDirectory(int fd)
{
    return zipdir::Read(zipdir::FileSource(fd));
}

int directoryError(const Directory& d)
{
    switch (d.fault) {
    case zipdir::Fault::None: return QZ_OK;
    case zipdir::Fault::EndUnreadable: return QZ_ERR_EOF;
    case zipdir::Fault::Spanned: return QZ_ERR_UNSUPPORTED;
    default: return QZ_ERR_FORMAT;
    }
}

// ---- files ----------------------------------------------------------------

bool writeAll(int fd, const uint8_t* p, size_t n)
{
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { if (w == 0) errno = ENOSPC; return false; }
        p += w; n -= size_t(w);
    }
    return true;
}

bool OutFile::done(int32_t err)
{
    if (err != 0) err_ = err;
    return err == 0;
}

bool OutFile::put(const uint8_t* p, size_t n)
{
    return output_ ? done(output_->write(output_->context, p, n)) : (writeAll(fd_, p, n) || done(errno));
}

bool OutFile::write(const void* p, size_t n)
{
    if (err_) return false;
    const uint8_t* s = static_cast<const uint8_t*>(p);
    pos_ += n;
    if (buf_.size() + n > cap_) {
        if (!flush()) return false;
        if (n >= cap_) return put(s, n);
    }
    buf_.insert(buf_.end(), s, s + n);
    return true;
}

bool OutFile::flush()
{
    if (err_) return false;
    if (buf_.empty()) return true;
    bool ok = put(buf_.data(), buf_.size());
    buf_.clear();
    return ok;
}

bool OutFile::writeAt(uint64_t off, const void* p, size_t n)
{
    if (!flush()) return false;
    if (output_) return done(output_->writeAt(output_->context, off, p, n));
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
    if (output_) {
        if (!done(output_->truncate(output_->context, off))) return false;
    } else if (::ftruncate(fd_, off_t(off)) != 0 || ::lseek(fd_, off_t(off), SEEK_SET) < 0) {
        err_ = errno;
        return false;
    }
    pos_ = off;
    return true;
}

bool OutFile::keepTogether(uint64_t n)
{
    if (!output_) return !err_;
    return flush() && done(output_->keepTogether(output_->context, n));
}

bool OutFile::beginDirectory()
{
    if (!output_) return !err_;
    return flush() && done(output_->directory(output_->context));
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string errnoText(int err) { return std::strerror(err); }

} // namespace qz
