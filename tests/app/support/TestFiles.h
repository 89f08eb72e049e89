#pragma once
// Files of every kind the window opens, built in the tests.
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

#include "app/sample/ModelFile.h"

// A texture whose pixels differ from texel to texel and from seed to seed.
RawTexture PatternTexture(uint32_t width, uint32_t height, uint32_t format, uint8_t seed);
// The texture as it should look on screen: top row first, opaque.
QImage TextureImage(const RawTexture& texture);

// A 24-bit BMP file of the picture (opaque colours only).
std::vector<uint8_t> BmpFileBytes(const QImage& picture);
// A compressed bitmap: the 40-byte header, then the BMP file deflated.
std::vector<uint8_t> BmzFileBytes(const std::vector<uint8_t>& bmpFile);

void WriteBytes(const QString& path, const std::vector<uint8_t>& bytes);
void WriteModel(const QString& path, const std::vector<RawTexture>& textures);
// A picture of the given size whose pixels differ from each other.
QImage PatternPicture(int width, int height, int seed);
