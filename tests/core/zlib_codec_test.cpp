// The file-to-file zlib codec: results, bytes, percentages and its files.
#include <gtest/gtest.h>
#include <malloc.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "image/ZlibFileCodec.h"
#include "platform/File.h"

namespace {

// Records what the codec reports, and can stop it after a number of steps.
class RecordingCodec : public CZlibFileCodec {
public:
    void OnProgress(int percent) override
    {
        m_progress.push_back(percent);
        if (m_nAbortAfter > 0 && static_cast<int>(m_progress.size()) >= m_nAbortAfter)
            m_bUserAbort = 1;
        struct mallinfo2 info = mallinfo2();
        m_nPeakHeap = std::max<size_t>(m_nPeakHeap, info.uordblks + info.hblkhd);
    }
    void OnStatus(const char* text) override { m_status.push_back(text); }

    std::vector<int> m_progress;
    std::vector<std::string> m_status;
    int m_nAbortAfter = 0;
    size_t m_nPeakHeap = 0;
};

std::vector<uint8_t> SomeBytes(size_t count, uint32_t seed = 1)
{
    // Compressible but not trivial: runs and noise.
    std::vector<uint8_t> bytes(count);
    uint32_t x = seed;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = (i / 64) % 3 == 0 ? static_cast<uint8_t>(x >> 24) : static_cast<uint8_t>(i / 97);
    }
    return bytes;
}

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& stream, size_t expected)
{
    std::vector<uint8_t> out(expected + 1);
    uLongf size = out.size();
    EXPECT_EQ(uncompress(out.data(), &size, stream.data(), stream.size()), Z_OK);
    out.resize(size);
    return out;
}

// A ".bmz" file: 40 header bytes, then the stream.
std::vector<uint8_t> WithHeader(const std::vector<uint8_t>& stream, uint8_t headerByte = 0)
{
    std::vector<uint8_t> file(kBmzHeaderSize + stream.size(), headerByte);
    std::copy(stream.begin(), stream.end(), file.begin() + kBmzHeaderSize);
    return file;
}

std::vector<uint8_t> Damaged(std::vector<uint8_t> bytes, size_t at)
{
    bytes.at(at) ^= 0x5A;
    return bytes;
}

struct CodecFiles {
    TempDir dir;
    std::string source = dir.File("source.bmp");
    std::string stream = dir.File("temp.dbz");
    std::string bmz = dir.File("image.bmz");
    std::string output = dir.File("temp.dbp");
};

}  // namespace

