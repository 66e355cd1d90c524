// The decompressors of the zip compression methods, behind one streaming
// interface: stored, deflated, Deflate64, bzip2, LZMA, xz, zstd and PPMd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qz {

class Decoder {
public:
    enum class Status { Ok, End, Error };
    virtual ~Decoder() = default;
    // Takes bytes from `in` (advancing `inLen` down by what it used) and puts
    // up to `outCap` bytes in `out` (`made`). `last`: no input follows what
    // `in` holds. End once the stream is complete; Error with `problem` set
    // when the data is bad.
    virtual Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) = 0;
    const std::string& problem() const { return problem_; }

protected:
    Status fail(std::string why)
    {
        problem_ = std::move(why);
        return Status::Error;
    }
    std::string problem_;
};

// The decoder of zip compression method `method`, null when there is none.
// `eosMarked` is general-purpose flag bit 1, which for LZMA says an end marker
// closes the data; `size` is the entry's uncompressed size, `packedSize` the
// bytes of its compressed data.
std::unique_ptr<Decoder> makeDecoder(uint16_t method, bool eosMarked, uint64_t size, uint64_t packedSize);
bool methodSupported(uint16_t method);

} // namespace qz
