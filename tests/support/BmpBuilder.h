#pragma once
// BMP file bytes built by hand, field by field, for the codec tests.
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

// Rows given unpadded, each padded with zeros to a multiple of 4 bytes and joined.
std::vector<uint8_t> PadRows(const std::vector<std::vector<uint8_t>>& rows);
