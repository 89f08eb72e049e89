// PNG writing of every record depth, read back with libpng; refusals and failed writes.
#include <gtest/gtest.h>

#include <cstring>

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

const std::vector<RGBQUAD> kPalette = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};

struct WriteCase {
    const char* name;
    BmpSpec spec;
    int bitDepth;
    int colorType;
    std::vector<Bytes> rows;       // PNG rows, top first
    std::optional<std::vector<int>> significantBits;
};

std::vector<WriteCase> WriteCases()
{
    const Bytes rows24 = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30}});
    Bytes rgb24;
    for (size_t i = 0; i < 30; i += 3)
        rgb24.insert(rgb24.end(), {rows24[i + 2], rows24[i + 1], rows24[i]});
    return {
        {"1 bit", {.width = 10, .height = 2, .bitCount = 1, .palette = {kPalette[0], kPalette[1]}, .pixels = PadRows({{0xA5, 0x40}, {0x0F, 0xC0}})},
         1, PNG_COLOR_TYPE_PALETTE, {{0x0F, 0xC0}, {0xA5, 0x40}}, std::nullopt},
        {"4 bits", {.width = 3, .bitCount = 4, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{0x21, 0x00}})},
         4, PNG_COLOR_TYPE_PALETTE, {{0x21, 0x00}}, std::nullopt},
        {"8 bits", {.width = 3, .height = 2, .bitCount = 8, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{2, 0, 1}, {1, 1, 0}})},
         8, PNG_COLOR_TYPE_PALETTE, {{1, 1, 0}, {2, 0, 1}}, std::nullopt},
        {"16 bits 5-5-5", {.width = 3, .bitCount = 16, .pixels = PadRows({{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}})},
         8, PNG_COLOR_TYPE_RGB, {{248, 248, 248, 0, 0, 248, 248, 0, 0}}, std::vector<int>{5, 5, 5}},
        {"16 bits 5-5-5 fields", {.width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0x7C00, 0x3E0, 0x1F}, .pixels = {0xE0, 0x03, 0, 0}},
         8, PNG_COLOR_TYPE_RGB, {{0, 248, 0}}, std::vector<int>{5, 5, 5}},
        {"16 bits 5-6-5 fields", {.width = 2, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = {0xFF, 0xFF, 0xE0, 0x07}},
         8, PNG_COLOR_TYPE_RGB, {{248, 252, 248, 0, 252, 0}}, std::vector<int>{5, 6, 5}},
        {"24 bits, width 10", {.width = 10, .pixels = rows24}, 8, PNG_COLOR_TYPE_RGB, {rgb24}, std::nullopt},
        {"32 bits", {.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}},
         8, PNG_COLOR_TYPE_RGB, {{3, 2, 1, 7, 6, 5}}, std::nullopt},
        {"32 bits, fields", {.width = 1, .bitCount = 32, .compression = BI_BITFIELDS, .masks = {0xFF0000, 0xFF00, 0xFF}, .pixels = {1, 2, 3, 4}},
         8, PNG_COLOR_TYPE_RGB, {{3, 2, 1}}, std::nullopt},
    };
}

// A record read from a BMP file built by hand.
std::unique_ptr<CDibImage> Record(const TempDir& dir, const BmpSpec& spec)
{
    WriteFileBytes(dir.File("in.bmp"), BuildBmp(spec));
    return std::make_unique<CDibImage>(dir.File("in.bmp"), kFileKindBmp);
}

}  // namespace

