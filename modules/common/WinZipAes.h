// WinZip's AES encryption of zip entries (AE-1 and AE-2): the 0x9901 extra
// field, keys from PBKDF2-HMAC-SHA1, AES in counter mode with a little-endian
// counter, and an HMAC-SHA1 of the encrypted data cut to 10 bytes. The
// ciphers come from nettle.
#pragma once

#include <nettle/aes.h>
#include <nettle/hmac.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qz {

constexpr uint16_t kAesMethod = 99;
constexpr uint16_t kAesExtraId = 0x9901;
constexpr size_t kAesVerifierSize = 2;
constexpr size_t kAesAuthSize = 10;

// What the 0x9901 extra field says.
struct AesField {
    uint16_t version = 0;  // 1: AE-1 (CRC kept), 2: AE-2 (CRC zero)
    uint8_t strength = 0;  // 1, 2, 3: 128-, 192-, 256-bit keys
    uint16_t method = 0;   // the compression method under the encryption
};

// Finds and checks the field among `extra`'s blocks; false when it is missing
// or malformed.
bool parseAesField(const std::string& extra, AesField& out);
// The 11 bytes of the field as written.
std::string aesFieldBytes(const AesField& f);
// The salt's length for a key strength (8, 12 or 16; 0 for an unknown one).
size_t aesSaltSize(uint8_t strength);

class WinZipAes {
public:
    // Derives the keys from `password` and `salt` (aesSaltSize bytes) and
    // gives the password verifier they yield.
    void init(const std::string& password, uint8_t strength, const uint8_t* salt, uint8_t verifier[2]);
    // Decrypting adds the encrypted bytes to the authentication code first;
    // encrypting adds them after.
    void decrypt(uint8_t* p, size_t n);
    void encrypt(uint8_t* p, size_t n);
    // Adds encrypted bytes to the authentication code without decrypting them.
    void authenticate(const uint8_t* p, size_t n);
    void authCode(uint8_t out[kAesAuthSize]);

private:
    void crypt(uint8_t* p, size_t n);
    union {
        aes128_ctx k128;
        aes192_ctx k192;
        aes256_ctx k256;
    } aes_{};
    uint8_t strength_ = 0;
    hmac_sha1_ctx mac_{};
    uint8_t counter_[16] = {};
    uint8_t stream_[16] = {};
    size_t used_ = 16;
};

} // namespace qz
