// BMP and PNG files read to the exact record; records written as BMP and Targa byte for
// byte and as PNG read back with libpng; every refusal and failed write with its text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

#include "BmpBuilder.h"
#include "DibBuilder.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "TgaBuilder.h"
#include "doc/ShownRead.h"
#include "image/DibImage.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/ImageLimits.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Patched(Bytes bytes, size_t at, uint32_t value, size_t width = 4)
{
    std::memcpy(bytes.data() + at, &value, width);
    return bytes;
}

// A record read from a file of these bytes.
std::unique_ptr<CDibImage> Record(const TempDir& dir, const Bytes& file, FileKind kind = FileKind::Bmp)
{
    WriteFileBytes(dir.File("in"), file);
    return ReadShown(dir.File("in"), kind);
}

// entries: the record's palette length; bits: its rows, bottom row first.
struct BmpCase {
    const char* name;
    BmpFileParts parts;
    uint32_t entries;
    Bytes bits;
};

const std::vector<RGBQUAD> kTwo = {{1, 2, 3, 0x77}, {4, 5, 6, 0x77}};  // reserved bytes set on disk
const Bytes k24Rows = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
const Bytes k32Rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const Bytes kRows1 = PadRows({{0b10110000, 0b01000000}, {0xFF, 0xC0}}), kRows4 = PadRows({{0x12, 0x00}});
const Bytes kRows8 = PadRows({{0, 1, 1, 0, 1}, {1, 1, 0, 0, 0}}),
            kRows16 = PadRows({{0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}});

const BmpCase kBmpCases[] = {
    {"1 bit, padded width", {.width = 10, .height = 2, .bitCount = 1, .palette = kTwo, .pixels = kRows1}, 2, kRows1},
    {"4 bits, short palette", {.width = 3, .bitCount = 4, .clrUsed = 2, .palette = kTwo, .pixels = kRows4}, 16, kRows4},
    {"16 bits, fields after the header",
        {.width = 3, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = kRows16}, 0,
        kRows16},
    {"24 bits, padded width", {.width = 3, .height = 2, .pixels = k24Rows}, 0, k24Rows},
    // Also links a colour profile, which stays behind.
    {"V5 header, fields inside",
        {.width = 2,
            .height = 2,
            .bitCount = 32,
            .compression = BI_BITFIELDS,
            .headerSize = 124,
            .masks = {0xFF0000, 0xFF00, 0xFF},
            .pixels = k32Rows},
        0, k32Rows},
    {"8 bits, short palette, gap, top-down",
        {.width = 5, .height = -2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = kRows8, .gap = 40}, 256,
        PadRows({{1, 1, 0, 0, 0}, {0, 1, 1, 0, 1}})},
    {"bfOffBits inside the header", {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 20}, 0, k24Rows},
    {"bfOffBits past the end, wrong bfSize, trailer",
        {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 4000, .fileSize = 7, .trailer = {9, 9, 9, 9}}, 0,
        k24Rows},
};

// The file WriteBmp must produce: the header as read with its derived fields,
// the full colour table (cleared reserved bytes, black padding), masks after the
// header even when it holds them too, and the bottom-up rows. A V5 header says
// sRGB instead of pointing at a profile that is not written.
Bytes ExpectedBmp(const BmpCase& c)
{
    BmpFileParts w{.width = c.parts.width,
        .height = std::abs(c.parts.height),
        .bitCount = c.parts.bitCount,
        .compression = c.parts.compression,
        .headerSize = c.parts.headerSize,
        .clrUsed = c.entries,
        .sizeImage = static_cast<uint32_t>(c.bits.size()),
        .masks = c.parts.masks,
        .palette = {{1, 2, 3, 0}, {4, 5, 6, 0}},
        .pixels = c.bits};
    w.palette.resize(w.headerSize >= 52 ? w.masks.size() : c.entries);
    if (w.headerSize >= 52 && !w.masks.empty())
        std::memcpy(w.palette.data(), w.masks.data(), 12);
    return w.headerSize < 124 ? BuildBmp(w) : Patched(BuildBmp(w), 70, 0x73524742);
}

// rows: the PNG's, top first, width 3; bits: the record's, bottom first, padded.
struct PngCase {
    const char* name;
    int colorType, bitDepth;
    std::vector<Bytes> rows;
    Bytes palette;
    uint16_t recordDepth;
    Bytes bits;
};

