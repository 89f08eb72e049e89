// BMP to PNG of 8192 × 8192 (64 megapixel) 24-bit images, smooth and grainy:
// the tool's writer (on every thread and on one) against libpng at its default
// settings writing the same rows (the peer here; no other PNG writer on the
// build machine), and against the floor: libdeflate compressing the same
// filtered bytes in one call, on one thread. Goals: no slower than the peer,
// at an output no larger. Sizes are counters (bytes); the read of the BMP is
// timed apart, so the writers compare alone. The whole conversion by the
// command-line tool runs as a child, for its peak memory per pixel (goal: at
// most 1.3 times the image's 3 bytes per pixel).
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <png.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "image/DibImage.h"
#include "image/PngEncoder.h"
#include "image/PngRowFilter.h"
#include "platform/File.h"

namespace {

constexpr int32_t kSide = 8192;
std::string g_dir;
std::string g_smooth;
std::string g_grainy;

// Two pictures. Smooth: overlapping soft waves and gradients, as a painted
// texture or a sky. Grainy: gradients and soft bands with 2 bits of random
// noise in every pixel, as a photograph from a noisy sensor.
void WriteBmp(const std::string& path, bool grainy)
{
    const std::unique_ptr<CDibImage> blank = CDibImage::CreateBlank24(kSide, kSide);
    CDibImage& image = *blank;
    uint32_t n = 7;
    for (int32_t y = 0; y < kSide; ++y) {
        uint8_t* p = image.GetBits() + size_t(y) * image.GetStride();
        for (int32_t x = 0; x < kSide; ++x, p += 3) {
            if (grainy) {
                n = n * 1103515245u + 12345u;
                const uint32_t noise = n >> 30;
                p[0] = uint8_t(x / 16 + noise);
                p[1] = uint8_t((y / 16) ^ ((x / 256 + y / 256) & 1 ? 0x30 : 0));
                p[2] = uint8_t((x + y) / 32 + (noise & 1));
            } else {
                const double wave =
                    60 * std::sin(x * 0.011) + 50 * std::sin(y * 0.007 + 1) + 30 * std::sin((x + y) * 0.019);
                p[0] = uint8_t(128 + wave * 0.8);
                p[1] = uint8_t(96 + wave * 0.5 + y / 64);
                p[2] = uint8_t(64 + wave * 0.3 + x / 48);
            }
        }
    }
    image.WriteBmp(path);
}

void WriteWithLibpng(const CDibImage& image, const std::string& path)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        std::abort();
    png_init_io(png, out);
    png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_set_bgr(png);
    png_write_info(png, info);
    for (int32_t y = kSide - 1; y >= 0; --y)
        png_write_row(png, image.GetBits() + size_t(y) * image.GetStride());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
}

const std::string& Bmp(const benchmark::State& state)
{
    return state.range(0) ? g_grainy : g_smooth;
}

void BM_ReadBmp(benchmark::State& state)
{
    for (auto _ : state) {
        CDibImage image(Bmp(state), FileKind::Bmp);
        benchmark::DoNotOptimize(image.GetBits());
    }
}

// Arguments: the picture; the threads (0: one per hardware thread).
void BM_WritePngTavrel(benchmark::State& state)
{
    CDibImage image(Bmp(state), FileKind::Bmp);
    const std::string out = g_dir + "/tavrel.png";
    for (auto _ : state)
        image.WritePngFile(out, PngAlpha::Drop, {.nPngThreads = unsigned(state.range(1))});
    state.counters["bytes"] = double(std::filesystem::file_size(out));
}

void BM_WritePngLibpngDefaults(benchmark::State& state)
{
    CDibImage image(Bmp(state), FileKind::Bmp);
    const std::string out = g_dir + "/libpng.png";
    for (auto _ : state)
        WriteWithLibpng(image, out);
    state.counters["bytes"] = double(std::filesystem::file_size(out));
}

