#include "WinZipAes.h"

#include "ZipCommon.h"

#include <nettle/pbkdf2.h>

#include <cstring>

namespace qz {

namespace {
constexpr unsigned kIterations = 1000;
size_t keySize(uint8_t strength) { return aesSaltSize(strength) * 2; }
} // namespace

size_t aesSaltSize(uint8_t strength)
{
    return strength >= 1 && strength <= 3 ? size_t(4 + 4 * strength) : 0;
}

bool parseAesField(const std::string& extra, AesField& out)
{
    const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const uint16_t id = rd16(p + pos), len = rd16(p + pos + 2);
        if (pos + 4 + len > extra.size()) return false;
        if (id == kAesExtraId) {
            if (len < 7 || p[pos + 6] != 'A' || p[pos + 7] != 'E') return false;
            out.version = rd16(p + pos + 4);
            out.strength = p[pos + 8];
            out.method = rd16(p + pos + 9);
            return (out.version == 1 || out.version == 2) && aesSaltSize(out.strength) != 0;
        }
        pos += 4 + size_t(len);
    }
    return false;
}

std::string aesFieldBytes(const AesField& f)
{
    uint8_t b[11];
    wr16(b, kAesExtraId);
    wr16(b + 2, 7);
    wr16(b + 4, f.version);
    b[6] = 'A';
    b[7] = 'E';
    b[8] = f.strength;
    wr16(b + 9, f.method);
    return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

void WinZipAes::init(const std::string& password, uint8_t strength, const uint8_t* salt, uint8_t verifier[2])
{
    strength_ = strength;
    const size_t k = keySize(strength);
    uint8_t keys[2 * 32 + 2];
    pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), kIterations,
                     aesSaltSize(strength), salt, 2 * k + 2, keys);
    switch (strength) {
    case 1: aes128_set_encrypt_key(&aes_.k128, keys); break;
    case 2: aes192_set_encrypt_key(&aes_.k192, keys); break;
    default: aes256_set_encrypt_key(&aes_.k256, keys); break;
    }
    hmac_sha1_set_key(&mac_, k, keys + k);
    verifier[0] = keys[2 * k];
    verifier[1] = keys[2 * k + 1];
    std::memset(counter_, 0, sizeof counter_);
    used_ = sizeof stream_;
    std::memset(keys, 0, sizeof keys);
}

void WinZipAes::crypt(uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (used_ == sizeof stream_) {
            // The counter counts up from 1, its lowest byte first.
            for (uint8_t& c : counter_)
                if (++c != 0) break;
            switch (strength_) {
            case 1: aes128_encrypt(&aes_.k128, 16, stream_, counter_); break;
            case 2: aes192_encrypt(&aes_.k192, 16, stream_, counter_); break;
            default: aes256_encrypt(&aes_.k256, 16, stream_, counter_); break;
            }
            used_ = 0;
        }
        p[i] ^= stream_[used_++];
    }
}

void WinZipAes::authenticate(const uint8_t* p, size_t n)
{
    hmac_sha1_update(&mac_, n, p);
}

void WinZipAes::decrypt(uint8_t* p, size_t n)
{
    authenticate(p, n);
    crypt(p, n);
}

void WinZipAes::encrypt(uint8_t* p, size_t n)
{
    crypt(p, n);
    hmac_sha1_update(&mac_, n, p);
}

void WinZipAes::authCode(uint8_t out[kAesAuthSize])
{
    hmac_sha1_digest(&mac_, kAesAuthSize, out);
}

} // namespace qz
