// Deflate for one worker thread: a whole file at once, or one block of a
// large file ended on a byte boundary, so that the blocks of a file join into
// one raw deflate stream (see qdeflate::BlockCompressor).
//
// A whole file of a quarter megabyte or more is compressed as one block is,
// the library chosen on samples; a smaller one goes to libdeflate, a level
// up for text at levels 5 to 7, where its own level makes text larger than
// zlib's.
#pragma once

#include "codecs/deflate/BlockCompressor.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qz {

class BlockDeflater {
public:
    BlockDeflater() = default;
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    // The dictionary a block is primed with: the input just before it.
    static constexpr size_t kWindow = qdeflate::BlockCompressor::Window;

    // Appends `in` deflated to `out`. False, with `out` unchanged, when that
    // would be larger than `in` (the file is better stored).
    bool whole(const uint8_t* in, size_t n, int level, std::vector<uint8_t>& out);
    // Appends one block of a stream: the last one finishes the stream, the
    // others end on a byte boundary with the stream left open.
    void block(const uint8_t* dict, size_t dictLen, const uint8_t* in, size_t n, int level, bool last, std::vector<uint8_t>& out);

private:
    // The compressor of `level`, kept while the level stays.
    qdeflate::BlockCompressor& compressor(int level);

    std::unique_ptr<qdeflate::BlockCompressor> blocks_;
    int blocksLevel_ = -1;
};

} // namespace qz