const Bytes kThree = {10, 20, 30, 40, 50, 60, 70, 80, 90};
const Bytes kBgr = {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0};

const PngCase kPngCases[] = {
    {"grey 1", PNG_COLOR_TYPE_GRAY, 1, {{0b10100000}, {0b01000000}}, {}, 8, {0, 255, 0, 0, 255, 0, 255, 0}},
    {"grey 16", PNG_COLOR_TYPE_GRAY, 16, {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0}, {1, 0, 2, 0, 3, 0}}, {}, 8,
        {1, 2, 3, 0, 0x12, 0xAB, 0xFF, 0}},
    {"grey alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{1, 9, 2, 9, 3, 9}, {4, 9, 5, 9, 6, 9}}, {}, 8,
        {4, 5, 6, 0, 1, 2, 3, 0}},
    {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}, {}, 24, kBgr},
    {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8,
        {{1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}, {11, 12, 13, 0, 14, 15, 16, 0, 17, 18, 19, 0}}, {}, 24, kBgr},
    {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, {{0b10100000}, {0b01000000}}, Bytes(kThree.begin(), kThree.begin() + 6), 1,
        {0b01000000, 0, 0, 0, 0b10100000, 0, 0, 0}},
    {"palette 2, widened to 4", PNG_COLOR_TYPE_PALETTE, 2, {{0b00011000}, {0b10010000}}, kThree, 4,
        {0x21, 0x00, 0, 0, 0x01, 0x20, 0, 0}},
};

// The BMP file of the record that the case must read to: a plain header with
// the physical size (if in metres), a full table (grey ramp, or the PNG's
// palette padded with black) and the rows.
Bytes ExpectedBmp(const PngCase& c, int32_t pelsPerMeter)
{
    BmpFileParts bmp{.width = 3,
        .height = 2,
        .bitCount = c.recordDepth,
        .clrUsed = c.recordDepth <= 8 ? 1u << c.recordDepth : 0u,
        .sizeImage = uint32_t(c.bits.size()),
        .xPelsPerMeter = pelsPerMeter,
        .yPelsPerMeter = pelsPerMeter,
        .pixels = c.bits};
    for (uint32_t i = 0; i < bmp.clrUsed; ++i)
        bmp.palette.push_back(c.colorType != PNG_COLOR_TYPE_PALETTE ? RGBQUAD{uint8_t(i), uint8_t(i), uint8_t(i), 0}
                : 3 * i < c.palette.size() ? RGBQUAD{c.palette[3 * i + 2], c.palette[3 * i + 1], c.palette[3 * i], 0}
                                           : RGBQUAD{0, 0, 0, 0});
    return BuildBmp(bmp);
}

Bytes TgaFile(uint8_t width, uint8_t height, uint8_t depth, uint8_t descriptor, const Bytes& pixels)
{
    const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";  // with its closing zero: 26 bytes
    Bytes out =
        BuildTga({.width = width, .height = height, .depth = depth, .descriptor = descriptor, .pixels = pixels});
    out.insert(out.end(), footer, footer + sizeof footer);
    return out;
}

// A record's width, height and depth, or what the headers alone say of them (the refusal's text when refused).
using Shape = std::tuple<int32_t, int32_t, unsigned, std::string>;
Shape ShapeOf(const CDibImage& image)
{
    return {image.GetWidth(), image.GetHeight(), image.GetBitCount(), ""};
}
Shape ShapeRead(const std::string& path, FileKind kind)
{
    try {
        const DibShape shape = CDibImage::ReadShape(path, kind);
        return {shape.width, shape.height, shape.bitCount, ""};
    } catch (const CUserException& e) {
        return {0, 0, 0u, e.GetErrorMessage()};
    }
}

// The text of the refusal that the work leaves by, or "no refusal".
template <typename Work> std::string RefusalText(const Work& work)
{
    try {
        work();
    } catch (const CUserException& e) {
        return e.GetErrorMessage();
    }
    return "no refusal";
}

// Every test's files, and the messages the code under test shows.
struct ImageFiles : ::testing::Test {
    TempDir dir;
    ScriptedUi ui;
};

}  // namespace

