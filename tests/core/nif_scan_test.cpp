// Finding texture blocks and link blocks in model files by their names.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "NifBuilder.h"
#include "TempDir.h"
#include "nif/RawTexture.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

namespace {

// A file with the given bytes, open for reading.
struct Opened {
    TempDir dir;
    CFile file;
    explicit Opened(const std::vector<uint8_t>& bytes)
    {
        WriteFileBytes(dir.File("m.nif"), bytes);
        EXPECT_TRUE(file.Open(dir.File("m.nif"), CFile::modeRead));
    }
};

// The offsets found, after checking the count and that the shapes were read for each.
std::vector<uint64_t> Scan(const std::vector<uint8_t>& bytes, std::vector<RawTextureShape>* shapes = nullptr)
{
    Opened o(bytes);
    std::vector<uint64_t> offsets = {12345};   // emptied by the scan
    std::vector<RawTextureShape> found = {{1, 2, 3}};
    const uint32_t count = ScanRawImageData(o.file, offsets, found);
    EXPECT_EQ(count, offsets.size());
    EXPECT_EQ(found.size(), offsets.size());
    if (shapes)
        *shapes = found;
    return offsets;
}

}  // namespace

TEST(NifScan, FindsEveryTextureAndItsFieldsSkippingPixels)
{
    // A name inside the pixels of a texture is not a texture.
    std::vector<uint8_t> hidden(3 * 8 * 8, 0x20);
    const std::string name = kRawImageDataName;
    std::copy(name.begin(), name.end(), hidden.begin() + 40);
    // A format other than 1 skips 4 bytes a pixel: skipping 3 would let the
    // last pixel's N spoil the next name.
    std::vector<uint8_t> odd(16, 'x');
    odd.back() = 'N';
    NifBuilder b;
    b.Filler(5).Texture(8, 8, 1, hidden);
    b.Filler(5).Texture(2, 2, 7, odd);
    std::vector<RawTextureShape> expected = {{8, 8, 1}, {2, 2, 7}}, shapes;
    // Many more (no limit on their number), some right after the previous pixels.
    for (uint32_t i = 0; i < 250; ++i) {
        expected.push_back({2, 1 + i % 3, 1 + i % 2});
        b.Filler(i % 5).Texture(2, 1 + i % 3, 1 + i % 2, static_cast<uint8_t>(i));
    }
    // Fields cut by the end of the file: the block counts with zero fields.
    b.Text(name).Filler(12).U32(7);
    expected.push_back({0, 0, 0});
    std::vector<uint64_t> offsets = b.TextureOffsets();
    offsets.push_back(b.Bytes().size() - 4);
    EXPECT_EQ(Scan(b.Bytes(), &shapes), offsets);
    EXPECT_EQ(shapes, expected);
}

TEST(NifScan, MatchesNamesExactlyWithoutBacktracking)
{
    // Each followed by 12 bytes and the fields of one RGB pixel. The N that
    // breaks an attempt is consumed with it.
    const std::pair<std::string, bool> cases[] = {
        {"NiRawImageData", true},       {"NNiRawImageData", false},      {"NiRawImageDatb", false},
        {"NiRawNiRawImageData", false}, {"NiRawNNiRawImageData", true},  {"NiImage NiRawImage NiRawImageDat", false},
    };
    for (const auto& [text, found] : cases) {
        const std::string file = text + std::string(12, 'x') + std::string("\1\0\0\0\1\0\0\0\1\0\0\0abc", 15);
        EXPECT_EQ(Scan({file.begin(), file.end()}), found ? std::vector<uint64_t>{text.size() + 12}
                                                          : std::vector<uint64_t>{}) << text;
    }
    const std::string cut = "xNiRawImageDat";   // cut by the end of the file
    EXPECT_TRUE(Scan({cut.begin(), cut.end()}).empty());
    EXPECT_TRUE(Scan({}).empty());
}

TEST(NifScan, CorruptSizesEndTheScan)
{
    // Width, height, format: pixels running over the next block and past the end,
    // more than 64 bits of pixel bytes, near 2 GB, a product wrapping 32 bits.
    const uint32_t cases[][3] = {{20, 10, 1}, {0xFFFFFFFF, 0xFFFFFFFF, 2}, {0x8000, 0x4000, 2}, {0x10000, 0x10000, 1}};
    for (const auto& c : cases) {
        // The first block's pixels would swallow everything that follows; it still counts.
        NifBuilder b;
        const uint64_t first = b.Texture(c[0], c[1], c[2], std::vector<uint8_t>(299, 1));
        b.Texture(1, 1, 1);
        EXPECT_EQ(Scan(b.Bytes()), std::vector<uint64_t>{first}) << c[0];
    }
}

TEST(NifScan, FindsNamesAcrossLongStretchesAndReadBoundaries)
{
    // Names across the reader's piece boundaries, and past its largest piece.
    for (size_t gap : {4089u, 4095u, 4096u, 12287u, 3u * 1024 * 1024 + 5}) {
        NifBuilder b;
        b.Filler(gap, 'i').Texture(3, 3, 1);
        b.Filler(gap, 'x').Texture(1, 1, 2);
        b.Filler(gap + 1);
        EXPECT_EQ(Scan(b.Bytes()), b.TextureOffsets()) << gap;
    }
}

TEST(NifLink, FindsTheFirstLinkAndTheNameUpToTheFirstNifInReach)
{
    // "NiImage", then 17 bytes, then the name.
    auto link = [](const std::string& name) { return "NiImage" + std::string(17, '\x11') + name; };
    // The file, the position after the first link's name and the linked name there.
    const std::tuple<std::string, uint64_t, std::optional<std::string>> cases[] = {
        {std::string(50, 'x') + link("first.nif") + link("second.nif"), 74, "first.nif"},
        {"no link here, NiRawImageData NImage NNiImage", 0, std::nullopt},
        {"xxNiImage" + std::string(5, 'z'), 26, std::nullopt},   // a name past the end of the file
        {link(std::string("a/b.nif\0c.nif", 13)), 24, "a/b.nif"},
        {link(std::string(39, 'a') + ".nif"), 24, std::string(39, 'a') + ".nif"},
        {link(std::string(40, 'a') + ".nif"), 24, std::nullopt},
        {link("a.b.nif"), 24, "a.b.nif"},
        {link(".n.nif"), 24, std::nullopt},   // the byte that differs is passed over
        {link("abc.ni"), 24, std::nullopt},
        {link(std::string("ab\0c.nif", 8)), 24, std::nullopt},
    };
    for (const auto& [file, position, name] : cases) {
        SCOPED_TRACE(file);
        Opened o({file.begin(), file.end()});
        EXPECT_EQ(ScanImageLink(o.file), position);
        if (position != 0) {
            EXPECT_EQ(o.file.GetPosition(), position);
            EXPECT_EQ(ExtractLinkName(o.file, position), name);
        }
    }
}
