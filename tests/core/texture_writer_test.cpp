// Writing pixels back into model files and compressed bitmaps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "nif/TextureWriter.h"
#include "platform/CoreError.h"
#include <zlib.h>

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
    };
    auto shorter = [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 12 + 8 * 8 * 4 - 1); };
    auto readOnly = [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); };
    const Case cases[] = {
        {.what = "smaller", .old = {16, 16, 2}, .written = {4, 2, 1}, .done = true},
        {.what = "stamp: more than one buffered piece", .stamp = true, .old = {600, 500, 2}, .done = true},
        {.what = "the file holds other fields now", .expected = {8, 7, 2}},
        {.what = "stamp: the file holds other fields now", .stamp = true, .expected = {8, 7, 2}},
        {.what = "the file became shorter than the old block", .prepare = shorter},
        {.what = "stamp: the file became shorter than the old block", .stamp = true, .prepare = shorter},
        {.what = "read-only file", .prepare = readOnly},
        {.what = "read-only folder", .prepare = [](ModelFile& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
        {.what = "new pixels too short for their fields", .shortBy = 1},
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
        std::optional<std::string> error;  // nothing: written
        try {
            if (c.stamp)
                StampAlpha(f.path, f.offset, oldBytes, 0xA5, c.expected);
            else
                SpliceRawImageBlock(f.path, f.offset, oldBytes, w.width, w.height, w.format, pixels.data(),
                    pixels.size() - c.shortBy, c.expected);
        } catch (const CCoreError& e) {
            error = e.GetErrorMessage();
        }
        // The text, then the reason on its own line. (A full disk's: the fault tests'.)
        ASSERT_EQ(error.has_value(), !c.done);
        if (error) {
            const std::string head = "Error writing file.\nFile: " + f.path;
            EXPECT_EQ(error->rfind(head, 0), 0u) << *error;
            EXPECT_TRUE(error->size() == head.size() || (*error)[head.size()] == '\n');
        }
        EXPECT_EQ(ReadFileBytes(f.path), expected);
        EXPECT_EQ(FileNames(f.dir.Path()).size(), 1u);  // no new version left beside it
    }
}

TEST(WriteCompressedBitmapFile, WritesHeaderAndStreamOrLeavesTheOldFileWhole)
{
    TempDir source;
    WriteFileBytes(source.File("in.bmp"),
        BuildBmp({.width = 300, .height = 200, .pixels = NifBuilder::PatternPixels(300, 200, 1)}));
    const CDibImage image(source.File("in.bmp"), FileKind::Bmp);
    image.WriteBmp(source.File("out.bmp"));
    const std::vector<uint8_t> bmp = ReadFileBytes(source.File("out.bmp"));  // what the stream must hold
    const std::vector<uint8_t> old(100, 0x42), forty(40, 0x7F);
    struct Files {
        TempDir dir;  // the target alone in its folder
        std::string target = dir.File("image.bmz");
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> old;
        uint16_t carried = 0;  // the value at offset 4 of a new file; 0 when the old one stays
        void (*prepare)(Files&) = nullptr;
    } cases[] = {
        // A longer old file keeps its value: the document's test of Replace in a compressed bitmap.
        {"forty bytes get 1", forty, 1},
        {"read-only folder", old, 0, [](Files& f) { ::chmod(f.dir.Path().c_str(), 0555); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Files f;
        WriteFileBytes(f.target, c.old);
        if (c.prepare)
            c.prepare(f);
        bool written = true;
        try {
            WriteCompressedBitmapFile(f.target, image);
        } catch (const CCoreError& e) {
            written = false;
            EXPECT_EQ(e.Text(), "Unable to create .bmz file");
        }
        EXPECT_EQ(written, c.carried != 0);
        EXPECT_EQ(FileNames(f.dir.Path()).size(), 1u);  // no new version left beside it
        const std::vector<uint8_t> now = ReadFileBytes(f.target);
        if (!written) {
            EXPECT_EQ(now, c.old);
            continue;
        }
        // The header: the BMP's size, the carried value, zeros; then a stream that zlib itself inflates to the BMP.
        ASSERT_GT(now.size(), 40u);
        EXPECT_EQ(std::vector<uint8_t>(now.begin(), now.begin() + 40),
            NifBuilder().U32(uint32_t(bmp.size())).U32(c.carried).Filler(32, 0).Bytes());
        std::vector<uint8_t> inflated(bmp.size() + 1);
        uLongf size = inflated.size();
        ASSERT_EQ(uncompress(inflated.data(), &size, &now[40], now.size() - 40), Z_OK);
        inflated.resize(size);
        EXPECT_EQ(inflated, bmp);
    }
    // A record without an image writes nothing.
    Files f;
    WriteFileBytes(f.target, old);
    EXPECT_THROW(WriteCompressedBitmapFile(f.target, *CDibImage::CreateEmpty()), CCoreError);
    EXPECT_EQ(ReadFileBytes(f.target), old);
}
