#include "DibBuilder.h"

#include <cstring>

std::unique_ptr<CDibImage> DibBuilder::Blank(int32_t width, int32_t height, uint16_t bitCount)
{
    const uint32_t entries = bitCount <= 8 ? 1u << bitCount : 0u;
    const uint64_t bytes = DibStride(static_cast<uint64_t>(width), bitCount) * static_cast<uint64_t>(height);
    const BITMAPINFOHEADER header{sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, BI_RGB,
                                  static_cast<uint32_t>(bytes), 0, 0, entries, 0};
    return FromParts(header, std::vector<uint8_t>(4 * entries), entries, std::vector<uint8_t>(bytes));
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