TEST_F(ImageFiles, BmpAndPngFilesReadToTheExactRecordAndWriteBackCanonically)
{
    std::vector<std::tuple<std::string, Bytes, FileKind, Bytes>> files;  // name, file, kind, the BMP written back
    for (const BmpCase& c : kBmpCases) {
        // The V5 header links a colour profile: 'LINK', the profile's offset and size.
        Bytes file = BuildBmp(c.parts);
        if (c.parts.headerSize == 124)
            file = Patched(Patched(Patched(file, 70, 0x4C494E4B), 126, 140), 130, 16);
        files.emplace_back(c.name, file, FileKind::Bmp, ExpectedBmp(c));
    }
    // A physical size in metres (interlaced) goes into the record; in no known unit, it stays 0.
    for (const PngCase& c : kPngCases) {
        for (bool interlaced : {false, true}) {
            PngImage png{.width = 3, .height = 2, .bitDepth = c.bitDepth, .colorType = c.colorType, .rows = c.rows};
            std::tie(png.interlaced, png.palette, png.hasPhysicalSize, png.xPerUnit, png.yPerUnit) =
                std::make_tuple(interlaced, c.palette, true, 2835u, 2835u);
            png.unit = interlaced ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN;
            files.emplace_back(std::string(c.name) + (interlaced ? ", interlaced" : ""), EncodePng(png), FileKind::Png,
                ExpectedBmp(c, interlaced ? 2835 : 0));
        }
    }
    for (const auto& [name, file, kind, expected] : files) {
        SCOPED_TRACE(name);
        const auto record = Record(dir, file, kind);
        record->WriteBmp(dir.File("out"));
        EXPECT_EQ(ReadFileBytes(dir.File("out")), expected);
        EXPECT_EQ(ShapeRead(dir.File("in"), kind), ShapeOf(*record));
    }
    EXPECT_TRUE(ui.Texts().empty());
}

// A file a reader refuses (none: the file does not exist, or a FIFO by that name) and the text it shows.
struct Refusal {
    std::string name;
    FileKind kind;
    std::optional<Bytes> file;
    std::string text;
};

