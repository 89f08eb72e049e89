// Finding texture blocks and link blocks in model files by their names.
#include <gtest/gtest.h>

#include <string>
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

struct Scanned {
    std::vector<uint64_t> offsets = {12345};   // emptied by the scan
    std::vector<RawTextureShape> shapes = {{1, 2, 3}};
};

Scanned Scan(const std::vector<uint8_t>& bytes)
{
    Opened o(bytes);
    Scanned r;
    const uint32_t count = ScanRawImageData(o.file, r.offsets, r.shapes);
    EXPECT_EQ(count, r.offsets.size());
    return r;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return {text.begin(), text.end()};
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
    std::vector<RawTextureShape> shapes = {{8, 8, 1}, {2, 2, 7}};
    // Many more (no limit on their number), some right after the previous pixels.
    for (uint32_t i = 0; i < 250; ++i) {
        shapes.push_back({2, 1 + i % 3, 1 + i % 2});
        b.Filler(i % 5).Texture(2, 1 + i % 3, 1 + i % 2, static_cast<uint8_t>(i));
    }
    // Fields cut by the end of the file: the block counts with zero fields.
    b.Text(name).Filler(12).U32(7);
    shapes.push_back({0, 0, 0});
    std::vector<uint64_t> offsets = b.TextureOffsets();
    offsets.push_back(b.Bytes().size() - 4);
    const Scanned r = Scan(b.Bytes());
    EXPECT_EQ(r.offsets, offsets);
    EXPECT_EQ(r.shapes, shapes);
}

TEST(NifScan, MatchesNamesExactlyWithoutBacktracking)
{
    struct Case {
        const char* text;   // followed by 12 bytes and the fields of one RGB pixel
        bool found;
    } cases[] = {
        {"NiRawImageData", true},
        {"nNiRawImageData", true},
        {"NNiRawImageData", false},
        {"NiRawImageDatb", false},
        {"NiRawImagedata", false},
        // The N that breaks the first attempt is consumed with it.
        {"NiRawNiRawImageData", false},
        {"NiRawNNiRawImageData", true},
        {"NiImage NiRawImage NiRawImageDat", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = c.text;
        const std::vector<uint64_t> offsets =
            Scan(Bytes(text + std::string(12, 'x') + std::string("\1\0\0\0\1\0\0\0\1\0\0\0abc", 15))).offsets;
        EXPECT_EQ(offsets, c.found ? std::vector<uint64_t>{text.size() + 12} : std::vector<uint64_t>{});
    }
    EXPECT_TRUE(Scan(Bytes("xNiRawImageDat")).offsets.empty());   // cut by the end of the file
    EXPECT_TRUE(Scan({}).offsets.empty());
}

TEST(NifScan, CorruptSizesEndTheScan)
{
    struct Case {
        const char* what;
        uint32_t width, height, format;
    } cases[] = {
        {"pixels running over the next block and past the end", 20, 10, 1},
        {"huge width", 0xFFFFFFFF, 1, 2},
        {"huge width and height", 0xFFFFFFFF, 0xFFFFFFFF, 2},
        {"product near 2 GB", 0x8000, 0x4000, 2},
        {"product wrapping 32 bits", 0x10000, 0x10000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The first block's pixels would swallow everything that follows; it still counts.
        NifBuilder b;
        const uint64_t first = b.Texture(c.width, c.height, c.format, std::vector<uint8_t>(299, 1));
        b.Texture(1, 1, 1);
        EXPECT_EQ(Scan(b.Bytes()).offsets, std::vector<uint64_t>{first});
    }
}

TEST(NifScan, FindsNamesAcrossLongStretchesAndReadBoundaries)
{
    // Names at every position around the reader's piece boundaries, and past its largest piece.
    for (size_t gap : {size_t{4096 - 20}, size_t{4096 - 7}, size_t{4096 - 1}, size_t{4096}, size_t{12287},
                       size_t{3 * 1024 * 1024 + 5}}) {
        SCOPED_TRACE(gap);
        NifBuilder b;
        b.Filler(gap, 'i').Texture(3, 3, 1);
        b.Filler(gap, 'x').Texture(1, 1, 2);
        b.Filler(gap + 1);
        EXPECT_EQ(Scan(b.Bytes()).offsets, b.TextureOffsets());
    }
}

TEST(NifLink, FindsTheFirstLinkAndTheNameUpToTheFirstNifInReach)
{
    // "NiImage", then 17 bytes, then the name.
    auto link = [](const std::string& name) { return "NiImage" + std::string(17, '\x11') + name; };
    struct Case {
        const char* what;
        std::string file;
        uint64_t position;
        std::optional<std::string> name;
    } cases[] = {
        {"the first of two", std::string(50, 'x') + link("first.nif") + link("second.nif"), 74, "first.nif"},
        {"no link", "no link here, NiRawImageData NImage NNiImage", 0, std::nullopt},
        {"empty file", "", 0, std::nullopt},
        {"a name past the end of the file", "xxNiImage" + std::string(5, 'z'), 26, std::nullopt},
        {"bytes after the first .nif are ignored", link(std::string("a/b.nif\0c.nif", 13)), 24, "a/b.nif"},
        {"dot at byte 39", link(std::string(39, 'a') + ".nif"), 24, std::string(39, 'a') + ".nif"},
        {"dot at byte 40", link(std::string(40, 'a') + ".nif"), 24, std::nullopt},
        {"a later .nif after a dot mismatch", link("a.b.nif"), 24, "a.b.nif"},
        {"dot-n then a mismatch, then .nif", link(".n.nif"), 24, std::nullopt},
        {"case differs", link("abc.NIF"), 24, std::nullopt},
        {"the file ends inside .nif", link("abc.ni"), 24, std::nullopt},
        {"a zero byte in the name", link(std::string("ab\0c.nif", 8)), 24, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o(Bytes(c.file));
        EXPECT_EQ(ScanImageLink(o.file), c.position);
        if (c.position != 0) {
            EXPECT_EQ(o.file.GetPosition(), c.position);
            EXPECT_EQ(ExtractLinkName(o.file, c.position), c.name);
        }
    }
}
