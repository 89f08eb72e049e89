#pragma once
// PNG files made and taken apart with libpng, for the codec tests.
#include <png.h>

#include <cstdint>
#include <vector>

struct PngImage {
    uint32_t width = 0, height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<std::vector<uint8_t>> rows{};  // packed sample bytes, top row first
    std::vector<uint8_t> palette{};  // red, green, blue of each entry
    std::vector<uint8_t> significantBits{};  // red, green, blue; empty: no sBIT chunk
    std::vector<uint8_t> paletteAlpha{};  // tRNS of a palette image: alpha of the first entries (written only)
    bool hasPhysicalSize = false;
    uint32_t xPerUnit = 0, yPerUnit = 0;
    int unit = 0;
    bool operator==(const PngImage&) const = default;
};

// Encodes the image; the rows must hold the bytes that its header implies.
std::vector<uint8_t> EncodePng(const PngImage& image);
// Decodes a whole file as it is stored (no transformations) into a fresh image; false on a libpng error.
bool DecodePng(const std::vector<uint8_t>& bytes, PngImage& image);
// The file with its header declaring these sides, the header's CRC made right: only the sides are wrong.
std::vector<uint8_t> WithDeclaredSides(std::vector<uint8_t> png, uint32_t width, uint32_t height);
