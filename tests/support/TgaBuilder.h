#pragma once
// Targa file bytes built by hand for the reader's tests and for Targa replacements.
#include <cstdint>
#include <vector>

struct TgaFileParts {
    uint16_t width = 1, height = 1;
    uint8_t depth = 24;
    uint8_t imageType = 2;  // 2 uncompressed, 10 run-length true-colour
    uint8_t descriptor = 0;  // 0x20 top row first, 0x10 right to left
    uint8_t colorMapType = 0;
    uint16_t mapEntries = 0;  // a colour map of 24-bit entries, when colorMapType is 1
    std::vector<uint8_t> id{};  // the image ID field
    std::vector<uint8_t> pixels{};  // blue, green, red (, alpha), in the file's pixel order
};

// The file; for type 10 the pixels are run-length coded (runs may cross rows).
std::vector<uint8_t> BuildTga(const TgaFileParts& parts);
