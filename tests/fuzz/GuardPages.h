#pragma once
// DevIL's allocations on guard pages, for fuzz_image_decode. DevIL comes
// uninstrumented: a write past one of its buffers lands unseen in whatever
// lies next, and shows (if ever) in a later input. Here each block ends
// against an inaccessible page, and a freed block stays inaccessible for a
// while, so that the first byte past a buffer, or into a freed one, stops the
// run at the input that did it. The decoder's cap on the size of one
// allocation holds as in the helper.
#include "imagedecode/ImageDecoder.h"

#include <IL/il.h>

#include <cstddef>
#include <cstdlib>
#include <deque>
#include <sys/mman.h>
#include <unordered_map>

namespace guardpages {

struct Block {
    char* base;
    size_t length;
};

// The blocks handed out, by address; the freed ones kept inaccessible.
inline std::unordered_map<void*, Block>& live()
{
    static auto* blocks = new std::unordered_map<void*, Block>;
    return *blocks;
}
inline std::deque<Block>& freed()
{
    static auto* blocks = new std::deque<Block>;
    return *blocks;
}

constexpr size_t Page = 4096;
// At most this much address space stays reserved for freed blocks.
constexpr size_t FreedSpace = size_t(1) << 30;

inline void* ILAPIENTRY allocate(const ILsizei size)
{
    if (size > ImageDecoder::MaxAllocation)
        return nullptr;
    // 16 bytes aligned, as DevIL's vector code wants: a block of up to 15
    // bytes more than asked for ends at the guard page.
    const size_t bytes = (size_t(size) + 15) / 16 * 16;
    const size_t length = (bytes + Page - 1) / Page * Page + Page;
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    char* base = static_cast<char*>(mapped);
    mprotect(base + length - Page, Page, PROT_NONE);
    char* block = base + length - Page - bytes;
    live()[block] = Block{base, length};
    return block;
}

inline void ILAPIENTRY release(const void* CONST_RESTRICT block)
{
    if (!block)
        return;
    const auto it = live().find(const_cast<void*>(block));
    if (it == live().end()) {
        // Allocated before the guard pages were installed.
        std::free(const_cast<void*>(block));
        return;
    }
    const Block b = it->second;
    live().erase(it);
    madvise(b.base, b.length, MADV_DONTNEED);
    mprotect(b.base, b.length, PROT_NONE);
    static size_t reserved = 0;
    freed().push_back(b);
    reserved += b.length;
    while (reserved > FreedSpace || freed().size() > 8192) {
        munmap(freed().front().base, freed().front().length);
        reserved -= freed().front().length;
        freed().pop_front();
    }
}

// Puts DevIL's later allocations on guard pages; call after the decoder is made.
inline void Install()
{
    ilSetMemory(allocate, release);
}

} // namespace guardpages
