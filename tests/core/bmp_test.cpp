// BMP reading to the exact record, written back byte for byte; refusals with their texts.
// A failed BMP write is in png_write_test.cpp, with the other writers'.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "BmpBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/Format.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Patched(Bytes bytes, size_t at, uint32_t value, size_t width = 4)
{
    std::memcpy(bytes.data() + at, &value, width);
    return bytes;
}

// entries: the record's palette length; bits: its rows, bottom row first.
struct ReadCase { const char* name; BmpFileParts parts; uint32_t entries; Bytes bits; };

const std::vector<RGBQUAD> kTwo = {{1, 2, 3, 0x77}, {4, 5, 6, 0x77}};   // reserved bytes set on disk
const Bytes k24Rows = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
const Bytes k32Rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const Bytes kRows1 = PadRows({{0b10110000, 0b01000000}, {0xFF, 0xC0}}), kRows4 = PadRows({{0x12, 0x00}});
const Bytes kRows8 = PadRows({{0, 1, 1, 0, 1}, {1, 1, 0, 0, 0}}), kRows16 = PadRows({{0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}});

const ReadCase kReadCases[] = {
    {"1 bit, padded width", {.width = 10, .height = 2, .bitCount = 1, .palette = kTwo, .pixels = kRows1}, 2, kRows1},
    {"4 bits, short palette", {.width = 3, .bitCount = 4, .clrUsed = 2, .palette = kTwo, .pixels = kRows4}, 16, kRows4},
    {"16 bits, fields after the header",
     {.width = 3, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = kRows16}, 0, kRows16},
    {"24 bits, padded width", {.width = 3, .height = 2, .pixels = k24Rows}, 0, k24Rows},
    // Also links a colour profile, which stays behind.
    {"V5 header, fields inside", {.width = 2, .height = 2, .bitCount = 32, .compression = BI_BITFIELDS, .headerSize = 124,
                                  .masks = {0xFF0000, 0xFF00, 0xFF}, .pixels = k32Rows}, 0, k32Rows},
    {"8 bits, short palette, gap, top-down",
     {.width = 5, .height = -2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = kRows8, .gap = 40}, 256,
     PadRows({{1, 1, 0, 0, 0}, {0, 1, 1, 0, 1}})},
    {"bfOffBits inside the header", {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 20}, 0, k24Rows},
    {"bfOffBits past the end, wrong bfSize, trailer",
     {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 4000, .fileSize = 7, .trailer = {9, 9, 9, 9}}, 0, k24Rows},
};

// The file WriteBmp must produce: the header as read with its derived fields,
// the full colour table (cleared reserved bytes, black padding), masks after the
// header even when it holds them too, and the bottom-up rows. A V5 header says
// sRGB instead of pointing at a profile that is not written.
Bytes ExpectedWrittenFile(const ReadCase& c)
{
    BmpFileParts w{.width = c.parts.width, .height = std::abs(c.parts.height), .bitCount = c.parts.bitCount, .compression = c.parts.compression,
              .headerSize = c.parts.headerSize, .clrUsed = c.entries, .sizeImage = static_cast<uint32_t>(c.bits.size()),
              .masks = c.parts.masks, .palette = {{1, 2, 3, 0}, {4, 5, 6, 0}}, .pixels = c.bits};
    w.palette.resize(w.headerSize >= 52 ? w.masks.size() : c.entries);
    if (w.headerSize >= 52 && !w.masks.empty())
        std::memcpy(w.palette.data(), w.masks.data(), 12);
    return w.headerSize < 124 ? BuildBmp(w) : Patched(BuildBmp(w), 70, 0x73524742);
}

}  // namespace

TEST(BmpRead, EachDepthAndLayoutReadsToTheExactRecordAndWritesBackCanonically)
{
    TempDir dir;
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        // The V5 header links a colour profile: 'LINK', the profile's offset and size.
        const Bytes file = BuildBmp(c.parts);
        WriteFileBytes(dir.File("in.bmp"), c.parts.headerSize < 124 ? file : Patched(Patched(Patched(file, 70, 0x4C494E4B), 126, 140), 130, 16));
        // The written block is the record itself: header, table and rows.
        CDibImage(dir.File("in.bmp"), kFileKindBmp).WriteBmp(dir.File("out.bmp"));
        EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), ExpectedWrittenFile(c));
        EXPECT_TRUE(ui.Texts().empty());
    }
}

TEST(BmpRead, RefusalsShowTheirTextAndLeaveNoImage)
{
    const char *kRead = "Error reading Bitmap file.\nFile: %s", *kNotBmp = "Not a recognised BMP format file.\nFile: %s",
               *kCompressed = "Compressed bitmaps are not supported.";
    const Bytes good = BuildBmp({.width = 3, .height = 2, .pixels = k24Rows});
    // file: none if the file does not exist.
    const struct { const char* name; std::optional<Bytes> file; const char* text; } cases[] = {
        {"missing file", std::nullopt, "Error opening bitmap file.\nFile: %s"},
        {"10 bytes", Bytes(good.begin(), good.begin() + 10), "Error reading bitmap file.\nFile: %s"},
        {"not BM", Patched(good, 0, 'B' | 'X' << 8, 2), kNotBmp},
        {"header of 12 bytes", Patched(good, 14, 12), kRead},
        {"rows past the end", Bytes(good.begin(), good.end() - 1), kRead},
        {"width 0", Patched(good, 18, 0), kRead},
        {"height 0", Patched(good, 22, 0), kRead},
        {"stride times height overflows", BuildBmp({.width = INT_MAX, .height = INT_MAX, .bitCount = 32}), kRead},
        {"height of the lowest int", BuildBmp({.width = 3, .height = INT_MIN, .pixels = k24Rows}), kRead},
        {"2 bits", Patched(good, 28, 2, 2), kNotBmp},
        {"RLE8", Patched(good, 30, BI_RLE8), kCompressed},
        {"alpha bit fields", Patched(good, 30, BI_ALPHABITFIELDS), kCompressed},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".bmp");
        if (c.file)
            WriteFileBytes(path, *c.file);
        ScriptedUi ui;
        EXPECT_EQ(CDibImage(path, kFileKindBmp).GetBitmapInfo(), nullptr);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{FormatString(c.text, path.c_str())});
    }
}
