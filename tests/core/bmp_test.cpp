// BMP reading to the exact pixels, refusals with their texts, and BMP writing byte for byte.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "BmpBuilder.h"
#include "FileSizeLimit.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "platform/File.h"
#include "platform/Format.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct ReadCase {
    const char* name;
    BmpSpec spec;
    uint32_t entries;
    Bytes bits;    // the rows expected in the record, bottom row first
};

const std::vector<RGBQUAD> kTwo = {{1, 2, 3, 0x77}, {4, 5, 6, 0x77}};   // reserved bytes set on disk
const Bytes k24Rows = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
const Bytes k32Rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

std::vector<ReadCase> ReadCases()
{
    const Bytes rows1 = PadRows({{0b10110000, 0b01000000}, {0xFF, 0xC0}});
    const Bytes rows4 = PadRows({{0x12, 0x00}});
    const Bytes rows8 = PadRows({{0, 1, 1, 0, 1}, {1, 1, 0, 0, 0}});
    const Bytes rows16 = PadRows({{0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}});
    return {
        {"1 bit, padded width", {.width = 10, .height = 2, .bitCount = 1, .palette = kTwo, .pixels = rows1}, 2, rows1},
        {"4 bits, short palette", {.width = 3, .bitCount = 4, .clrUsed = 2, .palette = kTwo, .pixels = rows4}, 16, rows4},
        {"16 bits, fields after the header",
         {.width = 3, .bitCount = 16, .compression = BI_BITFIELDS, .masks = {0xF800, 0x7E0, 0x1F}, .pixels = rows16}, 0, rows16},
        {"24 bits, padded width", {.width = 3, .height = 2, .pixels = k24Rows}, 0, k24Rows},
        {"V5 header, fields inside",
         {.width = 2, .height = 2, .bitCount = 32, .compression = BI_BITFIELDS, .headerSize = 124,
          .masks = {0xFF0000, 0xFF00, 0xFF}, .pixels = k32Rows}, 0, k32Rows},
        {"8 bits, short palette, gap, top-down",
         {.width = 5, .height = -2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = rows8, .gap = 40},
         256, PadRows({{1, 1, 0, 0, 0}, {0, 1, 1, 0, 1}})},
        {"24 bits after an unused colour table", {.width = 3, .height = 2, .clrUsed = 2, .palette = kTwo, .pixels = k24Rows}, 0, k24Rows},
        {"bfOffBits inside the header", {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 20}, 0, k24Rows},
        {"bfOffBits past the end, wrong bfSize, trailer",
         {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 4000, .fileSize = 7, .trailer = {9, 9, 9, 9}}, 0, k24Rows},
    };
}

// The file WriteBmp must produce: the header as read with its derived fields,
// the full colour table (cleared reserved bytes, black padding), masks after the
// header even when it holds them too, and the bottom-up rows.
Bytes ExpectedWrittenFile(const ReadCase& c)
{
    BmpSpec w{.width = c.spec.width, .height = std::abs(c.spec.height), .bitCount = c.spec.bitCount,
              .compression = c.spec.compression, .headerSize = c.spec.headerSize, .clrUsed = c.entries,
              .sizeImage = static_cast<uint32_t>(c.bits.size()), .masks = c.spec.masks, .pixels = c.bits};
    w.palette = {{1, 2, 3, 0}, {4, 5, 6, 0}};
    w.palette.resize(c.entries);
    if (w.headerSize >= 52 && !w.masks.empty()) {
        w.palette.resize(3);
        std::memcpy(w.palette.data(), w.masks.data(), 12);
    }
    return BuildBmp(w);
}

}  // namespace

TEST(BmpRead, EachDepthAndLayoutReadsToTheExactPixelsAndWritesBackCanonically)
{
    TempDir dir;
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        WriteFileBytes(dir.File("in.bmp"), BuildBmp(c.spec));
        CDibImage image(dir.File("in.bmp"), kFileKindBmp);
        ASSERT_NE(image.GetBitmapInfo(), nullptr);
        EXPECT_TRUE(ui.Texts().empty());
        EXPECT_EQ(image.m_nPaletteEntries, c.entries);
        EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + c.bits.size()), c.bits);
        // The written block is the record itself: header, table and rows.
        image.WriteBmp(dir.File("out.bmp"));
        const Bytes expected = ExpectedWrittenFile(c);
        EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), expected);
        EXPECT_EQ(image.GetFileSize(), expected.size());
    }
}