void PrintTo(const Refusal& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<Refusal> Refusals()
{
    const std::string kBmpRead = "Error reading Bitmap file.\nFile: %s", kNotBmp = "Not a recognised BMP format file.\nFile: %s",
                      kCompressed = "Compressed bitmaps are not supported.", kPngRead = "Error reading png file.\nFile: %s";
    const Bytes bmp = BuildBmp({.width = 3, .height = 2, .pixels = k24Rows});
    const Bytes png = EncodePng({.width = 64, .height = 64, .rows = std::vector<Bytes>(64, Bytes(3 * 64))});
    const std::string kTgaRead = "Error reading Targa file.\nFile: %s",
                      kTgaKind =
                          "Only uncompressed or run-length true-colour Targa files of 24 or 32 bits are supported.\nFile: %s";
    const Bytes tga = BuildTga({.width = 2, .pixels = {1, 2, 3, 4, 5, 6}});
    const Bytes rle = BuildTga({.width = 2, .imageType = 10, .pixels = {1, 2, 3, 1, 2, 3}});  // one repeat packet
    const auto cut = [](const Bytes& file, size_t n) { return Bytes(file.begin(), file.begin() + long(n)); };
    // Sides of 11840 (within the memory budget) in a small file.
    const Bytes huge = WithDeclaredSides(png, 11840, 11840);
    const uint32_t wide = GetImageLimits().nMaxSide + 1;
    return {
        {"missing", FileKind::Bmp, std::nullopt, "Error opening bitmap file.\nFile: %s"},
        {"10 bytes", FileKind::Bmp, cut(bmp, 10), "Error reading bitmap file.\nFile: %s"},
        {"not BM", FileKind::Bmp, Patched(bmp, 0, 'B' | 'X' << 8, 2), kNotBmp},
        {"header of 12 bytes", FileKind::Bmp, Patched(bmp, 14, 12), kBmpRead},
        {"rows past the end", FileKind::Bmp, cut(bmp, bmp.size() - 1), kBmpRead},
        {"width 0", FileKind::Bmp, Patched(bmp, 18, 0), kBmpRead},
        {"stride times height overflows", FileKind::Bmp,
            BuildBmp({.width = INT_MAX, .height = INT_MAX, .bitCount = 32}), ImageTooLargeText(INT_MAX, INT_MAX, 32)},
        {"height of the lowest int", FileKind::Bmp, BuildBmp({.width = 3, .height = INT_MIN, .pixels = k24Rows}),
            ImageTooLargeText(3, 1ull << 31, 24)},
        {"past the memory budget", FileKind::Bmp, BuildBmp({.width = 20000, .height = 20000, .bitCount = 32}),
            ImageTooLargeText(20000, 20000, 32)},
        {"2 bits", FileKind::Bmp, Patched(bmp, 28, 2, 2), kNotBmp},
        {"RLE8", FileKind::Bmp, Patched(bmp, 30, BI_RLE8), kCompressed},
        {"missing PNG", FileKind::Png, std::nullopt, "Error opening png file.\nFile: %s"},
        {"5 bytes", FileKind::Png, cut(png, 5), kPngRead},
        {"a BMP file", FileKind::Png, bmp, "Not a recognised PNG format file.\nFile: %s"},
        {"cut in the header", FileKind::Png, cut(png, 20), kPngRead},
        {"cut in the image data", FileKind::Png, cut(png, png.size() / 2), kPngRead},
        {"huge size in a small file", FileKind::Png, huge, kPngRead},
        {"wider than any texture", FileKind::Png, EncodePng({.width = wide, .height = 1, .rows = {Bytes(3 * wide)}}),
            kImageTooLarge},
        // Opening a FIFO would wait for a writer forever.
        {"fifo.bmp", FileKind::Bmp, std::nullopt, "Error opening bitmap file.\nFile: %s"},
        {"fifo.png", FileKind::Png, std::nullopt, "Error opening png file.\nFile: %s"},
        {"missing Targa", FileKind::Tga, std::nullopt, "Error opening Targa file.\nFile: %s"},
        {"Targa of 17 bytes", FileKind::Tga, cut(tga, 17), kTgaRead},
        {"colour-mapped Targa", FileKind::Tga, BuildTga({.imageType = 1, .pixels = {1, 2, 3}}), kTgaKind},
        {"16-bit Targa", FileKind::Tga, BuildTga({.depth = 16, .pixels = {1, 2}}), kTgaKind},
        {"Targa of width 0", FileKind::Tga, BuildTga({.width = 0}), kTgaRead},
        {"Targa pixels cut", FileKind::Tga, cut(tga, tga.size() - 1), kTgaRead},
        {"Targa colour map past the end", FileKind::Tga, BuildTga({.colorMapType = 1, .mapEntries = 9}), kTgaRead},
        {"run-length Targa cut", FileKind::Tga, cut(rle, rle.size() - 1), kTgaRead},
        {"run-length packet past the image", FileKind::Tga, Patched(rle, 18, 0x82, 1), kTgaRead},
        {"huge run-length Targa in a small file", FileKind::Tga, Patched(rle, 12, 0x40004000), kTgaRead},
    };
}

struct RefusedFile : ImageFiles, ::testing::WithParamInterface<Refusal> { };

TEST_P(RefusedFile, ShowsItsTextAndLeavesNoImage)
{
    const Refusal& c = GetParam();
    const std::string path = dir.File(c.name);
    if (c.file) {
        WriteFileBytes(path, *c.file);
    } else if (c.name.starts_with("fifo")) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    }
    EXPECT_EQ(ReadShown(path, c.kind)->GetBitmapInfo(), nullptr);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{FormatString(c.text.c_str(), path.c_str())});
    // Reading the headers alone refuses the same, unless the damage is past them, where they do not look.
    const bool pastHeaders = c.name == "cut in the image data" || c.name == "run-length packet past the image";
    EXPECT_EQ(std::get<3>(ShapeRead(path, c.kind)), pastHeaders ? "" : ui.Texts().at(0));
}

// Each row runs alone by its name: --gtest_filter='Readers/RefusedFile.*/not_BM'.
INSTANTIATE_TEST_SUITE_P(Readers, RefusedFile, ::testing::ValuesIn(Refusals()), [](const auto& row) {
    std::string name = row.param.name;
    std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
    return name;
});

