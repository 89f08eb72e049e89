// PNG reading: every colour type and depth, interlaced and not, physical size, damaged files.
#include <gtest/gtest.h>
#include <zlib.h>

#include "BmpBuilder.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/Format.h"

namespace {

using Bytes = std::vector<uint8_t>;

// rows: the PNG's, top first, width 3; bits: the record's, bottom first, padded.
struct ReadCase { const char* name; int colorType, bitDepth; std::vector<Bytes> rows; Bytes palette; uint16_t recordDepth; Bytes bits; };

const Bytes kThree = {10, 20, 30, 40, 50, 60, 70, 80, 90};
const Bytes kBgr = {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};

const ReadCase kReadCases[] = {
    {"grey 1", PNG_COLOR_TYPE_GRAY, 1, {{0b10100000}, {0b01000000}}, {}, 8, {0, 255, 0, 0, 255, 0, 255, 0}},
    {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0}, {1, 0, 2, 0, 3, 0}}, {}, 8, {1, 2, 3, 0, 0x12, 0xAB, 0xFF, 0}},
    {"grey alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{1, 9, 2, 9, 3, 9}, {4, 9, 5, 9, 6, 9}}, {}, 8, {4, 5, 6, 0, 1, 2, 3, 0}},
    {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}, {}, 24, kBgr},
    {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, {{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}, {11, 12, 13, 0, 14, 15, 16, 0, 17, 18, 19, 0}}, {}, 24, kBgr},
    {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, {{0b10100000}, {0b01000000}}, Bytes(kThree.begin(), kThree.begin() + 6), 1,
     {0b01000000, 0, 0, 0, 0b10100000, 0, 0, 0}},
    {"palette 2, widened to 4", PNG_COLOR_TYPE_PALETTE, 2, {{0b00011000}, {0b10010000}}, kThree, 4, {0x21, 0x00, 0, 0, 0x01, 0x20, 0, 0}},
};

// The BMP file of the record that the case must read to: a plain header with
// the physical size (if in metres), a full table (grey ramp, or the PNG's
// palette padded with black) and the rows.
Bytes ExpectedBmp(const ReadCase& c, int32_t pelsPerMeter)
{
    BmpFileParts bmp{.width = 3, .height = 2, .bitCount = c.recordDepth, .clrUsed = c.recordDepth <= 8 ? 1u << c.recordDepth : 0u,
                .sizeImage = uint32_t(c.bits.size()), .xPelsPerMeter = pelsPerMeter, .yPelsPerMeter = pelsPerMeter, .pixels = c.bits};
    for (uint32_t i = 0; i < bmp.clrUsed; ++i) {
        bmp.palette.push_back(c.colorType != PNG_COLOR_TYPE_PALETTE ? RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0}
                              : 3 * i < c.palette.size() ? RGBQUAD{c.palette[3 * i + 2], c.palette[3 * i + 1], c.palette[3 * i], 0}
                                                         : RGBQUAD{0, 0, 0, 0});
    }
    return BuildBmp(bmp);
}

// The header and its CRC with a changed field, so only the field is wrong.
Bytes WithHeaderField(Bytes png, size_t offset, uint32_t value)
{
    const auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = uint8_t(v >> (24 - 8 * i));   // big-endian
    };
    put(16 + offset, value);
    put(29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)));
    return png;
}

}  // namespace

TEST(PngRead, EveryColourTypeAndDepthInterlacedOrNotReadsToTheExactRecord)
{
    TempDir dir;
    ScriptedUi ui;
    for (const ReadCase& c : kReadCases) {
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? ", interlaced" : ""));
            // A physical size in metres (interlaced) goes into the record; in no known unit, it stays 0.
            WriteFileBytes(dir.File("in.png"), EncodePng({.width = 3, .height = 2, .bitDepth = c.bitDepth, .colorType = c.colorType,
                                                          .interlaced = interlaced, .rows = c.rows, .palette = c.palette, .hasPhysicalSize = true,
                                                          .xPerUnit = 2835, .yPerUnit = 2835, .unit = interlaced ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN}));
            // Written as a BMP, the record shows every header field, its table and its rows.
            CDibImage(dir.File("in.png"), kFileKindPng).WriteBmp(dir.File("out.bmp"));
            EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), ExpectedBmp(c, interlaced ? 2835 : 0));
        }
    }
    EXPECT_TRUE(ui.Texts().empty());
}

TEST(PngRead, MissingShortForeignTruncatedAndDamagedFilesAreRefused)
{
    const char* kRead = "Error reading png file.\nFile: %s";
    std::vector<Bytes> rows(64, Bytes(3 * 64));
    for (size_t i = 0; i < 64 * 3 * 64; ++i)   // hardly compressible, so the cuts below land in the image data
        rows[i / 192][i % 192] = uint8_t(i * 2654435761u >> 13);
    const Bytes good = EncodePng({.width = 64, .height = 64, .rows = rows});
    const auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + n); };
    // file: none if the file does not exist.
    const struct { const char* name; std::optional<Bytes> file; const char* text; } cases[] = {
        {"missing", std::nullopt, "Error opening png file.\nFile: %s"},
        {"5 bytes", cut(5), kRead},
        {"a BMP file", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "Not a recognised PNG format file.\nFile: %s"},
        {"cut in the header", cut(20), kRead},
        {"cut in the image data", cut(good.size() / 2), kRead},
        {"cut before the end chunk", cut(good.size() - 12), kRead},
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
