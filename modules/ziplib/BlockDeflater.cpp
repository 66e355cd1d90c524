#include "BlockDeflater.h"

#include <libdeflate.h>

#include <cstring>
#include <new>

namespace qz {

BlockDeflater::~BlockDeflater()
{
    if (whole_) libdeflate_free_compressor(whole_);
    if (zsInit_) deflateEnd(&zs_);
}

namespace {
constexpr size_t kSampleFrom = size_t(1) << 20;
constexpr size_t kSample = size_t(128) << 10;
} // namespace

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

void BlockDeflater::startZlib(int level)
{
    if (!zsInit_ || zsLevel_ != level) {
        if (zsInit_) deflateEnd(&zs_);
        std::memset(&zs_, 0, sizeof zs_);
        if (deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
        zsInit_ = true;
        zsLevel_ = level;
    } else {
        deflateReset(&zs_);
    }
}

bool BlockDeflater::zlibWhole(const uint8_t* in, size_t n, int level, size_t limit, std::vector<uint8_t>& out)
{
    startZlib(level);
    const size_t at = out.size();
    out.resize(at + limit);
    zs_.next_in = const_cast<uint8_t*>(in);
    zs_.avail_in = uInt(n);
    zs_.next_out = out.data() + at;
    zs_.avail_out = uInt(limit);
    const int rc = deflate(&zs_, Z_FINISH);
    out.resize(rc == Z_STREAM_END ? out.size() - zs_.avail_out : at);
    return rc == Z_STREAM_END;
}

bool BlockDeflater::whole(const uint8_t* in, size_t n, int level, std::vector<uint8_t>& out)
{
    libdeflate_compressor* c = compressor(level);
    if (n >= kSampleFrom) {
        std::vector<uint8_t> a, b;
        a.resize(kSample + kSample / 8 + 64);
        const size_t ld = libdeflate_deflate_compress(c, in, kSample, a.data(), a.size());
        if (zlibWhole(in, kSample, level, a.size(), b) && (ld == 0 || b.size() < ld))
            return zlibWhole(in, n, level, n, out);
    }
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
