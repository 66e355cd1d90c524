#include "Deflate64.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace qz {

namespace {

constexpr int kMaxBits = 15;
constexpr size_t kWindow = 1 << 16;
// Input kept ahead of the decoder: a whole block header (at most some 600
// bytes) or one symbol with all its extra bits (60 bits) fits in it.
constexpr size_t kHeaderNeed = 1024;
constexpr size_t kSymbolNeed = 8;
constexpr size_t kBufferSize = 1 << 17;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: how many codes each length has, and the symbols
// in code order.
struct Huffman {
    std::array<uint16_t, kMaxBits + 1> count{};
    std::vector<uint16_t> symbols;

    // False when the lengths over-subscribe the code; an incomplete code is
    // allowed (a single distance code is common).
    bool build(const uint8_t* lengths, size_t n)
    {
        count.fill(0);
        for (size_t i = 0; i < n; ++i) ++count[lengths[i]];
        count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = left * 2 - count[len];
            if (left < 0) return false;
        }
        std::array<uint16_t, kMaxBits + 2> offset{};
        for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = uint16_t(offset[len] + count[len]);
        symbols.assign(n, 0);
        for (size_t i = 0; i < n; ++i)
            if (lengths[i]) symbols[offset[lengths[i]]++] = uint16_t(i);
        return true;
    }
};

class Deflate64Decoder : public Decoder {
public:
    Deflate64Decoder() : win_(kWindow) { buf_.reserve(kBufferSize); }

    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = 0;
        // Keep what is left of the buffer and top it up from `in`.
        if (pos_ > 0) {
            buf_.erase(buf_.begin(), buf_.begin() + std::ptrdiff_t(pos_));
            pos_ = 0;
        }
        const size_t take = std::min(inLen, kBufferSize - std::min(kBufferSize, buf_.size()));
        buf_.insert(buf_.end(), in, in + take);
        in += take;
        inLen -= take;
        last_ = last && inLen == 0;
        out_ = out;
        outCap_ = outCap;
        made_ = 0;
        const Status s = run();
        made = made_;
        return s;
    }