TEST(ZlibCodec, EmptySourceGivesTheEightByteStreamAndFullProgress)
{
    CodecFiles f;
    WriteFileBytes(f.source, {});
    RecordingCodec codec;
    EXPECT_EQ(codec.CompressFile(f.source, f.stream, 6), 0);
    EXPECT_EQ(ReadFileBytes(f.stream), (std::vector<uint8_t>{0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
    ASSERT_FALSE(codec.m_progress.empty());
    EXPECT_EQ(codec.m_progress.back(), 100);
    EXPECT_EQ(codec.m_status, (std::vector<std::string>{"Success"}));

    // And it expands back to nothing.
    WriteFileBytes(f.bmz, WithHeader(ReadFileBytes(f.stream)));
    RecordingCodec back;
    EXPECT_EQ(back.DecompressFile(f.bmz, f.output), 0);
    EXPECT_TRUE(ReadFileBytes(f.output).empty());
}

TEST(ZlibCodec, RoundTripsThroughTheBmzLayoutForEverySizeAroundAStep)
{
    const size_t step = CZlibFileCodec::kStep;
    for (size_t size : {size_t{1}, size_t{4095}, step - 1, step, step + 1, 3 * step + 17, size_t{700000}}) {
        SCOPED_TRACE(size);
        CodecFiles f;
        const std::vector<uint8_t> original = SomeBytes(size, static_cast<uint32_t>(size));
        WriteFileBytes(f.source, original);
        RecordingCodec compress;
        ASSERT_EQ(compress.CompressFile(f.source, f.stream, 6), 0);
        const std::vector<uint8_t> stream = ReadFileBytes(f.stream);
        // A bare zlib stream that any inflater reads back.
        EXPECT_EQ(Inflate(stream, size), original);
        EXPECT_EQ(compress.m_progress.back(), 100);

        // The header's 40 bytes are not looked at, whatever they hold.
        for (uint8_t headerByte : {uint8_t{0}, uint8_t{0xFF}}) {
            WriteFileBytes(f.bmz, WithHeader(stream, headerByte));
            RecordingCodec decompress;
            ASSERT_EQ(decompress.DecompressFile(f.bmz, f.output), 0);
            EXPECT_EQ(ReadFileBytes(f.output), original);
            EXPECT_EQ(decompress.m_status, (std::vector<std::string>{"Success"}));
            EXPECT_EQ(decompress.m_progress.back(), 100);
        }
    }
}

TEST(ZlibCodec, CutAndDamagedStreamsGiveZlibsResults)
{
    CodecFiles f;
    WriteFileBytes(f.source, SomeBytes(200000));
    ASSERT_EQ(RecordingCodec().CompressFile(f.source, f.stream, 6), 0);
    const std::vector<uint8_t> stream = ReadFileBytes(f.stream);
    ASSERT_GT(stream.size(), 100u);

    const std::vector<uint8_t> badCheck = Damaged(stream, stream.size() - 1);   // Adler-32 trailer
    const std::vector<uint8_t> badHeader = Damaged(stream, 0);                  // not a zlib header
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        int result;
    } cases[] = {
        {"stream cut in half", WithHeader({stream.begin(), stream.begin() + stream.size() / 2}), Z_BUF_ERROR},
        {"trailer cut off", WithHeader({stream.begin(), stream.end() - 4}), Z_BUF_ERROR},
        {"header only", std::vector<uint8_t>(40, 0), Z_BUF_ERROR},
        {"shorter than the header", std::vector<uint8_t>(12, 0), Z_BUF_ERROR},
        {"damaged check value", WithHeader(badCheck), Z_DATA_ERROR},
        {"damaged stream header", WithHeader(badHeader), Z_DATA_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(f.bmz, c.file);
        RecordingCodec codec;
        EXPECT_EQ(codec.DecompressFile(f.bmz, f.output), c.result);
        EXPECT_EQ(codec.m_status, (std::vector<std::string>{"Zlib Error"}));
    }
}

TEST(ZlibCodec, PercentageFollowsTheLengthRule)
{
    struct Case {
        int64_t length;
        uLong consumed;
        int percent;
    } cases[] = {
        {0, 0, 100},
        {1000, 333, 33},
        {10000000, 9999999, 99},          // at the limit: multiplied first
        {50000000, 1000000, 2},           // above it: the length is divided by 100 first
        {10000001, 10000001, 100},
        {10000099, 5000000, 50},          // 5000000 / 100000 (the rounded-down hundredth)
    };
    for (const Case& c : cases) {
        RecordingCodec codec;
        codec.m_nInLength = c.length;
        codec.total_in = c.consumed;
        EXPECT_EQ(codec.ProgressPercent(), c.percent) << c.length << " " << c.consumed;
    }
}

TEST(ZlibCodec, ReportsProgressToTheShellAndLetsItPump)
{
    ScriptedUi ui;
    CodecFiles f;
    WriteFileBytes(f.source, SomeBytes(5 * CZlibFileCodec::kStep));
    RecordingCodec codec;
    ASSERT_EQ(codec.CompressFile(f.source, f.stream, 6), 0);
    EXPECT_GE(ui.m_nPumps, 1);
    ASSERT_GE(ui.m_progress.size(), 2u);
    EXPECT_EQ(ui.m_progress.back(), -1);   // ended
    EXPECT_EQ(ui.m_progress[ui.m_progress.size() - 2], 100);
    for (size_t i = 1; i + 1 < ui.m_progress.size(); ++i)
        EXPECT_LT(ui.m_progress[i - 1], ui.m_progress[i]);   // each value once, rising
    for (size_t i = 1; i < codec.m_progress.size(); ++i)
        EXPECT_LE(codec.m_progress[i - 1], codec.m_progress[i]);
    EXPECT_TRUE(ui.m_messages.empty());     // the codec shows nothing itself
}

TEST(ZlibCodec, UserAbortStopsWithMinusSeven)
{
    CodecFiles f;
    WriteFileBytes(f.source, SomeBytes(6 * CZlibFileCodec::kStep));
    RecordingCodec codec;
    codec.m_nAbortAfter = 2;
    EXPECT_EQ(codec.CompressFile(f.source, f.stream, 6), -7);
    EXPECT_EQ(codec.m_status, (std::vector<std::string>{"User Abort"}));
    // The flag is cleared at the start of the next operation.
    codec.m_nAbortAfter = 0;
    EXPECT_EQ(codec.CompressFile(f.source, f.stream, 6), 0);
}

TEST(ZlibCodec, FilesThatCannotBeOpenedGiveMinusOneAndLeaveTheDestination)
{
    CodecFiles f;
    WriteFileBytes(f.source, SomeBytes(1000));
    // A source that is not there: no destination appears, an old one keeps its bytes.
    EXPECT_EQ(RecordingCodec().CompressFile(f.dir.File("missing"), f.stream, 6), -1);
    EXPECT_FALSE(FileExists(f.stream));
    WriteFileBytes(f.output, {1, 2, 3});
    EXPECT_EQ(RecordingCodec().DecompressFile(f.dir.File("missing"), f.output), -1);
    EXPECT_EQ(ReadFileBytes(f.output), (std::vector<uint8_t>{1, 2, 3}));
    // A destination that cannot be created.
    EXPECT_EQ(RecordingCodec().CompressFile(f.source, f.dir.File("no/such/folder"), 6), -1);
    // A destination that is the source itself is not emptied.
    EXPECT_EQ(RecordingCodec().CompressFile(f.source, f.source, 6), -1);
    EXPECT_EQ(ReadFileBytes(f.source), SomeBytes(1000));
}

TEST(ZlibCodec, ShortWriteGivesMinusOne)
{
    if (!FileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    CodecFiles f;
    WriteFileBytes(f.source, SomeBytes(3 * CZlibFileCodec::kStep));
    RecordingCodec codec;
    EXPECT_EQ(codec.CompressFile(f.source, "/dev/full", 6), -1);
    EXPECT_EQ(codec.m_status, (std::vector<std::string>{"Zlib Error"}));
}

#if !defined(__SANITIZE_ADDRESS__)
namespace {

// Heap in use at the codec's busiest, above what was in use before it started.
size_t PeakHeapGrowth(bool compress, const std::vector<uint8_t>& source)
{
    CodecFiles f;
    WriteFileBytes(f.source, source);
    if (!compress) {
        EXPECT_EQ(RecordingCodec().CompressFile(f.source, f.stream, 6), 0);
        WriteFileBytes(f.bmz, WithHeader(ReadFileBytes(f.stream)));
    }
    const struct mallinfo2 before = mallinfo2();
    const size_t baseline = before.uordblks + before.hblkhd;
    RecordingCodec codec;
    EXPECT_EQ(compress ? codec.CompressFile(f.source, f.stream, 6) : codec.DecompressFile(f.bmz, f.output), 0);
    return codec.m_nPeakHeap - baseline;
}

}  // namespace

TEST(ZlibCodec, MemoryStaysConstantWhateverTheFileSize)
{
    for (bool compress : {true, false}) {
        SCOPED_TRACE(compress ? "compress" : "decompress");
        const size_t small = PeakHeapGrowth(compress, SomeBytes(3 * CZlibFileCodec::kStep));
        const size_t large = PeakHeapGrowth(compress, SomeBytes(16 * 1024 * 1024));
        // The two step buffers and zlib's own state, the same for both sizes.
        EXPECT_LT(large, 2 * CZlibFileCodec::kStep + 1024 * 1024);
        EXPECT_LE(large, small + 64 * 1024);
    }
}
#endif
