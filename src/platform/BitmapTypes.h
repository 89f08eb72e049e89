#pragma once
// The device-independent bitmap records, laid out exactly as they are on disk
// (little-endian, no padding), so a header can be read or written as bytes.
#include <cstdint>

#pragma pack(push, 1)
struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
#pragma pack(pop)

static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFO) == 44);

inline constexpr uint16_t kBitmapSignature = 0x4D42;  // "BM"

inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;
inline constexpr uint32_t BI_JPEG = 4;
inline constexpr uint32_t BI_PNG = 5;
inline constexpr uint32_t BI_ALPHABITFIELDS = 6;

// Bytes per pixel row of a device-independent bitmap: rows are padded to 4 bytes.
inline constexpr uint64_t DibStride(uint64_t width, uint64_t bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

// The 40-byte info header of an uncompressed image, biSizeImage from the row stride.
inline constexpr BITMAPINFOHEADER MakeInfoHeader(int32_t width, int32_t height, uint16_t bitCount, uint32_t clrUsed)
{
    const uint64_t imageBytes = DibStride(static_cast<uint64_t>(width), bitCount) * static_cast<uint64_t>(height);
    return BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, BI_RGB,
        static_cast<uint32_t>(imageBytes), 0, 0, clrUsed, 0};
}