private:
    enum class State { Header, Stored, Coded, Done };

    size_t bytesLeft() const { return buf_.size() - pos_; }
    // Enough input for the next unit, or all there will be.
    bool have(size_t bytes) const { return last_ || bytesLeft() >= bytes; }

    uint32_t bits(int n)
    {
        while (count_ < n) {
            if (pos_ < buf_.size()) bitBuf_ |= uint64_t(buf_[pos_++]) << count_;
            else overrun_ = true;
            count_ += 8;
        }
        const uint32_t v = uint32_t(bitBuf_ & ((uint64_t(1) << n) - 1));
        bitBuf_ >>= n;
        count_ -= n;
        return v;
    }

    // One symbol, reading its code a bit at a time, first bit the code's top.
    int decode(const Huffman& h)
    {
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= int(bits(1));
            const int n = h.count[len];
            if (code - first < n) return h.symbols[size_t(index + code - first)];
            index += n;
            first = (first + n) << 1;
            code <<= 1;
        }
        return -1;
    }

    void emit(uint8_t b)
    {
        win_[winPos_] = b;
        winPos_ = (winPos_ + 1) & (kWindow - 1);
        if (filled_ < kWindow) ++filled_;
        out_[made_++] = b;
    }

    // Copies what is pending of a match as far as the output allows.
    void copyMatch()
    {
        while (copyLen_ > 0 && made_ < outCap_) {
            emit(win_[(winPos_ - copyDist_) & (kWindow - 1)]);
            --copyLen_;
        }
    }

    Status header()
    {
        if (!have(kHeaderNeed)) return Status::Ok;
        final_ = bits(1);
        const uint32_t type = bits(2);
        if (type == 0) {
            bits(count_ & 7);
            const uint32_t len = bits(16), nlen = bits(16);
            if (overrun_) return fail("compressed data is truncated");
            if ((len ^ 0xFFFF) != nlen) return fail("bad compressed data (stored block length)");
            stored_ = len;
            state_ = State::Stored;
            return Status::Ok;
        }
        if (type == 3) return fail("bad compressed data (block type)");
        uint8_t lengths[320];
        size_t nlen = 288, ndist = 32;
        if (type == 1) {
            std::memset(lengths, 8, 144);
            std::memset(lengths + 144, 9, 112);
            std::memset(lengths + 256, 7, 24);
            std::memset(lengths + 280, 8, 8);
            std::memset(lengths + 288, 5, 32);
        } else {
            nlen = bits(5) + 257;
            ndist = bits(5) + 1;
            const uint32_t ncode = bits(4) + 4;
            uint8_t codeLengths[19] = {};
            for (uint32_t i = 0; i < ncode; ++i) codeLengths[kCodeLengthOrder[i]] = uint8_t(bits(3));
            Huffman lenCode;
            if (!lenCode.build(codeLengths, 19)) return fail("bad compressed data (code lengths)");
            size_t i = 0;
            while (i < nlen + ndist) {
                const int sym = decode(lenCode);
                if (sym < 0 || overrun_) return fail(overrun_ ? "compressed data is truncated" : "bad compressed data (code lengths)");
                if (sym < 16) { lengths[i++] = uint8_t(sym); continue; }
                uint8_t value = 0;
                uint32_t repeat;
                if (sym == 16) {
                    if (i == 0) return fail("bad compressed data (code lengths)");
                    value = lengths[i - 1];
                    repeat = 3 + bits(2);
                } else if (sym == 17) {
                    repeat = 3 + bits(3);
                } else {
                    repeat = 11 + bits(7);
                }
                if (i + repeat > nlen + ndist) return fail("bad compressed data (code lengths)");
                std::memset(lengths + i, value, repeat);
                i += repeat;
            }
            if (lengths[256] == 0) return fail("bad compressed data (no end-of-block code)");
        }
        if (overrun_) return fail("compressed data is truncated");
        if (!lit_.build(lengths, nlen) || !dist_.build(lengths + nlen, ndist)) return fail("bad compressed data (codes)");
        state_ = State::Coded;
        return Status::Ok;
    }

    Status stored()
    {
        while (stored_ > 0 && made_ < outCap_) {
            if (count_ >= 8) { emit(uint8_t(bits(8))); --stored_; continue; }
            const size_t n = std::min({size_t(stored_), bytesLeft(), outCap_ - made_});
            if (n == 0) return last_ ? fail("compressed data is truncated") : Status::Ok;
            for (size_t i = 0; i < n; ++i) emit(buf_[pos_ + i]);
            pos_ += n;
            stored_ -= uint32_t(n);
        }
        if (stored_ == 0) state_ = final_ ? State::Done : State::Header;
        return Status::Ok;
    }

    Status coded()
    {
        while (made_ < outCap_) {
            if (!have(kSymbolNeed)) return Status::Ok;
            const int sym = decode(lit_);
            if (sym < 0) return fail("bad compressed data (literal code)");
            if (sym < 256) {
                emit(uint8_t(sym));
            } else if (sym == 256) {
                state_ = final_ ? State::Done : State::Header;
                break;
            } else {
                if (sym > 285) return fail("bad compressed data (length code)");
                const size_t li = size_t(sym - 257);
                const uint32_t len = kLengthBase[li] + bits(kLengthExtra[li]);
                const int ds = decode(dist_);
                if (ds < 0) return fail("bad compressed data (distance code)");
                const uint32_t dist = kDistBase[ds] + bits(kDistExtra[ds]);
                if (dist > filled_) return fail("bad compressed data (distance too far back)");
                copyLen_ = len;
                copyDist_ = dist;
                copyMatch();
            }
            if (overrun_) return fail("compressed data is truncated");
        }
        return overrun_ ? fail("compressed data is truncated") : Status::Ok;
    }

    Status run()
    {
        for (;;) {
            copyMatch();
            if (copyLen_ > 0) return Status::Ok;
            const size_t before = made_, at = pos_;
            const State was = state_;
            Status s = Status::Ok;
            switch (state_) {
            case State::Header: s = header(); break;
            case State::Stored: s = stored(); break;
            case State::Coded: s = coded(); break;
            case State::Done: return Status::End;
            }
            if (s != Status::Ok) return s;
            // Waiting for input or for room in the output.
            if (state_ == was && made_ == before && pos_ == at) return Status::Ok;
            if (made_ == outCap_ && state_ != State::Done) return Status::Ok;
        }
    }

    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    uint64_t bitBuf_ = 0;
    int count_ = 0;
    bool overrun_ = false, last_ = false, final_ = false;
    State state_ = State::Header;
    Huffman lit_, dist_;
    uint32_t stored_ = 0;
    std::vector<uint8_t> win_;
    size_t winPos_ = 0, filled_ = 0;
    uint32_t copyLen_ = 0, copyDist_ = 0;
    uint8_t* out_ = nullptr;
    size_t outCap_ = 0, made_ = 0;
};

} // namespace

std::unique_ptr<Decoder> makeDeflate64Decoder() { return std::make_unique<Deflate64Decoder>(); }

} // namespace qz
