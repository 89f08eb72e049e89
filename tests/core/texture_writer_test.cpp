// Writing pixels back into model files and compressed bitmaps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
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

Texts WriteError(const std::string& path)
{
    return {"Error writing file.\nFile: " + path};
}

size_t FilesIn(const std::string& folder)
{
    const std::filesystem::directory_iterator all(folder);
    return static_cast<size_t>(std::distance(begin(all), end(all)));
}

// The file's bytes, or none when it is not there.
std::vector<uint8_t> BytesOf(const std::string& path)
{
    return FileExists(path) ? ReadFileBytes(path) : std::vector<uint8_t>{};
}

// A model file with textures and a link around the one that gets rewritten.
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
        builder.Link("other.nif");
        builder.Filler(9).Save(path);
    }
    uint64_t OldBytes() const { return *shape.PixelBytes(); }
};

}  // namespace

TEST(ConvertDibToRawPixels, IsTheReadersInverseForEveryShape)
{
    // Other bit counts are refused untouched.
    std::vector<uint8_t> untouched = {1, 2, 3, 4};
    EXPECT_EQ(ConvertDibToRawPixels(untouched.data(), 1, 1, 16), 0u);
    EXPECT_EQ(untouched, (std::vector<uint8_t>{1, 2, 3, 4}));

    // Odd and even heights, every row padding, vector steps with and without a tail.
    for (uint32_t format : {1u, 2u}) {
        for (uint32_t width : {1u, 2u, 3u, 4u, 5u, 7u, 13u, 64u}) {
            for (uint32_t height : {1u, 2u, 3u, 6u}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
                const std::vector<uint8_t> block = NifBuilder::PatternPixels(width, height, format, 5);
                std::vector<uint8_t> dib = NifBuilder::BlockToDib(block, width, height, format);
                ASSERT_EQ(ConvertDibToRawPixels(dib.data(), width, height, format == 1 ? 24 : 32), block.size());
                EXPECT_EQ(std::vector<uint8_t>(dib.begin(), dib.begin() + static_cast<long>(block.size())), block);
            }
        }
    }
}

TEST(SpliceRawImageBlock, RewritesOneBlockAndKeepsEveryOtherByte)
{
    struct Case {
        const char* what;
        uint32_t oldWidth, oldHeight, oldFormat;
        uint32_t width, height, format;
    } cases[] = {
        {"same size", 6, 5, 2, 6, 5, 2},
        {"larger", 64, 64, 1, 128, 128, 1},
        {"smaller", 16, 16, 2, 4, 2, 1},
        {"RGB to RGBA, odd width", 5, 3, 1, 7, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFile f(c.oldWidth, c.oldHeight, c.oldFormat);
        ::chmod(f.path.c_str(), 0640);
        ScriptedUi ui;
        const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(c.width, c.height, c.format, 77);
        ASSERT_TRUE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), c.width, c.height, c.format, pixels.data(),
                                        pixels.size(), f.shape));
        EXPECT_TRUE(ui.Texts().empty());
        // Head, new fields and pixels, tail: exactly the old bytes around the new block.
        const std::vector<uint8_t>& before = f.builder.Bytes();
        NifBuilder expected;
        expected.Raw({before.begin(), before.begin() + static_cast<long>(f.offset)});
        expected.U32(c.width).U32(c.height).U32(c.format).Raw(pixels);
        expected.Raw({before.begin() + static_cast<long>(f.offset + 12 + f.OldBytes()), before.end()});
        EXPECT_EQ(ReadFileBytes(f.path), expected.Bytes());
        struct stat st {};
        ASSERT_EQ(::stat(f.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left beside it
    }
}

TEST(SpliceRawImageBlockAndStampAlpha, AnyRefusalOrFailureLeavesTheFileAlone)
{
    enum { kSplice = 1, kStamp = 2, kBoth = 3 };
    struct Case {
        const char* what;
        int writers = kBoth;
        uint32_t fileFormat = 2;
        void (*prepare)(ModelFile&) = nullptr;
        int offsetShift = 0;
        RawTextureShape expected{8, 8, 2};   // the file holds 8 x 8 pixels
        uint32_t format = 1;                 // of the new 8 x 8 pixels
        size_t newBytes = 192;
        rlim_t fullAt = 0;                   // a disk that fills up at this size
    } cases[] = {
        {.what = "the file holds other fields now", .expected = {8, 7, 2}},
        {.what = "the offset no longer points at the fields", .offsetShift = 1},
        {.what = "the file became shorter than the old block",
         .prepare = [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 12 + f.OldBytes() - 1); }},
        {.what = "read-only file", .prepare = [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); }},
        {.what = "missing file", .prepare = [](ModelFile& f) { std::filesystem::remove(f.path); }},
        {.what = "read-only folder", .writers = kSplice,
         .prepare = [](ModelFile& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        {.what = "new pixels too short for their fields", .writers = kSplice, .format = 2},
        {.what = "an unknown new format", .writers = kSplice, .format = 3, .newBytes = 256},
        {.what = "the disk fills up part way", .writers = kSplice, .fullAt = 300},
        {.what = "an RGB texture has no alpha", .writers = kStamp, .fileFormat = 1, .expected = {8, 8, 1}},
    };
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(8, 8, 2, 1);
    for (const Case& c : cases) {
        for (int writer : {kSplice, kStamp}) {
            if (!(c.writers & writer))
                continue;
            SCOPED_TRACE(testing::Message() << c.what << (writer == kSplice ? " (splice)" : " (stamp)"));
            ModelFile f(8, 8, c.fileFormat);
            if (c.prepare)
                c.prepare(f);
            const std::vector<uint8_t> before = BytesOf(f.path);
            const uint64_t offset = f.offset + c.offsetShift, oldBytes = *c.expected.PixelBytes();
            ScriptedUi ui;
            {
                std::optional<FileSizeLimit> full;
                if (c.fullAt)
                    full.emplace(c.fullAt);
                EXPECT_FALSE(writer == kSplice ? SpliceRawImageBlock(f.path, offset, oldBytes, 8, 8, c.format,
                                                                     pixels.data(), c.newBytes, c.expected)
                                               : StampAlpha(f.path, offset, oldBytes, 1, c.expected));
            }
            EXPECT_EQ(ui.Texts(), WriteError(f.path));
            EXPECT_EQ(BytesOf(f.path), before);
            EXPECT_LE(FilesIn(f.dir.Path()), 1u);   // no new version left behind
        }
    }
}

