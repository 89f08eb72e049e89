// Reading and writing a 4096 × 4096 24-bit BMP through the record, against
// one plain read (and one plain write) of the same bytes.
// Goal: reading within 1.5 times one plain read of the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "DibBuilder.h"
#include "image/DibImage.h"
#include "platform/File.h"

namespace {

constexpr int32_t kSide = 4096;

struct BenchFiles {
    std::string dir;
    std::string bmp;
    std::string topDown;
    std::string out;
    uint64_t bytes = 0;
};

BenchFiles* g_files = nullptr;

// A picture-like 24-bit bitmap: gradients with a little noise.
void WriteBitmap(const std::string& path, bool topDown)
{
    const std::unique_ptr<CDibImage> blank = DibBuilder::Blank(kSide, kSide, 24);
    CDibImage& image = *blank;
    uint32_t n = 1;
    for (int32_t y = 0; y < kSide; ++y) {
        uint8_t* row = image.GetBits() + uint64_t(y) * image.GetStride();
        for (int32_t x = 0; x < kSide; ++x) {
            n = n * 1103515245u + 12345u;
            row[3 * x + 0] = static_cast<uint8_t>(x / 16 + (n >> 29));
            row[3 * x + 1] = static_cast<uint8_t>(y / 16);
            row[3 * x + 2] = static_cast<uint8_t>((x ^ y) / 32);
        }
    }
    image.WriteBmp(path);
    if (topDown) {
        // The same pixels stored top row first: the reader turns them over.
        CFile file;
        file.Open(path, CFile::modeReadWrite);
        const int32_t height = -kSide;
        file.Seek(22, CFile::begin);
        file.Write(&height, 4);
    }
}

void ReadWholeFile(const std::string& path, benchmark::State& state)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[g_files->bytes]);
    size_t done = 0;
    while (done < g_files->bytes) {
        const ssize_t n = ::read(fd, buffer.get() + done, g_files->bytes - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != g_files->bytes)
        state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.get());
}

void BM_PlainReadOfTheFile(benchmark::State& state)
{
    for (auto _ : state)
        ReadWholeFile(g_files->bmp, state);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bytes));
}

void BM_ReadBmp(benchmark::State& state)
{
    const std::string& path = state.range(0) ? g_files->topDown : g_files->bmp;
    for (auto _ : state) {
        CDibImage image(path, FileKind::Bmp);
        if (!image.GetBitmapInfo())
            state.SkipWithError("the bitmap did not load");
        benchmark::DoNotOptimize(image.GetBits());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bytes));
}

void BM_PlainWriteOfTheFile(benchmark::State& state)
{
    CDibImage image(g_files->bmp, FileKind::Bmp);
    for (auto _ : state) {
        const int fd = ::open(g_files->out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t ok = ::write(fd, &image.GetFileHeader(), sizeof(BITMAPFILEHEADER));
        ok += ::write(fd, image.GetBitmapInfo(), image.GetFileSize() - sizeof(BITMAPFILEHEADER));
        ::fsync(fd);
        ::close(fd);
        if (ok != static_cast<ssize_t>(g_files->bytes))
            state.SkipWithError("short write");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bytes));
}

void BM_WriteBmp(benchmark::State& state)
{
    CDibImage image(g_files->bmp, FileKind::Bmp);
    for (auto _ : state)
        image.WriteBmp(g_files->out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bytes));
}

void BM_WriteTga(benchmark::State& state)
{
    CDibImage image(g_files->bmp, FileKind::Bmp);
    for (auto _ : state)
        image.WriteTga(g_files->out);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bytes));
}

BENCHMARK(BM_PlainReadOfTheFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadBmp)->Arg(0)->Arg(1)->ArgName("topDown")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainWriteOfTheFile)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WriteBmp)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WriteTga)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string pattern = MakePrivateFolder("tavrel-bench-bmp-");
    if (pattern.empty())
        return 1;
    BenchFiles files;
    files.dir = pattern;
    files.bmp = files.dir + "/big.bmp";
    files.topDown = files.dir + "/topdown.bmp";
    files.out = files.dir + "/out.bmp";
    WriteBitmap(files.bmp, false);
    WriteBitmap(files.topDown, true);
    files.bytes = std::filesystem::file_size(files.bmp);
    g_files = &files;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(files.dir);
    return 0;
}
