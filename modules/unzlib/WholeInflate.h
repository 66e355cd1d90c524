// Inflating an entry held whole in memory, and the CRC-32 of a buffer, with
// libdeflate: about twice as fast as zlib's streaming inflate and CRC.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qz {

// Inflates the raw deflate stream `in` into exactly `outLen` bytes at `out`.
// False when the data is not such a stream (bad, cut short, or holding more
// or fewer bytes): the streaming decoder then says what is wrong.
bool inflateWhole(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen);

// zlib's crc32(), faster.
uint32_t crc32Of(uint32_t crc, const uint8_t* p, size_t n);

} // namespace qz
