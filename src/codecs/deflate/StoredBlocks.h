#pragma once
// Data deflate cannot make smaller (random bytes, or what another compressor
// already packed), told apart cheaply, and written as stored deflate blocks
// without running a compressor over it: on such data both libraries spend
// many times longer than the test only to emit stored blocks themselves.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdeflate {

// Shorter data is left to the compressors: it costs them little.
constexpr size_t MinStoredTest = 64 * 1024;

// True when deflate would gain next to nothing on `data`: every 32 KiB of it
// uses the byte values about evenly (no Huffman code would be shorter), and
// hardly any of it repeats within the 32 KiB before (dictionary included),
// so that no match would pay. False for anything shorter than MinStoredTest.
bool incompressible(const uint8_t* dict, size_t dictLen, const uint8_t* data, size_t len);

// Appends `data` as stored blocks to a raw deflate stream whose earlier
// blocks end on a byte boundary. The last block finishes the stream when
// `last`; otherwise the stream is left open, ended on a byte boundary.
void appendStored(const uint8_t* data, size_t len, bool last, std::vector<uint8_t>& out);

} // namespace qdeflate
