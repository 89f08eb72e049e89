// Targa writing byte for byte: the record's own depth, unpadded rows, other depths as 24 bits.
// Refusals and failed writes are in png_write_test.cpp, with the other writers'.
#include <gtest/gtest.h>

#include "BmpBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes TgaFile(uint8_t width, uint8_t height, uint8_t depth, uint8_t descriptor, const Bytes& pixels)
{
    const char footer[] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";   // with its closing zero: 26 bytes
    Bytes out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, width, 0, height, 0, depth, descriptor};
    out.reserve(out.size() + pixels.size() + sizeof footer);   // spares GCC a false bounds warning
    out.insert(out.end(), pixels.begin(), pixels.end());
    out.insert(out.end(), footer, footer + sizeof footer);
    return out;
}

}  // namespace

TEST(TgaWrite, EveryDepthGivesAConsistentFile)
{
    const std::vector<RGBQUAD> kPalette = {{1, 2, 3, 0}, {10, 20, 30, 0}, {100, 110, 120, 0}};
    const struct { const char* name; BmpFileParts parts; Bytes expected; } cases[] = {
        {"24 bits lose their row padding", {.width = 3, .height = 2, .pixels = PadRows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}})},
         TgaFile(3, 2, 24, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19})},
        {"32 bits as held, with 8 alpha bits", {.width = 1, .height = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}},
         TgaFile(1, 2, 32, 8, {1, 2, 3, 4, 5, 6, 7, 8})},
        {"8 bits through the palette", {.width = 3, .bitCount = 8, .clrUsed = 3, .palette = kPalette, .pixels = PadRows({{2, 0, 1}})},
         TgaFile(3, 1, 24, 0, {100, 110, 120, 1, 2, 3, 10, 20, 30})},
        {"1 bit through the palette", {.width = 3, .bitCount = 1, .palette = {kPalette[0], kPalette[1]}, .pixels = PadRows({{0b10100000}})},
         TgaFile(3, 1, 24, 0, {10, 20, 30, 1, 2, 3, 10, 20, 30})},
        {"16 bits 5-5-5", {.width = 3, .bitCount = 16, .pixels = PadRows({{0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C}})},
         TgaFile(3, 1, 24, 0, {248, 248, 248, 248, 0, 0, 0, 0, 248})},
        {"32 bits in another field order", {.width = 1, .bitCount = 32, .compression = BI_BITFIELDS, .masks = {0xFF, 0xFF00, 0xFF0000}, .pixels = {1, 2, 3, 4}},
         TgaFile(1, 1, 24, 0, {3, 2, 1})},
    };
    TempDir dir;
    ScriptedUi ui;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir.File("in.bmp"), BuildBmp(c.parts));
        CDibImage(dir.File("in.bmp"), kFileKindBmp).WriteTga(dir.File("out.tga"));
        EXPECT_EQ(ReadFileBytes(dir.File("out.tga")), c.expected);
    }
    EXPECT_TRUE(ui.Texts().empty());
}
