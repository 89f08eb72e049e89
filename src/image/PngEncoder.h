#pragma once
// Writes PNG files without a streaming encoder: every row is filtered (for
// 8-bit colour rows, the filter whose output has the smallest sum of absolute
// values, the usual rule), the whole image is compressed in one call to
// libdeflate (a large image in two halves, on two cores at once, joined into
// one stream), and the stream goes out in IDAT chunks. The chunks and their
// order are libpng's: IHDR, sBIT, PLTE, pHYs, IDAT..., IEND.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

inline constexpr uint8_t kPngColorRgb = 2;
inline constexpr uint8_t kPngColorPalette = 3;
inline constexpr uint8_t kPngColorRgba = 6;

struct PngEncodeHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 8;  // 1, 2, 4 or 8 (RGB and RGBA: 8)
    uint8_t colorType = kPngColorRgb;  // kPngColorRgb, kPngColorRgba or kPngColorPalette
    bool hasSignificantBits = false;  // not for RGBA
    uint8_t significantBits[3]{};  // red, green, blue
    bool hasPhysicalSize = false;
    uint32_t xPixelsPerMetre = 0;
    uint32_t yPixelsPerMetre = 0;
    std::vector<uint8_t> palette;  // red, green, blue of each entry; at most 256 entries

    // Packed bytes of one row, without its filter byte.
    size_t RowBytes() const;
    // Bytes per pixel of true-colour rows (3 or 4); 1 for palette rows.
    unsigned Channels() const;
};

// Fills row y (0 = top) with RowBytes() packed sample bytes.
using PngRowSource = std::function<void(uint32_t y, uint8_t* row)>;
// Takes the file's bytes in order; throws to stop the encoding.
using PngByteSink = std::function<void(const uint8_t* data, size_t size)>;

// Encodes the image. Throws CMemoryException when its buffers cannot be had;
// whatever the sink throws passes through. The row source may be called from
// two threads at once (for different rows).
void EncodePng(const PngEncodeHeader& header, const PngRowSource& rows, const PngByteSink& sink);
// Threads one encoding may use: 0 (the default) for one per core, 1 when the
// caller already keeps every core busy with encodings of its own.
void SetPngEncoderThreads(unsigned threads);

// The deflate level: the lowest whose output is no larger than libpng's at its
// defaults on smooth and on grainy pictures (6 is 1 to 3 % larger).
inline constexpr int kPngDeflateLevel = 7;
// Images of fewer filtered bytes are compressed in one piece.
inline constexpr size_t kPngSplitBytes = size_t{4} << 20;
// Bytes of compressed data per IDAT chunk.
inline constexpr size_t kPngIdatBytes = 65536;
