#include "DeflateScan.h"

#include <array>
#include <bit>
#include <cstring>

namespace qdeflate {

namespace {

constexpr int MaxBits = 15;

// Extra bits of the length codes 257..285 and of the distance codes 0..29.
constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                       7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order the code-length code's lengths are stored in.
constexpr uint8_t CodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Reads bits least significant first from a buffer, past whose end it reads
// zeros; the caller compares the position with the size.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), total_(uint64_t(size) * 8) {}

    // At least 57 bits from the current position.
    uint64_t peek() const
    {
        const size_t at = size_t(pos_ >> 3);
        uint64_t v = 0;
        if (at + 8 <= size_) {
            std::memcpy(&v, data_ + at, 8);
            if constexpr (std::endian::native == std::endian::big)
                v = __builtin_bswap64(v);
        } else {
            for (size_t i = 0; at + i < size_ && i < 8; ++i)
                v |= uint64_t(data_[at + i]) << (8 * i);
        }
        return v >> (pos_ & 7);
    }
    uint32_t take(unsigned n)
    {
        const uint32_t v = uint32_t(peek() & ((uint64_t(1) << n) - 1));
        pos_ += n;
        return v;
    }
    void skip(uint64_t n) { pos_ += n; }
    void alignToByte() { pos_ = (pos_ + 7) & ~uint64_t(7); }
    uint64_t pos() const { return pos_; }
    bool overrun() const { return pos_ > total_; }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t total_;
    uint64_t pos_ = 0;
};

// A canonical Huffman code as a lookup table indexed by the next `bits` bits
// of the stream; each entry holds the symbol and its code length (0: no code).
class HuffmanTable {
public:
    enum Kind { CodeLengths, Symbols };

    // False for an over-subscribed set, and for an incomplete one unless it
    // is a symbol set with a single one-bit code or no code at all.
    bool build(const uint8_t* lengths, unsigned count, Kind kind)
    {
        std::array<unsigned, MaxBits + 1> perLength{};
        for (unsigned s = 0; s < count; ++s)
            ++perLength[lengths[s]];
        perLength[0] = 0;
        bits_ = 0;
        for (int len = MaxBits; len >= 1; --len)
            if (perLength[size_t(len)] != 0) {
                bits_ = unsigned(len);
                break;
            }
        if (bits_ == 0) {
            if (kind == CodeLengths)
                return false;
            bits_ = 1;
            entries_.assign(2, 0);
            return true;
        }
        int left = 1;
        for (int len = 1; len <= MaxBits; ++len) {
            left = 2 * left - int(perLength[size_t(len)]);
            if (left < 0)
                return false;
        }
        if (left > 0 && (kind == CodeLengths || bits_ != 1))
            return false;

        std::array<unsigned, MaxBits + 2> next{};
        for (unsigned len = 1; len <= MaxBits; ++len)
            next[len + 1] = (next[len] + perLength[len]) << 1;
        entries_.assign(size_t(1) << bits_, 0);
        for (unsigned s = 0; s < count; ++s) {
            const unsigned len = lengths[s];
            if (len == 0)
                continue;
            const unsigned code = next[len]++;
            unsigned reversed = 0;
            for (unsigned i = 0; i < len; ++i)
                reversed |= ((code >> i) & 1u) << (len - 1 - i);
            for (size_t at = reversed; at < entries_.size(); at += size_t(1) << len)
                entries_[at] = uint16_t((s << 4) | len);
        }
        return true;
    }

