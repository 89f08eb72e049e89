// Compressed bitmaps in memory: every kind of bitmap round trips through a
// ".bmz", and streams that are cut, damaged or longer than they declare are refused.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/BmzCodec.h"
#include "image/DeflateJoin.h"
#include "doc/ShownRead.h"
#include "image/DibImage.h"
#include "nif/TextureWriter.h"
#include "platform/ImageLimits.h"
#include "platform/MappedFile.h"

namespace {

using Texts = std::vector<std::string>;

// What a record holds: its shape, its table and its rows.
std::vector<uint8_t> Contents(const CDibImage& image)
{
    EXPECT_NE(image.GetBitmapInfo(), nullptr);
    if (!image.GetBitmapInfo())
        return {};
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.GetBitmapInfo()) % 16, 0u);  // as aligned as any block
    std::vector<uint8_t> bytes = NifBuilder()
                                     .U32(uint32_t(image.GetWidth()))
                                     .U32(uint32_t(image.GetHeight()))
                                     .U32(image.GetBitCount())
                                     .U32(image.GetFileSize())
                                     .Bytes();
    const auto* table = reinterpret_cast<const uint8_t*>(image.GetColorTable());
    bytes.insert(bytes.end(), table, table + image.GetColorTableBytes());
    bytes.insert(
        bytes.end(), image.GetBits(), image.GetBits() + uint64_t{image.GetStride()} * uint32_t(image.GetHeight()));
    return bytes;
}

}  // namespace