TEST_F(ImageFiles, TargaHoldsTheRecordsDepthOrElse24BitsInUnpaddedRows)
{
    const std::vector<RGBQUAD> kPalette = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};
    const Bytes k32 = {1, 2, 3, 4, 5, 6, 7, 8};
    const struct {
        const char* name;
        BmpFileParts parts;
        Bytes expected;
    } cases[] = {
        {"24 bits lose their row padding", {.width = 3, .height = 2, .pixels = k24Rows},
            TgaFile(3, 2, 24, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18})},
        {"32 bits as held, with 8 alpha bits", {.width = 1, .height = 2, .bitCount = 32, .pixels = k32},
            TgaFile(1, 2, 32, 8, k32)},
        {"8 bits through the palette",
            {.width = 3, .bitCount = 8, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{2, 0, 1}})},
            TgaFile(3, 1, 24, 0, {100, 110, 120, 1, 2, 3, 10, 20, 30})},
        {"1 bit through the palette",
            {.width = 3, .bitCount = 1, .palette = {kPalette[0], kPalette[1]}, .pixels = PadRows({{0xA0}})},
            TgaFile(3, 1, 24, 0, {10, 20, 30, 1, 2, 3, 10, 20, 30})},
        {"16 bits 5-5-5", {.width = 3, .bitCount = 16, .pixels = PadRows({{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}})},
            TgaFile(3, 1, 24, 0, {248, 248, 248, 248, 0, 0, 0, 0, 248})},
        {"32 bits in another field order",
            {.width = 1, .bitCount = 32, .compression = BI_BITFIELDS, .masks = {0xFF, 0xFF00, 0xFF0000}, .pixels = k32},
            TgaFile(1, 1, 24, 0, {3, 2, 1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record(dir, BuildBmp(c.parts))->WriteTga(dir.File("out"));
        EXPECT_EQ(ReadFileBytes(dir.File("out")), c.expected);
    }
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(ImageFiles, TargaFilesInEveryRowOrderAndCodingReadToTheExactRecord)
{
    // Rows of three pixels, bottom then top; a run of equal pixels crosses from one to the other.
    const Bytes bottom = {1, 2, 3, 4, 5, 6, 7, 8, 9}, top = {7, 8, 9, 7, 8, 9, 10, 11, 12};
    const Bytes bottom32 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9}, top32 = {9, 9, 9, 9, 9, 9, 9, 9, 0, 0, 0, 0xFF};
    const auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        const char* name;
        uint8_t depth, descriptor;
        Bytes pixels, bits;
    } cases[] = {
        {"bottom-up", 24, 0, join(bottom, top), PadRows({bottom, top})},
        {"top-down", 24, 0x20, join(top, bottom), PadRows({bottom, top})},
        {"32 bits, bottom-up", 32, 0, join(bottom32, top32), join(bottom32, top32)},
        {"32 bits, top-down, right to left", 32, 0x30,
            {0, 0, 0, 0xFF, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 5, 6, 7, 8, 1, 2, 3, 4}, join(bottom32, top32)},
    };
    for (const auto& c : cases) {
        for (const uint8_t type : {2, 10}) {
            SCOPED_TRACE(std::string(c.name) + (type == 10 ? ", run-length" : ""));
            // An ID field and a colour map come before the pixels and are passed over.
            TgaFileParts tga{.width = 3, .height = 2, .colorMapType = 1, .mapEntries = 2, .id = {'i', 'd'}};
            std::tie(tga.depth, tga.imageType, tga.descriptor, tga.pixels) =
                std::tie(c.depth, type, c.descriptor, c.pixels);
            const auto image = Record(dir, BuildTga(tga), FileKind::Tga);
            ASSERT_NE(image->GetBitmapInfo(), nullptr);
            EXPECT_EQ(ShapeOf(*image), Shape(3, 2, c.depth, ""));
            EXPECT_EQ(Bytes(image->GetBits(), image->GetBits() + image->GetImageSize()), c.bits);
        }
    }
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(ImageFiles, PngOfEveryRecordDepthReadsBackWithLibpng)
{
    // The record's table is full: black after the file's entries.
    const auto table = [](size_t entries) {
        Bytes rgb = {3, 2, 1, 6, 5, 4};
        rgb.resize(3 * entries);
        return rgb;
    };
    const auto bmp = [&](const BmpFileParts& parts) { return Record(dir, BuildBmp(parts)); };
    using P = PngImage;
    const int kPal = PNG_COLOR_TYPE_PALETTE, kRgba = PNG_COLOR_TYPE_RGB_ALPHA;
    const Bytes rows8 = PadRows({{1, 0, 1}, {1, 1, 0}}), rows16 = {0xFF, 0xFF, 0xE0, 0x07};
    struct {
        const char* name;
        std::unique_ptr<CDibImage> record;
        PngImage expected;
        PngAlpha alpha = PngAlpha::Drop;
    } cases[] = {
        {"1 bit", bmp({.width = 10, .height = 2, .bitCount = 1, .palette = kTwo, .pixels = kRows1}),
            P{.width = 10,
                .height = 2,
                .bitDepth = 1,
                .colorType = kPal,
                .rows = {{0xFF, 0xC0}, {0xB0, 0x40}},
                .palette = table(2)}},
        {"4 bits", bmp({.width = 3, .bitCount = 4, .clrUsed = 2, .palette = kTwo, .pixels = kRows4}),
            P{.width = 3, .height = 1, .bitDepth = 4, .colorType = kPal, .rows = {{0x12, 0x00}}, .palette = table(16)}},
        {"8 bits", bmp({.width = 3, .height = 2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = rows8}),
            P{.width = 3, .height = 2, .colorType = kPal, .rows = {{1, 1, 0}, {1, 0, 1}}, .palette = table(256)}},
        {"16 bits 5-6-5 fields",
            bmp({.width = 2,
                .bitCount = 16,
                .compression = BI_BITFIELDS,
                .masks = {0xF800, 0x7E0, 0x1F},
                .pixels = rows16}),
            P{.width = 2, .height = 1, .rows = {{248, 252, 248, 0, 252, 0}}, .significantBits = {5, 6, 5}}},
        {"24 bits, padded, with a physical size",
            bmp({.width = 3, .height = 2, .xPelsPerMeter = 2835, .yPelsPerMeter = 1000, .pixels = k24Rows}),
            P{.width = 3,
                .height = 2,
                .rows = {{12, 11, 10, 15, 14, 13, 18, 17, 16}, {3, 2, 1, 6, 5, 4, 9, 8, 7}},
                .hasPhysicalSize = true,
                .xPerUnit = 2835,
                .yPerUnit = 1000,
                .unit = PNG_RESOLUTION_METER}},
        {"32 bits", bmp({.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}}),
            P{.width = 2, .height = 1, .rows = {{3, 2, 1, 7, 6, 5}}}},
        // Kept alpha: a 32-bit record goes out as RGBA unless no pixel has any, every other depth as without.
        {"32 bits, alpha kept", bmp({.width = 3, .bitCount = 32, .pixels = {1, 2, 3, 40, 5, 6, 7, 0, 9, 10, 11, 255}}),
            P{.width = 3, .height = 1, .colorType = kRgba, .rows = {{3, 2, 1, 40, 7, 6, 5, 0, 11, 10, 9, 255}}},
            PngAlpha::Keep},
        {"32 bits, every alpha 0", bmp({.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 0, 5, 6, 7, 0}}),
            P{.width = 2, .height = 1, .rows = {{3, 2, 1, 7, 6, 5}}}, PngAlpha::Keep},
        {"24 bits, alpha kept", bmp({.width = 2, .pixels = {1, 2, 3, 5, 6, 7, 0, 0}}),
            P{.width = 2, .height = 1, .rows = {{3, 2, 1, 7, 6, 5}}}, PngAlpha::Keep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_THROW(c.record->WritePngFile(dir.File("out"), c.alpha));
        PngImage png;
        ASSERT_TRUE(DecodePng(ReadFileBytes(dir.File("out")), png));  // checks every CRC
        EXPECT_EQ(png, c.expected);
    }
    EXPECT_TRUE(ui.Texts().empty());
}

