// Reading an embedded texture of a model file into an image record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"

namespace {

struct Loaded {
    std::unique_ptr<CDibImage> image;
    std::vector<std::string> messages;
};

Loaded Load(const NifBuilder& b, uint64_t offset)
{
    TempDir dir;
    b.Save(dir.File("m.nif"));
    ScriptedUi ui;
    Loaded result;
    result.image = std::make_unique<CDibImage>(dir.File("m.nif"), kFileKindNif, dir.File("temp.dbp"), offset);
    result.messages = ui.Texts();
    return result;
}

std::vector<uint8_t> Bits(const CDibImage& image)
{
    const uint64_t size = uint64_t{image.GetStride()} * static_cast<uint64_t>(image.GetHeight());
    return std::vector<uint8_t>(image.GetBits(), image.GetBits() + size);
}

}  // namespace

TEST(RawImage, TurnsTopDownRgbRowsIntoBottomUpBgrForEveryShape)
{
    struct Case {
        uint32_t width, height, format;
    } cases[] = {
        {1, 1, 1}, {2, 2, 1}, {3, 3, 1}, {5, 1, 1}, {7, 2, 1}, {6, 3, 1}, {4, 4, 1}, {33, 5, 1}, {1, 7, 1},
        {1, 1, 2}, {2, 2, 2}, {3, 3, 2}, {5, 1, 2}, {7, 2, 2}, {9, 3, 2}, {31, 6, 2},
        {700, 3, 1},    // rows long enough for the vector path with a tail
        {100000, 1, 2}, // a row longer than one read group
        {90000, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format);
        NifBuilder b;
        b.Filler(3);
        const uint64_t offset = b.Texture(c.width, c.height, c.format, 9);
        b.Filler(5);
        const Loaded loaded = Load(b, offset);
        ASSERT_NE(loaded.image->GetBitmapInfo(), nullptr);
        EXPECT_TRUE(loaded.messages.empty());
        const CDibImage& image = *loaded.image;
        EXPECT_EQ(image.GetWidth(), static_cast<int32_t>(c.width));
        EXPECT_EQ(image.GetHeight(), static_cast<int32_t>(c.height));
        EXPECT_EQ(image.GetBitCount(), c.format == 1 ? 24u : 32u);
        const uint32_t stride = static_cast<uint32_t>(DibStride(c.width, image.GetBitCount()));
        EXPECT_EQ(image.m_nStride, stride);
        EXPECT_EQ(image.GetImageSize(), stride * c.height);
        EXPECT_EQ(image.m_nPaletteEntries, 0u);
        EXPECT_EQ(image.m_nColorTableBytes, 0u);
        EXPECT_EQ(image.m_pInfoHeader->biSize, 40u);
        EXPECT_EQ(image.m_pInfoHeader->biCompression, BI_RGB);
        EXPECT_EQ(image.m_pInfoHeader->biPlanes, 1u);
        EXPECT_EQ(image.m_fileHeader.bfType, kBitmapSignature);
        EXPECT_EQ(uint32_t{image.m_fileHeader.bfOffBits}, 54u);   // a copy: the packed field is not aligned
        EXPECT_EQ(image.GetFileSize(), stride * c.height + 54);
        EXPECT_EQ(image.GetBits(), reinterpret_cast<uint8_t*>(image.GetBitmapInfo()) + 40);
        EXPECT_EQ(Bits(image), NifBuilder::BlockToDib(NifBuilder::PatternPixels(c.width, c.height, c.format, 9),
                                                      c.width, c.height, c.format));
    }
}

TEST(RawImage, KnownPixelsLandWhereBitmapsKeepThem)
{
    // 2 x 2 RGB, top-left (1, 2, 3): the record's last row starts 3, 2, 1.
    NifBuilder b;
    const uint64_t rgb = b.Texture(2, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    const uint64_t rgba = b.Texture(1, 1, 2, {10, 20, 30, 40});
    const Loaded first = Load(b, rgb);
    ASSERT_NE(first.image->GetBitmapInfo(), nullptr);
    EXPECT_EQ(Bits(*first.image), (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    const Loaded second = Load(b, rgba);
    ASSERT_NE(second.image->GetBitmapInfo(), nullptr);
    EXPECT_EQ(Bits(*second.image), (std::vector<uint8_t>{30, 20, 10, 40}));
}

TEST(RawImage, UnknownFormatIsShownAsReadWithItsMessage)
{
    NifBuilder b;
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(3, 2, 5);
    const uint64_t offset = b.Texture(3, 2, 5, pixels);
    const Loaded loaded = Load(b, offset);
    ASSERT_NE(loaded.image->GetBitmapInfo(), nullptr);
    EXPECT_EQ(loaded.messages, (std::vector<std::string>{"Hmmm, somethin' ain't right!"}));
    EXPECT_EQ(loaded.image->GetBitCount(), 32u);
    EXPECT_EQ(Bits(*loaded.image), pixels);   // file order, not flipped
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifBuilder b;
        const uint64_t offset = b.Texture(c.width, c.height, c.format, std::vector<uint8_t>(c.pixelBytes, 7));
        const Loaded loaded = Load(b, offset);
        EXPECT_EQ(loaded.image->GetBitmapInfo(), nullptr);
        ASSERT_EQ(loaded.messages.size(), 1u);
        EXPECT_EQ(loaded.messages[0].rfind("Error reading file.\nFile: ", 0), 0u);
        EXPECT_NE(loaded.messages[0].find("m.nif"), std::string::npos);
    }
    // Fields past the end of the file.
    NifBuilder shortFile;
    shortFile.Filler(20);
    const Loaded past = Load(shortFile, 14);
    EXPECT_EQ(past.image->GetBitmapInfo(), nullptr);
    ASSERT_EQ(past.messages.size(), 1u);
    EXPECT_EQ(past.messages[0].rfind("Error reading file.\nFile: ", 0), 0u);
}

TEST(RawImage, MissingFileIsAnOpenError)
{
    TempDir dir;
    ScriptedUi ui;
    const std::string path = dir.File("gone.nif");
    CDibImage image(path, kFileKindNif, dir.File("temp.dbp"), 26);
    EXPECT_EQ(image.GetBitmapInfo(), nullptr);
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Error opening file.\nFile: " + path}));
}
