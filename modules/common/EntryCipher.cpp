#include "EntryCipher.h"

#include <sys/random.h>

namespace qz {

namespace {
constexpr uint8_t kStrength = 3;  // 256-bit keys
constexpr size_t kSalt = 16;      // aesSaltSize(kStrength)
} // namespace

bool EntryCipher::start(const std::string& password, bool aes, uint32_t dosTime, std::vector<uint8_t>& head)
{
    kind_ = Kind::None;
    if (password.empty()) return true;
    if (aes) {
        uint8_t h[kSalt + kAesVerifierSize];
        if (::getrandom(h, kSalt, 0) != ssize_t(kSalt)) return false;
        aes_.init(password, kStrength, h, h + kSalt);
        head.insert(head.end(), h, h + sizeof h);
        kind_ = Kind::Aes;
        return true;
    }
    pk_.init(password);
    uint8_t h[12];
    makeCryptHeader(pk_, uint8_t(dosTime >> 8), h);
    head.insert(head.end(), h, h + sizeof h);
    kind_ = Kind::Traditional;
    return true;
}

void EntryCipher::finish(std::vector<uint8_t>& tail)
{
    if (kind_ != Kind::Aes) return;
    uint8_t code[kAesAuthSize];
    aes_.authCode(code);
    tail.insert(tail.end(), code, code + sizeof code);
}

size_t EntryCipher::overheadOf(Kind k)
{
    switch (k) {
    case Kind::Traditional: return 12;
    case Kind::Aes: return kSalt + kAesVerifierSize + kAesAuthSize;
    case Kind::None: break;
    }
    return 0;
}

std::string newAesExtra(uint16_t method)
{
    AesField f;
    f.version = 2;
    f.strength = kStrength;
    f.method = method;
    return aesFieldBytes(f);
}

} // namespace qz
