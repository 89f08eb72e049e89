// PNG reading: every colour type and depth, interlaced and not, chunks, damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/Format.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ReadCase {
    const char* name;
    int colorType;
    int bitDepth;
    std::vector<Bytes> rows;       // the PNG's rows, top first, width 3
    std::vector<png_color> palette;
    unsigned recordDepth;
    uint32_t entries;
    Bytes bits;                    // the record's rows, bottom first, padded
};

const std::vector<png_color> kPalette3 = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};

std::vector<ReadCase> ReadCases()
{
    std::vector<png_color> palette16;
    for (uint8_t i = 0; i < 16; ++i)
        palette16.push_back({i, uint8_t(i * 2), uint8_t(i * 3)});
    using T = int;
    return {
        {"grey 1", T{PNG_COLOR_TYPE_GRAY}, 1, {{0b10100000}, {0b01000000}}, {}, 8, 256, {0, 255, 0, 0, 255, 0, 255, 0}},
        {"grey 2", PNG_COLOR_TYPE_GRAY, 2, {{0b11100100}, {0b00011000}}, {}, 8, 256, {0, 85, 170, 0, 255, 170, 85, 0}},
        {"grey 4", PNG_COLOR_TYPE_GRAY, 4, {{0xF0, 0x80}, {0x12, 0x30}}, {}, 8, 256, {17, 34, 51, 0, 255, 0, 136, 0}},
        {"grey 8", PNG_COLOR_TYPE_GRAY, 8, {{1, 2, 3}, {4, 5, 6}}, {}, 8, 256, {4, 5, 6, 0, 1, 2, 3, 0}},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0}, {1, 0, 2, 0, 3, 0}}, {}, 8, 256,
         {1, 2, 3, 0, 0x12, 0xAB, 0xFF, 0}},
        {"grey alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{1, 9, 2, 9, 3, 9}, {4, 9, 5, 9, 6, 9}}, {}, 8, 256,
         {4, 5, 6, 0, 1, 2, 3, 0}},
        {"grey alpha 16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, {{1, 0, 9, 9, 2, 0, 9, 9, 3, 0, 9, 9}, {4, 0, 9, 9, 5, 0, 9, 9, 6, 0, 9, 9}},
         {}, 8, 256, {4, 5, 6, 0, 1, 2, 3, 0}},
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}, {}, 24, 0,
         {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16,
         {{1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0}, {11, 0, 12, 0, 13, 0, 14, 0, 15, 0, 16, 0, 17, 0, 18, 0, 19, 0}},
         {}, 24, 0, {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}},
        {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}, {11, 12, 13, 0, 14, 15, 16, 0, 17, 18, 19, 0}},
         {}, 24, 0, {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, {{0b10100000}, {0b01000000}}, {kPalette3[0], kPalette3[1]}, 1, 2,
         {0b01000000, 0, 0, 0, 0b10100000, 0, 0, 0}},
        {"palette 2, widened to 4", PNG_COLOR_TYPE_PALETTE, 2, {{0b00011000}, {0b10010000}}, kPalette3, 4, 16,
         {0x21, 0x00, 0, 0, 0x01, 0x20, 0, 0}},
        {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, {{0xF0, 0x80}, {0x12, 0x30}}, palette16, 4, 16, {0x12, 0x30, 0, 0, 0xF0, 0x80, 0, 0}},
        {"palette 8, short", PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}, {2, 1, 0}}, kPalette3, 8, 256, {2, 1, 0, 0, 0, 1, 2, 0}},
    };
}

std::string Save(const TempDir& dir, const std::string& name, const Bytes& bytes)
{
    WriteFileBytes(dir.File(name), bytes);
    return dir.File(name);
}

// The header and its CRC with a changed field, so only the field is wrong.
Bytes WithHeaderField(Bytes png, size_t offset, uint32_t bigEndianValue)
{
    for (int i = 0; i < 4; ++i)
        png[16 + offset + i] = uint8_t(bigEndianValue >> (24 - 8 * i));
    const uint32_t crc = static_cast<uint32_t>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}

}  // namespace

