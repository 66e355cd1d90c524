// Deflate64 ("enhanced deflate", zip method 9): deflate with a 64 KiB window,
// lengths up to 65,538 (code 285 takes 16 extra bits) and two more distance
// codes (30 and 31, 14 extra bits each).
#pragma once

#include "Decoders.h"

namespace qz {

std::unique_ptr<Decoder> makeDeflate64Decoder();

} // namespace qz
