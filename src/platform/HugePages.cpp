#include "platform/HugePages.h"

#include <sys/mman.h>

#include <cstdint>

void AdviseHugePages(void* block, size_t bytes)
{
    if (!block || bytes < kHugePageBytes)
        return;
    // Only whole huge pages inside the block: from its first huge-page boundary on.
    const size_t misalignment = reinterpret_cast<uintptr_t>(block) % kHugePageBytes;
    const size_t lead = misalignment == 0 ? 0 : kHugePageBytes - misalignment;
    if (bytes <= lead)
        return;
    const size_t length = (bytes - lead) / kHugePageBytes * kHugePageBytes;
    if (length > 0)
        ::madvise(static_cast<uint8_t*>(block) + lead, length, MADV_HUGEPAGE);
}
