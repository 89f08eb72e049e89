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
    Bytes table;   // the colour table or masks expected in the record
    Bytes bits;    // the rows expected in the record, bottom row first
};

Bytes Quads(const std::vector<RGBQUAD>& quads, size_t total)
{
    Bytes out(4 * total, 0);
    std::memcpy(out.data(), quads.data(), 4 * quads.size());
    return out;
}

Bytes Words(const std::vector<uint32_t>& words)
{
    Bytes out(4 * words.size());
    std::memcpy(out.data(), words.data(), out.size());
    return out;
}

const std::vector<RGBQUAD> kTwo = {{1, 2, 3, 0x77}, {4, 5, 6, 0x77}};   // reserved bytes set on disk
const std::vector<RGBQUAD> kTwoClean = {{1, 2, 3, 0}, {4, 5, 6, 0}};
const Bytes k24Rows = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
const Bytes k24RowsFlipped = PadRows({{10, 11, 12, 13, 14, 15, 16, 17, 18}, {1, 2, 3, 4, 5, 6, 7, 8, 9}});
const Bytes k16Rows = PadRows({{0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}, {0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF8}});
const Bytes k32Rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const std::vector<uint32_t> k555 = {0x7C00, 0x3E0, 0x1F};
const std::vector<uint32_t> k565 = {0xF800, 0x7E0, 0x1F};
const std::vector<uint32_t> k888 = {0xFF0000, 0xFF00, 0xFF};

std::vector<ReadCase> ReadCases()
{
    const Bytes rows1 = PadRows({{0b10110000, 0b01000000}, {0xFF, 0xC0}});
    const Bytes rows4 = PadRows({{0x12, 0x00}});
    const Bytes rows8 = PadRows({{0, 1, 1, 0, 1}, {1, 1, 0, 0, 0}});
    return {
        {"1 bit, padded width", {.width = 10, .height = 2, .bitCount = 1, .palette = kTwo, .pixels = rows1},
         2, Quads(kTwoClean, 2), rows1},
        {"4 bits, short palette", {.width = 3, .bitCount = 4, .clrUsed = 2, .palette = kTwo, .pixels = rows4},
         16, Quads(kTwoClean, 16), rows4},
        {"8 bits, short palette", {.width = 5, .height = 2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = rows8},
         256, Quads(kTwoClean, 256), rows8},
        {"16 bits, 5-5-5 fields", {.width = 3, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .masks = k555, .pixels = k16Rows},
         0, Words(k555), k16Rows},
        {"16 bits, 5-6-5 fields", {.width = 3, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .masks = k565, .pixels = k16Rows},
         0, Words(k565), k16Rows},
        {"24 bits, padded width", {.width = 3, .height = 2, .pixels = k24Rows}, 0, {}, k24Rows},
        {"32 bits", {.width = 2, .height = 2, .bitCount = 32, .pixels = k32Rows}, 0, {}, k32Rows},
        {"32 bits, fields", {.width = 2, .height = 2, .bitCount = 32, .compression = BI_BITFIELDS, .masks = k888, .pixels = k32Rows},
         0, Words(k888), k32Rows},
        {"V4 header, masks inside", {.width = 3, .height = 2, .bitCount = 16, .compression = BI_BITFIELDS, .headerSize = 108, .masks = k565, .pixels = k16Rows},
         0, Words(k565), k16Rows},
        {"V5 header, masks inside", {.width = 2, .height = 2, .bitCount = 32, .compression = BI_BITFIELDS, .headerSize = 124, .masks = k888, .pixels = k32Rows},
         0, Words(k888), k32Rows},
        {"top-down", {.width = 3, .height = -2, .pixels = k24Rows}, 0, {}, k24RowsFlipped},
        {"gap before the pixels", {.width = 3, .height = 2, .pixels = k24Rows, .gap = 6}, 0, {}, k24Rows},
        {"short palette, gap, top-down", {.width = 5, .height = -2, .bitCount = 8, .clrUsed = 2, .palette = kTwo, .pixels = rows8, .gap = 40},
         256, Quads(kTwoClean, 256), PadRows({{1, 1, 0, 0, 0}, {0, 1, 1, 0, 1}})},
        {"24 bits with a colour table", {.width = 3, .height = 2, .clrUsed = 2, .palette = kTwo, .pixels = k24Rows}, 0, {}, k24Rows},
        {"bfOffBits inside the header", {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 20}, 0, {}, k24Rows},
        {"bfOffBits past the end, wrong bfSize, trailer",
         {.width = 3, .height = 2, .pixels = k24Rows, .offBits = 4000, .fileSize = 7, .trailer = {9, 9, 9, 9}}, 0, {}, k24Rows},
    };
}

// The file WriteBmp must produce: the derived file header, the info header as
// read with its derived fields, the full colour table and the bottom-up rows.
Bytes ExpectedWrittenFile(const Bytes& source, const ReadCase& c)
{
    const uint32_t headerSize = c.spec.headerSize;
    Bytes header(source.begin() + 14, source.begin() + 14 + headerSize);
    const int32_t height = std::abs(c.spec.height);
    const uint32_t sizeImage = static_cast<uint32_t>(c.bits.size());
    std::memcpy(header.data() + 8, &height, 4);
    std::memcpy(header.data() + 20, &sizeImage, 4);
    std::memcpy(header.data() + 32, &c.entries, 4);
    const uint32_t offBits = static_cast<uint32_t>(14 + headerSize + c.table.size());
    const uint32_t fileSize = static_cast<uint32_t>(offBits + c.bits.size());
    Bytes out = {'B', 'M'};
    out.resize(14, 0);
    std::memcpy(out.data() + 2, &fileSize, 4);
    std::memcpy(out.data() + 10, &offBits, 4);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), c.table.begin(), c.table.end());
    out.insert(out.end(), c.bits.begin(), c.bits.end());
    return out;
}

}  // namespace