TEST(PngWrite, EveryRecordDepthReadsBackWithLibpng)
{
    TempDir dir;
    for (const WriteCase& c : WriteCases()) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        auto image = Record(dir, c.spec);
        ASSERT_NE(image->GetBitmapInfo(), nullptr);
        ASSERT_TRUE(image->WritePng(dir.File("out.png")));
        EXPECT_TRUE(ui.Texts().empty());
        PngImage png;
        ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("out.png")), png));
        EXPECT_EQ(png.width, static_cast<uint32_t>(c.spec.width));
        EXPECT_EQ(png.bitDepth, c.bitDepth);
        EXPECT_EQ(png.colorType, c.colorType);
        EXPECT_EQ(png.rows, c.rows);
        EXPECT_FALSE(png.hasPhysicalSize);
        if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
            ASSERT_EQ(png.palette.size(), image->m_nPaletteEntries);
            for (size_t i = 0; i < png.palette.size(); ++i) {
                const RGBQUAD q = i < c.spec.palette.size() ? c.spec.palette[i] : RGBQUAD{};
                EXPECT_EQ((std::vector<int>{png.palette[i].red, png.palette[i].green, png.palette[i].blue}),
                          (std::vector<int>{q.rgbRed, q.rgbGreen, q.rgbBlue}));
            }
        }
        ASSERT_EQ(png.significantBits.has_value(), c.significantBits.has_value());
        if (c.significantBits) {
            EXPECT_EQ((std::vector<int>{png.significantBits->red, png.significantBits->green, png.significantBits->blue}),
                      *c.significantBits);
        }
    }
}

TEST(PngWrite, TwoBitRecordsAndPhysicalSize)
{
    TempDir dir;
    ScriptedUi ui;
    CDibImage image(5, 1, 2);
    image.m_pBits[0] = 0b00011011;
    image.m_pBits[1] = 0b01000000;
    image.m_pColorTable[3] = RGBQUAD{7, 8, 9, 0};
    image.m_pInfoHeader->biXPelsPerMeter = 2835;
    image.m_pInfoHeader->biYPelsPerMeter = 1000;
    ASSERT_TRUE(image.WritePng(dir.File("two.png")));
    PngImage png;
    ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("two.png")), png));
    EXPECT_EQ(png.bitDepth, 2);
    EXPECT_EQ(png.rows, (std::vector<Bytes>{{0b00011011, 0b01000000}}));
    ASSERT_EQ(png.palette.size(), 4u);
    EXPECT_EQ((std::vector<int>{png.palette[3].red, png.palette[3].green, png.palette[3].blue}), (std::vector<int>{9, 8, 7}));
    EXPECT_TRUE(png.hasPhysicalSize);
    EXPECT_EQ(png.xPerUnit, 2835u);
    EXPECT_EQ(png.yPerUnit, 1000u);
    EXPECT_EQ(png.unit, PNG_RESOLUTION_METER);
}

TEST(PngWrite, RefusalsShowTheirTextCreateNoFileAndReturnFalse)
{
    TempDir dir;
    const std::string out = dir.File("out.png");
    const auto sized = [](int32_t w, int32_t h) {
        auto image = std::make_unique<CDibImage>(1, 1, 24);
        image->m_pInfoHeader->biWidth = w;
        image->m_pInfoHeader->biHeight = h;
        return image;
    };
    std::vector<std::pair<std::unique_ptr<CDibImage>, std::string>> cases;
    cases.emplace_back(sized(1, 0), "Error opening Bitmap file.\nFile: %s");
    cases.emplace_back(sized(1, 1000001), "Error opening Bitmap file.\nFile: %s");
    cases.emplace_back(sized(0, 1), "Error opening Bitmap file.\nFile: %s");
    cases.emplace_back(sized(1, -1), "Error opening Bitmap file.\nFile: %s");
    auto rle = sized(1, 1);
    rle->m_pInfoHeader->biCompression = BI_RLE8;
    cases.emplace_back(std::move(rle), "Compressed bitmaps are not supported.\nFile: %s");
    cases.emplace_back(Record(dir, {.width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF00, 0xF0, 0xF}, .pixels = {0, 0, 0, 0}}),
                       "Unsupported bitmap file format.\nFile: %s");
    cases.emplace_back(std::make_unique<CDibImage>(dir.File("missing.bmp"), kFileKindBmp),
                       "Unable to write %s, no image data was found.");
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
