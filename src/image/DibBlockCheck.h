#pragma once
// The writers' guard against records whose producer left the block smaller
// than its header says: nothing is ever read past the end of the block.
#include <cstdint>

#include "image/DibImage.h"

// True when the record holds an image whose rows (m_nStride × biHeight bytes
// from m_pBits, bottom-up) lie inside its block.
inline bool DibRowsInsideBlock(const CDibImage& image)
{
    const BITMAPINFOHEADER* header = image.m_pInfoHeader;
    const uint8_t* block = image.m_hDib.get();
    if (!block || !header || !image.m_pBits || header->biWidth <= 0 || header->biHeight <= 0)
        return false;
    if (image.m_pBits < block || image.m_pBits > block + image.m_nDibSize)
        return false;
    if (image.m_nStride < DibStride(static_cast<uint64_t>(header->biWidth), header->biBitCount))
        return false;
    const uint64_t offset = static_cast<uint64_t>(image.m_pBits - block);
    return offset + uint64_t{image.m_nStride} * static_cast<uint64_t>(header->biHeight) <= image.m_nDibSize;
}
