// Zeroed memory for the backends' large blocks: canvases, DIB sections and
// the heap's big blocks. Memory that is touched for the first time costs a
// page fault per 4 KiB page, and in a virtual machine a fault costs more than
// filling the page: a 3 MiB block is 768 of them. Large blocks are therefore
// mapped on their own, aligned to the 2 MiB of a large page and offered to
// the kernel for large pages, so that each 2 MiB arrives in one fault.
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "../handle_table.h"
#include "posix.h"

namespace {

const size_t kLargePage = 2u << 20;
// Blocks from here on are mapped on their own.
const size_t kLargeBlock = 1u << 20;

// The mapped blocks with their sizes, so that a block is released by its
// start alone; smaller blocks come from the C library, which keeps theirs.
HandleTable g_mapped = {};

size_t MappedSize(size_t size) {
    return (size + kLargePage - 1) & ~(kLargePage - 1);
}

}  // namespace

void* AllocateZeroed(size_t size) {
    if (size < kLargeBlock) return calloc(1, size ? size : 1);
    if (size > SIZE_MAX - 2 * kLargePage) return nullptr;
    // Mapped with a large page's worth to spare, then cut to an aligned start.
    const size_t mapped = MappedSize(size);
    void* region = mmap(nullptr, mapped + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(region);
    const uintptr_t aligned = (start + kLargePage - 1) & ~static_cast<uintptr_t>(kLargePage - 1);
    if (aligned > start) munmap(region, aligned - start);
    if (start + kLargePage > aligned) munmap(reinterpret_cast<void*>(aligned + mapped), start + kLargePage - aligned);
    void* block = reinterpret_cast<void*>(aligned);
    if (AddHandle(&g_mapped, block, size) != 0) {
        munmap(block, mapped);
        return nullptr;
    }
    // A large page is resident whole once any of it is touched: a last part
    // of less than half a large page keeps small pages, so that a block never
    // holds more than half a large page beyond its size. Only advice: where
    // large pages cannot be had, small ones serve.
    const size_t last = size % kLargePage;
    const size_t large = last != 0 && last < kLargePage / 2 ? size - last : mapped;
    if (large) madvise(block, large, MADV_HUGEPAGE);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer guards the blocks of its own allocator, not mapped ones:
    // the spare bytes past the block are poisoned, so that a read or write
    // past its end is caught here as it would be there.
    ASAN_POISON_MEMORY_REGION(static_cast<unsigned char*>(block) + size, mapped - size);
#endif
    return block;
}

void ReleaseZeroed(void* block) {
    if (!block) return;
    const int index = FindHandle(&g_mapped, block);
    if (index < 0) {
        free(block);
        return;
    }
    const size_t mapped = MappedSize(g_mapped.entries[index].size);
    RemoveHandleAt(&g_mapped, index);
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(block, mapped);
#endif
    munmap(block, mapped);
}
