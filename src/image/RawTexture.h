#pragma once
// The three fields at the start of an embedded texture (its offset points at
// the width): what is read, checked before writing, and the pixel size they imply.
#include <cstdint>
#include <optional>

class CFile;

// Bytes per pixel of a texture format: 3 for RGB (1), 4 for every other value.
inline constexpr uint64_t RawBytesPerPixel(uint32_t format)
{
    return format == 1 ? 3 : 4;
}

struct RawTextureShape {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t format = 0;  // 1 RGB, 2 RGBA; any other value counts as 4 bytes per pixel

    // width × height always fits in 64 bits; times 4 it may not.
    uint64_t PixelCount() const { return static_cast<uint64_t>(width) * height; }
    uint64_t BytesPerPixel() const { return RawBytesPerPixel(format); }
    // Pixel bytes, or nothing when they cannot be counted in 64 bits.
    std::optional<uint64_t> PixelBytes() const;

    bool operator==(const RawTextureShape&) const = default;
};

// Bytes of the three fields in front of the pixels.
inline constexpr uint64_t kRawFieldBytes = 12;

// True when a texture with these fields at offset can be read into a record:
// all its pixels lie within a file of fileLength bytes, both sides are 0 to
// INT32_MAX, and its padded rows fit a bitmap's 32-bit sizes. A side of 0 is
// an empty image: it has no pixels to read.
bool RawTextureReadable(const RawTextureShape& shape, uint64_t offset, uint64_t fileLength);
// The depth of the record a texture of this format becomes.
inline constexpr uint16_t RawRecordBitCount(uint32_t format)
{
    return format == 1 ? 24 : 32;
}

// Reads the fields at offset; nothing when the file ends before all 12 bytes.
// The file's position afterwards is just after the fields.
std::optional<RawTextureShape> ReadRawTextureShape(CFile& file, uint64_t offset);
