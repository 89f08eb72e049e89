#pragma once
// Large image blocks on huge pages: on this kind of machine a fresh 4 KiB
// page costs a fault each, and a 192 MiB block thousands of them.
#include <cstddef>

// Blocks from this size on are worth advising.
inline constexpr size_t kHugePageBytes = size_t{2} << 20;

// Asks the system to back the whole 2 MiB pages inside the block with huge
// pages. Call before the block is first written. Does nothing for small
// blocks or where the system does not take the advice.
void AdviseHugePages(void* block, size_t bytes);
