// Writing pixels back into model files and compressed bitmaps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FileSizeLimit.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/ZlibFileCodec.h"
#include "nif/TextureWriter.h"
#include "platform/File.h"

namespace {

using Texts = std::vector<std::string>;

size_t FilesIn(const std::string& folder)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

// A model file with other textures around the one that gets rewritten.
struct ModelFile {
    TempDir dir;
    std::string path = dir.File("model.nif");
    NifBuilder builder;
    uint64_t offset = 0;
    RawTextureShape shape;

    ModelFile(uint32_t width, uint32_t height, uint32_t format) : shape{width, height, format}
    {
        builder.Filler(30).Texture(4, 4, 1, 1);
        offset = builder.Filler(10).Texture(width, height, format, 2);
        builder.Filler(20).Texture(3, 3, 2, 3);
        builder.Filler(9).Save(path);
    }
    uint64_t OldBytes() const { return *shape.PixelBytes(); }
};

struct BmzFiles {
    TempDir dir, work;   // the target alone in its folder
    std::string target = dir.File("image.bmz"), bitmap = work.File("temp.dbp"), scratch = work.File("temp.dbz");
    BmzFiles() { WriteFileBytes(bitmap, NifBuilder::PatternPixels(300, 200, 1)); }
};

}  // namespace

TEST(ConvertDibToRawPixels, IsTheReadersInverseForEveryShape)
{
    std::vector<uint8_t> untouched = {1, 2, 3, 4};   // other bit counts are refused untouched
    EXPECT_EQ(ConvertDibToRawPixels(untouched.data(), 1, 1, 16), 0u);
    EXPECT_EQ(untouched, (std::vector<uint8_t>{1, 2, 3, 4}));
    // Odd and even heights, every row padding, vector steps with and without a tail.
    for (uint32_t format : {1u, 2u})
        for (uint32_t width : {1u, 2u, 3u, 4u, 5u, 7u, 13u, 64u})
            for (uint32_t height : {1u, 2u, 3u, 6u}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
                const std::vector<uint8_t> block = NifBuilder::PatternPixels(width, height, format, 5);
                std::vector<uint8_t> dib = NifBuilder::BlockToDib(block, width, height, format);
                ASSERT_EQ(ConvertDibToRawPixels(dib.data(), width, height, format == 1 ? 24 : 32), block.size());
                dib.resize(block.size());
                EXPECT_EQ(dib, block);
            }
}

TEST(SpliceRawImageBlock, RewritesOneBlockAndKeepsEveryOtherByte)
{
    // Old and new width, height and format: larger, smaller, RGB to RGBA with an odd width.
    const uint32_t cases[][6] = {{64, 64, 1, 128, 128, 1}, {16, 16, 2, 4, 2, 1}, {5, 3, 1, 7, 3, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[3]);
        ModelFile f(c[0], c[1], c[2]);
        ::chmod(f.path.c_str(), 0640);
        ScriptedUi ui;
        const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(c[3], c[4], c[5], 77);
        ASSERT_TRUE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), c[3], c[4], c[5], pixels.data(), pixels.size(),
                                        f.shape));
        EXPECT_TRUE(ui.Texts().empty());
        // Head, new fields and pixels, tail: exactly the old bytes around the new block.
        const std::vector<uint8_t>& old = f.builder.Bytes();
        NifBuilder expected;
        expected.Raw({old.begin(), old.begin() + static_cast<long>(f.offset)}).U32(c[3]).U32(c[4]).U32(c[5]);
        expected.Raw(pixels).Raw({old.begin() + static_cast<long>(f.offset + 12 + f.OldBytes()), old.end()});
        EXPECT_EQ(ReadFileBytes(f.path), expected.Bytes());
        EXPECT_EQ(std::filesystem::status(f.path).permissions(), std::filesystem::perms{0640});
        EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left beside it
    }
}

