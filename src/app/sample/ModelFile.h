#pragma once
// Writing small model files of our own: texture blocks of raw RGB or RGBA
// pixels behind their block name, with other bytes between them.
#include <cstdint>
#include <string>
#include <vector>

struct RawTexture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t format = 1;  // 1: RGB, 2: RGBA
    std::vector<uint8_t> pixels;  // rows top to bottom, red, green, blue (, alpha)

    uint32_t BytesPerPixel() const { return format == 1 ? 3 : 4; }
};

// The bytes of a model file holding the textures in order.
std::vector<uint8_t> BuildModelFile(const std::vector<RawTexture>& textures);
// Writes them; false when the file cannot be written.
bool WriteModelFile(const std::string& path, const std::vector<RawTexture>& textures);
