#pragma once
// A small picture of an image for file managers: scaled down to fit a square
// (each pixel the average of the area it covers, alpha-weighted so that clear
// pixels lend no colour), never enlarged, the aspect kept, at least one pixel
// a side. A 32-bit image with any alpha keeps it; others are opaque.
#include <cstdint>
#include <vector>

class CDibImage;

struct Thumbnail {
    uint32_t width = 0;
    uint32_t height = 0;
    bool bAlpha = false;  // pixels are RGBA; else RGB
    std::vector<uint8_t> pixels;  // top row first, red first
};

// The record scaled to fit size x size. Throws CException for a record the converters cannot read.
Thumbnail MakeThumbnail(const CDibImage& image, uint32_t size);
// The fitted size of width x height in size x size.
void FitThumbnail(uint32_t width, uint32_t height, uint32_t size, uint32_t& outWidth, uint32_t& outHeight);
// The PNG file of the thumbnail.
std::vector<uint8_t> ThumbnailPng(const Thumbnail& thumbnail);
