// The file-to-file zlib codec: results, bytes, progress, memory and its files.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/DeflateJoin.h"
#include "image/ZlibFileCodec.h"
#include "platform/ImageLimits.h"

namespace {

constexpr size_t kStep = CZlibFileCodec::kStep;

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Records the progress the codec reports and its peak heap. (Its status texts and user abort are
// shown and used by nothing.)
struct RecordingCodec : CZlibFileCodec {
    void OnProgress(int percent) override
    {
        m_progress.push_back(percent);
        m_nPeakHeap = std::max(m_nPeakHeap, HeapInUse());
    }

    std::vector<int> m_progress;
    size_t m_nPeakHeap = 0;
};

// A ".bmz" file: 40 header bytes, then the stream. The header is never read:
// 0xFF bytes there would spoil a stream read from the wrong place.
std::vector<uint8_t> WithHeader(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> file(kBmzHeaderSize + stream.size(), 0xFF);
    std::copy(stream.begin(), stream.end(), file.begin() + kBmzHeaderSize);
    return file;
}

struct CodecFiles {
    TempDir dir;
    std::string source = dir.File("source.bmp"), stream = dir.File("temp.dbz"), bmz = dir.File("image.bmz"),
                output = dir.File("temp.dbp");
};

}  // namespace

TEST(ZlibCodec, RoundTripsThroughTheBmzLayoutInConstantMemory)
{
    std::vector<size_t> growth;  // heap used by each codec above what was in use before it was made
    for (size_t size : {size_t{0}, size_t{1}, kStep, kStep + 1, 16 * kStep + 17}) {
        SCOPED_TRACE(size);
        CodecFiles f;
        ScriptedUi ui;
        std::vector<uint8_t> original = NifBuilder::PatternPixels(size, 1, 1, static_cast<uint8_t>(size));
        original.resize(size);
        WriteFileBytes(f.source, original);
        const size_t beforeCompress = HeapInUse();
        RecordingCodec compress;
        ASSERT_EQ(compress.CompressFile(f.source, f.stream, 6), 0);
        // A bare zlib stream that any inflater reads back.
        const std::vector<uint8_t> stream = ReadFileBytes(f.stream);
        std::vector<uint8_t> inflated(size + 1);
        uLongf inflatedSize = inflated.size();
        EXPECT_EQ(uncompress(inflated.data(), &inflatedSize, stream.data(), stream.size()), Z_OK);
        inflated.resize(inflatedSize);
        EXPECT_EQ(inflated, original);

        WriteFileBytes(f.bmz, WithHeader(stream));
        const size_t beforeDecompress = HeapInUse();
        RecordingCodec decompress;
        ASSERT_EQ(decompress.DecompressFile(f.bmz, f.output), 0);
        EXPECT_EQ(ReadFileBytes(f.output), original);
        growth.insert(growth.end(), {compress.m_nPeakHeap - beforeCompress, decompress.m_nPeakHeap - beforeDecompress});
        EXPECT_EQ(compress.m_progress.back() + decompress.m_progress.back(), 200);
        EXPECT_EQ(ui.m_progress.back(), -1);  // the shell's progress bar goes when a run ends
        EXPECT_GE(ui.m_nPumps, 2);
        EXPECT_TRUE(ui.m_messages.empty());  // the codec shows nothing itself
    }
#if !defined(__SANITIZE_ADDRESS__)
    // Two step buffers and zlib's own state, the same for two steps and for seventeen.
    for (size_t d : {0u, 1u}) {
        EXPECT_LT(growth.at(8 + d), 2 * kStep + 1024 * 1024) << d;
        EXPECT_LE(growth.at(8 + d), growth.at(6 + d) + 64 * 1024) << d;
    }
#endif
}

// Inflating stops at damage, at the end of the input and past the output limit; a compressed bitmap is
// judged by its headers as soon as they are out: one larger than the limits or than its stream can hold is
// refused before anything is written, and inflating stops once the output passes the declared size.
TEST(ZlibCodec, CutDamagedOrOversizedStreamsStopEarlyWithTheirResults)
{
    CodecFiles f;
    WriteFileBytes(f.source, std::vector<uint8_t>(3 * kStep, 0));
    ASSERT_EQ(CZlibFileCodec().CompressFile(f.source, f.stream, 6), 0);
    const auto stream = [](const std::vector<uint8_t>& data) { return BuildBmz(data, std::vector<uint8_t>(40, 0xFF)); };
    const auto bitmap = [](int32_t width, int32_t height, size_t extra) {
        std::vector<uint8_t> bmp = BuildBmp({.width = 4, .height = 4, .pixels = std::vector<uint8_t>(48)});
        std::memcpy(&bmp[18], &width, 4);
        std::memcpy(&bmp[22], &height, 4);
        bmp.resize(bmp.size() + extra, 0);
        return bmp;
    };
    std::vector<uint8_t> cut = stream(bitmap(512, 512, 512 * 512 * 3 - 48));
    cut.resize(cut.size() / 2);
    constexpr int kPlain = 1;  // not a bitmap stream: inflated up to one step at most
    // The result of inflating the whole stream, and of inflating only its start (its headers' verdict).
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        int result, startResult;
        size_t maxOutput;
    } cases[] = {
        // The stream of nothing (header, one empty block, Adler-32 checksum) cut or damaged.
        {"trailer cut off", WithHeader({0x78, 0x9C, 0x03, 0x00}), Z_BUF_ERROR, kPlain, 0},
        {"shorter than the header", std::vector<uint8_t>(12, 0), Z_BUF_ERROR, kPlain, 0},
        {"bad checksum", WithHeader({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x5B}), Z_DATA_ERROR, kPlain, 0},
        {"a small file that expands past the limit", WithHeader(ReadFileBytes(f.stream)), Z_DATA_ERROR, kPlain,
            2 * kStep},
        {"4 x 4 followed by 64 MiB", stream(bitmap(4, 4, 64 * kStep)), Z_DATA_ERROR, Z_OK, 2 * kStep},
        {"cut after its headers", cut, Z_BUF_ERROR, Z_OK, 512 * 512 * 3 + 54},
        {"wider than the limits", stream(bitmap(int32_t(GetImageLimits().nMaxSide + 1), 1, 0)), kCodecImageTooLarge,
            kCodecImageTooLarge, 0},
        {"more than its stream can hold", stream(bitmap(16000, 16000, 0)), Z_DATA_ERROR, Z_DATA_ERROR, 0},
        {"not a bitmap", stream(std::vector<uint8_t>(4 * kStep, 'x')), Z_DATA_ERROR, Z_DATA_ERROR, 0},
        {"headers cut", WithHeader({0x78, 0x9C, 0x73, 0xF2}), Z_BUF_ERROR, Z_BUF_ERROR, 54},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(f.bmz, c.file);
        RecordingCodec codec;
        codec.m_bBitmapStream = c.startResult != kPlain;
        if (!codec.m_bBitmapStream)
            codec.m_nOutputLimit = kStep;  // for the 4 GiB that no bitmap reaches
        EXPECT_EQ(codec.DecompressFile(f.bmz, f.output), c.result);
        EXPECT_LE(ReadFileBytes(f.output).size(), c.maxOutput);
        if (c.startResult == kPlain)
            continue;
        BitmapStreamStart start;
        EXPECT_EQ(InflateBitmapStart(f.bmz, 100, start), c.startResult);
        // As much as was asked for, from the stream's start.
        if (c.startResult == Z_OK) {
            EXPECT_EQ(
                std::tuple(start.bytes.size(), start.bytes[0], start.bytes[1]), std::tuple(size_t{100}, 'B', 'M'));
        }
    }
    BitmapStreamStart start;
    EXPECT_EQ(InflateBitmapStart(f.dir.File("missing"), 100, start), -1);
    EXPECT_EQ(start.reason, "No such file or directory");
    // Files that cannot be opened or written.
    WriteFileBytes(f.source, NifBuilder::PatternPixels(kStep, 1, 1));
    EXPECT_EQ(RecordingCodec().CompressFile(f.source, "/dev/full", 6), -1);  // a short write
    // A source that is not there leaves the destination as it was.
    WriteFileBytes(f.output, {1, 2, 3});
    EXPECT_EQ(RecordingCodec().DecompressFile(f.dir.File("missing"), f.output), -1);
    EXPECT_EQ(ReadFileBytes(f.output), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(RecordingCodec().CompressFile(f.source, f.dir.File("no/such/folder"), 6), -1);
    // A destination that is the source itself is not emptied.
    EXPECT_EQ(RecordingCodec().CompressFile(f.source, f.source, 6), -1);
    EXPECT_EQ(ReadFileBytes(f.source), NifBuilder::PatternPixels(kStep, 1, 1));
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
