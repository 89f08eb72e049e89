// PNG writing of every record depth, read back with libpng; the refusals and
// failed writes of all three writers (BMP, Targa, PNG).
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "BmpBuilder.h"
#include "FileSizeLimit.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/Exceptions.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record read from a BMP file built by hand.
std::unique_ptr<CDibImage> Record(const TempDir& dir, const BmpFileParts& parts)
{
    WriteFileBytes(dir.File("in.bmp"), BuildBmp(parts));
    return std::make_unique<CDibImage>(dir.File("in.bmp"), kFileKindBmp);
}

// What libpng finds in a written file, in one comparable value.
auto Found(const PngImage& png)
{
    return std::tuple(png.width, png.bitDepth, png.colorType, png.rows, png.palette, png.significantBits,
                      png.hasPhysicalSize, png.xPerUnit, png.yPerUnit, png.unit);
}

}  // namespace

TEST(PngWrite, EveryRecordDepthReadsBackWithLibpng)
{
    TempDir dir;
    ScriptedUi ui;
    const std::vector<RGBQUAD> kPalette = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};
    // The record's table is full: black after the file's entries.
    const auto table = [](size_t entries) {
        Bytes rgb = {3, 2, 1, 30, 20, 10, 120, 110, 100};
        rgb.resize(3 * entries);
        return rgb;
    };
    // Bitmap files have no 2-bit depth: a record made in memory.
    auto twoBits = std::make_unique<CDibImage>(5, 1, 2);
    std::memcpy(twoBits->m_pBits, "\x1B\x40", 2);   // indices 0, 1, 2, 3, 1
    twoBits->m_pColorTable[3] = RGBQUAD{7, 8, 9, 0};
    using P = PngImage;
    const int kPal = PNG_COLOR_TYPE_PALETTE;
    const struct { const char* name; std::unique_ptr<CDibImage> record; PngImage expected; } cases[] = {
        {"1 bit",
         Record(dir, {.width = 10, .height = 2, .bitCount = 1, .palette = {kPalette[0], kPalette[1]}, .pixels = PadRows({{0xA5, 0x40}, {0x0F, 0xC0}})}),
         P{.width = 10, .bitDepth = 1, .colorType = kPal, .rows = {{0x0F, 0xC0}, {0xA5, 0x40}}, .palette = table(2)}},
        {"2 bits", std::move(twoBits),
         P{.width = 5, .bitDepth = 2, .colorType = kPal, .rows = {{0b00011011, 0b01000000}}, .palette = {0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7}}},
        {"8 bits", Record(dir, {.width = 3, .height = 2, .bitCount = 8, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{2, 0, 1}, {1, 1, 0}})}),
         P{.width = 3, .colorType = kPal, .rows = {{1, 1, 0}, {2, 0, 1}}, .palette = table(256)}},
        {"16 bits 5-6-5 fields",
         Record(dir, {.width = 2, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = {0xFF, 0xFF, 0xE0, 0x07}}),
         P{.width = 2, .rows = {{248, 252, 248, 0, 252, 0}}, .significantBits = {5, 6, 5}}},
        {"24 bits, padded, with a physical size",
         Record(dir, {.width = 3, .height = 2, .xPelsPerMeter = 2835, .yPelsPerMeter = 1000,
                      .pixels = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}})}),
         P{.width = 3, .rows = {{13, 12, 11, 16, 15, 14, 19, 18, 17}, {3, 2, 1, 6, 5, 4, 9, 8, 7}}, .hasPhysicalSize = true, .xPerUnit = 2835,
           .yPerUnit = 1000, .unit = PNG_RESOLUTION_METER}},
        {"32 bits", Record(dir, {.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}}), P{.width = 2, .rows = {{3, 2, 1, 7, 6, 5}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.record->WritePng(dir.File("out.png")));
        PngImage png;
        ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("out.png")), png));
        EXPECT_EQ(Found(png), Found(c.expected));
    }
    EXPECT_TRUE(ui.Texts().empty());
}

TEST(ImageWrite, RefusalsAndFailedWritesShowTheirTextAndLeaveTheOldFile)
{
    TempDir dir;
    ScriptedUi ui;
    const std::string out = dir.File("old"), nowhere = dir.File("no/such/folder.png");
    WriteFileBytes(out, {7, 7});
    CDibImage empty(dir.File("missing.bmp"), kFileKindBmp), wide(70000, 1, 1), odd(1, 1, 24), big(512, 512, 24);
    for (uint32_t i = 0; i < big.GetImageSize(); ++i)
        big.m_pBits[i] = static_cast<uint8_t>(i * 2654435761u >> 13);   // hardly compressible
    ui.m_messages.clear();
    EXPECT_THROW(empty.WriteBmp(out), CUserException);
    EXPECT_THROW(empty.WriteTga(out), CUserException);
    EXPECT_FALSE(empty.WritePng(out));
    EXPECT_THROW(wide.WriteTga(out), CUserException);
    // PNG: sides out of range, then a compressed record.
    const std::tuple<int32_t, int32_t, uint32_t> headers[] = {{1, 0, BI_RGB}, {1, 1000001, BI_RGB}, {0, 1, BI_RGB}, {1, -1, BI_RGB}, {1, 1, BI_RLE8}};
    for (const auto& header : headers) {
        std::tie(odd.m_pInfoHeader->biWidth, odd.m_pInfoHeader->biHeight, odd.m_pInfoHeader->biCompression) = header;
        EXPECT_FALSE(odd.WritePng(out));
    }
    EXPECT_FALSE(Record(dir, {.width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF00, 0xF0, 0xF}, .pixels = {0, 0, 0, 0}})->WritePng(out));
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(big.WriteBmp(out), CFileException);
        EXPECT_THROW(big.WriteTga(out), CFileException);
        EXPECT_FALSE(big.WritePng(out));
    }
    EXPECT_FALSE(big.WritePng(nowhere));
    const std::string noImage = "Unable to write " + out + ", no image data was found.", badSize = "Error opening Bitmap file.\nFile: " + out;
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{noImage, noImage, noImage, "Unable to write " + out + ", the image is too large for a Targa file.",
                                                    badSize, badSize, badSize, badSize, "Compressed bitmaps are not supported.\nFile: " + out,
                                                    "Unsupported bitmap file format.\nFile: " + out, "Error writing png file.\nFile: " + out,
                                                    "An error occurred while accessing " + nowhere + ": No such file or directory."}));
    EXPECT_EQ(ReadFileBytes(out), (Bytes{7, 7}));
}
