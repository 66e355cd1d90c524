#include "BlockDeflater.h"

#include <new>

namespace qz {

qdeflate::BlockCompressor& BlockDeflater::compressor(int level)
{
    if (!blocks_ || blocksLevel_ != level) {
        blocks_ = std::make_unique<qdeflate::BlockCompressor>(level);
        blocksLevel_ = level;
    }
    return *blocks_;
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
    return compressor(level).compressShort(in, n, out);
}

void BlockDeflater::block(const uint8_t* dict, size_t dictLen, const uint8_t* in, size_t n, int level, bool last,
                          std::vector<uint8_t>& out)
{
    if (!compressor(level).compress(dict, dictLen, in, n, last, out)) throw std::bad_alloc();
}

} // namespace qz
