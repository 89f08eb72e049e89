#pragma once
// Input files for the command-line tests, built byte by byte (model files,
// BMP, compressed bitmaps) or with libpng, and readers for what the tool wrote.
#include <cstdint>
#include <string>
#include <vector>

// An image as the tests think of it: top row first, four bytes per pixel (RGBA).
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;
    std::vector<uint8_t> rgba;

    const uint8_t* At(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// A picture whose every pixel differs from its neighbours (seeded, so two pictures differ too).
Picture MakePicture(uint32_t width, uint32_t height, bool hasAlpha, uint32_t seed);

// A model file with one embedded texture block per picture (RGB or RGBA by
// hasAlpha), with filler bytes around them; offsets are the width fields.
struct ModelFile {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> offsets;
};
ModelFile BuildModelFile(const std::vector<Picture>& pictures);
// A model file that holds no texture but a link block naming another file.
std::vector<uint8_t> BuildLinkModelFile(const std::string& linkName);

// A bottom-up BI_RGB BMP file: 24 bits, or 32 when the picture has alpha.
std::vector<uint8_t> BuildBmp(const Picture& picture);
// A compressed bitmap: a 40-byte header, then the zlib stream of the BMP file.
std::vector<uint8_t> BuildBmz(const Picture& picture);
// Writes an 8-bit RGB (or RGBA) PNG with libpng.
void WritePngFile(const std::string& path, const Picture& picture);

// Readers of the tool's output; an empty picture when the bytes are not understood.
Picture ReadBmpPicture(const std::vector<uint8_t>& bytes);
Picture ReadPngPicture(const std::string& path);
Picture ReadTgaPicture(const std::vector<uint8_t>& bytes);

// Compares colour (and alpha when asked), reporting the first differing pixel.
void ExpectSamePixels(const Picture& expected, const Picture& actual, bool compareAlpha, const std::string& what);
