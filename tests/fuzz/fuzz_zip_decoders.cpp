// Fuzz target: the unzip module's decompressors over arbitrary streams. Five
// bytes lead: the method and the end-marker flag, how the input and the
// output are cut up, and the entry's size (3 bytes, low first); the rest is
// the compressed data.
#include "Decoders.h"
#include "FuzzScratch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint16_t methods[] = {0, 8, 9, 12, 14, 93, 95, 98};
    if (size < 5)
        return 0;
    const uint16_t method = methods[(data[0] >> 1) % (sizeof methods / sizeof methods[0])];
    const size_t inStep = 1 + (data[1] & 0x0F) * 97, outStep = 1 + (data[1] >> 4) * 1031;
    const uint64_t declared = data[2] | uint64_t(data[3]) << 8 | uint64_t(data[4]) << 16;
    std::unique_ptr<qz::Decoder> dec = qz::makeDecoder(method, data[0] & 1, declared, size - 5);
    FUZZ_CHECK(dec);
    std::vector<uint8_t> out(outStep);
    const uint8_t* next = data + 5;
    const uint8_t* end = data + size;
    size_t avail = 0;
    uint64_t produced = 0;
    for (;;) {
        if (avail == 0 && next < end)
            avail = std::min<size_t>(inStep, size_t(end - next));
        const uint8_t* was = next;
        const size_t before = avail;
        size_t made = 0;
        const bool last = next + avail == end;
        const qz::Decoder::Status st = dec->step(next, avail, last, out.data(), out.size(), made);
        FUZZ_CHECK(made <= out.size() && next == was + (before - avail));
        // Every decoder stops where the module would: at its end, on an
        // error, past the entry's size or when it no longer moves.
        produced += made;
        if (st != qz::Decoder::Status::Ok || produced > declared)
            break;
        if (made == 0 && avail == before && (avail > 0 || last))
            break;
    }
    return 0;
}
