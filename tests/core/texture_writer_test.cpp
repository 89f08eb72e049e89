// Writing pixels back into model files and compressed bitmaps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DibImage.h"
#include "image/ZlibFileCodec.h"
#include "nif/TextureScanner.h"
#include "nif/TextureWriter.h"
#include "platform/File.h"

namespace {

std::string WriteError(const std::string& path)
{
    return "Error writing file.\nFile: " + path;
}

std::vector<uint64_t> Scan(const std::string& path)
{
    CFile file;
    EXPECT_TRUE(file.Open(path, CFile::modeRead));
    std::vector<uint64_t> offsets;
    ScanRawImageData(file, offsets);
    return offsets;
}

size_t FilesIn(const std::string& folder)
{
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        (void)entry;
        ++n;
    }
    return n;
}

// Makes every write that would grow a file past `bytes` fail, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    sighandler_t m_oldHandler;
};

// A model file with three textures around the one that gets rewritten.
struct ModelFile {
    TempDir dir;
    std::string path = dir.File("model.nif");
    NifBuilder builder;
    uint64_t offset = 0;
    RawTextureShape shape;

    ModelFile(uint32_t width, uint32_t height, uint32_t format)
        : shape{width, height, format}
    {
        builder.Filler(30).Texture(4, 4, 1, 1);
        offset = builder.Filler(10).Texture(width, height, format, 2);
        builder.Filler(20).Texture(3, 3, 2, 3);
        builder.Link("other.nif");
        builder.Filler(9);
        builder.Save(path);
    }
    uint64_t OldBytes() const { return *shape.PixelBytes(); }
};

}  // namespace

TEST(ConvertDibToRawPixels, ProducesBlockOrder)
{
    // Width 2 at 24 bits: the record's rows carry two bytes of padding, the block's none.
    std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    EXPECT_EQ(ConvertDibToRawPixels(rgb.data(), 2, 2, 24), 12u);
    EXPECT_EQ(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 12),
              (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
    // Width 4 needs no padding.
    std::vector<uint8_t> packed(24);
    for (size_t i = 0; i < packed.size(); ++i)
        packed[i] = static_cast<uint8_t>(i + 1);
    ConvertDibToRawPixels(packed.data(), 4, 2, 24);
    EXPECT_EQ(packed, (std::vector<uint8_t>{15, 14, 13, 18, 17, 16, 21, 20, 19, 24, 23, 22,
                                            3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));

    // The top row of the record holds 10 20 30 40: the block starts 30 20 10 40.
    std::vector<uint8_t> rgba = {1, 2, 3, 4, 10, 20, 30, 40};
    ConvertDibToRawPixels(rgba.data(), 1, 2, 32);
    EXPECT_EQ(rgba, (std::vector<uint8_t>{30, 20, 10, 40, 3, 2, 1, 4}));

    // Height 3: rows 0 and 2 change places, row 1 is reordered in place.
    std::vector<uint8_t> three = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};   // width 1, padded
    EXPECT_EQ(ConvertDibToRawPixels(three.data(), 1, 3, 24), 9u);
    EXPECT_EQ(std::vector<uint8_t>(three.begin(), three.begin() + 9), (std::vector<uint8_t>{9, 8, 7, 6, 5, 4, 3, 2, 1}));

    std::vector<uint8_t> one = {1, 2, 3, 4, 5, 6, 7, 8};
    ConvertDibToRawPixels(one.data(), 2, 1, 32);
    EXPECT_EQ(one, (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));

    std::vector<uint8_t> untouched = {1, 2, 3, 4};
    EXPECT_EQ(ConvertDibToRawPixels(untouched.data(), 1, 1, 16), 0u);
    EXPECT_EQ(untouched, (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(ConvertDibToRawPixels, IsTheReadersInverseForEveryWidth)
{
    for (uint32_t format : {1u, 2u}) {
        for (uint32_t width : {1u, 2u, 3u, 4u, 5u, 7u, 13u, 64u}) {
            for (uint32_t height : {1u, 2u, 3u, 6u}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
                const std::vector<uint8_t> block = NifBuilder::PatternPixels(width, height, format, 5);
                std::vector<uint8_t> dib = NifBuilder::BlockToDib(block, width, height, format);
                const uint64_t bytes = ConvertDibToRawPixels(dib.data(), width, height, format == 1 ? 24 : 32);
                ASSERT_EQ(bytes, block.size());
                EXPECT_EQ(std::vector<uint8_t>(dib.begin(), dib.begin() + static_cast<long>(bytes)), block);
                // Without padding, converting twice gives back the record's bytes.
                if (width * NifBuilder::BytesPerPixel(format) % 4 == 0) {
                    ConvertDibToRawPixels(dib.data(), width, height, format == 1 ? 24 : 32);
                    EXPECT_EQ(dib, NifBuilder::BlockToDib(block, width, height, format));
                }
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
        {"same size", 8, 8, 1, 8, 8, 1},
        {"larger", 64, 64, 1, 128, 128, 1},
        {"smaller", 16, 16, 2, 4, 2, 1},
        {"RGB to RGBA, odd width", 5, 3, 1, 7, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFile f(c.oldWidth, c.oldHeight, c.oldFormat);
        ::chmod(f.path.c_str(), 0640);
        ScriptedUi ui;
        const std::vector<uint8_t> before = ReadFileBytes(f.path);
        const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(c.width, c.height, c.format, 77);
        ASSERT_TRUE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), c.width, c.height, c.format, pixels.data(),
                                        pixels.size(), f.shape));
        EXPECT_TRUE(ui.Texts().empty());

        // head, new fields and pixels, tail: exactly the old bytes around the new block.
        NifBuilder fields;
        fields.U32(c.width).U32(c.height).U32(c.format).Raw(pixels);
        std::vector<uint8_t> expected(before.begin(), before.begin() + static_cast<long>(f.offset));
        expected.insert(expected.end(), fields.Bytes().begin(), fields.Bytes().end());
        expected.insert(expected.end(), before.begin() + static_cast<long>(f.offset + 12 + f.OldBytes()), before.end());
        const std::vector<uint8_t> after = ReadFileBytes(f.path);
        EXPECT_EQ(after, expected);
        EXPECT_EQ(after.size(), before.size() - f.OldBytes() + pixels.size());

        // The later texture moved by the difference and is found there again.
        const std::vector<uint64_t> offsets = Scan(f.path);
        ASSERT_EQ(offsets.size(), 3u);
        EXPECT_EQ(offsets[1], f.offset);
        EXPECT_EQ(offsets[2], f.builder.TextureOffsets()[2] - f.OldBytes() + pixels.size());

        // The new texture reads back as the pixels written.
        CDibImage image(f.path, kFileKindNif, f.dir.File("temp.dbp"), f.offset);
        ASSERT_NE(image.GetBitmapInfo(), nullptr);
        EXPECT_EQ(std::vector<uint8_t>(image.GetBits(), image.GetBits() + image.GetImageSize()),
                  NifBuilder::BlockToDib(pixels, c.width, c.height, c.format));

        struct stat st {};
        ASSERT_EQ(::stat(f.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no new version left beside it
    }
}

TEST(SpliceRawImageBlock, SameSizeSpliceChangesOnlyTheBlock)
{
    ModelFile f(6, 5, 2);
    ScriptedUi ui;
    const std::vector<uint8_t> before = ReadFileBytes(f.path);
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(6, 5, 2, 200);
    ASSERT_TRUE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), 6, 5, 2, pixels.data(), pixels.size(), f.shape));
    const std::vector<uint8_t> after = ReadFileBytes(f.path);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] != before[i]) {
            EXPECT_GE(i, f.offset + 12);
            EXPECT_LT(i, f.offset + 12 + f.OldBytes());
        }
    }
}

