#pragma once
// Deflates the blocks of one raw deflate stream, one block at a time, for one
// worker thread: every block but the last ends on a byte boundary with the
// stream left open, so the blocks, compressed on any number of threads,
// joined in order make one stream.
//
// libdeflate is about twice as fast as zlib and on binaries about 1% smaller
// at the same level, but it searches shallower: on text (short repeats in no
// order) its levels 5 to 7 come out up to half a percent larger than zlib's,
// where its next level up, still faster than zlib, is smaller; on text of a
// few words repeated it loses by far more. A block of a quarter megabyte or
// more goes to libdeflate at the level for its kind of data unless, on two
// samples, that makes more than zlib does; else, as shorter blocks do, it
// goes to zlib primed with the 32 KiB before it. libdeflate's output is made
// joinable by reopening its final block.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace qdeflate {

// Whether `data` reads as text, in one encoding or another: a quarter or more
// of sixteen spots spread over it hold almost no control characters other
// than NUL (UTF-16) and the white space ones.
bool looksLikeText(const uint8_t* data, size_t len);

// The libdeflate level that, on most data of that kind, makes output no
// larger than zlib's at `level` (1 to 9).
int libdeflateLevel(int level, bool text);

class BlockCompressor {
public:
    // `level` 0 to 9 as zlib's; a strategy other than Z_DEFAULT_STRATEGY, and
    // level 0, are zlib's alone.
    explicit BlockCompressor(int level, int zlibStrategy = Z_DEFAULT_STRATEGY);
    ~BlockCompressor();
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    // Blocks shorter than this go to zlib: without the dictionary a short
    // block loses too much.
    static constexpr size_t MinChoiceSize = 256 * 1024;
    // The dictionary a block is primed with: the input just before it.
    static constexpr size_t Window = 32768;

    // Appends the deflate of `data` to `out`; `dict` is the input just before
    // it (at most Window bytes are used). The last block finishes the stream.
    // False when a library failed (`out` then holds no part of the block).
    bool compress(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                  std::vector<uint8_t>& out);

    // libdeflate's deflate of a short buffer as a whole stream, at the level
    // for its kind of data, appended to `out`; false (out unchanged) when it
    // would not be smaller than `len`.
    bool compressShort(const uint8_t* data, size_t len, std::vector<uint8_t>& out);

    // Blocks each library took so far.
    size_t zlibBlocks() const { return zlibBlocks_; }
    size_t libdeflateBlocks() const { return libdeflateBlocks_; }

private:
    bool startZlib();
    bool zlibBlock(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                   std::vector<uint8_t>& out);
    bool libdeflateBlock(libdeflate_compressor* c, const uint8_t* data, size_t len, bool last,
                         std::vector<uint8_t>& out);

    // The libdeflate compressor that takes the block (null: zlib does).
    libdeflate_compressor* choose(const uint8_t* data, size_t len);
    libdeflate_compressor* libdeflate(int i);
    // The size zlib, unprimed, makes of `data` (0: failed).
    size_t zlibSize(const uint8_t* data, size_t len);

    int level_;
    int strategy_;
    z_stream zs_{};
    bool zsReady_ = false;
    libdeflate_compressor* ld_[2] = {nullptr, nullptr}; // own level, one up
    std::vector<uint8_t> scratch_;
    size_t zlibBlocks_ = 0, libdeflateBlocks_ = 0;
};

} // namespace qdeflate
