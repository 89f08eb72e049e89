// Reading an embedded texture of a model file into an image record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"

namespace {

struct Loaded {
    std::string path;
    std::unique_ptr<CDibImage> image;
    std::vector<std::string> messages;
    std::vector<uint8_t> bits;
};

// Loads the texture at offset; a null builder loads from a file that is not there.
Loaded Load(const NifBuilder* b, uint64_t offset)
{
    TempDir dir;
    Loaded r{dir.File("m.nif"), nullptr, {}, {}};
    if (b)
        b->Save(r.path);
    ScriptedUi ui;
    r.image = std::make_unique<CDibImage>(r.path, kFileKindNif, dir.File("temp.dbp"), offset);
    r.messages = ui.Texts();
    if (r.image->GetBitmapInfo())
        r.bits.assign(r.image->GetBits(), r.image->GetBits() + uint64_t{r.image->GetStride()} * r.image->GetHeight());
    return r;
}

}  // namespace

TEST(RawImage, TurnsTopDownRgbRowsIntoBottomUpBgrForEveryShape)
{
    // Width, height, format: every row padding, the vector path with and without a scalar tail,
    // rows read in two groups (the second partial), rows longer than one group.
    const uint32_t cases[][3] = {{1, 7, 1}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1}, {33, 5, 1}, {7, 2, 2}, {31, 6, 2},
                                 {300, 300, 1}, {100000, 1, 2}, {90000, 2, 1}};
    for (const auto& [width, height, format] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
        NifBuilder b;
        const uint64_t offset = b.Filler(3).Texture(width, height, format, 9);
        b.Filler(5);
        const Loaded r = Load(&b, offset);
        ASSERT_NE(r.image->GetBitmapInfo(), nullptr);
        EXPECT_TRUE(r.messages.empty());
        const BITMAPINFOHEADER& h = *r.image->m_pInfoHeader;
        EXPECT_EQ((std::vector<int64_t>{h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, h.biCompression,
                                        h.biSizeImage, r.image->m_fileHeader.bfOffBits}),
                  (std::vector<int64_t>{40, width, height, 1, format == 1 ? 24 : 32, BI_RGB,
                                        static_cast<int64_t>(r.bits.size()), 54}));
        EXPECT_EQ(r.bits, NifBuilder::BlockToDib(NifBuilder::PatternPixels(width, height, format, 9), width, height,
                                                 format));
    }
}

TEST(RawImage, KnownPixelsLandWhereBitmapsKeepThem)
{
    // 2 x 2 RGB, top-left (1, 2, 3): the record's last row starts 3, 2, 1.
    NifBuilder b;
    const uint64_t rgb = b.Texture(2, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(3, 2, 5);
    const uint64_t unknown = b.Texture(3, 2, 5, pixels);
    EXPECT_EQ(Load(&b, rgb).bits, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    // An unknown format is shown as the file has it, 4 bytes a pixel, not flipped.
    const Loaded r = Load(&b, unknown);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"Hmmm, somethin' ain't right!"}));
    EXPECT_EQ(r.image->GetBitCount(), 32u);
    EXPECT_EQ(r.bits, pixels);
}

TEST(RawImage, RefusesBlocksThatTheFileDoesNotHold)
{
    // Width, height, format, pixel bytes in the file: one byte missing, more than 64 bits
    // of pixel bytes, a product wrapping 32 bits, zero width, zero height.
    const uint32_t cases[][4] = {{4, 4, 1, 47}, {0xFFFFFFFF, 0xFFFFFFFF, 2, 64}, {0x10000, 0x10000, 1, 64},
                                 {0, 4, 1, 16}, {4, 0, 2, 16}};
    for (const auto& [width, height, format, pixelBytes] : cases) {
        NifBuilder b;
        const Loaded r = Load(&b, b.Texture(width, height, format, std::vector<uint8_t>(pixelBytes, 7)));
        EXPECT_EQ(r.image->GetBitmapInfo(), nullptr) << width;
        EXPECT_EQ(r.messages, (std::vector<std::string>{"Error reading file.\nFile: " + r.path}));
    }
    NifBuilder cut;   // fields past the end of the file
    const Loaded r = Load(&cut.Filler(20), 14);
    EXPECT_EQ(r.image->GetBitmapInfo(), nullptr);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"Error reading file.\nFile: " + r.path}));
    const Loaded missing = Load(nullptr, 26);
    EXPECT_EQ(missing.messages, (std::vector<std::string>{"Error opening file.\nFile: " + missing.path}));
}