TEST(SpliceRawImageBlock, RefusesStaleOffsetsAndUnwritableFilesLeavingThemAlone)
{
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(8, 8, 1, 1);
    struct Case {
        const char* what;
        void (*prepare)(ModelFile&);
        int offsetShift;
        RawTextureShape expected;
    } cases[] = {
        {"the file holds other fields now", [](ModelFile&) {}, 0, {8, 8, 2}},
        {"the offset no longer points at the fields", [](ModelFile&) {}, 1, {8, 8, 1}},
        {"the file became shorter than the old block",
         [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 12 + f.OldBytes() - 1); }, 0, {8, 8, 1}},
        {"read-only file", [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); }, 0, {8, 8, 1}},
        {"read-only folder", [](ModelFile& f) { ::chmod(f.dir.Path().c_str(), 0555); }, 0, {8, 8, 1}},
        {"missing file", [](ModelFile& f) { std::filesystem::remove(f.path); }, 0, {8, 8, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFile f(8, 8, 1);
        c.prepare(f);
        const std::vector<uint8_t> before = FileExists(f.path) ? ReadFileBytes(f.path) : std::vector<uint8_t>{};
        ScriptedUi ui;
        EXPECT_FALSE(SpliceRawImageBlock(f.path, f.offset + c.offsetShift, *c.expected.PixelBytes(), 8, 8, 1,
                                         pixels.data(), pixels.size(), c.expected));
        EXPECT_EQ(ui.Texts(), (std::vector<std::string>{WriteError(f.path)}));
        EXPECT_EQ(FileExists(f.path) ? ReadFileBytes(f.path) : std::vector<uint8_t>{}, before);
        ::chmod(f.dir.Path().c_str(), 0755);
        EXPECT_LE(FilesIn(f.dir.Path()), 1u);
    }
    // New pixels that do not match their own fields are not written either.
    ModelFile f(8, 8, 1);
    ScriptedUi ui;
    EXPECT_FALSE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), 8, 8, 2, pixels.data(), pixels.size(), f.shape));
    EXPECT_FALSE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), 8, 8, 3, pixels.data(), 256, f.shape));
    EXPECT_EQ(ui.Texts().size(), 2u);
    EXPECT_EQ(ReadFileBytes(f.path), f.builder.Bytes());
}