TEST(SpliceRawImageBlockAndStampAlpha, AnyRefusalOrFailureLeavesTheFileAlone)
{
    enum { kSplice = 1, kStamp = 2, kBoth = 3 };
    struct Case {
        const char* what;
        int writers = kBoth;
        void (*prepare)(ModelFile&) = nullptr;
        RawTextureShape expected{8, 8, 2};   // the file holds 8 x 8 pixels of this format
        uint32_t format = 1;                 // of the new 8 x 8 pixels
        size_t newBytes = 192;
        rlim_t fullAt = RLIM_INFINITY;       // a disk that fills up at this size
    } cases[] = {
        {.what = "the file holds other fields now", .expected = {8, 7, 2}},
        {.what = "the file became shorter than the old block",
         .prepare = [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 12 + f.OldBytes() - 1); }},
        {.what = "read-only file", .prepare = [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); }},
        {.what = "read-only folder", .writers = kSplice,
         .prepare = [](ModelFile& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        {.what = "new pixels too short for their fields", .writers = kSplice, .format = 2},
        {.what = "an unknown new format", .writers = kSplice, .format = 3, .newBytes = 256},
        {.what = "the disk fills up part way", .writers = kSplice, .fullAt = 300},
        {.what = "an RGB texture has no alpha", .writers = kStamp, .expected = {8, 8, 1}},
    };
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(8, 8, 2, 1);
    for (const Case& c : cases)
        for (int writer : {kSplice, kStamp}) {
            if (!(c.writers & writer))
                continue;
            SCOPED_TRACE(testing::Message() << c.what << (writer == kSplice ? " (splice)" : " (stamp)"));
            ModelFile f(8, 8, c.expected.format);
            if (c.prepare)
                c.prepare(f);
            const std::vector<uint8_t> before = ReadFileBytes(f.path);
            const uint64_t oldBytes = *c.expected.PixelBytes();
            ScriptedUi ui;
            {
                FileSizeLimit full(c.fullAt);
                EXPECT_FALSE(writer == kSplice ? SpliceRawImageBlock(f.path, f.offset, oldBytes, 8, 8, c.format,
                                                                     pixels.data(), c.newBytes, c.expected)
                                               : StampAlpha(f.path, f.offset, oldBytes, 1, c.expected));
            }
            EXPECT_EQ(ui.Texts(), Texts{"Error writing file.\nFile: " + f.path});
            EXPECT_EQ(ReadFileBytes(f.path), before);
            EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left behind
        }
}

TEST(StampAlpha, ChangesExactlyTheAlphaBytesInPlace)
{
    ModelFile f(600, 500, 2);   // more than one buffered piece
    ScriptedUi ui;
    ASSERT_TRUE(StampAlpha(f.path, f.offset, f.OldBytes(), 0xA5, f.shape));
    EXPECT_TRUE(ui.Texts().empty());
    std::vector<uint8_t> expected = f.builder.Bytes();
    for (uint64_t i = f.offset + 15; i < f.offset + 12 + f.OldBytes(); i += 4)
        expected[i] = 0xA5;
    EXPECT_EQ(ReadFileBytes(f.path), expected);
}

TEST(WriteCompressedBitmapFile, WritesHeaderAndStreamOrLeavesTheOldFileWhole)
{
    BmzFiles probe;   // the stream that the bitmap compresses to
    ASSERT_EQ(CZlibFileCodec().CompressFile(probe.bitmap, probe.scratch, 6), 0);
    const std::vector<uint8_t> stream = ReadFileBytes(probe.scratch), old(100, 0x42), forty(40, 0x7F);
    auto bmz = [&](uint32_t value) { return NifBuilder().U32(0xCAFE01).U32(value).Filler(32, 0).Raw(stream).Bytes(); };
    std::vector<uint8_t> longer = {0, 0, 0, 0, 0x34, 0x12};
    longer.resize(41);
    struct Case {
        const char* what;
        std::vector<uint8_t> old, expected;   // the target before and after; the same when the writing fails
        void (*prepare)(BmzFiles&) = nullptr;
        rlim_t fullAt = RLIM_INFINITY;        // a disk that fills up at this size
    } cases[] = {
        {"a longer old file keeps its value", longer, bmz(0x1234)},
        {"forty bytes get 1", forty, bmz(1)},
        {"the bitmap cannot be compressed", old, old, [](BmzFiles& f) { std::filesystem::remove(f.bitmap); }},
        {"read-only target", old, old, [](BmzFiles& f) { ::chmod(f.target.c_str(), 0444); }},
        {"read-only folder", old, old, [](BmzFiles& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        // The scratch stream may be written whole; the new .bmz may not.
        {"the disk fills up part way", old, old, nullptr, stream.size() + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmzFiles f;
        WriteFileBytes(f.target, c.old);
        if (c.prepare)
            c.prepare(f);
        ScriptedUi ui;
        bool written = false;
        {
            FileSizeLimit full(c.fullAt);
            written = WriteCompressedBitmapFile(f.target, f.bitmap, f.scratch, 0xCAFE01);
        }
        EXPECT_EQ(written, c.expected != c.old);
        EXPECT_EQ(ui.Texts(), written ? Texts{} : Texts{"Unable to create .bmz file"});
        EXPECT_EQ(ReadFileBytes(f.target), c.expected);
        EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left beside it
    }
}
