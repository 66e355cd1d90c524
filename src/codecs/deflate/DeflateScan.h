#pragma once
// Finds where a raw deflate stream's blocks lie without inflating it: the
// block headers are read and every Huffman code up to each end-of-block is
// decoded, but nothing is written out and no window is kept.
//
// A compressor that always ends its output with a final block (libdeflate
// does) is made joinable with it: openFinalBlock() clears the final block's
// BFINAL bit and appends an empty stored block, the byte-aligned ending a
// zlib sync flush writes, so that another stream's blocks can follow.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdeflate {

struct StreamEnd {
    // Bit offsets from the start of the data (bit 0: the first byte's lowest).
    uint64_t finalHeaderBit = 0; // the final block's BFINAL bit
    uint64_t endBit = 0;         // just past the final block's end-of-block code
};

// Walks `data` from its first block to its final one. False when it is not a
// whole, well-formed deflate stream: a reserved block type, a stored block's
// length check, a code-length set that is over-subscribed or incomplete
// (one-code distance sets excepted, as inflaters accept them), a symbol with
// no code or out of range, a repeat with nothing to repeat, or data ending
// before the final block does. Distances are not checked against a window.
bool scanStream(const uint8_t* data, size_t size, StreamEnd& end);

// `out` holds, from `from` on, one whole raw deflate stream. Clears its final
// block's BFINAL bit, drops what follows the end-of-block code, and ends it
// with an empty stored block on a byte boundary (00 00 FF FF last), so the
// blocks that follow continue the stream. False, with `out` unchanged, when
// the stream does not scan.
bool openFinalBlock(std::vector<uint8_t>& out, size_t from);

} // namespace qdeflate
