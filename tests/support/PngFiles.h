#pragma once
// PNG files made and taken apart with libpng, for the codec tests.
#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using PngText = std::pair<std::string, std::string>;   // key, value

struct PngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows{};       // packed sample bytes, top row first
    std::vector<uint8_t> palette{};                 // red, green, blue of each entry
    std::vector<uint8_t> significantBits{};         // red, green, blue; empty: no sBIT chunk
    bool hasPhysicalSize = false;
    uint32_t xPerUnit = 0;
    uint32_t yPerUnit = 0;
    int unit = 0;
    std::optional<PngText> textBefore{};            // before the image data
    std::optional<PngText> textAfter{};             // after it
};

// Encodes the image; the rows must hold the bytes that its header implies.
std::vector<uint8_t> EncodePng(const PngImage& image);
// Decodes a whole file as it is stored (no transformations); false on a libpng error.
bool DecodePng(const std::vector<uint8_t>& bytes, PngImage& image);
