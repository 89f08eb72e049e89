#pragma once
// Image records built in memory, for tests that need a record no reader makes.
#include <cstdint>
#include <memory>
#include <vector>

#include "image/DibImage.h"

class DibBuilder {
public:
    // A record of the given size and depth with a 40-byte header, a zeroed
    // colour table of 2^bitCount entries up to 8 bits, and zeroed rows.
    static std::unique_ptr<CDibImage> Blank(int32_t width, int32_t height, uint16_t bitCount);
    // A record laid out as the readers leave one: the 40-byte header, the
    // table bytes (palette or masks) and the rows, bottom row first.
    static std::unique_ptr<CDibImage> FromParts(const BITMAPINFOHEADER& header, const std::vector<uint8_t>& table,
        uint32_t paletteEntries, const std::vector<uint8_t>& rows);
};
