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
    struct Case {
        uint32_t width, height, format;
    } cases[] = {
        // Every row padding, and the vector path with and without a scalar tail.
        {1, 1, 1}, {2, 2, 1}, {3, 3, 1}, {5, 1, 1}, {7, 2, 1}, {6, 3, 1}, {4, 4, 1}, {33, 5, 1}, {1, 7, 1},
        {1, 1, 2}, {2, 2, 2}, {3, 3, 2}, {5, 1, 2}, {7, 2, 2}, {9, 3, 2}, {31, 6, 2},
        {300, 300, 1},  // rows read in two groups, the second partial
        {100000, 1, 2}, // rows longer than one read group
        {90000, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        NifBuilder b;
        const uint64_t offset = b.Filler(3).Texture(c.width, c.height, c.format, 9);
        b.Filler(5);
        const Loaded r = Load(&b, offset);
        ASSERT_NE(r.image->GetBitmapInfo(), nullptr);
        EXPECT_TRUE(r.messages.empty());
        const BITMAPINFOHEADER& h = *r.image->m_pInfoHeader;
        EXPECT_EQ((std::vector<int64_t>{h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, h.biCompression,
                                        h.biSizeImage, r.image->m_fileHeader.bfOffBits}),
                  (std::vector<int64_t>{40, c.width, c.height, 1, c.format == 1 ? 24 : 32, BI_RGB,
                                        static_cast<int64_t>(r.bits.size()), 54}));
        EXPECT_EQ(r.bits, NifBuilder::BlockToDib(NifBuilder::PatternPixels(c.width, c.height, c.format, 9), c.width,
                                                 c.height, c.format));
    }
}

TEST(RawImage, KnownPixelsLandWhereBitmapsKeepThem)
{
    // 2 x 2 RGB, top-left (1, 2, 3): the record's last row starts 3, 2, 1.
    NifBuilder b;
    const uint64_t rgb = b.Texture(2, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const uint64_t rgba = b.Texture(1, 1, 2, {10, 20, 30, 40});
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(3, 2, 5);
    const uint64_t unknown = b.Texture(3, 2, 5, pixels);
    EXPECT_EQ(Load(&b, rgb).bits, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    EXPECT_EQ(Load(&b, rgba).bits, (std::vector<uint8_t>{30, 20, 10, 40}));
    // An unknown format is shown as the file has it, 4 bytes a pixel, not flipped.
    const Loaded r = Load(&b, unknown);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"Hmmm, somethin' ain't right!"}));
    EXPECT_EQ(r.image->GetBitCount(), 32u);
    EXPECT_EQ(r.bits, pixels);
}

TEST(RawImage, RefusesBlocksThatTheFileDoesNotHold)
{
    struct Case {
        const char* what;
        uint32_t width, height, format;
        size_t pixelBytes;
    } cases[] = {
        {"one pixel byte missing", 4, 4, 1, 47},
        {"huge width", 0xFFFFFFFF, 2, 2, 64},
        {"huge width and height", 0xFFFFFFFF, 0xFFFFFFFF, 2, 64},
        {"product wrapping 32 bits", 0x10000, 0x10000, 1, 64},
        {"width over 2^31", 0x80000000, 1, 2, 64},
        {"zero width", 0, 4, 1, 16},
        {"zero height", 4, 0, 2, 16},
        {"fields past the end of the file", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifBuilder b;
        const uint64_t offset = c.format ? b.Texture(c.width, c.height, c.format, std::vector<uint8_t>(c.pixelBytes, 7))
                                         : (b.Filler(20), 14);
        const Loaded r = Load(&b, offset);
        EXPECT_EQ(r.image->GetBitmapInfo(), nullptr);
        EXPECT_EQ(r.messages, (std::vector<std::string>{"Error reading file.\nFile: " + r.path}));
    }
    const Loaded missing = Load(nullptr, 26);
    EXPECT_EQ(missing.messages, (std::vector<std::string>{"Error opening file.\nFile: " + missing.path}));
}
