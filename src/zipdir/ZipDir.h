#pragma once
// The one reader of a zip archive's directory: the end record and its Zip64
// forms, the central headers with their Zip64 fields, the local headers they
// point at, and the checks every reader of the same file makes alike. The
// engine, TZipFile and both compression modules list, extract, test, update
// and delete from what it returns, so what is listed is what is extracted.
// Plain C++ without Qt: the modules link it too.

#include "zipdir/ZipNames.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zipdir {

namespace Sig {
constexpr uint32_t Local = 0x04034B50;
constexpr uint32_t Central = 0x02014B50;
constexpr uint32_t End = 0x06054B50;
constexpr uint32_t Descriptor = 0x08074B50;
constexpr uint32_t Zip64End = 0x06064B50;
constexpr uint32_t Zip64Locator = 0x07064B50;
} // namespace Sig

constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kZip64EndSize = 56, kZip64LocatorSize = 20;
constexpr uint32_t kMax32 = 0xFFFFFFFFu;
constexpr uint16_t kMax16 = 0xFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;

inline uint16_t Le16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t Le64(const unsigned char* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

// The bytes of an archive.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly n bytes at `offset`; false when they are not all there.
    virtual bool ReadAt(uint64_t offset, void* dst, size_t n) const = 0;
};

// An open file descriptor (not owned), read with pread.
class FileSource : public Source {
public:
    explicit FileSource(int fd);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* dst, size_t n) const override;

private:
    int fd_;
    uint64_t size_ = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* dst, size_t n) const override;

private:
    const unsigned char* data_;
    size_t size_;
};

struct Entry {
    uint8_t madeByVersion = 0, hostSystem = 0;
    uint16_t neededVersion = 0, flags = 0, method = 0;
    uint32_t dosDateTime = 0; // date in the high half
    uint32_t crc = 0;
    uint64_t compressedSize = 0, uncompressedSize = 0;
    uint32_t startDisk = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    uint64_t localOffset = 0; // in the file, bytes in front of the archive included
    std::string rawName, extra, comment;
    std::string name;   // decoded to UTF-8, separators as stored
    std::string record; // the whole central record as stored (empty for a recovered entry)

    // From the local header: where the data begins (0 when the header could
    // not be read: `localProblem` says why).
    uint64_t dataOffset = 0;
    std::string localProblem;
    // False for a recovered entry whose data runs past the end of the file.
    bool complete = true;

    bool encrypted() const { return flags & 1; }
    bool hasDescriptor() const { return flags & 8; }
    bool isFolder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
    // Past the last data byte (valid when dataOffset is).
    uint64_t dataEnd() const { return dataOffset + compressedSize; }
};

enum class Fault {
    None,
    NotAZip,         // no end record and no local header at the start
    EndUnreadable,   // the end of the file could not be read
    Spanned,         // the archive says it spreads over several disks
    CentralRange,    // the directory's size or offset lies outside the file
    CentralSignature,// a central header's signature is wrong
    CentralTruncated,// a central header runs past the directory
    EntryRange,      // an entry's offset or size lies outside the archive
    Overlap,         // two entries share bytes: refused, nothing is read
};

struct Directory {
    std::vector<Entry> entries;
    std::string comment; // as stored (cut where the file ends)

    uint64_t prefix = 0;        // bytes in front of the archive (a self-extractor's stub) that offsets leave out
    uint64_t firstEntry = 0;    // the first local header (or the directory when there is none)
    uint64_t centralStart = 0;  // in the file
    uint64_t centralEnd = 0;    // where the last central header ends
    uint64_t endRecord = 0;     // the classic end record
    uint64_t archiveEnd = 0;    // past the end record and its comment, as far as the file goes
    uint64_t declaredEntries = 0;
    uint16_t thisDisk = 0, centralDisk = 0;
    bool zip64 = false;
    // No end record: entries found by walking the local headers from the start.
    bool recovered = false;

    Fault fault = Fault::None;
    std::string faultText;
    // The records disagree with each other (an end record that counts fewer
    // entries than the directory holds, a directory whose size says
    // otherwise, a recovered archive): the entries are read as the directory
    // holds them, but rewriting the archive is refused.
    std::string inconsistency;
    // The end record declares a comment longer than the rest of the file (as
    // a second end record hidden behind it would need): read as cut, not
    // rewritten.
    bool commentCut = false;
    // Why rewriting this archive would lose entries (empty when it would not).
    std::string RewriteProblem() const
    {
        if (!inconsistency.empty())
            return inconsistency;
        return commentCut ? "the archive comment runs past the end of the file" : std::string();
    }

    bool ok() const { return fault == Fault::None; }
};

struct ReadOptions {
    CodePage codePage = CodePage::Auto;
    // Read every entry's local header (data offset, overlap check).
    bool checkLocalHeaders = true;
    // Without an end record, walk the local headers from the start of the file.
    bool recover = true;
};

// Reads the directory of `src`. Entries read before a fault stay.
Directory Read(const Source& src, const ReadOptions& options = ReadOptions());

// The parts of a central header, given the 46 fixed bytes and the variable
// fields that follow; sizes and the offset come from the Zip64 field where
// the fixed fields hold their all-ones marker. `prefix` is added to the offset.
Entry ParseCentral(const unsigned char* fixed, std::string rawName, std::string extra, std::string comment,
                   uint64_t prefix, CodePage codePage);

// Reads the local header of `e` into e.dataOffset (or e.localProblem).
bool ReadLocalHeader(const Source& src, Entry& e);
// The same for every entry, reading headers that lie close together at once.
void ReadLocalHeaders(const Source& src, std::vector<Entry>& entries);

// The Zip64 extended information of an extra field, in its fixed order, each
// value present only where `want...` says the header holds the marker.
struct Zip64Values {
    uint64_t uncompressed = 0, compressed = 0, offset = 0;
    uint32_t disk = 0;
};
bool FindZip64(const std::string& extra, bool wantU, bool wantC, bool wantO, bool wantD, Zip64Values& out);

// A short text for a fault (English, for the modules' messages).
const char* FaultText(Fault f);

} // namespace zipdir