TEST(BmpRead, ALinkedColourProfileIsNotCarriedIntoTheRecord)
{
    TempDir dir;
    ScriptedUi ui;
    Bytes file = BuildBmp({.width = 2, .height = 2, .bitCount = 32, .headerSize = 124, .pixels = k32Rows});
    const uint32_t linked = 0x4C494E4B, profile[] = {124 + 16, 16};   // 'LINK'; the profile's offset and size
    std::memcpy(file.data() + 14 + 56, &linked, 4);
    std::memcpy(file.data() + 14 + 112, profile, 8);
    WriteFileBytes(dir.File("p.bmp"), file);
    CDibImage image(dir.File("p.bmp"), kFileKindBmp);
    ASSERT_NE(image.GetBitmapInfo(), nullptr);
    const uint8_t* header = image.m_hDib.get();
    EXPECT_EQ(Bytes(header + 56, header + 60), (Bytes{'B', 'G', 'R', 's'}));   // 'sRGB'
    EXPECT_EQ(Bytes(header + 112, header + 120), Bytes(8, 0));
}

TEST(BmpRead, RefusalsShowTheirTextAndLeaveNoImage)
{
    const char* kRead = "Error reading Bitmap file.\nFile: %s";
    const char* kNotBmp = "Not a recognised BMP format file.\nFile: %s";
    const char* kCompressed = "Compressed bitmaps are not supported.";
    const Bytes good = BuildBmp({.width = 3, .height = 2, .pixels = k24Rows});
    const auto patched = [&](size_t at, uint32_t value, size_t width = 4) {
        Bytes b = good;
        std::memcpy(b.data() + at, &value, width);
        return b;
    };
    const struct {
        const char* name;
        std::optional<Bytes> file;   // none: the file does not exist
        const char* text;
    } cases[] = {
        {"missing file", std::nullopt, "Error opening bitmap file.\nFile: %s"},
        {"10 bytes", Bytes(good.begin(), good.begin() + 10), "Error reading bitmap file.\nFile: %s"},
        {"not BM", patched(0, 'B' | 'X' << 8, 2), kNotBmp},
        {"reserved word set", patched(6, 1, 2), kNotBmp},
        {"header of 12 bytes", patched(14, 12), kRead},
        {"header larger than the file", patched(14, 4000), kRead},
        {"palette past the end", BuildBmp({.width = 4, .bitCount = 8, .palette = kTwo}), kRead},
        {"rows past the end", Bytes(good.begin(), good.end() - 1), kRead},
        {"width 0", patched(18, 0), kRead},
        {"height 0", patched(22, 0), kRead},
        {"stride times height overflows", BuildBmp({.width = INT_MAX, .height = INT_MAX, .bitCount = 32}), kRead},
        {"height of the lowest int", BuildBmp({.width = 3, .height = INT_MIN, .pixels = k24Rows}), kRead},
        {"2 bits", patched(28, 2, 2), kNotBmp},
        {"RLE8", patched(30, BI_RLE8), kCompressed},
        {"alpha bit fields", patched(30, BI_ALPHABITFIELDS), kCompressed},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".bmp");
        if (c.file)
            WriteFileBytes(path, *c.file);
        ScriptedUi ui;
        CDibImage image(path, kFileKindBmp);
        EXPECT_EQ(image.GetBitmapInfo(), nullptr);
        EXPECT_EQ(ui.Texts(), std::vector<std::string>{FormatString(c.text, path.c_str())});
    }
}

TEST(BmpWrite, NoImageIsRefusedAndAFailedWriteLeavesTheOldFile)
{
    TempDir dir;
    ScriptedUi ui;
    CDibImage empty(dir.File("missing.bmp"), kFileKindBmp);
    ui.m_messages.clear();
    EXPECT_THROW(empty.WriteBmp(dir.File("out.bmp")), CUserException);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Unable to write " + dir.File("out.bmp") + ", no image data was found."});
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));

    CDibImage image(300, 200, 24);
    WriteFileBytes(dir.File("old.bmp"), {1, 2, 3});
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(image.WriteBmp(dir.File("old.bmp")), CFileException);
    }
    EXPECT_EQ(ReadFileBytes(dir.File("old.bmp")), (Bytes{1, 2, 3}));
}
