// Writing a new archive file: entries copied unchanged from an old archive,
// new entries compressed from files, then the central directory. Used by the
// add and delete operations of libziplib.so.
#pragma once

#include "EntryCipher.h"
#include "ZipCommon.h"

#include <zlib.h>

namespace qz {

struct NewEntryInfo {
    std::string name;        // stored name, '/' separated, folders end with '/'
    uint32_t dosTime = 0;
    uint32_t mode = 0;       // st_mode
    bool directory = false;
};

// One new entry while it is written: where it starts, what its headers say,
// and the sums of its data so far (`csize` counts the compressed data only,
// not what the encryption adds).
struct NewEntry {
    const NewEntryInfo* info = nullptr;
    uint64_t at = 0;
    int level = 0;
    uint16_t flags = 0, method = 0;
    bool zip64 = false;
    EntryCipher::Kind kind = EntryCipher::Kind::None;
    EntryCipher cipher;
    std::string aesExtra;
    uint32_t crc = 0;
    uint64_t csize = 0, usize = 0;
};

class ZipWriter {
public:
    // Read and reported in pieces of this size.
    static constexpr size_t kChunk = 1 << 18;

    ZipWriter(int fd, Reporter& rep) : out_(fd), rep_(rep) {}
    // Writes through the engine's output (the parts of a set).
    ZipWriter(const QzOutput* output, Reporter& rep) : out_(output), rep_(rep) {}
    ~ZipWriter();

    // Copies `count` bytes of `srcFd` from `off` (a stub in front of the archive).
    bool copyRaw(int srcFd, uint64_t off, uint64_t count);
    // Copies one entry of an old archive unchanged (local header, data, descriptor).
    bool copyEntry(int srcFd, const Entry& e);
    // Compresses one file (or writes a folder entry). `level` 0 stores.
    // `password` empty: no encryption. Returns false on a write failure or an
    // abort; `skipped` is set when the source could not be read (reported, the
    // rest goes on). `announceFile` false: the file was already announced and
    // its bytes reported to the progress callback. `zip64`: give the local header a Zip64 field.
    bool addFile(const std::string& path, const NewEntryInfo& info, int level, const std::string& password, bool& skipped,
                 bool announceFile = true, bool zip64 = false);
    // Entries added with a password from now on get WinZip's AES-256 (AE-2)
    // instead of the traditional encryption.
    void setAes(bool on) { aes_ = on; }
    bool aes() const { return aes_; }
    // Writes the central directory and the end record.
    bool finish(const std::string& comment);

    // ---- entries whose data is made elsewhere -----------------------------
    // A file is announced (progress), then written either whole, from data
    // compressed and encrypted beforehand, or piece by piece.
    bool announce(const NewEntryInfo& info, int64_t size);
    // `stored`: the entry's data as it goes into the archive (encryption
    // header, data, authentication code); `cipherKind` tells what encrypted it.
    bool writeWholeEntry(const NewEntryInfo& info, int level, uint16_t method, EntryCipher::Kind cipherKind, uint32_t crc,
                         uint64_t usize, const std::vector<uint8_t>& stored);
    // Writes the local header and the encryption header.
    bool beginEntry(NewEntry& e, const NewEntryInfo& info, int level, uint16_t method, const std::string& password, bool zip64);
    // Encrypts compressed data in place and writes it; the caller adds to
    // the entry's CRC and size.
    bool entryData(NewEntry& e, uint8_t* p, size_t n);
    // What a finished entry must be written again with: a Zip64 header (its
    // sizes outgrew 32 bits) or stored (deflating made it larger).
    enum class Redo { None, Zip64, Stored };
    Redo redoNeeded(const NewEntry& e) const;
    // Writes what follows the data and the entry's directory record.
    bool endEntry(NewEntry& e);
    // Removes the entry begun last.
    bool dropEntry(const NewEntry& e) { return out_.truncateTo(e.at); }
    // Progress: `n` bytes of input done, in read-sized pieces. True on a stop.
    bool progress(uint64_t n);
    // A file that could not be opened or read: reported and skipped. False
    // when the run was stopped.
    bool skipUnopened(const std::string& path, int err);
    bool skipUnreadable(const std::string& path);
    void noteTime(uint32_t dosTime) { if (dosTime > newest_) newest_ = dosTime; }

    bool failed() const { return out_.failed(); }
    int errorNumber() const { return out_.errorNumber(); }
    uint64_t size() const { return out_.pos(); }
    uint32_t newestTime() const { return newest_; }

private:
    // The fields of one central header; sizes and the offset go into a Zip64
    // field when they do not fit 32 bits.
    struct CentralFields {
        uint16_t madeBy = 0x031E, needed = 20, flags = 0, method = 0;
        uint32_t dosTime = 0, crc = 0;
        uint64_t csize = 0, usize = 0, offset = 0;
        uint16_t intAttr = 0;
        uint32_t extAttr = 0;
        std::string name, extra, comment;
    };
    static std::string centralRecord(const CentralFields& f);
    static CentralFields newFields(const NewEntryInfo& info, uint64_t at);
    static uint16_t nameFlags(const NewEntryInfo& info);
    void setUp(NewEntry& e, const NewEntryInfo& info, int level, uint16_t method, EntryCipher::Kind kind, bool zip64);
    // The local header; with `known` the CRC and sizes are filled in now,
    // otherwise they are patched in or follow in a descriptor.
    bool writeLocal(const NewEntry& e, bool known);
    // The descriptor or the patched local header, and the directory record.
    bool closeEntry(const NewEntry& e, bool patch);
    bool writeData(int fd, NewEntry& e, bool report, bool& readFailed);

    OutFile out_;
    Reporter& rep_;
    std::vector<std::string> central_;
    z_stream zs_{};
    bool zsInit_ = false;
    int zsLevel_ = -1;
    std::vector<uint8_t> inBuf_, outBuf_;
    uint32_t newest_ = 0;
    bool aes_ = false;
};

} // namespace qz
