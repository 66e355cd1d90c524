#include "Decoders.h"

#include "Deflate64.h"
#include "Ppmd.h"

#include "ZipCommon.h"

#include <bzlib.h>
#include <isa-l/igzip_lib.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>

namespace qz {

namespace {

class StoredDecoder : public Decoder {
public:
    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = std::min(inLen, outCap);
        std::memcpy(out, in, made);
        in += made;
        inLen -= made;
        return last && inLen == 0 ? Status::End : Status::Ok;
    }
};

// Deflate through ISA-L's inflate, about twice as fast as zlib's.
class InflateDecoder : public Decoder {
public:
    InflateDecoder() { isal_inflate_init(&st_); }
    Status step(const uint8_t*& in, size_t& inLen, bool, uint8_t* out, size_t outCap, size_t& made) override
    {
        st_.next_in = const_cast<uint8_t*>(in);
        st_.avail_in = uint32_t(std::min<size_t>(inLen, UINT32_MAX));
        st_.next_out = out;
        st_.avail_out = uint32_t(std::min<size_t>(outCap, UINT32_MAX));
        const uint32_t had = st_.avail_in, room = st_.avail_out;
        const int rc = isal_inflate(&st_);
        in += had - st_.avail_in;
        inLen -= had - st_.avail_in;
        made = room - st_.avail_out;
        if (rc < 0) return fail("bad compressed data");
        return st_.block_state == ISAL_BLOCK_FINISH ? Status::End : Status::Ok;
    }

private:
    inflate_state st_;
};

class Bzip2Decoder : public Decoder {
public:
    Bzip2Decoder() { ok_ = BZ2_bzDecompressInit(&bz_, 0, 0) == BZ_OK; }
    ~Bzip2Decoder() override { if (ok_) BZ2_bzDecompressEnd(&bz_); }
    Status step(const uint8_t*& in, size_t& inLen, bool, uint8_t* out, size_t outCap, size_t& made) override
    {
        if (!ok_) return fail("out of memory");
        bz_.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(in));
        bz_.avail_in = unsigned(std::min<size_t>(inLen, UINT32_MAX));
        bz_.next_out = reinterpret_cast<char*>(out);
        bz_.avail_out = unsigned(std::min<size_t>(outCap, UINT32_MAX));
        const unsigned had = bz_.avail_in;
        const int rc = BZ2_bzDecompress(&bz_);
        in += had - bz_.avail_in;
        inLen -= had - bz_.avail_in;
        made = outCap - bz_.avail_out;
        if (rc == BZ_STREAM_END) return Status::End;
        if (rc == BZ_OK) return Status::Ok;
        return fail(rc == BZ_MEM_ERROR ? "out of memory" : "bad compressed data");
    }

private:
    bz_stream bz_{};
    bool ok_ = false;
};

// Shared by LZMA and xz: drives an lzma_stream set up by the subclass.
class LzmaStreamDecoder : public Decoder {
public:
    ~LzmaStreamDecoder() override { lzma_end(&lz_); }

protected:
    Status code(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made)
    {
        lz_.next_in = in;
        lz_.avail_in = inLen;
        lz_.next_out = out;
        lz_.avail_out = outCap;
        const lzma_ret rc = lzma_code(&lz_, last ? LZMA_FINISH : LZMA_RUN);
        in += inLen - lz_.avail_in;
        inLen = lz_.avail_in;
        made = outCap - lz_.avail_out;
        if (rc == LZMA_STREAM_END) return Status::End;
        if (rc == LZMA_OK) return Status::Ok;
        if (rc == LZMA_BUF_ERROR) return made ? Status::Ok : fail("compressed data is truncated");
        return fail(rc == LZMA_MEM_ERROR        ? "out of memory"
                    : rc == LZMA_MEMLIMIT_ERROR ? "the data asks for a dictionary larger than 1 GiB"
                    : rc == LZMA_OPTIONS_ERROR  ? "unsupported compression options"
                                                : "bad compressed data");
    }
    lzma_stream lz_ = LZMA_STREAM_INIT;
};

// Zip's LZMA: a 4-byte header (the encoder's version, the size of the
// properties), the 5 properties bytes, then the raw stream, which ends after
// the entry's size or, with the end-marker flag, at its marker.
class LzmaDecoder : public LzmaStreamDecoder {
public:
    LzmaDecoder(bool eosMarked, uint64_t size) : eos_(eosMarked), size_(size) {}
    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = 0;
        if (!started_) {
            while (inLen && head_.size() < 4 + headerPropsSize()) {
                head_.push_back(*in++);
                --inLen;
            }
            if (head_.size() < 4 + headerPropsSize())
                return last ? fail("compressed data is truncated") : Status::Ok;
            if (const Status s = start(); s != Status::Ok) return s;
        }
        return code(in, inLen, last, out, outCap, made);
    }

