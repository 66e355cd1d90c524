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
        const bool text = looksLikeText(data, len);
        libdeflate_compressor*& c = ld_[text];
        if (!c)
            c = libdeflate_alloc_compressor(libdeflateLevel(level_, text));
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

} // namespace qdeflate
