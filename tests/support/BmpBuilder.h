#pragma once
// BMP file bytes built by hand, field by field, and compressed bitmaps holding them.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/BitmapTypes.h"

struct BmpFileParts {
    int32_t width = 1, height = 1;  // negative height: rows stored top row first
    uint16_t bitCount = 24;
    uint32_t compression = BI_RGB;
    uint32_t headerSize = 40;  // at least 40; from 52 on the header carries the masks at byte 40
    uint32_t clrUsed = 0, sizeImage = 0;
    int32_t xPelsPerMeter = 0, yPelsPerMeter = 0;
    std::vector<uint32_t> masks{};  // red, green, blue
    std::vector<RGBQUAD> palette{};  // entries stored in the file
    std::vector<uint8_t> pixels{};  // rows exactly as stored
    uint32_t gap = 0;  // bytes between the colour table and the pixels
    std::optional<uint32_t> offBits{}, fileSize{};  // a bfOffBits, a bfSize other than the true one
    std::vector<uint8_t> trailer{};  // bytes after the pixels
};

std::vector<uint8_t> BuildBmp(const BmpFileParts& parts);

// A compressed bitmap: the header (padded with zeros to 40 bytes), then the file as a zlib stream.
std::vector<uint8_t> BuildBmz(const std::vector<uint8_t>& bmp, std::vector<uint8_t> header = {});
// A 24-bit (format 1) or 32-bit BMP of texture-block pixels (top row first, red first); top-down if asked.
std::vector<uint8_t> BmpOfBlock(
    const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t format, bool topDown = false);

// Rows given unpadded, each padded with zeros to a multiple of 4 bytes and joined.
std::vector<uint8_t> PadRows(const std::vector<std::vector<uint8_t>>& rows);
