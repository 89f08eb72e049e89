// PNG writing of every record depth, read back with libpng; refusals and failed writes.
#include <gtest/gtest.h>

#include <tuple>

#include "BmpBuilder.h"
#include "FileSizeLimit.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/File.h"
#include "platform/Format.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A record read from a BMP file built by hand.
std::unique_ptr<CDibImage> Record(const TempDir& dir, const BmpSpec& spec)
{
    WriteFileBytes(dir.File("in.bmp"), BuildBmp(spec));
    return std::make_unique<CDibImage>(dir.File("in.bmp"), kFileKindBmp);
}

// What libpng finds in a written file, in one comparable value.
auto Found(const PngImage& png)
{
    return std::tuple(png.width, png.bitDepth, png.colorType, png.rows, png.palette, png.significantBits,
                      png.hasPhysicalSize, png.xPerUnit, png.yPerUnit);
}

}  // namespace

TEST(PngWrite, EveryRecordDepthReadsBackWithLibpng)
{
    const std::vector<RGBQUAD> kPalette = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};
    const auto table = [](size_t entries) {   // the record's table is full: black after the file's entries
        Bytes rgb = {3, 2, 1, 30, 20, 10, 120, 110, 100};
        rgb.resize(3 * entries);
        return rgb;
    };
    using P = PngImage;
    const int kPal = PNG_COLOR_TYPE_PALETTE;
    const struct {
        const char* name;
        BmpSpec spec;
        PngImage expected;   // its width is the BMP's
    } cases[] = {
        {"1 bit", {.width = 10, .height = 2, .bitCount = 1, .palette = {kPalette[0], kPalette[1]}, .pixels = PadRows({{0xA5, 0x40}, {0x0F, 0xC0}})},
         P{.bitDepth = 1, .colorType = kPal, .rows = {{0x0F, 0xC0}, {0xA5, 0x40}}, .palette = table(2)}},
        {"4 bits", {.width = 3, .bitCount = 4, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{0x21, 0x00}})},
         P{.bitDepth = 4, .colorType = kPal, .rows = {{0x21, 0x00}}, .palette = table(16)}},
        {"8 bits", {.width = 3, .height = 2, .bitCount = 8, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{2, 0, 1}, {1, 1, 0}})},
         P{.colorType = kPal, .rows = {{1, 1, 0}, {2, 0, 1}}, .palette = table(256)}},
        {"16 bits 5-5-5", {.width = 3, .bitCount = 16, .pixels = PadRows({{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}})},
         P{.rows = {{248, 248, 248, 0, 0, 248, 248, 0, 0}}, .significantBits = {5, 5, 5}}},
        {"16 bits 5-5-5 fields",
         {.width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0x7C00, 0x3E0, 0x1F}, .pixels = {0xE0, 0x03, 0, 0}},
         P{.rows = {{0, 248, 0}}, .significantBits = {5, 5, 5}}},
        {"16 bits 5-6-5 fields",
         {.width = 2, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = {0xFF, 0xFF, 0xE0, 0x07}},
         P{.rows = {{248, 252, 248, 0, 252, 0}}, .significantBits = {5, 6, 5}}},
        {"24 bits, padded, with a physical size",
         {.width = 3, .height = 2, .xPelsPerMeter = 2835, .yPelsPerMeter = 1000, .pixels = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}})},
         P{.rows = {{13, 12, 11, 16, 15, 14, 19, 18, 17}, {3, 2, 1, 6, 5, 4, 9, 8, 7}}, .hasPhysicalSize = true, .xPerUnit = 2835, .yPerUnit = 1000}},
        {"32 bits", {.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}}, P{.rows = {{3, 2, 1, 7, 6, 5}}}},
        {"32 bits, fields",
         {.width = 1, .bitCount = 32, .compression = BI_BITFIELDS, .masks = {0xFF0000, 0xFF00, 0xFF}, .pixels = {1, 2, 3, 4}},
         P{.rows = {{3, 2, 1}}}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        auto image = Record(dir, c.spec);
        ASSERT_NE(image->GetBitmapInfo(), nullptr);
        ASSERT_TRUE(image->WritePng(dir.File("out.png")));
        EXPECT_TRUE(ui.Texts().empty());
        PngImage png;
        ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("out.png")), png));
        PngImage expected = c.expected;
        expected.width = static_cast<uint32_t>(c.spec.width);
        EXPECT_EQ(Found(png), Found(expected));
        EXPECT_EQ(png.unit, c.expected.hasPhysicalSize ? PNG_RESOLUTION_METER : 0);
    }
}

