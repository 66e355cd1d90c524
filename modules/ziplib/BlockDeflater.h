// Deflate for one worker thread: a whole file at once with libdeflate, or one
// block of a large file with zlib, primed with the 32 KiB of input before it
// and flushed to a byte boundary, so that the blocks of a file join into one
// raw deflate stream.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace qz {

class BlockDeflater {
public:
    BlockDeflater() = default;
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;
    ~BlockDeflater();

    // The dictionary a block is primed with: the input just before it.
    static constexpr size_t kWindow = 32768;

    // Appends `in` deflated to `out`. False, with `out` unchanged, when that
    // would be larger than `in` (the file is better stored).
    bool whole(const uint8_t* in, size_t n, int level, std::vector<uint8_t>& out);
    // Appends one block of a stream: the last one finishes the stream, the
    // others end on a byte boundary with the stream left open.
    void block(const uint8_t* dict, size_t dictLen, const uint8_t* in, size_t n, int level, bool last, std::vector<uint8_t>& out);

private:
    libdeflate_compressor* whole_ = nullptr;
    int wholeLevel_ = -1;
    z_stream zs_{};
    bool zsInit_ = false;
    int zsLevel_ = -1;
};

} // namespace qz
