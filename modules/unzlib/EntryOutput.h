// The part of extracting an entry that needs no question answered: reading,
// decrypting and decoding its data, checking it, and writing it under a
// temporary name that is renamed over the target only once whole. It may run
// on any thread; what it has to say goes to an EntrySink.
#pragma once

#include "SafeDir.h"
#include "WinZipAes.h"
#include "ZipCommon.h"
#include "zipdir/ScratchFiles.h"

#include <memory>
#include <string>
#include <sys/types.h>

namespace qz {

enum class Outcome { Ok, Skipped, Failed, Aborted, Held, CrcPending };

// How an entry's data is stored: its compression method and, for WinZip's
// AES, what the extra field says.
struct Coding {
    uint16_t method = 0;
    bool aes = false;
    AesField field;
    // AE-2 leaves the CRC out; the authentication code stands for it.
    bool hasCrc() const { return !(aes && field.version == 2); }
};

// Where the callbacks of an entry go: to the engine at once, or recorded for
// the calling thread to pass on in the entries' order.
class EntrySink {
public:
    virtual ~EntrySink() = default;
    // Compressed bytes read; true when the run is to stop.
    virtual bool bytes(int64_t n) = 0;
    virtual void call(int code, int32_t err, int32_t size, const std::string& text) = 0;
    void message(int32_t err, const std::string& text) { call(QZ_CB_MESSAGE, err, 0, text); }
};

// An entry whose name, replace question and password are settled.
struct EntryWork {
    const Entry* entry = nullptr;
    Coding coding;
    std::string password;
    bool test = false;
    // Where the file goes (unused when testing): `leaf` in `folder`, shown
    // as `target`.
    std::shared_ptr<OpenFolder> folder;
    std::string leaf, target;
    // Nothing was at the target when it was checked: a file appearing there
    // meanwhile is not replaced.
    bool mustBeNew = false;
    mode_t mode = 0644;

    // Set when the data decoded whole but its CRC differs (CrcPending): the
    // CRC found and the finished file, kept under its temporary name until
    // the caller has asked what to do with it.
    uint32_t crc = 0;
    std::string temp;
    std::unique_ptr<zipdir::ScratchFile> scratch;
};

// One per thread: its buffers serve one entry after another.
class EntryOutput {
public:
    // `zip` is read from several threads at once.
    explicit EntryOutput(const zipdir::Source& zip) : zip_(zip) {}
    // Extracts (or tests) the entry. CrcPending: see EntryWork::crc.
    Outcome run(EntryWork& w, EntrySink& sink);
    // Decodes a link's target into `text`, its CRC checked.
    Outcome linkTarget(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, std::string& text);
    // After the CRC question: keeps the file (renamed into place) or drops it.
    static Outcome keep(EntryWork& w, EntrySink& sink);
    static void drop(EntryWork& w);

    // The password checks the deciding thread makes before the work starts.
    bool checkPassword(const Entry& e, const Coding& c, const std::string& pw);

private:
    static size_t aesHeadSize(const Coding& c) { return aesSaltSize(c.field.strength) + kAesVerifierSize; }
    bool openAes(const Entry& e, const Coding& c, const std::string& pw, WinZipAes& aes);
    bool authentic(const Entry& e, const Coding& c, const std::string& pw);
    // Decodes into `outFd` (-1: test only) or, given `text`, into that text.
    Outcome decode(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, int outFd,
                   uint32_t& crc, std::string* text);
    // Entries small enough are read with one read and inflated whole; false
    // when the entry is to go through the streaming decoder instead (which
    // also says what is wrong with a damaged one).
    bool decodeWhole(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, int outFd,
                     uint32_t& crc, Outcome& o);
    uint8_t* inBuffer(size_t n);
    uint8_t* outBuffer(size_t n);

    const zipdir::Source& zip_;
    std::unique_ptr<uint8_t[]> in_, out_;
    size_t inCap_ = 0, outCap_ = 0;
};

} // namespace qz
