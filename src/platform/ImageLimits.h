#pragma once
// The one place that says how large an image the program takes. Every reader
// refuses a larger one at once with kImageTooLarge, before it allocates or
// inflates anything, so a small hostile file cannot take the memory or the
// disk. The defaults take every real texture and map.
#include <cstdint>

struct ImageLimits {
    // Width or height in pixels.
    uint32_t nMaxSide = 131072;
    // Bytes of one image's pixel rows. The bitmap form that every image is held
    // in counts its file size in 32 bits: 32768 × 32768 fits at 24 bits, and
    // at 32 bits up to 32767 rows.
    uint64_t nMaxImageBytes = 0xFFFFFFFFull - 14 - 40 - 1024;
    // Bytes a compressed bitmap may expand to (a whole bitmap file).
    uint64_t nMaxInflatedBytes = 0xFFFFFFFFull;
};

inline constexpr char kImageTooLarge[] = "The image is too large to open.\nFile: %s";

const ImageLimits& GetImageLimits();
// Replaces the limits in force (the tests make them small).
void SetImageLimits(const ImageLimits& limits);
// True when an image of this size and depth is within the limits.
bool ImageWithinLimits(uint64_t width, uint64_t height, unsigned bitCount);
