#pragma once
// What the self-extractor reads from its own file: where its image ends, the
// option block behind it, the zip directory behind that, and each entry's data.
// Nothing here touches a window or a Windows call, so the same code is built
// for the stub and for the tests on the build machine.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sfx {

// Random access to the program's own file.
class Reader {
public:
    virtual ~Reader() = default;
    virtual int64_t size() const = 0;
    // Reads exactly n bytes at `offset`; false when they are not all there.
    virtual bool readAt(int64_t offset, void* dst, size_t n) = 0;
};

// Bits of the option block's flag byte.
enum Flag : uint8_t {
    AskCmdLine = 1u << 0,
    AskFiles = 1u << 1,
    HideOverwriteBox = 1u << 2,
    OverwriteAlways = 1u << 3,
    OverwriteNever = 1u << 4,
    NoSizeCheck = 1u << 5,
    AutoRun = 1u << 6,
    NoSuccessMessage = 1u << 7,
};

struct Options {
    uint8_t flags = 0;
    std::string caption, defaultDir, commandLine, message; // bytes as stored
    int64_t blockStart = 0;
    int64_t blockLength = 0;
    bool has(Flag f) const { return flags & f; }
};

// Where the sections of the PE image in `r` end (the largest raw-data end),
// or -1 when `r` does not start with a PE image.
int64_t PeImageEnd(Reader& r);

// Reads the option block at `at`: the "MPV" form (with its length) or the
// older "MPU" form. False when there is no block there.
bool ReadOptions(Reader& r, int64_t at, Options& o);

struct Entry {
    // As stored; UTF-8 when `utf8` (the UTF-8 flag, or Info-ZIP's Unicode
    // path field). NameUtf8 decodes the others.
    std::string name;
    bool utf8 = false;
    uint8_t hostSystem = 0; // the "made by" system and version
    uint8_t madeByVersion = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t dosTime = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    int64_t localHeader = 0; // position in the file, corrected for the stub
    bool encrypted() const { return flags & 1; }
    bool isFolder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
};

// Reads the central directory of the zip at the end of `r`. The local header
// positions are corrected by the distance between where the directory is and
// where the end record says it is, so both adjusted and unadjusted programs
// read. Returns an empty text, or what was wrong.
std::string ReadDirectory(Reader& r, std::vector<Entry>& entries);

// The entry's name as UTF-8.
std::string NameUtf8(const Entry& e);

// A stored name made safe to join to a folder: "\" read as "/"; a drive part,
// a leading "/", ".", ".." and empty parts dropped; characters a file name on
// Windows cannot hold (and ":" of alternate streams) replaced by "_". Empty
// when nothing is left.
std::string SafeRelativeName(const std::string& utf8);

enum class Result { Ok, BadPassword, CrcError, Unsupported, ReadError, WriteError, Damaged };

// Decompresses (and decrypts) the entry, handing the bytes to `sink`, which
// returns false on a write failure. `password` is used for encrypted entries.
Result Extract(Reader& r, const Entry& e, const std::string& password,
               const std::function<bool(const void*, size_t)>& sink);

// Whether `password` passes the entry's check byte (traditional encryption).
bool PasswordFits(Reader& r, const Entry& e, const std::string& password);

} // namespace sfx
