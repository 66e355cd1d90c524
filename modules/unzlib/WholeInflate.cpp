#include "WholeInflate.h"

#include <libdeflate.h>

#include <memory>

namespace qz {

namespace {

struct FreeDecompressor {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

} // namespace

bool inflateWhole(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen)
{
    // One decompressor per thread, kept for the thread's entries.
    thread_local std::unique_ptr<libdeflate_decompressor, FreeDecompressor> d(libdeflate_alloc_decompressor());
    if (!d)
        return false;
    uint8_t spare;
    size_t usedIn = 0, made = 0;
    const libdeflate_result r
        = libdeflate_deflate_decompress_ex(d.get(), in, inLen, outLen ? out : &spare, outLen, &usedIn, &made);
    return r == LIBDEFLATE_SUCCESS && made == outLen;
}

uint32_t crc32Of(uint32_t crc, const uint8_t* p, size_t n) { return n ? libdeflate_crc32(crc, p, n) : crc; }

} // namespace qz
