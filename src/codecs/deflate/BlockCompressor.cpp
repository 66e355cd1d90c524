#include "BlockCompressor.h"

#include "DeflateScan.h"

#include <libdeflate.h>

#include <algorithm>

namespace qdeflate {

bool looksLikeText(const uint8_t* data, size_t len)
{
    constexpr size_t Spots = 16, Spot = 1024;
    size_t spots = 0, text = 0;
    for (size_t i = 0; i < Spots && (i == 0 || len > Spot); ++i) {
        const size_t from = len > Spot ? (len - Spot) * i / (Spots - 1) : 0;
        const size_t n = std::min(Spot, len - from);
        size_t control = 0;
        for (size_t j = 0; j < n; ++j) {
            const uint8_t c = data[from + j];
            control += c < 0x20 ? c != 0 && (c < '\t' || c > '\r') && c != 0x1b : c == 0x7f;
        }
        ++spots;
        text += control * 100 < n;
    }
    return text * 4 >= spots && text > 0;
}

int libdeflateLevel(int level, bool text)
{
    return text && level >= 5 && level <= 7 ? level + 1 : level;
}

namespace {

// Two samples of this size, from the start and the middle of a block.
constexpr size_t SampleSize = 32 * 1024;

} // namespace

BlockCompressor::BlockCompressor(int level, int zlibStrategy)
    : level_(std::clamp(level, 0, 9)), strategy_(zlibStrategy)
{
}

BlockCompressor::~BlockCompressor()
{
    if (zsReady_)
        deflateEnd(&zs_);
    for (libdeflate_compressor* c : ld_)
        if (c)
            libdeflate_free_compressor(c);
}

bool BlockCompressor::startZlib()
{
    if (zsReady_)
        return deflateReset(&zs_) == Z_OK;
    zsReady_ = deflateInit2(&zs_, level_, Z_DEFLATED, -MAX_WBITS, 8, strategy_) == Z_OK;
    return zsReady_;
}

bool BlockCompressor::compress(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                               std::vector<uint8_t>& out)
{
    if (level_ > 0 && strategy_ == Z_DEFAULT_STRATEGY && len >= MinChoiceSize) {
        libdeflate_compressor* c = choose(data, len);
        if (c && libdeflateBlock(c, data, len, last, out)) {
            ++libdeflateBlocks_;
            return true;
        }
    }
    ++zlibBlocks_;
    return zlibBlock(dict, dictLen, data, len, last, out);
}

bool BlockCompressor::zlibBlock(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len, bool last,
                                std::vector<uint8_t>& out)
{
    const size_t at = out.size();
    if (!startZlib())
        return false;
    if (dictLen > Window) {
        dict += dictLen - Window;
        dictLen = Window;
    }
    if (dictLen > 0 && deflateSetDictionary(&zs_, dict, uInt(dictLen)) != Z_OK)
        return false;
    // The bound of a whole stream, and room for a sync flush's empty block.
    out.resize(at + deflateBound(&zs_, uLong(len)) + 64);
    zs_.next_in = const_cast<uint8_t*>(data);
    zs_.avail_in = uInt(len);
    size_t used = at;
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        zs_.next_out = out.data() + used;
        zs_.avail_out = uInt(out.size() - used);
        const int r = deflate(&zs_, flush);
        used = out.size() - zs_.avail_out;
        if (last ? r == Z_STREAM_END : (zs_.avail_in == 0 && zs_.avail_out != 0))
            break;
        if (r != Z_OK && r != Z_BUF_ERROR) {
            out.resize(at);
            return false;
        }
        out.resize(out.size() + 4096 + (out.size() - at) / 4);
    }
    out.resize(used);
    return true;
}

bool BlockCompressor::libdeflateBlock(libdeflate_compressor* c, const uint8_t* data, size_t len, bool last,
                                      std::vector<uint8_t>& out)
{
    const size_t at = out.size();
    out.resize(at + libdeflate_deflate_compress_bound(c, len));
    const size_t made = libdeflate_deflate_compress(c, data, len, out.data() + at, out.size() - at);
    out.resize(at + made);
    // libdeflate always ends with a final block; all but the stream's last
    // block are reopened so that the next one can follow.
    if (made == 0 || (!last && !openFinalBlock(out, at))) {
        out.resize(at);
        return false;
    }
    return true;
}

bool BlockCompressor::compressShort(const uint8_t* data, size_t len, std::vector<uint8_t>& out)
{
    libdeflate_compressor* c = libdeflate(looksLikeText(data, len) ? 1 : 0);
    if (!c)
        return false;
    const size_t at = out.size();
    out.resize(at + len);
    const size_t made = libdeflate_deflate_compress(c, data, len, out.data() + at, len);
    out.resize(at + made);
    return made != 0;
}

libdeflate_compressor* BlockCompressor::libdeflate(int i)
{
    if (!ld_[i])
        ld_[i] = libdeflate_alloc_compressor(libdeflateLevel(level_, i == 1));
    return ld_[i];
}

size_t BlockCompressor::zlibSize(const uint8_t* data, size_t len)
{
    if (!startZlib())
        return 0;
    scratch_.resize(deflateBound(&zs_, uLong(len)));
    zs_.next_in = const_cast<uint8_t*>(data);
    zs_.avail_in = uInt(len);
    zs_.next_out = scratch_.data();
    zs_.avail_out = uInt(scratch_.size());
    return deflate(&zs_, Z_FINISH) == Z_STREAM_END ? size_t(zs_.total_out) : 0;
}

libdeflate_compressor* BlockCompressor::choose(const uint8_t* data, size_t len)
{
    size_t zlibTotal = 0;
    for (const size_t from : {size_t(0), len / 2}) {
        const size_t z = zlibSize(data + from, std::min(SampleSize, len - from));
        if (z == 0)
            return nullptr;
        zlibTotal += z;
    }
    // libdeflate at the level for its kind of data must not lose to zlib
    // on the samples.
    libdeflate_compressor* c = libdeflate(looksLikeText(data, len) ? 1 : 0);
    if (!c)
        return nullptr;
    size_t total = 0;
    for (const size_t from : {size_t(0), len / 2}) {
        const size_t n = std::min(SampleSize, len - from);
        scratch_.resize(libdeflate_deflate_compress_bound(c, n));
        const size_t l = libdeflate_deflate_compress(c, data + from, n, scratch_.data(), scratch_.size());
        if (l == 0)
            return nullptr;
        total += l;
    }
    return total <= zlibTotal ? c : nullptr;
}

} // namespace qdeflate