TEST(PngRead, EveryColourTypeAndDepthInterlacedOrNotReadsToTheExactPixels)
{
    TempDir dir;
    for (const ReadCase& c : ReadCases()) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? ", interlaced" : ""));
            ScriptedUi ui;
            PngImage png{.width = 3, .height = 2, .bitDepth = c.bitDepth, .colorType = c.colorType,
                         .interlaced = interlaced, .rows = c.rows, .palette = c.palette};
            CDibImage image(Save(dir, "in.png", EncodePng(png)), kFileKindPng);
            ASSERT_NE(image.GetBitmapInfo(), nullptr);
            EXPECT_TRUE(ui.Texts().empty());
            EXPECT_EQ(image.GetWidth(), 3);
            EXPECT_EQ(image.GetHeight(), 2);
            EXPECT_EQ(image.GetBitCount(), c.recordDepth);
            EXPECT_EQ(image.m_nPaletteEntries, c.entries);
            EXPECT_EQ(image.m_pInfoHeader->biClrUsed, c.entries);
            EXPECT_EQ(uint32_t{image.m_fileHeader.bfOffBits}, 54 + 4 * c.entries);   // a copy: the packed field is not aligned
            EXPECT_EQ(image.GetFileSize(), 54 + 4 * c.entries + c.bits.size());
            EXPECT_EQ(image.GetImageSize(), c.bits.size());
            EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + c.bits.size()), c.bits);
            for (uint32_t i = 0; i < c.entries; ++i) {
                const RGBQUAD q = image.GetColorTable()[i];
                png_color want{uint8_t(i), uint8_t(i), uint8_t(i)};   // the grey ramp
                if (c.colorType == PNG_COLOR_TYPE_PALETTE)
                    want = i < c.palette.size() ? c.palette[i] : png_color{0, 0, 0};
                ASSERT_EQ((std::vector<int>{q.rgbRed, q.rgbGreen, q.rgbBlue, q.rgbReserved}),
                          (std::vector<int>{want.red, want.green, want.blue, 0})) << "entry " << i;
            }
        }
    }
}

TEST(PngRead, PhysicalSizeInMetresAndTheFirstTextAfterTheImage)
{
    TempDir dir;
    ScriptedUi ui;
    PngImage png{.width = 1, .height = 1, .rows = {{1, 2, 3}}, .hasPhysicalSize = true, .xPerUnit = 2835,
                 .yPerUnit = 3780, .unit = PNG_RESOLUTION_METER, .textBefore = PngText{"Title", "before"},
                 .textAfter = PngText{"Comment", "after the image"}};
    CDibImage withAll(Save(dir, "a.png", EncodePng(png)), kFileKindPng);
    ASSERT_NE(withAll.GetBitmapInfo(), nullptr);
    EXPECT_EQ(withAll.m_pInfoHeader->biXPelsPerMeter, 2835);
    EXPECT_EQ(withAll.m_pInfoHeader->biYPelsPerMeter, 3780);
    EXPECT_EQ(withAll.m_strTextKey, "Comment");
    ASSERT_NE(withAll.m_pTextValue, nullptr);
    EXPECT_STREQ(withAll.m_pTextValue.get(), "after the image");

    png.unit = PNG_RESOLUTION_UNKNOWN;
    png.textAfter.reset();
    CDibImage unitless(Save(dir, "b.png", EncodePng(png)), kFileKindPng);
    ASSERT_NE(unitless.GetBitmapInfo(), nullptr);
    EXPECT_EQ(unitless.m_pInfoHeader->biXPelsPerMeter, 0);
    EXPECT_EQ(unitless.m_pInfoHeader->biYPelsPerMeter, 0);
    EXPECT_EQ(unitless.m_strTextKey, "");
    EXPECT_EQ(unitless.m_pTextValue, nullptr);
}

TEST(PngRead, MissingShortForeignTruncatedAndDamagedFilesAreRefused)
{
    const char* kOpen = "Error opening png file.\nFile: %s";
    const char* kRead = "Error reading png file.\nFile: %s";
    const char* kNotPng = "Not a recognised PNG format file.\nFile: %s";
    std::vector<Bytes> rows(64, Bytes(3 * 64));
    for (size_t i = 0; i < rows.size(); ++i)
        for (size_t j = 0; j < rows[i].size(); ++j)
            rows[i][j] = uint8_t(i * 7 + j * 13);
    const Bytes good = EncodePng({.width = 64, .height = 64, .rows = rows});
    const auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
    Bytes badCrc = good;
    badCrc[good.size() / 2] ^= 0x40;
    const struct {
        const char* name;
        std::optional<Bytes> file;
        const char* text;
    } cases[] = {
        {"missing", std::nullopt, kOpen},
        {"5 bytes", cut(5), kRead},
        {"a BMP file", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kNotPng},
        {"cut in the header", cut(20), kRead},
        {"cut in the image data", cut(good.size() / 2), kRead},
        {"cut before the end chunk", cut(good.size() - 12), kRead},
        {"damaged image data", badCrc, kRead},
        {"bit depth 3", WithHeaderField(good, 8, 0x03020000), kRead},
        {"huge size in a small file", WithHeaderField(WithHeaderField(good, 0, 20000), 4, 20000), kRead},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".png");
        if (c.file)
            WriteFileBytes(path, *c.file);
        ScriptedUi ui;
        CDibImage image(path, kFileKindPng);
        EXPECT_EQ(image.GetBitmapInfo(), nullptr);
        EXPECT_EQ(image.m_hDib, nullptr);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{FormatString(c.text, path.c_str())});
    }
}