TEST(BmpRead, EachDepthAndLayoutReadsToTheExactPixelsAndWritesBackCanonically)
{
    TempDir dir;
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        const Bytes source = BuildBmp(c.spec);
        WriteFileBytes(dir.File("in.bmp"), source);
        CDibImage image(dir.File("in.bmp"), kFileKindBmp);
        ASSERT_NE(image.GetBitmapInfo(), nullptr);
        EXPECT_TRUE(ui.Texts().empty());
        EXPECT_EQ(image.GetHeight(), std::abs(c.spec.height));
        EXPECT_EQ(image.m_nPaletteEntries, c.entries);
        EXPECT_EQ(image.m_pInfoHeader->biClrUsed, c.entries);
        EXPECT_EQ(image.m_nColorTableBytes, c.table.size());
        EXPECT_EQ(image.GetImageSize(), c.bits.size());
        EXPECT_EQ(image.m_nFileSize, source.size());
        const auto* table = reinterpret_cast<const uint8_t*>(image.m_pColorTable);
        EXPECT_EQ(Bytes(table, table + c.table.size()), c.table);
        EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + c.bits.size()), c.bits);

        image.WriteBmp(dir.File("out.bmp"));
        EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), ExpectedWrittenFile(source, c));
        EXPECT_EQ(image.GetFileSize(), ExpectedWrittenFile(source, c).size());
    }
}

TEST(BmpRead, ALinkedColourProfileIsNotCarriedIntoTheRecord)
{
    TempDir dir;
    ScriptedUi ui;
    Bytes file = BuildBmp({.width = 2, .height = 2, .bitCount = 32, .headerSize = 124, .pixels = k32Rows});
    const uint32_t linked = 0x4C494E4B;
    const uint32_t profileAt = 124 + 16;
    std::memcpy(file.data() + 14 + 56, &linked, 4);
    std::memcpy(file.data() + 14 + 112, &profileAt, 4);
    WriteFileBytes(dir.File("p.bmp"), file);
    CDibImage image(dir.File("p.bmp"), kFileKindBmp);
    ASSERT_NE(image.GetBitmapInfo(), nullptr);
    uint32_t csType = 0;
    uint32_t profileData = 1;
    std::memcpy(&csType, image.m_hDib.get() + 56, 4);
    std::memcpy(&profileData, image.m_hDib.get() + 112, 4);
    EXPECT_EQ(csType, 0x73524742u);   // 'sRGB'
    EXPECT_EQ(profileData, 0u);
}

TEST(BmpRead, RefusalsShowTheirTextAndLeaveNoImage)
{
    const char* kOpen = "Error opening bitmap file.\nFile: %s";
    const char* kShort = "Error reading bitmap file.\nFile: %s";
    const char* kNotBmp = "Not a recognised BMP format file.\nFile: %s";
    const char* kRead = "Error reading Bitmap file.\nFile: %s";
    const char* kCompressed = "Compressed bitmaps are not supported.";
    const BmpSpec ok{.width = 3, .height = 2, .pixels = k24Rows};
    const Bytes good = BuildBmp(ok);
    const auto with = [](BmpSpec s, auto change) { change(s); return BuildBmp(s); };
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
        {"missing file", std::nullopt, kOpen},
        {"10 bytes", Bytes(good.begin(), good.begin() + 10), kShort},
        {"not BM", patched(0, 'B' | 'X' << 8, 2), kNotBmp},
        {"reserved word set", patched(6, 1, 2), kNotBmp},
        {"header of 12 bytes", patched(14, 12), kRead},
        {"header cut short", Bytes(good.begin(), good.begin() + 40), kRead},
        {"header larger than the file", patched(14, 4000), kRead},
        {"palette past the end", with(BmpSpec{.width = 4, .bitCount = 8}, [](BmpSpec& s) { s.palette = kTwo; }), kRead},
        {"rows past the end", Bytes(good.begin(), good.end() - 1), kRead},
        {"width 0", patched(18, 0), kRead},
        {"negative width", patched(18, static_cast<uint32_t>(-3)), kRead},
        {"height 0", patched(22, 0), kRead},
        {"stride times height overflows", with(ok, [](BmpSpec& s) { s.width = INT_MAX; s.height = INT_MAX; s.bitCount = 32; }), kRead},
        {"height of the lowest int", with(ok, [](BmpSpec& s) { s.height = INT_MIN; }), kRead},
        {"2 bits", patched(28, 2, 2), kNotBmp},
        {"64 bits", patched(28, 64, 2), kNotBmp},
        {"RLE8", patched(30, BI_RLE8), kCompressed},
        {"RLE4", patched(30, BI_RLE4), kCompressed},
        {"JPEG", patched(30, BI_JPEG), kCompressed},
        {"PNG", patched(30, BI_PNG), kCompressed},
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