// Bitmaps laid out as the record is (read in place) and not (padded, short palettes, top-down, a gap before
// the pixels): a ".bmz" made by zlib and one this program writes both read to the
// record that the bitmap file itself reads to.
TEST(BmzCodec, EveryKindOfBitmapRoundTripsThroughACompressedBitmap)
{
    TempDir dir;
    const struct {
        const char* name;
        BmpFileParts parts;
    } cases[] = {
        {"24 bits, padded rows", {.width = 7, .height = 5, .pixels = NifBuilder::PatternPixels(8, 5, 1)}},
        {"24 bits, top-down", {.width = 4, .height = -3, .pixels = NifBuilder::PatternPixels(4, 3, 1)}},
        {"8 bits, two palette entries, a gap",
            {.width = 4,
                .height = 2,
                .bitCount = 8,
                .clrUsed = 2,
                .palette = {{1, 2, 3, 4}, {5, 6, 7, 8}},
                .pixels = {0, 1, 1, 0, 1, 0, 0, 1},
                .gap = 6}},
        {"1 bit, full palette",
            {.width = 8,
                .height = 1,
                .bitCount = 1,
                .palette = {{0, 0, 0, 0}, {255, 255, 255, 0}},
                .pixels = {0xA5, 0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        const std::string bmp = dir.File("in.bmp"), bmz = dir.File("in.bmz");
        WriteFileBytes(bmp, BuildBmp(c.parts));
        const CDibImage original(bmp, FileKind::Bmp);
        WriteFileBytes(bmz, BuildBmz(BuildBmp(c.parts)));
        EXPECT_EQ(Contents(CDibImage(bmz, FileKind::Bmz, 0)), Contents(original));
        ASSERT_NO_THROW(WriteCompressedBitmapFile(bmz, original));
        EXPECT_EQ(Contents(CDibImage(bmz, FileKind::Bmz, 0)), Contents(original));
        EXPECT_EQ(ui.Texts(), Texts{});
    }
}

// The header's size bounds what the stream may inflate to (none is declared by zeros); the bitmap's own headers
// bound it too. A stream that is cut, damaged or longer than declared is refused with the system's text, as is a
// bitmap larger than the limits; list's look at the headers alone agrees where it can tell.
TEST(BmzCodec, CutDamagedOrOversizedStreamsAreRefused)
{
    TempDir dir;
    const auto bitmap = [](int32_t width, int32_t height, size_t extra) {
        std::vector<uint8_t> bmp = BuildBmp({.width = 4, .height = 4, .pixels = std::vector<uint8_t>(48)});
        std::memcpy(&bmp[18], &width, 4);
        std::memcpy(&bmp[22], &height, 4);
        bmp.resize(bmp.size() + extra, 0);
        return bmp;
    };
    std::vector<uint8_t> big = bitmap(1024, 1024, 1024 * 1024 * 3 - 48);
    for (size_t i = 54, n = 1; i < big.size(); ++i, n = n * 1103515245u + 12345u)
        big[i] = uint8_t(n >> 24);  // noise: the stream is about as long as the bitmap
    const auto declaring = [](uint32_t size, const std::vector<uint8_t>& bmp) {
        return BuildBmz(bmp, NifBuilder().U32(size).Bytes());
    };
    std::vector<uint8_t> cut = BuildBmz(big);
    cut.resize(cut.size() / 2);
    std::vector<uint8_t> damaged = BuildBmz(big);
    damaged.back() ^= 1;  // the checksum
    const std::string kError = "Error decompressing file";
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        std::string text;  // empty: the image opens
        BmzResult start;
    } cases[] = {
        {"declares its size", declaring(uint32_t(big.size()), big), "", BmzResult::kOk},
        {"declares more than it holds", declaring(0xFFFFFFFF, big), "", BmzResult::kOk},
        {"declares less than it inflates to", declaring(100, big), kError, BmzResult::kOk},
        {"cut after its headers", cut, kError, BmzResult::kOk},
        {"bad checksum", damaged, kError, BmzResult::kOk},
        {"4 x 4 followed by 64 MiB", BuildBmz(bitmap(4, 4, 64 << 20)), kError, BmzResult::kOk},
        {"wider than the limits", BuildBmz(bitmap(int32_t(GetImageLimits().nMaxSide + 1), 1, 0)),
            "The image is too large to open.\nFile: " + dir.File("x.bmz"), BmzResult::kTooLarge},
        {"more than its stream can hold", BuildBmz(bitmap(16000, 16000, 0)), kError, BmzResult::kDamaged},
        {"not a bitmap", BuildBmz(std::vector<uint8_t>(4096, 'x')), kError, BmzResult::kDamaged},
        {"headers cut", NifBuilder().Filler(40, 0).Raw({0x78, 0x9C, 0x73, 0xF2}).Bytes(), kError, BmzResult::kCutShort},
        {"shorter than the header", std::vector<uint8_t>(12, 0), kError, BmzResult::kCutShort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("x.bmz");
        WriteFileBytes(path, c.file);
        ScriptedUi ui;
        const auto record = ReadShown(path, FileKind::Bmz);
        const CDibImage& image = *record;
        EXPECT_EQ(ui.Texts(), c.text.empty() ? Texts{} : Texts{c.text});
        EXPECT_EQ(image.GetBitmapInfo() != nullptr, c.text.empty());
        BitmapStreamStart start;
        EXPECT_EQ(InflateBitmapStart(path, 100, start), c.start);
        if (c.start == BmzResult::kOk) {
            EXPECT_EQ(
                std::tuple(start.bytes.size(), start.bytes[0], start.bytes[1]), std::tuple(size_t{100}, 'B', 'M'));
        }
    }
    BitmapStreamStart start;
    EXPECT_EQ(InflateBitmapStart(dir.File("missing"), 100, start), BmzResult::kUnreadable);
    EXPECT_EQ(start.reason, "No such file or directory");
}

// A stream far longer than its header declares is refused after writing no more than the header allows.
TEST(BmzCodec, InflatingStopsAtTheDeclaredSize)
{
    std::vector<uint8_t> bmz = BuildBmz(std::vector<uint8_t>(8 << 20, 'x'));
    std::vector<uint8_t> out(100 + 16, 0xEE);
    uint64_t produced = 0;
    EXPECT_EQ(InflateBmzStream(bmz.data(), bmz.size(), out.data(), 100, produced), BmzResult::kDamaged);
    EXPECT_EQ(std::count(out.begin() + 100, out.end(), 0xEE), 16);  // nothing past the declared size
}

// A mapped file that another program cuts short under the reader reads as damaged: the pages it lost
// raise SIGBUS, which must not end the process.
TEST(BmzCodec, AMappedFileCutShortUnderTheReaderReadsAsDamaged)
{
    TempDir dir;
    std::vector<uint8_t> noise(1 << 20);
    for (size_t i = 0, n = 1; i < noise.size(); ++i, n = n * 1103515245u + 12345u)
        noise[i] = uint8_t(n >> 24);
    const std::string path = dir.File("x.bmz");
    WriteFileBytes(path, BuildBmz(noise));
    CMappedFile mapped;
    ASSERT_TRUE(mapped.Map(path, UINT64_MAX));
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    std::vector<uint8_t> out(noise.size());
    uint64_t produced = 0;
    EXPECT_EQ(InflateBmzStream(mapped.Data(), mapped.Size(), out.data(), out.size(), produced), BmzResult::kDamaged);
}

// Raw deflate streams made apart, the first made joinable, inflate as one stream: stored, fixed and
// dynamic blocks, of many lengths, so that the first stream ends at every bit position of a byte.
TEST(DeflateJoin, StreamsMadeApartInflateAsOne)
{
    std::vector<uint8_t> data(72000);
    for (uint32_t i = 0, n = 1; i < data.size(); ++i) {
        n = n * 1103515245u + 12345u;
        data[i] = i % 3000 < 1500 ? uint8_t(i / 7) : uint8_t(n >> 24);  // runs and noise
    }
    const auto deflateRaw = [&](size_t from, size_t size, int level) {
        libdeflate_compressor* c = libdeflate_alloc_compressor(level);
        std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, size));
        out.resize(libdeflate_deflate_compress(c, data.data() + from, size, out.data(), out.size()));
        libdeflate_free_compressor(c);
        return out;
    };
    std::vector<size_t> sizes = {100, 999, 5000, 70000};
    for (size_t size = 0; size < 64; ++size)
        sizes.push_back(size);
    for (int level : {0, 1, 6, 12}) {
        for (size_t size : sizes) {
            SCOPED_TRACE(std::to_string(level) + ", " + std::to_string(size));
            std::vector<uint8_t> joined = deflateRaw(0, size, level);
            ASSERT_TRUE(MakeDeflateJoinable(joined));
            const std::vector<uint8_t> tail = deflateRaw(size, 777, level);
            joined.insert(joined.end(), tail.begin(), tail.end());
            std::vector<uint8_t> inflated(size + 777 + 1);
            z_stream z{};
            ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
            z.next_in = joined.data();
            z.avail_in = uInt(joined.size());
            z.next_out = inflated.data();
            z.avail_out = uInt(inflated.size());
            EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
            EXPECT_EQ(z.avail_in, 0u);
            inflated.resize(z.total_out);
            inflateEnd(&z);
            EXPECT_TRUE(std::equal(inflated.begin(), inflated.end(), data.begin(), data.begin() + long(size + 777)));
            EXPECT_EQ(inflated.size(), size + 777);
        }
    }
}
