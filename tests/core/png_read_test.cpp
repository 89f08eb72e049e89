// PNG reading: every colour type and depth, interlaced and not, chunks, damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <tuple>

#include "BmpBuilder.h"
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
    Bytes palette;
    uint16_t recordDepth;
    Bytes bits;                    // the record's rows, bottom first, padded
};

std::vector<ReadCase> ReadCases()
{
    const Bytes three = {10, 20, 30, 40, 50, 60, 70, 80, 90};
    const Bytes bgr = {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};
    using T = int;
    return {
        {"grey 1", T{PNG_COLOR_TYPE_GRAY}, 1, {{0b10100000}, {0b01000000}}, {}, 8, {0, 255, 0, 0, 255, 0, 255, 0}},
        {"grey 4", PNG_COLOR_TYPE_GRAY, 4, {{0xF0, 0x80}, {0x12, 0x30}}, {}, 8, {17, 34, 51, 0, 255, 0, 136, 0}},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0}, {1, 0, 2, 0, 3, 0}}, {}, 8, {1, 2, 3, 0, 0x12, 0xAB, 0xFF, 0}},
        {"grey alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{1, 9, 2, 9, 3, 9}, {4, 9, 5, 9, 6, 9}}, {}, 8, {4, 5, 6, 0, 1, 2, 3, 0}},
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}, {}, 24, bgr},
        {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}, {11, 12, 13, 0, 14, 15, 16, 0, 17, 18, 19, 0}},
         {}, 24, bgr},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, {{0b10100000}, {0b01000000}}, Bytes(three.begin(), three.begin() + 6), 1,
         {0b01000000, 0, 0, 0, 0b10100000, 0, 0, 0}},
        {"palette 2, widened to 4", PNG_COLOR_TYPE_PALETTE, 2, {{0b00011000}, {0b10010000}}, three, 4, {0x21, 0x00, 0, 0, 0x01, 0x20, 0, 0}},
        {"palette 8, short", PNG_COLOR_TYPE_PALETTE, 8, {{0, 1, 2}, {2, 1, 0}}, three, 8, {2, 1, 0, 0, 0, 1, 2, 0}},
    };
}

// The BMP file of the record that the case must read to: a plain header, a
// full table (grey ramp, or the PNG's palette padded with black) and the rows.
Bytes ExpectedBmp(const ReadCase& c)
{
    BmpSpec bmp{.width = 3, .height = 2, .bitCount = c.recordDepth, .sizeImage = uint32_t(c.bits.size()), .pixels = c.bits};
    for (uint32_t i = 0; c.recordDepth <= 8 && i < 1u << c.recordDepth; ++i) {
        const auto level = uint8_t(i);
        bmp.palette.push_back(c.colorType != PNG_COLOR_TYPE_PALETTE ? RGBQUAD{level, level, level, 0}
                              : 3 * i < c.palette.size() ? RGBQUAD{c.palette[3 * i + 2], c.palette[3 * i + 1], c.palette[3 * i], 0}
                                                         : RGBQUAD{0, 0, 0, 0});
    }
    bmp.clrUsed = static_cast<uint32_t>(bmp.palette.size());
    return BuildBmp(bmp);
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
    const auto crc = static_cast<uint32_t>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}

}  // namespace

TEST(PngRead, EveryColourTypeAndDepthInterlacedOrNotReadsToTheExactRecord)
{
    TempDir dir;
    for (const ReadCase& c : ReadCases()) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? ", interlaced" : ""));
            ScriptedUi ui;
            // A physical size in no known unit: the record's stays 0.
            PngImage png{.width = 3, .height = 2, .bitDepth = c.bitDepth, .colorType = c.colorType, .interlaced = interlaced,
                         .rows = c.rows, .palette = c.palette, .hasPhysicalSize = true, .xPerUnit = 5, .yPerUnit = 5};
            CDibImage image(Save(dir, "in.png", EncodePng(png)), kFileKindPng);
            ASSERT_NE(image.GetBitmapInfo(), nullptr);
            EXPECT_TRUE(ui.Texts().empty());
            EXPECT_EQ(image.m_nPaletteEntries, c.recordDepth <= 8 ? 1u << c.recordDepth : 0u);
            EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + c.bits.size()), c.bits);
            // Written as a BMP, the record shows every header field, its table and its rows.
            image.WriteBmp(dir.File("out.bmp"));
            EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), ExpectedBmp(c));
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
    CDibImage image(Save(dir, "a.png", EncodePng(png)), kFileKindPng);
    ASSERT_NE(image.GetBitmapInfo(), nullptr);
    ASSERT_NE(image.m_pTextValue, nullptr);
    EXPECT_EQ(std::tuple(image.m_pInfoHeader->biXPelsPerMeter, image.m_pInfoHeader->biYPelsPerMeter, image.m_strTextKey,
                         std::string(image.m_pTextValue.get())),
              std::tuple(2835, 3780, "Comment", "after the image"));
}

TEST(PngRead, MissingShortForeignTruncatedAndDamagedFilesAreRefused)
{
    const char* kRead = "Error reading png file.\nFile: %s";
    std::vector<Bytes> rows(64, Bytes(3 * 64));
    for (size_t i = 0; i < 64 * 3 * 64; ++i)   // hardly compressible, so the cuts below land in the image data
        rows[i / 192][i % 192] = uint8_t(i * 2654435761u >> 13);
    const Bytes good = EncodePng({.width = 64, .height = 64, .rows = rows});
    const auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
    Bytes badCrc = good;
    badCrc[good.size() / 2] ^= 0x40;
    const struct {
        const char* name;
        std::optional<Bytes> file;
        const char* text;
    } cases[] = {
        {"missing", std::nullopt, "Error opening png file.\nFile: %s"},
        {"5 bytes", cut(5), kRead},
        {"a BMP file", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "Not a recognised PNG format file.\nFile: %s"},
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