private:
    size_t headerPropsSize() const { return head_.size() >= 4 ? rd16(head_.data() + 2) : 0; }
    Status start()
    {
        if (rd16(head_.data() + 2) != 5) return fail("unsupported LZMA properties");
        const uint8_t* p = head_.data() + 4;
        unsigned d = p[0];
        if (d >= 9 * 5 * 5) return fail("unsupported LZMA properties");
        lzma_options_lzma opt{};
        if (lzma_lzma_preset(&opt, 6)) return fail("unsupported LZMA properties");
        opt.lc = d % 9;
        d /= 9;
        opt.lp = d % 5;
        opt.pb = d / 5;
        // No match reaches back past the entry's start, so a dictionary larger
        // than the entry (a header may ask for 4 GiB) is never needed.
        const uint64_t asked = std::max<uint32_t>(rd32(p + 1), LZMA_DICT_SIZE_MIN);
        opt.dict_size = uint32_t(std::min<uint64_t>(asked, std::max<uint64_t>(size_, LZMA_DICT_SIZE_MIN)));
        const uint64_t known = eos_ ? UINT64_MAX : size_;
        opt.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        opt.ext_size_low = uint32_t(known);
        opt.ext_size_high = uint32_t(known >> 32);
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &opt}, {LZMA_VLI_UNKNOWN, nullptr}};
        const lzma_ret rc = lzma_raw_decoder(&lz_, filters);
        if (rc != LZMA_OK) return fail(rc == LZMA_MEM_ERROR ? "out of memory" : "unsupported LZMA properties");
        started_ = true;
        // An empty entry without an end marker has no stream at all.
        if (!eos_ && size_ == 0) return Status::End;
        return Status::Ok;
    }
    bool eos_;
    uint64_t size_;
    bool started_ = false;
    std::basic_string<uint8_t> head_;
};

class XzDecoder : public LzmaStreamDecoder {
public:
    // A header may ask for a 1.5 GiB dictionary; no preset of the tools that
    // write these needs more than a few hundred MiB.
    static constexpr uint64_t kMemoryLimit = uint64_t(1) << 30;
    XzDecoder() { ok_ = lzma_stream_decoder(&lz_, kMemoryLimit, LZMA_CONCATENATED) == LZMA_OK; }
    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = 0;
        if (!ok_) return fail("out of memory");
        return code(in, inLen, last, out, outCap, made);
    }

private:
    bool ok_ = false;
};

class ZstdDecoder : public Decoder {
public:
    ZstdDecoder() : ds_(ZSTD_createDStream())
    {
        // Large windows, as the high levels of the tools that write these use.
        if (ds_) ZSTD_DCtx_setParameter(ds_, ZSTD_d_windowLogMax, 30);
    }
    ~ZstdDecoder() override { ZSTD_freeDStream(ds_); }
    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = 0;
        if (!ds_) return fail("out of memory");
        ZSTD_inBuffer ib{in, inLen, 0};
        ZSTD_outBuffer ob{out, outCap, 0};
        const size_t rc = ZSTD_decompressStream(ds_, &ob, &ib);
        in += ib.pos;
        inLen -= ib.pos;
        made = ob.pos;
        if (ZSTD_isError(rc)) return fail(std::string("bad compressed data (") + ZSTD_getErrorName(rc) + ")");
        // A frame is done; more frames may follow.
        frameOpen_ = rc != 0;
        if (!frameOpen_ && last && inLen == 0) return Status::End;
        if (last && inLen == 0 && made == 0) return fail("compressed data is truncated");
        return Status::Ok;
    }

private:
    ZSTD_DStream* ds_;
    bool frameOpen_ = true;
};

} // namespace

std::unique_ptr<Decoder> makeDecoder(uint16_t method, bool eosMarked, uint64_t size, uint64_t packedSize)
{
    switch (method) {
    case 0: return std::make_unique<StoredDecoder>();
    case 8: return std::make_unique<InflateDecoder>();
    case 9: return makeDeflate64Decoder();
    case 12: return std::make_unique<Bzip2Decoder>();
    case 14: return std::make_unique<LzmaDecoder>(eosMarked, size);
    case 20:
    case 93: return std::make_unique<ZstdDecoder>();
    case 95: return std::make_unique<XzDecoder>();
    case 98: return makePpmdDecoder(size, packedSize);
    default: return nullptr;
    }
}

bool methodSupported(uint16_t method)
{
    switch (method) {
    case 0: case 8: case 9: case 12: case 14: case 20: case 93: case 95: case 98: return true;
    default: return false;
    }
}

} // namespace qz
