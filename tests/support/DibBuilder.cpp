#include "DibBuilder.h"

#include <cstring>

std::unique_ptr<CDibImage> DibBuilder::Blank(int32_t width, int32_t height, uint16_t bitCount)
{
    const uint32_t entries = bitCount <= 8 ? 1u << bitCount : 0u;
    const BITMAPINFOHEADER header = MakeInfoHeader(width, height, bitCount, entries);
    return FromParts(header, std::vector<uint8_t>(4 * entries), entries, std::vector<uint8_t>(header.biSizeImage));
}

std::unique_ptr<CDibImage> DibBuilder::FromParts(const BITMAPINFOHEADER& header, const std::vector<uint8_t>& table,
    uint32_t paletteEntries, const std::vector<uint8_t>& rows)
{
    std::unique_ptr<CDibImage> dib(new CDibImage());
    uint8_t* block = dib->AllocateBlock(sizeof header + table.size() + rows.size());
    std::memcpy(block, &header, sizeof header);
    if (!table.empty())
        std::memcpy(block + sizeof header, table.data(), table.size());
    if (!rows.empty())
        std::memcpy(block + sizeof header + table.size(), rows.data(), rows.size());
    dib->DeriveLayout(static_cast<uint32_t>(table.size()), paletteEntries);
    return dib;
}