TEST(StampAlpha, ChangesExactlyTheAlphaBytesInPlace)
{
    // Larger than one buffered piece, so the stamping crosses piece boundaries.
    ModelFile f(600, 500, 2);
    ScriptedUi ui;
    ASSERT_TRUE(StampAlpha(f.path, f.offset, f.OldBytes(), 0xA5, f.shape));
    EXPECT_TRUE(ui.Texts().empty());
    std::vector<uint8_t> expected = f.builder.Bytes();
    for (uint64_t i = f.offset + 15; i < f.offset + 12 + f.OldBytes(); i += 4)
        expected[i] = 0xA5;
    EXPECT_EQ(ReadFileBytes(f.path), expected);
}

namespace {

// The target alone in its folder; the bitmap and the scratch file elsewhere.
struct BmzFiles {
    TempDir dir, work;
    std::string target = dir.File("image.bmz");
    std::string bitmap = work.File("temp.dbp");
    std::string scratch = work.File("temp.dbz");
    std::vector<uint8_t> bitmapBytes = NifBuilder::PatternPixels(300, 200, 1);

    BmzFiles() { WriteFileBytes(bitmap, bitmapBytes); }
};

}  // namespace

TEST(WriteCompressedBitmapFile, WritesHeaderAndStreamOrLeavesTheOldFileWhole)
{
    rlim_t streamBytes = 0;
    {
        BmzFiles f;
        ASSERT_EQ(CZlibFileCodec().CompressFile(f.bitmap, f.scratch, 6), 0);
        streamBytes = ReadFileBytes(f.scratch).size();
    }
    std::vector<uint8_t> longer(41, 0), old(100, 0x42);
    longer[4] = 0x34;
    longer[5] = 0x12;
    struct Case {
        const char* what;
        std::vector<uint8_t> old;   // empty: no old file
        int value;                  // carried into the header; -1: the writing fails
        void (*prepare)(BmzFiles&) = nullptr;
        rlim_t fullAt = 0;          // a disk that fills up at this size
    } cases[] = {
        {"a longer old file keeps its value", longer, 0x1234},
        {"forty bytes get 1", std::vector<uint8_t>(40, 0x7F), 1},
        {"no old file gets 1", {}, 1},
        {"the bitmap cannot be compressed", old, -1, [](BmzFiles& f) { std::filesystem::remove(f.bitmap); }},
        {"the scratch file cannot be made", old, -1, [](BmzFiles& f) { f.scratch = f.work.File("no/temp.dbz"); }},
        {"read-only target", old, -1, [](BmzFiles& f) { ::chmod(f.target.c_str(), 0444); }},
        {"read-only folder", old, -1, [](BmzFiles& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        // The scratch stream may be written whole; the new .bmz may not.
        {"the disk fills up part way", old, -1, nullptr, streamBytes + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmzFiles f;
        if (!c.old.empty())
            WriteFileBytes(f.target, c.old);
        if (c.prepare)
            c.prepare(f);
        ScriptedUi ui;
        bool written = false;
        {
            std::optional<FileSizeLimit> full;
            if (c.fullAt)
                full.emplace(c.fullAt);
            written = WriteCompressedBitmapFile(f.target, f.bitmap, f.scratch, 0xCAFE01);
        }
        if (c.value < 0) {
            EXPECT_FALSE(written);
            EXPECT_EQ(ui.Texts(), Texts{"Unable to create .bmz file"});
            EXPECT_EQ(ReadFileBytes(f.target), c.old);
            EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left behind
            continue;
        }
        ASSERT_TRUE(written);
        EXPECT_TRUE(ui.Texts().empty());
        // The scratch file stays for the document; the target is the header and its stream.
        NifBuilder expected;
        expected.U32(0xCAFE01).U32(static_cast<uint32_t>(c.value) & 0xFFFF).Filler(32, 0).Raw(ReadFileBytes(f.scratch));
        EXPECT_EQ(ReadFileBytes(f.target), expected.Bytes());
        EXPECT_EQ(CZlibFileCodec().DecompressFile(f.target, f.work.File("check")), 0);
        EXPECT_EQ(ReadFileBytes(f.work.File("check")), f.bitmapBytes);
    }
}

TEST(MakeBackupCopy, CopiesOverAnOlderBackupAndFailsSilently)
{
    TempDir dir;
    ScriptedUi ui;
    WriteFileBytes(dir.File("a.nif"), {1, 2, 3, 4});
    WriteFileBytes(dir.File("a.nif.bak"), std::vector<uint8_t>(100, 9));
    EXPECT_TRUE(MakeBackupCopy(dir.File("a.nif"), dir.File("a.nif.bak")));
    EXPECT_EQ(ReadFileBytes(dir.File("a.nif.bak")), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(MakeBackupCopy(dir.File("missing.nif"), dir.File("missing.nif.bak")));
    EXPECT_FALSE(FileExists(dir.File("missing.nif.bak")));
    EXPECT_TRUE(ui.Texts().empty());
}
