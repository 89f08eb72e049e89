// The PNG writer's strips: the file is the same whatever the number of
// threads, libpng reads back every pixel, and a failure on any thread ends
// the encoding with that failure.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PngFiles.h"
#include "image/PngEncoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Rows that give every filter some work: noise, runs and slopes by bands.
PngImage Picture(uint32_t width, uint32_t height, int colorType)
{
    PngImage image{.width = width, .height = height, .colorType = colorType};
    const uint32_t channels = colorType == PNG_COLOR_TYPE_RGBA ? 4 : 3;
    for (uint32_t y = 0, n = 5; y < height; ++y) {
        Bytes& row = image.rows.emplace_back();
        for (uint32_t x = 0; x < width * channels; ++x, n = n * 1103515245u + 12345u)
            row.push_back(y / 16 % 3 == 0 ? uint8_t(n >> 24) : y / 16 % 3 == 1 ? uint8_t(x / 7) : uint8_t(x + 2 * y));
    }
    return image;
}

Bytes Encode(const PngImage& image, const PngEncodeOptions& options)
{
    PngEncodeHeader header;
    header.width = image.width;
    header.height = image.height;
    header.colorType = image.colorType == PNG_COLOR_TYPE_RGBA ? kPngColorRgba : kPngColorRgb;
    Bytes file;
    EncodePng(
        header, [&](uint32_t y, uint8_t* row) { std::copy(image.rows[y].begin(), image.rows[y].end(), row); },
        [&](const uint8_t* data, size_t size) { file.insert(file.end(), data, data + size); }, options);
    return file;
}

TEST(PngWriter, StripsGiveTheSameFileOnAnyThreadsAndEveryPixelBack)
{
    const struct {
        const char* name;
        uint32_t width, height;
        int colorType;
        size_t stripBytes;
    } cases[] = {
        {"RGB, width not a multiple of 4, a strip per row", 7, 37, PNG_COLOR_TYPE_RGB, 1},
        {"RGBA, strips of several rows, the last short", 13, 29, PNG_COLOR_TYPE_RGBA, 200},
        {"one row", 301, 1, PNG_COLOR_TYPE_RGB, 64},
        {"one column", 1, 300, PNG_COLOR_TYPE_RGBA, 64},
        {"RGB in strips of the default size", 1201, 1300, PNG_COLOR_TYPE_RGB, kPngStripBytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PngImage image = Picture(c.width, c.height, c.colorType);
        const Bytes file = Encode(image, {.threads = 1, .stripBytes = c.stripBytes});
        for (unsigned threads : {2u, 8u})
            EXPECT_EQ(Encode(image, {.threads = threads, .stripBytes = c.stripBytes}), file) << threads << " threads";
        PngImage back;
        ASSERT_TRUE(DecodePng(file, back));  // checks every CRC and the stream's checksum
        EXPECT_EQ(back, image);
    }
}

TEST(PngWriter, AFailureOnAnyThreadEndsTheEncodingWithIt)
{
    PngEncodeHeader header;
    header.width = 1000;
    header.height = 200;
    // Noise: the stream fills several IDAT chunks, so that the sink fails while strips are still being made.
    const auto noise = [](uint32_t y, uint8_t* row) {
        for (uint32_t x = 0, n = y; x < 3000; ++x, n = n * 1103515245u + 12345u)
            row[x] = uint8_t(n >> 24);
    };
    for (unsigned threads : {1u, 2u, 8u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const PngEncodeOptions options{.threads = threads, .stripBytes = 10000};
        size_t sent = 0;
        EXPECT_THROW(EncodePng(
                         header, noise,
                         [&](const uint8_t*, size_t) {
                             if (++sent == 4)
                                 throw std::runtime_error("disk full");
                         },
                         options),
            std::runtime_error);
        const auto failing = [&](uint32_t y, uint8_t* row) {
            if (y == 150)
                throw std::runtime_error("unreadable");
            noise(y, row);
        };
        EXPECT_THROW(EncodePng(
                         header, failing, [](const uint8_t*, size_t) {}, options),
            std::runtime_error);
    }
}

}  // namespace
