#pragma once
// Inflating a raw deflate stream in the deflate tests, with zlib as the
// reference every peer agrees with.

#include <zlib.h>

#include <cstdint>
#include <vector>

// False when zlib refuses `in` or it does not end exactly at the end of `in`.
inline bool inflateRaw(const std::vector<uint8_t>& in, std::vector<uint8_t>& out)
{
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    out.clear();
    zs.next_in = const_cast<uint8_t*>(in.data());
    zs.avail_in = uInt(in.size());
    uint8_t buf[65536];
    int r = Z_OK;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        r = inflate(&zs, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - zs.avail_out));
    } while (r == Z_OK && (zs.avail_in > 0 || zs.avail_out == 0));
    const bool ok = r == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return ok;
}