    // The next symbol, or -1 when the bits are no code.
    int decode(BitReader& in) const
    {
        const uint16_t e = entries_[size_t(in.peek() & ((uint64_t(1) << bits_) - 1))];
        if (e == 0)
            return -1;
        in.skip(e & 15u);
        return e >> 4;
    }

private:
    unsigned bits_ = 0;
    std::vector<uint16_t> entries_;
};

struct FixedTables {
    HuffmanTable literals, distances;
    FixedTables()
    {
        uint8_t lengths[288];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        literals.build(lengths, 288, HuffmanTable::Symbols);
        std::memset(lengths, 5, 32);
        distances.build(lengths, 32, HuffmanTable::Symbols);
    }
};

const FixedTables& fixedTables()
{
    static const FixedTables t;
    return t;
}

// Reads a dynamic block's code description into the two tables.
bool readDynamicTables(BitReader& in, HuffmanTable& literals, HuffmanTable& distances)
{
    const unsigned nLiterals = in.take(5) + 257;
    const unsigned nDistances = in.take(5) + 1;
    const unsigned nCodeLengths = in.take(4) + 4;
    if (nLiterals > 286 || nDistances > 30)
        return false;
    uint8_t clLengths[19] = {};
    for (unsigned i = 0; i < nCodeLengths; ++i)
        clLengths[CodeLengthOrder[i]] = uint8_t(in.take(3));
    HuffmanTable codeLengths;
    if (!codeLengths.build(clLengths, 19, HuffmanTable::CodeLengths))
        return false;

    uint8_t lengths[286 + 30];
    const unsigned total = nLiterals + nDistances;
    unsigned n = 0;
    while (n < total) {
        const int sym = codeLengths.decode(in);
        if (sym < 0 || in.overrun())
            return false;
        if (sym < 16) {
            lengths[n++] = uint8_t(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (sym == 16) {
            if (n == 0)
                return false;
            value = lengths[n - 1];
            repeat = 3 + in.take(2);
        } else if (sym == 17) {
            repeat = 3 + in.take(3);
        } else {
            repeat = 11 + in.take(7);
        }
        if (n + repeat > total)
            return false;
        std::memset(lengths + n, value, repeat);
        n += repeat;
    }
    // A block without an end-of-block code could never end.
    if (lengths[256] == 0)
        return false;
    return literals.build(lengths, nLiterals, HuffmanTable::Symbols)
           && distances.build(lengths + nLiterals, nDistances, HuffmanTable::Symbols);
}

// Decodes a Huffman block's symbols up to its end-of-block code.
bool skipSymbols(BitReader& in, const HuffmanTable& literals, const HuffmanTable& distances)
{
    for (;;) {
        if (in.overrun())
            return false;
        int sym = literals.decode(in);
        if (sym < 256) {
            if (sym < 0)
                return false;
            continue;
        }
        if (sym == 256)
            return !in.overrun();
        sym -= 257;
        if (sym >= 29)
            return false;
        in.skip(LengthExtra[sym]);
        const int dist = distances.decode(in);
        if (dist < 0 || dist >= 30)
            return false;
        in.skip(DistanceExtra[dist]);
    }
}

} // namespace

bool scanStream(const uint8_t* data, size_t size, StreamEnd& end)
{
    BitReader in(data, size);
    HuffmanTable literals, distances;
    for (;;) {
        const uint64_t header = in.pos();
        const bool final = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (in.overrun())
            return false;
        if (type == 0) {
            in.alignToByte();
            const uint32_t len = in.take(16);
            const uint32_t check = in.take(16);
            if (len != (~check & 0xffffu))
                return false;
            in.skip(uint64_t(len) * 8);
        } else if (type == 1) {
            if (!skipSymbols(in, fixedTables().literals, fixedTables().distances))
                return false;
        } else if (type == 2) {
            if (!readDynamicTables(in, literals, distances) || !skipSymbols(in, literals, distances))
                return false;
        } else {
            return false;
        }
        if (in.overrun())
            return false;
        if (final) {
            end.finalHeaderBit = header;
            end.endBit = in.pos();
            return true;
        }
    }
}

bool openFinalBlock(std::vector<uint8_t>& out, size_t from)
{
    StreamEnd end;
    if (from > out.size() || !scanStream(out.data() + from, out.size() - from, end))
        return false;
    uint8_t* s = out.data() + from;
    s[end.finalHeaderBit >> 3] = uint8_t(s[end.finalHeaderBit >> 3] & ~(1u << (end.finalHeaderBit & 7)));
    // Whatever follows the end-of-block code goes; the empty stored block's
    // three header bits are zeros, then zeros up to the byte boundary.
    out.resize(from + size_t((end.endBit + 7) / 8));
    if (end.endBit & 7)
        out.back() = uint8_t(out.back() & ((1u << (end.endBit & 7)) - 1));
    out.resize(from + size_t((end.endBit + 3 + 7) / 8), 0);
    for (const uint8_t b : {0x00, 0x00, 0xff, 0xff})
        out.push_back(b);
    return true;
}

} // namespace qdeflate
