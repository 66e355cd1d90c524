#pragma once
// Deflates the blocks of one raw deflate stream, one block at a time, for one
// worker thread: every block but the last ends on a byte boundary with the
// stream left open, so the blocks, compressed on any number of threads,
// joined in order make one stream.
//
// Each block goes to whichever of two libraries does better on it: zlib,
// primed with the 32 KiB before the block, or libdeflate, about twice as fast
// and on most real files smaller, but without a dictionary, and on some text
// (short repeats in no order) up to a tenth larger than zlib at the same
// level. Two samples of a block decide, compressed by both; libdeflate's
// output is then made joinable by reopening its final block.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace qdeflate {

class BlockCompressor {
public:
    // `level` 0 to 9 as zlib's; a strategy other than Z_DEFAULT_STRATEGY, and
    // level 0, are zlib's alone.
    explicit BlockCompressor(int level, int zlibStrategy = Z_DEFAULT_STRATEGY);
    ~BlockCompressor();
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    // Blocks shorter than this go to zlib: without the dictionary a short
    // block loses too much, and the samples would cost more than they save.
    static constexpr size_t MinChoiceSize = 256 * 1024;
    // The dictionary a block is primed with: the input just before it.
    static constexpr size_t Window = 32768;

    // Appends the deflate of `data` to `out`; `dict` is the input just before
    // it (at most Window bytes are used). The last block finishes the stream.
    // False when a library failed (`out` then holds no part of the block).
    bool compress(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                  std::vector<uint8_t>& out);

    // Blocks each library took so far.
    size_t zlibBlocks() const { return zlibBlocks_; }
    size_t libdeflateBlocks() const { return libdeflateBlocks_; }

private:
    bool startZlib();
    bool zlibBlock(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                   std::vector<uint8_t>& out);
    bool libdeflateBlock(const uint8_t* data, size_t len, bool last, std::vector<uint8_t>& out);
    bool libdeflateWins(const uint8_t* data, size_t len);
    // The size zlib, unprimed, makes of `data` (0: failed).
    size_t zlibSize(const uint8_t* data, size_t len);

    int level_;
    int strategy_;
    z_stream zs_{};
    bool zsReady_ = false;
    libdeflate_compressor* ld_ = nullptr;
    std::vector<uint8_t> scratch_;
    size_t zlibBlocks_ = 0, libdeflateBlocks_ = 0;
};

} // namespace qdeflate