// The alpha-keeping reader: an alpha channel or a transparent colour reads back as a 32-bit
// blue-green-red-alpha record.
TEST_F(ImageFiles, PngWithAlphaReadsToA32BitRecord)
{
    using P = PngImage;
    const int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;
    struct {
        const char* name;
        PngImage file;
        Bytes bits;  // bottom row first
    } reads[] = {
        // (8-bit RGBA: the import's and the external edit's tests.)
        {"rgba 16", P{.width = 1, .height = 1, .bitDepth = 16, .colorType = kRgba, .rows = {{1, 0, 2, 0, 3, 0, 4, 0}}},
            {3, 2, 1, 4}},
        {"grey alpha", P{.width = 2, .height = 1, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {{9, 1, 8, 2}}},
            {9, 9, 9, 1, 8, 8, 8, 2}},
        {"palette with a transparent entry",
            P{.width = 2,
                .height = 1,
                .colorType = PNG_COLOR_TYPE_PALETTE,
                .rows = {{0, 1}},
                .palette = {1, 2, 3, 4, 5, 6},
                .paletteAlpha = {0}},
            {3, 2, 1, 0, 6, 5, 4, 255}},
    };
    for (const auto& c : reads) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir.File("in.png"), EncodePng(c.file));
        const CDibImage record(dir.File("in.png"), FileKind::Png, PngAlpha::Keep);
        ASSERT_TRUE(record.GetBitmapInfo());
        EXPECT_EQ(record.GetBitCount(), 32u);
        EXPECT_EQ(Bytes(record.GetBits(), record.GetBits() + record.GetImageSize()), c.bits);
    }
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(ImageFiles, EachReadTakesTheLimitsItIsGivenAndLeavesThoseOfTheProcessAlone)
{
    // 64 x 64 images: within the process's limits, past a read's own of 32 pixels a side.
    const Bytes bmp = BuildBmp({.width = 64, .height = 64, .pixels = Bytes(64 * 64 * 3)});
    const struct {
        const char* name;
        FileKind kind;
        Bytes file;
    } cases[] = {
        {"in.bmp", FileKind::Bmp, bmp},
        {"in.bmz", FileKind::Bmz, BuildBmz(bmp)},
        {"in.png", FileKind::Png, EncodePng({.width = 64, .height = 64, .rows = std::vector<Bytes>(64, Bytes(3 * 64))})},
        {"in.tga", FileKind::Tga, BuildTga({.width = 64, .height = 64, .pixels = Bytes(64 * 64 * 3)})},
    };
    ImageLimits small;
    small.nMaxSide = 32;
    const uint32_t processSide = GetImageLimits().nMaxSide;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(c.name);
        WriteFileBytes(path, c.file);
        const auto read = [&](const ImageLimits& limits) {
            return c.kind == FileKind::Bmz ? std::make_unique<CDibImage>(path, c.kind, 0, limits)
                                           : std::make_unique<CDibImage>(path, c.kind, PngAlpha::Drop, limits);
        };
        EXPECT_EQ(RefusalText([&] { read(small); }).substr(0, 30), "The image is too large to open");
        EXPECT_EQ(RefusalText([&] { CDibImage::ReadShape(path, c.kind, small); }).substr(0, 30),
            "The image is too large to open");
        EXPECT_EQ(read(GetImageLimits())->GetWidth(), 64);
        EXPECT_EQ(GetImageLimits().nMaxSide, processSide);
    }
}

