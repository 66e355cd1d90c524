// PPMd (zip method 98: PPMd variant I revision 1, a 2-byte header giving the
// model order, its memory and the restore method, then the range-coded data).
// Decoded by libarchive's zip reader, which is handed the entry as a zip of
// its own.
#pragma once

#include "Decoders.h"

namespace qz {

// `size`: the entry's uncompressed size; `packedSize`: the bytes of its
// compressed data (after any decryption header).
std::unique_ptr<Decoder> makePpmdDecoder(uint64_t size, uint64_t packedSize);

} // namespace qz
