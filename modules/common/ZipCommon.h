// Shared code of the two compression modules: the callback bridge, zip
// directory reading, traditional PKWARE encryption, wildcard matching, name
// handling and buffered file output.
#pragma once

#include "ZipLibApi.h"
#include "zipdir/ZipDir.h"

#include <cstdint>
#include <string>
#include <vector>

#define QZ_EXPORT extern "C" __attribute__((visibility("default")))

namespace qz {

// ---- callbacks -------------------------------------------------------------

// Wraps the engine's callback; every call returns true when the engine asked
// the module to stop.
class Reporter {
public:
    Reporter(QzCallback cb, void* engine, bool zipAction) : cb_(cb), engine_(engine), zip_(zipAction) {}
    bool call(int code, int32_t err, int32_t size, const std::string& text, QzCallbackRecord* out = nullptr);
    bool message(int32_t err, const std::string& text) { return call(QZ_CB_MESSAGE, err, 0, text); }
    bool newFile(const std::string& name, int64_t size) { return call(QZ_CB_NEWFILE, 0, clamp32(size), name); }
    bool bytes(int64_t n);
    bool end() { return call(QZ_CB_END, 0, 0, std::string()); }
    bool totals(int64_t files, int64_t bytes);
    bool aborted() const { return aborted_; }
    static int32_t clamp32(int64_t v) { return v > INT32_MAX ? INT32_MAX : int32_t(v); }

private:
    QzCallback cb_;
    void* engine_;
    bool zip_;
    bool aborted_ = false;
};

// ---- PKWARE traditional encryption ----------------------------------------

class PkCrypt {
public:
    void init(const std::string& password);
    uint8_t decryptByte() const {
        uint32_t t = (keys_[2] & 0xFFFF) | 2;
        return uint8_t((t * (t ^ 1)) >> 8);
    }
    void update(uint8_t c);
    void encrypt(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) { uint8_t t = decryptByte(); uint8_t c = p[i]; p[i] = c ^ t; update(c); }
    }
    void decrypt(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) { p[i] ^= decryptByte(); update(p[i]); }
    }

private:
    uint32_t keys_[3] = {0, 0, 0};
};

// Fills the 12-byte encryption header (random bytes, last one = check byte)
// and encrypts it with `crypt`, which must already hold the password.
void makeCryptHeader(PkCrypt& crypt, uint8_t check, uint8_t out[12]);

// ---- names and matching ---------------------------------------------------

// '*' any run of characters (also '/'), '?' one character; ASCII letters
// compare without case. Backslashes in either side count as '/'.
bool wildMatch(const std::string& pattern, const std::string& name);
// A requested name against a stored name: with '*' or '?' it is a pattern
// (wildMatch); without, it names one entry exactly, case included, since names
// that differ only in case are different files here.
bool nameMatches(const std::string& wanted, const std::string& name);
bool hasWild(const std::string& s);
std::string slashes(std::string s);           // every '\' becomes '/'
bool isAscii(const std::string& s);
// A stored name made safe to join to a base folder: '\' read as '/', a drive
// part, a leading '/', "." and ".." parts and empty parts dropped. Empty when
// nothing is left.
std::string safeRelativeName(const std::string& name);
std::string baseName(const std::string& path);
std::string parentDir(const std::string& path);

// ---- dates ----------------------------------------------------------------

uint32_t unixToDos(int64_t t);   // (date << 16) | time, local time
int64_t dosToUnix(uint32_t dos);

// ---- the zip directory ----------------------------------------------------

// The directory comes from the one reader the engine uses too.
using Entry = zipdir::Entry;
using Directory = zipdir::Directory;

// Reads the directory of an open archive. A fault or a structure that
// rewriting must refuse is left in the result for the caller to report.
Directory readDirectory(int fd);
// The library error code for a directory's fault (0 when none).
int directoryError(const Directory& d);

// ---- files ----------------------------------------------------------------

// The archive the engine hands over as a QzInput (the parts of a set read as one zip).
class InputSource : public zipdir::Source {
public:
    explicit InputSource(const QzInput& in) : in_(in) {}
    uint64_t Size() const override { return in_.size; }
    bool ReadAt(uint64_t offset, void* dst, size_t n) const override
    {
        return in_.readAt(in_.context, offset, dst, n) == 0;
    }

private:
    QzInput in_;
};

// A buffered writer over a file descriptor, or over the engine's QzOutput,
// that remembers the first failure.
class OutFile {
public:
    explicit OutFile(int fd, size_t bufSize = 1 << 18) : fd_(fd) { buf_.reserve(bufSize); cap_ = bufSize; }
    explicit OutFile(const QzOutput* output, size_t bufSize = 1 << 18) : OutFile(-1, bufSize) { output_ = output; }
    ~OutFile() = default;
    bool write(const void* p, size_t n);
    bool put16(uint16_t v) { uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)}; return write(b, 2); }
    bool put32(uint32_t v) { uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; return write(b, 4); }
    bool put64(uint64_t v) { return put32(uint32_t(v)) && put32(uint32_t(v >> 32)); }
    bool flush();
    bool writeAt(uint64_t off, const void* p, size_t n); // flushes first
    bool truncateTo(uint64_t off);                     // flushes first
    // The next `n` bytes (a local header) never straddle two parts of a set.
    bool keepTogether(uint64_t n);
    // What follows is the central directory.
    bool beginDirectory();
    uint64_t pos() const { return pos_; }
    bool failed() const { return err_ != 0; }
    int errorNumber() const { return err_; }

private:
    bool put(const uint8_t* p, size_t n);
    // The result of a QzOutput call, remembered when it failed.
    bool done(int32_t err);

    int fd_;
    const QzOutput* output_ = nullptr;
    std::vector<uint8_t> buf_;
    size_t cap_;
    uint64_t pos_ = 0;
    int err_ = 0;
};

bool preadAll(int fd, void* p, size_t n, uint64_t off);
// Writes all `n` bytes; false with errno set (ENOSPC when nothing could be written).
bool writeAll(int fd, const uint8_t* p, size_t n);
uint16_t rd16(const uint8_t* p);
uint32_t rd32(const uint8_t* p);
uint64_t rd64(const uint8_t* p);
void wr16(uint8_t* p, uint16_t v);
void wr32(uint8_t* p, uint32_t v);

bool fileExists(const std::string& path);
std::string errnoText(int err);

} // namespace qz