TEST_F(ImageFiles, WriterRefusalsAndFailedWritesShowTheirTextAndLeaveTheOldFile)
{
    const std::string out = dir.File("old"), nowhere = dir.File("no/such/folder.png");
    WriteFileBytes(out, {7, 7});
    const auto empty = CDibImage::CreateEmpty();
    const auto writePng = [&](const CDibImage& image, const std::string& path) {
        return RunReportingFailure([&] { image.WritePngFile(path); });
    };
    const auto wide = DibBuilder::Blank(70000, 1, 1);
    // The BMP and Targa writers leave by an exception; the caller shows it.
    const std::string noImage = "Unable to write " + out + ", no image data was found.";
    EXPECT_EQ(RefusalText([&] { empty->WriteBmp(out); }), noImage);
    EXPECT_EQ(RefusalText([&] { empty->WriteTga(out); }), noImage);
    EXPECT_EQ(
        RefusalText([&] { wide->WriteTga(out); }), "Unable to write " + out + ", the image is too large for a Targa file.");
    ui.m_messages.clear();
    EXPECT_FALSE(writePng(*empty, out));
    const BmpFileParts fields444{
        .width = 1, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF00, 0xF0, 0xF}, .pixels = Bytes(4)};
    EXPECT_FALSE(writePng(*Record(dir, BuildBmp(fields444)), out));
    // Writes cut short by a full disk: the Save As test, through the document that shows them.
    EXPECT_FALSE(writePng(*wide, nowhere));
    EXPECT_EQ(ui.Texts(),
        (std::vector<std::string>{noImage, "Unsupported bitmap file format.\nFile: " + out,
            "An error occurred while accessing " + nowhere + ": No such file or directory."}));
    EXPECT_EQ(ReadFileBytes(out), (Bytes{7, 7}));
    // Nothing was left beside it.
    EXPECT_EQ(FileNames(dir.Path()), (std::vector<std::string>{"in", "old"}));
}
