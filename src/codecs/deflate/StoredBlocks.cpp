#include "StoredBlocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace qdeflate {

namespace {

constexpr size_t Window = 32768;
constexpr size_t Chunk = 32768;
constexpr size_t MaxStored = 65535;
constexpr size_t MaxMatch = 258;
constexpr unsigned HashBits = 15;

uint32_t load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t hash4(uint32_t v) { return (v * 2654435761u) >> (32 - HashBits); }

// The entropy of `p[0..n)` in bits a byte, its byte values taken alone.
double byteEntropy(const uint8_t* p, size_t n)
{
    // Four tables, so that runs of one value do not wait on one counter.
    uint32_t c[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++c[0][p[i]];
        ++c[1][p[i + 1]];
        ++c[2][p[i + 2]];
        ++c[3][p[i + 3]];
    }
    for (; i < n; ++i)
        ++c[0][p[i]];
    double sum = 0;
    for (int v = 0; v < 256; ++v) {
        const uint32_t k = c[0][v] + c[1][v] + c[2][v] + c[3][v];
        if (k)
            sum += double(k) * std::log2(double(k));
    }
    return std::log2(double(n)) - sum / double(n);
}

// The dictionary and the data as one run of bytes, for the rare matches.
struct Joined {
    const uint8_t* dict;
    size_t dictLen;
    const uint8_t* data;
    uint8_t at(size_t v) const { return v < dictLen ? dict[v] : data[v - dictLen]; }
};

} // namespace

bool incompressible(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len)
{
    if (len < MinStoredTest)
        return false;
    if (dictLen > Window) {
        dict += dictLen - Window;
        dictLen = Window;
    }
    const Joined all{dict, dictLen, data};
    // The last four bytes seen with each hash, and where (plus one; 0 is none).
    struct Seen {
        uint32_t pos, bytes;
    };
    const auto last = std::make_unique<Seen[]>(size_t(1) << HashBits);
    std::fill_n(last.get(), size_t(1) << HashBits, Seen{0, 0});
    for (size_t v = 0; v + 4 <= dictLen; ++v) {
        const uint32_t b = load32(dict + v);
        last[hash4(b)] = Seen{uint32_t(v + 1), b};
    }
    // Bytes in matches the compressors could use: beyond this many, they would gain.
    const size_t budget = len / 1024;
    size_t matched = 0;
    for (size_t from = 0; from < len; from += Chunk) {
        const size_t m = std::min(Chunk, len - from);
        // A uniform source measured over m bytes reads short of 8 bits by
        // about 255 / (2 m ln 2); twice that, and the values are uneven enough
        // for Huffman codes to gain.
        if (byteEntropy(data + from, m) < 8.0 - 255.0 / (double(m) * std::log(2.0)))
            return false;
        const size_t end = std::min(from + m, len - 3);
        for (size_t i = from; i < end; ++i) {
            const size_t v = dictLen + i;
            const uint32_t b = load32(data + i);
            Seen& slot = last[hash4(b)];
            const size_t c = slot.pos;
            const bool same = slot.bytes == b;
            slot = Seen{uint32_t(v + 1), b};
            if (!same || c == 0 || v - (c - 1) > Window)
                continue;
            size_t n = 0;
            while (n < MaxMatch && i + n < len && all.at(c - 1 + n) == data[i + n])
                ++n;
            if (n < 4)
                continue;
            matched += n;
            if (matched > budget)
                return false;
            i += n - 1;
        }
    }
    return true;
}

void appendStored(const uint8_t* data, size_t len, bool last, std::vector<uint8_t>& out)
{
    size_t at = out.size();
    out.resize(at + len + 5 * (len / MaxStored + 1));
    size_t done = 0;
    do {
        const size_t n = std::min(MaxStored, len - done);
        const bool final = last && done + n == len;
        if (n == 0 && !final)
            break;
        // BFINAL and BTYPE 00 in the low bits, padded to the byte; then LEN, NLEN.
        uint8_t* p = out.data() + at;
        p[0] = final ? 1 : 0;
        p[1] = uint8_t(n);
        p[2] = uint8_t(n >> 8);
        p[3] = uint8_t(~n);
        p[4] = uint8_t(~n >> 8);
        if (n)
            std::memcpy(p + 5, data + done, n);
        at += 5 + n;
        done += n;
    } while (done < len);
    out.resize(at);
}

} // namespace qdeflate