TEST(SpliceRawImageBlock, AWriteThatFailsPartWayLeavesTheOriginal)
{
    ModelFile f(64, 64, 1);
    f.builder.Filler(300000);   // a tail long enough to be cut off
    f.builder.Save(f.path);
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(128, 128, 1, 4);
    ScriptedUi ui;
    {
        FileSizeLimit full(100000);
        EXPECT_FALSE(SpliceRawImageBlock(f.path, f.offset, f.OldBytes(), 128, 128, 1, pixels.data(), pixels.size(),
                                         f.shape));
    }
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{WriteError(f.path)}));
    EXPECT_EQ(ReadFileBytes(f.path), f.builder.Bytes());
    EXPECT_EQ(FilesIn(f.dir.Path()), 1u);   // no half-written new version left behind
}

TEST(StampAlpha, ChangesExactlyTheAlphaBytesInPlace)
{
    {
        ModelFile f(2, 2, 2);
        ScriptedUi ui;
        const std::vector<uint8_t> before = ReadFileBytes(f.path);
        ASSERT_TRUE(StampAlpha(f.path, f.offset, 16, 128, f.shape));
        EXPECT_TRUE(ui.Texts().empty());
        std::vector<uint8_t> expected = before;
        for (uint64_t k = 0; k < 4; ++k)
            expected[f.offset + 15 + 4 * k] = 128;
        EXPECT_EQ(ReadFileBytes(f.path), expected);
    }
    // A texture larger than one buffered piece: width x height bytes change, nothing else.
    ModelFile f(700, 500, 2);
    ScriptedUi ui;
    const std::vector<uint8_t> before = ReadFileBytes(f.path);
    ASSERT_TRUE(StampAlpha(f.path, f.offset, f.OldBytes(), 0xA5, f.shape));
    const std::vector<uint8_t> after = ReadFileBytes(f.path);
    ASSERT_EQ(after.size(), before.size());
    size_t changed = 0, stamped = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        const bool alpha = i >= f.offset + 12 && i < f.offset + 12 + f.OldBytes() && (i - f.offset - 15) % 4 == 0;
        if (alpha) {
            stamped += after[i] == 0xA5;
            changed += before[i] != 0xA5;
        } else {
            EXPECT_EQ(after[i], before[i]) << i;
        }
    }
    EXPECT_EQ(stamped, 700u * 500u);
    EXPECT_GT(changed, 0u);
}

