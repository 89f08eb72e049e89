#pragma once
// The writers' guard against records whose producer left the block smaller
// than its header says: nothing is ever read past the end of the block.
#include <cstdint>

#include "image/DibImage.h"

// True when the record holds an image whose rows (stride × biHeight bytes
// from GetBits(), bottom-up) lie inside its block.
inline bool DibRowsInsideBlock(const CDibImage& image)
{
    const BITMAPINFO* info = image.GetBitmapInfo();
    const auto* block = reinterpret_cast<const uint8_t*>(info);
    const uint8_t* bits = image.GetBits();
    if (!block || !bits || info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight <= 0)
        return false;
    if (bits < block || bits > block + image.GetBlockSize())
        return false;
    if (image.GetStride() < DibStride(static_cast<uint64_t>(info->bmiHeader.biWidth), info->bmiHeader.biBitCount))
        return false;
    const uint64_t offset = static_cast<uint64_t>(bits - block);
    return offset + uint64_t{image.GetStride()} * static_cast<uint64_t>(info->bmiHeader.biHeight) <=
        image.GetBlockSize();
}
