#pragma once
// PNG files made and taken apart with libpng, for the codec tests.
#include <png.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PngText {
    std::string key;
    std::string value;
};

struct PngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows{};       // packed sample bytes, top row first
    std::vector<png_color> palette{};
    std::optional<png_color_8> significantBits{};
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