// The floor: the rows filtered as the writer filters them (not timed), then
// compressed by libdeflate at the writer's level in one call on one thread.
void BM_FloorLibdeflateOfFilteredRows(benchmark::State& state)
{
    CDibImage image(Bmp(state), FileKind::Bmp);
    const size_t rowBytes = size_t{kSide} * 3;
    std::vector<uint8_t> filtered((rowBytes + 1) * kSide);
    std::vector<uint8_t> prev(rowBytes), cur(rowBytes);
    CPngRowFilter filter(rowBytes, 3, true);
    for (int32_t y = 0; y < kSide; ++y) {
        const uint8_t* src = image.GetBits() + size_t(kSide - 1 - y) * image.GetStride();
        for (size_t x = 0; x < rowBytes; x += 3) {
            cur[x] = src[x + 2];
            cur[x + 1] = src[x + 1];
            cur[x + 2] = src[x];
        }
        filter.Filter(cur.data(), prev.data(), filtered.data() + size_t(y) * (rowBytes + 1));
        std::swap(prev, cur);
    }
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kPngDeflateLevel);
    std::vector<uint8_t> packed(libdeflate_zlib_compress_bound(compressor, filtered.size()));
    size_t size = 0;
    for (auto _ : state) {
        size = libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(), packed.data(), packed.size());
        benchmark::DoNotOptimize(packed.data());
    }
    libdeflate_free_compressor(compressor);
    state.counters["bytes"] = double(size);
}

// `tavrel-cli convert picture.bmp out.png` as a child: its peak memory. The
// child is started through /usr/bin/time, whose report is the tool's own: a
// child spawned straight from this process would be charged this process's
// peak (the kernel keeps the larger at exec).
void BM_ConvertPeakMemory(benchmark::State& state)
{
    const std::string out = g_dir + "/convert.png";
    const std::string report = g_dir + "/peak.txt";
    ChildRun run;
    for (auto _ : state) {
        run = RunChild({"/usr/bin/time", "-f", "%M", "-o", report, TAVREL_CLI_PATH, "convert", Bmp(state), out});
        if (!run.ok)
            state.SkipWithError("convert failed (or no /usr/bin/time)");
        state.SetIterationTime(run.wallSeconds);
    }
    double peakKiB = 0;
    if (FILE* f = std::fopen(report.c_str(), "r")) {
        if (std::fscanf(f, "%lf", &peakKiB) != 1)
            peakKiB = 0;
        std::fclose(f);
    }
    const double pixels = double(kSide) * kSide;
    state.counters["peakMiB"] = peakKiB / 1024.0;
    state.counters["peakBytesPerPixel"] = peakKiB * 1024.0 / pixels;
    state.counters["pixelBytesPerPixel"] = 3;
    state.counters["cpuSeconds"] = run.cpuSeconds;
    state.counters["bytes"] = double(std::filesystem::file_size(out));
}

// The cost of first touching a fresh 192 MiB block (an 8192² 24-bit record),
// with and without asking for huge pages.
void BM_TouchFreshBlock(benchmark::State& state)
{
    const size_t bytes = size_t{192} << 20;
    for (auto _ : state) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (state.range(0))
            madvise(p, bytes, MADV_HUGEPAGE);
        std::memset(p, 1, bytes);
        benchmark::DoNotOptimize(p);
        munmap(p, bytes);
    }
}

BENCHMARK(BM_ReadBmp)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WritePngTavrel)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_WritePngLibpngDefaults)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FloorLibdeflateOfFilteredRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ConvertPeakMemory)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TouchFreshBlock)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_dir = MakePrivateFolder("tavrel-bench-pngw-");
    if (g_dir.empty())
        return 1;
    g_smooth = g_dir + "/smooth.bmp";
    g_grainy = g_dir + "/grainy.bmp";
    WriteBmp(g_smooth, false);
    WriteBmp(g_grainy, true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(g_dir);
    return 0;
}
