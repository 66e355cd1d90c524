#include "BlockDeflater.h"

#include <libdeflate.h>

#include <new>

namespace qz {

BlockDeflater::~BlockDeflater()
{
    if (whole_) libdeflate_free_compressor(whole_);
}

libdeflate_compressor* BlockDeflater::compressor(int level)
{
    if (!whole_ || wholeLevel_ != level) {
        if (whole_) libdeflate_free_compressor(whole_);
        whole_ = libdeflate_alloc_compressor(level);
        if (!whole_) throw std::bad_alloc();
        wholeLevel_ = level;
    }
    return whole_;
}

bool BlockDeflater::whole(const uint8_t* in, size_t n, int level, std::vector<uint8_t>& out)
{
    if (n >= qdeflate::BlockCompressor::MinChoiceSize) {
        // Chosen on samples, as a block is: the whole file as one final block.
        const size_t at = out.size();
        block(nullptr, 0, in, n, level, true, out);
        if (out.size() - at < n) return true;
        out.resize(at);
        return false;
    }
    libdeflate_compressor* c = compressor(qdeflate::libdeflateLevel(level, qdeflate::looksLikeText(in, n)));
    const size_t at = out.size();
    out.resize(at + n);
    const size_t made = libdeflate_deflate_compress(c, in, n, out.data() + at, n);
    out.resize(made ? at + made : at);
    return made != 0;
}

void BlockDeflater::block(const uint8_t* dict, size_t dictLen, const uint8_t* in, size_t n, int level, bool last,
                          std::vector<uint8_t>& out)
{
    if (!blocks_ || blocksLevel_ != level) {
        blocks_ = std::make_unique<qdeflate::BlockCompressor>(level);
        blocksLevel_ = level;
    }
    if (!blocks_->compress(dict, dictLen, in, n, last, out)) throw std::bad_alloc();
}

} // namespace qz