TEST(StampAlpha, RefusesWhatItMustNotWrite)
{
    struct Case {
        const char* what;
        uint32_t width, height, format;
        RawTextureShape expected;
        void (*prepare)(ModelFile&);
    } cases[] = {
        {"read-only file", 4, 4, 2, {4, 4, 2}, [](ModelFile& f) { ::chmod(f.path.c_str(), 0444); }},
        {"an RGB texture", 4, 4, 1, {4, 4, 1}, [](ModelFile&) {}},
        {"the file holds other fields now", 4, 4, 2, {4, 3, 2}, [](ModelFile&) {}},
        {"the file became shorter",
         4, 4, 2, {4, 4, 2}, [](ModelFile& f) { std::filesystem::resize_file(f.path, f.offset + 20); }},
        {"missing file", 4, 4, 2, {4, 4, 2}, [](ModelFile& f) { std::filesystem::remove(f.path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFile f(c.width, c.height, c.format);
        c.prepare(f);
        const std::vector<uint8_t> before = FileExists(f.path) ? ReadFileBytes(f.path) : std::vector<uint8_t>{};
        ScriptedUi ui;
        EXPECT_FALSE(StampAlpha(f.path, f.offset, *c.expected.PixelBytes(), 1, c.expected));
        EXPECT_EQ(ui.Texts(), (std::vector<std::string>{WriteError(f.path)}));
        EXPECT_EQ(FileExists(f.path) ? ReadFileBytes(f.path) : std::vector<uint8_t>{}, before);
    }
}

namespace {

struct BmzFiles {
    TempDir dir;
    std::string target = dir.File("image.bmz");
    std::string bitmap = dir.File("temp.dbp");
    std::string scratch = dir.File("temp.dbz");
    std::vector<uint8_t> bitmapBytes = NifBuilder::PatternPixels(300, 200, 1);

    BmzFiles() { WriteFileBytes(bitmap, bitmapBytes); }

    // The stream of the target, expanded again.
    std::vector<uint8_t> Expanded()
    {
        CZlibFileCodec codec;
        EXPECT_EQ(codec.DecompressFile(target, dir.File("check")), 0);
        return ReadFileBytes(dir.File("check"));
    }
};

}  // namespace

TEST(WriteCompressedBitmapFile, WritesHeaderAndStreamKeepingTheOldValue)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> old;   // empty: no old file
        bool exists;
        uint16_t value;
    } cases[] = {
        {"longer old file keeps its value", std::vector<uint8_t>(41, 0x00), true, 0},
        {"forty bytes get 1", std::vector<uint8_t>(40, 0x7F), true, 1},
        {"no old file gets 1", {}, false, 1},
    };
    cases[0].old[4] = 0x34;
    cases[0].old[5] = 0x12;
    cases[0].value = 0x1234;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmzFiles f;
        if (c.exists)
            WriteFileBytes(f.target, c.old);
        ScriptedUi ui;
        ASSERT_TRUE(WriteCompressedBitmapFile(f.target, f.bitmap, f.scratch, 0xCAFE01));
        EXPECT_TRUE(ui.Texts().empty());
        const std::vector<uint8_t> bmz = ReadFileBytes(f.target);
        ASSERT_GT(bmz.size(), 40u);
        EXPECT_EQ(std::vector<uint8_t>(bmz.begin(), bmz.begin() + 6),
                  (std::vector<uint8_t>{0x01, 0xFE, 0xCA, 0x00, static_cast<uint8_t>(c.value),
                                        static_cast<uint8_t>(c.value >> 8)}));
        EXPECT_EQ(std::vector<uint8_t>(bmz.begin() + 6, bmz.begin() + 40), std::vector<uint8_t>(34, 0));
        std::vector<uint8_t> stream(bmz.begin() + 40, bmz.end());
        EXPECT_EQ(stream, ReadFileBytes(f.scratch));   // the scratch file stays for the document
        EXPECT_EQ(f.Expanded(), f.bitmapBytes);
    }
}

TEST(WriteCompressedBitmapFile, AnyFailureLeavesTheOldFileWhole)
{
    struct Case {
        const char* what;
        void (*prepare)(BmzFiles&);
    } cases[] = {
        {"the bitmap cannot be compressed", [](BmzFiles& f) { std::filesystem::remove(f.bitmap); }},
        {"the scratch file cannot be made", [](BmzFiles& f) { f.scratch = f.dir.File("no/such/temp.dbz"); }},
        {"read-only target", [](BmzFiles& f) { ::chmod(f.target.c_str(), 0444); }},
        {"read-only folder", [](BmzFiles& f) {
             f.scratch = "/tmp/tavrel-writer-test-" + std::to_string(::getpid()) + ".dbz";
             ::chmod(f.dir.Path().c_str(), 0555);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmzFiles f;
        std::vector<uint8_t> old(100, 0x42);
        WriteFileBytes(f.target, old);
        c.prepare(f);
        ScriptedUi ui;
        EXPECT_FALSE(WriteCompressedBitmapFile(f.target, f.bitmap, f.scratch, 1234));
        EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Unable to create .bmz file"}));
        EXPECT_EQ(ReadFileBytes(f.target), old);
        ::chmod(f.dir.Path().c_str(), 0755);
        if (f.scratch.rfind("/tmp/tavrel-writer-test-", 0) == 0)
            std::filesystem::remove(f.scratch);
    }
}

TEST(WriteCompressedBitmapFile, AWriteThatFailsPartWayLeavesTheOldFile)
{
    BmzFiles f;
    f.bitmapBytes.resize(3'000'000);
    for (size_t i = 0; i < f.bitmapBytes.size(); ++i)
        f.bitmapBytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);   // hardly compressible
    WriteFileBytes(f.bitmap, f.bitmapBytes);
    ASSERT_EQ(CZlibFileCodec().CompressFile(f.bitmap, f.scratch, 6), 0);
    const std::vector<uint8_t> old(50, 0x42);
    WriteFileBytes(f.target, old);
    ScriptedUi ui;
    {
        // The scratch stream may be written whole; the new .bmz may not.
        FileSizeLimit full(ReadFileBytes(f.scratch).size() + 10);
        EXPECT_FALSE(WriteCompressedBitmapFile(f.target, f.bitmap, f.scratch, 1));
    }
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Unable to create .bmz file"}));
    EXPECT_EQ(ReadFileBytes(f.target), old);
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
