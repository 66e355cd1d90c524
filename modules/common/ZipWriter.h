// Writing a new archive file: entries copied unchanged from an old archive,
// new entries compressed from files, then the central directory. Used by the
// add and delete operations of libziplib.so.
#pragma once

#include "WinZipAes.h"
#include "ZipCommon.h"

#include <zlib.h>

namespace qz {

struct NewEntryInfo {
    std::string name;        // stored name, '/' separated, folders end with '/'
    uint32_t dosTime = 0;
    uint32_t mode = 0;       // st_mode
    bool directory = false;
};

class ZipWriter {
public:
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
    // rest goes on).
    bool addFile(const std::string& path, const NewEntryInfo& info, int level, const std::string& password, bool& skipped);
    // Entries added with a password from now on get WinZip's AES-256 (AE-2)
    // instead of the traditional encryption.
    void setAes(bool on) { aes_ = on; }
    // Writes the central directory and the end record.
    bool finish(const std::string& comment);

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
    // Encrypts an entry's data as it is written, the one way or the other.
    struct Cipher {
        PkCrypt* pk = nullptr;
        WinZipAes* aes = nullptr;
        void operator()(uint8_t* p, size_t n) const
        {
            if (pk) pk->encrypt(p, n);
            if (aes) aes->encrypt(p, n);
        }
    };
    bool writeData(int fd, int level, const Cipher& cipher, uint32_t& crc, uint64_t& csize, uint64_t& usize, bool& readFailed);

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
