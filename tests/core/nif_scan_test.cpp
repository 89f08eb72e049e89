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

std::vector<uint64_t> ScanBytes(const std::vector<uint8_t>& bytes, uint32_t* count = nullptr)
{
    TempDir dir;
    WriteFileBytes(dir.File("m.nif"), bytes);
    CFile file;
    EXPECT_TRUE(file.Open(dir.File("m.nif"), CFile::modeRead));
    std::vector<uint64_t> offsets = {12345};   // emptied by the scan
    const uint32_t n = ScanRawImageData(file, offsets);
    EXPECT_EQ(n, offsets.size());
    if (count)
        *count = n;
    return offsets;
}

std::vector<uint8_t> Concat(std::initializer_list<std::string> parts)
{
    std::vector<uint8_t> bytes;
    for (const std::string& p : parts)
        bytes.insert(bytes.end(), p.begin(), p.end());
    return bytes;
}

std::string Fields(uint32_t width, uint32_t height, uint32_t format)
{
    NifBuilder b;
    b.U32(width).U32(height).U32(format);
    return std::string(b.Bytes().begin(), b.Bytes().end());
}

}  // namespace

TEST(NifScan, FindsEveryTextureInFileOrderTwelveBytesPastItsName)
{
    NifBuilder b;
    b.Filler(100).Texture(4, 4, 1);
    b.Filler(7).Texture(3, 2, 2);
    b.Texture(1, 1, 1);   // directly after the previous pixels
    b.Filler(33);
    const std::vector<uint64_t> offsets = ScanBytes(b.Bytes());
    EXPECT_EQ(offsets, b.TextureOffsets());
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 100u + 14 + 12);
}

TEST(NifScan, GivesTheFieldsStoredAtEachOffset)
{
    NifBuilder b;
    b.Texture(4, 3, 1);
    b.Filler(9).Texture(2, 5, 2);
    b.Text("NiRawImageData").Filler(12).U32(7);   // fields cut by the end of the file
    TempDir dir;
    b.Save(dir.File("m.nif"));
    CFile file;
    ASSERT_TRUE(file.Open(dir.File("m.nif"), CFile::modeRead));
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    EXPECT_EQ(ScanRawImageData(file, offsets, shapes), 3u);
    EXPECT_EQ(shapes, (std::vector<RawTextureShape>{{4, 3, 1}, {2, 5, 2}, {0, 0, 0}}));
}