TEST(PngWrite, TwoBitRecords)
{
    TempDir dir;
    ScriptedUi ui;
    CDibImage image(5, 1, 2);
    image.m_pBits[0] = 0b00011011;
    image.m_pBits[1] = 0b01000000;
    image.m_pColorTable[3] = RGBQUAD{7, 8, 9, 0};
    ASSERT_TRUE(image.WritePng(dir.File("two.png")));
    PngImage png;
    ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("two.png")), png));
    EXPECT_EQ(Found(png), Found({.width = 5, .bitDepth = 2, .colorType = PNG_COLOR_TYPE_PALETTE,
                                 .rows = {{0b00011011, 0b01000000}}, .palette = {0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 8, 7}}));
}

TEST(PngWrite, RefusalsShowTheirTextCreateNoFileAndReturnFalse)
{
    TempDir dir;
    const std::string out = dir.File("out.png");
    const char* kBadSize = "Error opening Bitmap file.\nFile: %s";
    const auto sized = [](int32_t w, int32_t h, uint32_t compression = BI_RGB) {
        auto image = std::make_unique<CDibImage>(1, 1, 24);
        image->m_pInfoHeader->biWidth = w;
        image->m_pInfoHeader->biHeight = h;
        image->m_pInfoHeader->biCompression = compression;
        return image;
    };
    std::vector<std::pair<std::unique_ptr<CDibImage>, std::string>> cases;
    cases.emplace_back(sized(1, 0), kBadSize);
    cases.emplace_back(sized(1, 1000001), kBadSize);
    cases.emplace_back(sized(0, 1), kBadSize);
    cases.emplace_back(sized(1, -1), kBadSize);
    cases.emplace_back(sized(1, 1, BI_RLE8), "Compressed bitmaps are not supported.\nFile: %s");
    cases.emplace_back(Record(dir, {.width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF00, 0xF0, 0xF}, .pixels = {0, 0, 0, 0}}),
                       "Unsupported bitmap file format.\nFile: %s");
    cases.emplace_back(std::make_unique<CDibImage>(dir.File("missing.bmp"), kFileKindBmp), "Unable to write %s, no image data was found.");
    for (auto& [image, text] : cases) {
        SCOPED_TRACE(text);
        ScriptedUi ui;
        EXPECT_FALSE(image->WritePng(out));
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{FormatString(text.c_str(), out.c_str())});
        EXPECT_FALSE(FileExists(out));
    }
}

TEST(PngWrite, AFailedWriteReportsAndLeavesTheOldFile)
{
    TempDir dir;
    ScriptedUi ui;
    CDibImage image(512, 512, 24);
    for (uint32_t i = 0; i < image.GetImageSize(); ++i)
        image.m_pBits[i] = static_cast<uint8_t>(i * 2654435761u >> 13);   // hardly compressible
    const std::string out = dir.File("old.png");
    WriteFileBytes(out, {5, 5, 5});
    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(image.WritePng(out));
    }
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error writing png file.\nFile: " + out});
    EXPECT_EQ(ReadFileBytes(out), (Bytes{5, 5, 5}));

    const std::string nowhere = dir.File("no/such/folder.png");
    EXPECT_FALSE(image.WritePng(nowhere));
    EXPECT_EQ(ui.Texts().back(), "An error occurred while accessing " + nowhere + ": No such file or directory.");
}
