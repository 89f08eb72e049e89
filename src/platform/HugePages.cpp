#include "platform/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

void AdviseHugePages(void* block, size_t bytes)
{
    if (!block || bytes < kHugePageBytes)
        return;
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + kHugePageBytes - 1) & ~(uintptr_t{kHugePageBytes} - 1);
    const uintptr_t end = (start + bytes) & ~(uintptr_t{kHugePageBytes} - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}