TEST(NifScan, MatchesNamesExactlyWithoutBacktracking)
{
    const std::string tail = std::string(12, 'x') + Fields(1, 1, 1) + "abc";
    struct Case {
        const char* what;
        std::string before;
        std::string name;
        size_t found;
    } cases[] = {
        {"plain", "", "NiRawImageData", 1},
        {"any byte before the name", "Q", "NiRawImageData", 1},
        {"a lower-case n before the name", "n", "NiRawImageData", 1},
        {"two capital N in a row", "N", "NiRawImageData", 0},
        {"last character replaced", "", "NiRawImageDatb", 0},
        {"other case", "", "NiRawImagedata", 0},
        // The N that breaks the first attempt is consumed with it.
        {"a broken name just before", "NiRaw", "NiRawImageData", 0},
        {"a broken name and another N just before", "NiRawN", "NiRawImageData", 1},
        {"the name cut by the end of the file", "", "NiRawImageDat", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool cut = std::string(c.what).find("end of the file") != std::string::npos;
        const std::vector<uint8_t> bytes = cut ? Concat({c.before, c.name}) : Concat({c.before, c.name, tail});
        EXPECT_EQ(ScanBytes(bytes).size(), c.found);
        if (c.found) {
            EXPECT_EQ(ScanBytes(bytes)[0], c.before.size() + 14 + 12);
        }
    }
}

TEST(NifScan, SkipsPixelBytesWithoutScanningThem)
{
    // The name inside the pixels of the first texture is not a texture.
    std::vector<uint8_t> pixels(3 * 8 * 8, 0x20);
    const std::string hidden = "NiRawImageData";
    std::copy(hidden.begin(), hidden.end(), pixels.begin() + 40);
    NifBuilder b;
    b.Filler(5).Texture(8, 8, 1, pixels);
    b.Filler(5).Texture(2, 2, 2);
    EXPECT_EQ(ScanBytes(b.Bytes()), b.TextureOffsets());

    // A format other than 1 skips 4 bytes a pixel.
    NifBuilder odd;
    odd.Texture(2, 2, 7, std::vector<uint8_t>(16, 'N'));
    odd.Texture(1, 1, 1);
    EXPECT_EQ(ScanBytes(odd.Bytes()), odd.TextureOffsets());
}

TEST(NifScan, CorruptSizesEndTheScanWithoutReadingTwice)
{
    struct Case {
        const char* what;
        uint32_t width, height, format;
        size_t found;
    } cases[] = {
        {"pixels running over the next block and past the end", 20, 10, 1, 1},
        {"huge width", 0xFFFFFFFF, 1, 2, 1},
        {"huge width and height", 0xFFFFFFFF, 0xFFFFFFFF, 2, 1},
        {"product near 2 GB", 0x8000, 0x4000, 2, 1},
        {"product wrapping 32 bits", 0x10000, 0x10000, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifBuilder b;
        // The first block's pixels would swallow everything that follows.
        b.Texture(c.width, c.height, c.format, std::vector<uint8_t>(299, 1));
        b.Texture(1, 1, 1);
        const std::vector<uint64_t> offsets = ScanBytes(b.Bytes());
        EXPECT_EQ(offsets.size(), c.found);
        EXPECT_EQ(offsets.front(), b.TextureOffsets().front());
    }
    // One pixel byte missing at the end: the block counts, the scan ends.
    NifBuilder shortBlock;
    shortBlock.Texture(10, 10, 1, std::vector<uint8_t>(299, 1));
    EXPECT_EQ(ScanBytes(shortBlock.Bytes()), shortBlock.TextureOffsets());
    // Pixels ending exactly at the end of the file are fine.
    NifBuilder exact;
    exact.Texture(10, 10, 1);
    EXPECT_EQ(ScanBytes(exact.Bytes()), exact.TextureOffsets());
    // Fields cut by the end of the file: the block counts, the scan ends.
    const std::vector<uint8_t> cut = Concat({"NiRawImageData", std::string(12, 'x'), "\x04\0\0"});
    EXPECT_EQ(ScanBytes(cut), (std::vector<uint64_t>{26}));
}

TEST(NifScan, HoldsNoLimitOnTheNumberOfTextures)
{
    NifBuilder b;
    for (int i = 0; i < 250; ++i)
        b.Filler(static_cast<size_t>(i % 5)).Texture(2, 1 + i % 3, 1 + i % 2, static_cast<uint8_t>(i));
    uint32_t count = 0;
    EXPECT_EQ(ScanBytes(b.Bytes(), &count), b.TextureOffsets());
    EXPECT_EQ(count, 250u);
}

TEST(NifScan, FindsNamesAcrossLongStretchesAndReadBoundaries)
{
    // Names at every position around the reader's piece boundaries.
    for (size_t gap : {size_t{4096 - 20}, size_t{4096 - 7}, size_t{4096 - 1}, size_t{4096}, size_t{12287},
                       size_t{3 * 1024 * 1024 + 5}}) {
        SCOPED_TRACE(gap);
        NifBuilder b;
        b.Filler(gap, 'i').Texture(3, 3, 1);
        b.Filler(gap, 'x').Texture(1, 1, 2);
        b.Filler(gap + 1);
        EXPECT_EQ(ScanBytes(b.Bytes()), b.TextureOffsets());
    }
}

TEST(NifScan, EmptyAndNameFreeFilesHoldNothing)
{
    EXPECT_TRUE(ScanBytes({}).empty());
    EXPECT_TRUE(ScanBytes(Concat({"NiImage NiRawImage NiRawImageDat"})).empty());
}

namespace {

struct LinkResult {
    uint64_t position;
    std::optional<std::string> name;
};

LinkResult FindLink(const std::vector<uint8_t>& bytes)
{
    TempDir dir;
    WriteFileBytes(dir.File("m.nif"), bytes);
    CFile file;
    EXPECT_TRUE(file.Open(dir.File("m.nif"), CFile::modeRead));
    LinkResult result{ScanImageLink(file), std::nullopt};
    if (result.position != 0) {
        EXPECT_EQ(file.GetPosition(), result.position);
        result.name = ExtractLinkName(file, result.position);
    }
    return result;
}

}  // namespace

TEST(NifLink, FindsTheFirstLinkSeventeenBytesPastItsName)
{
    NifBuilder b;
    b.Filler(50);
    const uint64_t first = b.Link("first.nif");
    b.Link("second.nif");
    const LinkResult r = FindLink(b.Bytes());
    EXPECT_EQ(r.position, first);
    EXPECT_EQ(r.position, 50u + 7 + 17);
    EXPECT_EQ(r.name, "first.nif");

    EXPECT_EQ(FindLink(Concat({"no link here, NiRawImageData NImage NNiImage"})).position, 0u);
    EXPECT_EQ(FindLink({}).position, 0u);
}

TEST(NifLink, ExtractsTheNameUpToTheFirstNifInReach)
{
    struct Case {
        const char* what;
        std::string bytes;   // what follows the 17 bytes after "NiImage"
        std::optional<std::string> name;
    } cases[] = {
        {"nine bytes", std::string("abcde.nif") + '\0' + "junk", "abcde.nif"},
        {"bytes after .nif are ignored", "tex.nifXYZ.nif", "tex.nif"},
        {"a relative folder", "sub/dir/tex.nif", "sub/dir/tex.nif"},
        {"dot at byte 39", std::string(39, 'a') + ".nif", std::string(39, 'a') + ".nif"},
        {"dot at byte 40", std::string(40, 'a') + ".nif", std::nullopt},
        {"a second dot right before .nif", "abc..nif", std::nullopt},
        {"a later .nif after a dot mismatch", "a.b.nif", "a.b.nif"},
        {"case differs", "abc.NIF", std::nullopt},
        {"the file ends inside .nif", "abc.ni", std::nullopt},
        {"a zero byte in the name", std::string("ab") + '\0' + "c.nif", std::nullopt},
        {"dot-n then a mismatch, then .nif", ".n.nif", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NifBuilder b;
        b.Link(c.bytes, "");
        const LinkResult r = FindLink(b.Bytes());
        EXPECT_NE(r.position, 0u);
        EXPECT_EQ(r.name, c.name);
    }
    // A link whose name would start past the end of the file.
    EXPECT_EQ(FindLink(Concat({"xxNiImage", std::string(5, 'z')})).name, std::nullopt);
}
