// The encryption of one new entry's data: the traditional PKWARE cipher or
// WinZip's AES-256 (AE-2). Whoever compresses the entry may encrypt it, on
// any thread; one object serves one entry.
#pragma once

#include "WinZipAes.h"
#include "ZipCommon.h"

#include <string>
#include <vector>

namespace qz {

class EntryCipher {
public:
    enum class Kind { None, Traditional, Aes };

    // Starts the cipher for `password` (none when empty). `head` gets the
    // bytes that precede the data: the traditional 12-byte header, whose
    // check byte is taken from the time (`dosTime`), or AES's salt and
    // password verifier. False when no random numbers could be had.
    bool start(const std::string& password, bool aes, uint32_t dosTime, std::vector<uint8_t>& head);
    void encrypt(uint8_t* p, size_t n)
    {
        if (kind_ == Kind::Traditional) pk_.encrypt(p, n);
        else if (kind_ == Kind::Aes) aes_.encrypt(p, n);
    }
    // Appends what follows the data (AES's authentication code).
    void finish(std::vector<uint8_t>& tail);
    Kind kind() const { return kind_; }
    // The bytes the encryption adds around the data.
    size_t overhead() const { return overheadOf(kind_); }
    static size_t overheadOf(Kind k);

private:
    Kind kind_ = Kind::None;
    PkCrypt pk_;
    WinZipAes aes_;
};

// The 0x9901 field of the AES entries this writer makes (AE-2, 256 bits).
std::string newAesExtra(uint16_t method);

} // namespace qz
