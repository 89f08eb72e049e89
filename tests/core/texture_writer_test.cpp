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

namespace {

using Texts = std::vector<std::string>;

// A model file with other textures around the one that gets rewritten.
struct ModelFile {
    TempDir dir;
    std::string path = dir.File("model.nif");
    uint64_t offset = 0;

    explicit ModelFile(const RawTextureShape& s)
    {
        NifBuilder builder;
        builder.Filler(30).Texture(4, 4, 1, 1);
        offset = builder.Filler(10).Texture(s.width, s.height, s.format, 2);
        builder.Filler(20).Texture(3, 3, 2, 3);
        builder.Save(path);
    }
};

}  // namespace

TEST(SpliceRawImageBlockAndStampAlpha, RewriteOnlyTheirBytesOrOnRefusalOrFailureLeaveTheFileAlone)
{
    struct Case {
        const char* what;
        bool stamp = false;
        RawTextureShape old{8, 8, 2}, written{8, 8, 1};  // the block in the file; the new one (splice)
        bool done = false;
        RawTextureShape expected = old;  // what the writer is told the file holds
        uint64_t shortBy = 0;  // new pixel bytes missing
        void (*prepare)(ModelFile&) = nullptr;
        rlim_t fullAt = RLIM_INFINITY;  // a disk that fills up at this size
    };
    auto shorter = [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 12 + 8 * 8 * 4 - 1); };
    auto readOnly = [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); };
    const Case cases[] = {
        {.what = "larger", .old = {64, 64, 1}, .written = {128, 128, 1}, .done = true},
        {.what = "smaller", .old = {16, 16, 2}, .written = {4, 2, 1}, .done = true},
        {.what = "RGB to RGBA with an odd width", .old = {5, 3, 1}, .written = {7, 3, 2}, .done = true},
        {.what = "stamp: more than one buffered piece", .stamp = true, .old = {600, 500, 2}, .done = true},
        {.what = "the file holds other fields now", .expected = {8, 7, 2}},
        {.what = "stamp: the file holds other fields now", .stamp = true, .expected = {8, 7, 2}},
        {.what = "the file became shorter than the old block", .prepare = shorter},
        {.what = "stamp: the file became shorter than the old block", .stamp = true, .prepare = shorter},
        {.what = "read-only file", .prepare = readOnly},
        {.what = "read-only folder", .prepare = [](ModelFile& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        {.what = "new pixels too short for their fields", .shortBy = 1},
        {.what = "the disk fills up part way", .fullAt = 300},
        {.what = "stamp: the disk fills up part way", .stamp = true, .fullAt = 300},
        {.what = "stamp: an RGB texture has no alpha", .stamp = true, .old = {8, 8, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFile f(c.old);
        if (c.prepare)
            c.prepare(f);
        const RawTextureShape& w = c.written;
        const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(w.width, w.height, w.format, 77);
        const uint64_t oldBytes = *c.expected.PixelBytes();
        // Exactly the old bytes around the new block or alpha.
        const std::vector<uint8_t> old = ReadFileBytes(f.path);
        const std::vector<uint8_t> expected = !c.done ? old
            : c.stamp                                 ? NifBuilder::Stamped(old, f.offset, oldBytes, 0xA5)
                      : NifBuilder::Spliced(old, f.offset, oldBytes, w.width, w.height, w.format, pixels);
        ScriptedUi ui;
        {
            FileSizeLimit full(c.fullAt);
            EXPECT_EQ(c.stamp ? StampAlpha(f.path, f.offset, oldBytes, 0xA5, c.expected)
                              : SpliceRawImageBlock(f.path, f.offset, oldBytes, w.width, w.height, w.format,
                                    pixels.data(), pixels.size() - c.shortBy, c.expected),
                c.done);
        }
        // The text, then the reason on its own line (the system's, when it has one).
        ASSERT_EQ(ui.Texts().size(), c.done ? 0u : 1u);
        if (!c.done) {
            const std::string head = "Error writing file.\nFile: " + f.path + "\n";
            EXPECT_EQ(ui.Texts()[0].rfind(head, 0), 0u) << ui.Texts()[0];
            EXPECT_GT(ui.Texts()[0].size(), head.size());
            if (c.fullAt != RLIM_INFINITY)
                EXPECT_EQ(ui.Texts()[0].substr(head.size()), "File too large");
        }
        EXPECT_EQ(ReadFileBytes(f.path), expected);
        EXPECT_EQ(FileNames(f.dir.Path()).size(), 1u);  // no new version left beside it
    }
}

TEST(WriteCompressedBitmapFile, WritesHeaderAndStreamOrLeavesTheOldFileWhole)
{
    struct Files {
        TempDir dir, work;  // the target alone in its folder
        std::string target = dir.File("image.bmz"), bitmap = work.File("temp.dbp"), scratch = work.File("temp.dbz");
        Files() { WriteFileBytes(bitmap, NifBuilder::PatternPixels(300, 200, 1)); }
    } probe;  // the stream that the bitmap compresses to
    ASSERT_EQ(CZlibFileCodec().CompressFile(probe.bitmap, probe.scratch, 6), 0);
    const std::vector<uint8_t> stream = ReadFileBytes(probe.scratch), old(100, 0x42), forty(40, 0x7F);
    auto bmz = [&](uint32_t value) { return NifBuilder().U32(0xCAFE01).U32(value).Filler(32, 0).Raw(stream).Bytes(); };
    std::vector<uint8_t> longer = {0, 0, 0, 0, 0x34, 0x12};
    longer.resize(41);
    struct Case {
        const char* what;
        std::vector<uint8_t> old, expected;  // the target before and after; the same when the writing fails
        void (*prepare)(Files&) = nullptr;
        rlim_t fullAt = RLIM_INFINITY;  // a disk that fills up at this size
    } cases[] = {
        {"a longer old file keeps its value", longer, bmz(0x1234)},
        {"forty bytes get 1", forty, bmz(1)},
        {"the bitmap cannot be compressed", old, old, [](Files& f) { std::filesystem::remove(f.bitmap); }},
        {"read-only folder", old, old, [](Files& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        // The scratch stream may be written whole; the new .bmz may not.
        {"the disk fills up part way", old, old, nullptr, stream.size() + 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Files f;
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
        EXPECT_EQ(FileNames(f.dir.Path()).size(), 1u);  // no new version left beside it
    }
}
