#pragma once
// Writes PNG files: every row is filtered (for 8-bit colour rows, the filter
// whose output has the smallest sum of absolute values, the usual rule), the
// rows are compressed in strips of a few MiB, each by one call to libdeflate
// on one of several threads, and the strips' streams are joined into one zlib
// stream that goes out in IDAT chunks as the strips complete, in order. The
// strips follow from the image's size alone, so the file is the same however
// many threads made it. The chunks and their order are libpng's: IHDR, sBIT,
// PLTE, pHYs, IDAT..., IEND.
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

// Filtered bytes (rows with their filter bytes) per strip, in whole rows, at
// least one: each strip's compression starts without the window of the one
// before it, which costs little at this size.
inline constexpr size_t kPngStripBytes = size_t{4} << 20;

struct PngEncodeOptions {
    // Threads the encoding may use: 0 for one per hardware thread, 1 when the
    // caller already keeps every core busy with encodings of its own.
    unsigned threads = 0;
    // Strip size; the file depends on it (never on the threads).
    size_t stripBytes = kPngStripBytes;
};

// Encodes the image. Throws CMemoryException when its buffers cannot be had;
// whatever the sink or the row source throws passes through. The row source
// may be called from several threads at once (for different rows), and for a
// row more than once; the sink only from the calling thread.
void EncodePng(const PngEncodeHeader& header, const PngRowSource& rows, const PngByteSink& sink,
    const PngEncodeOptions& options = {});

// The deflate level: the lowest whose output is no larger than libpng's at its
// defaults on smooth and on grainy pictures (6 is 1 to 3 % larger).
inline constexpr int kPngDeflateLevel = 7;
// Bytes of compressed data per IDAT chunk.
inline constexpr size_t kPngIdatBytes = 65536;
