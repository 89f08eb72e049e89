// Reading a 4096 × 4096 RGBA PNG into a record, against libpng's own
// simplified reader decoding the same file into memory; and writing the
// record back as a PNG.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/DibImage.h"
#include "platform/File.h"

namespace {

constexpr uint32_t kSide = 4096;

struct BenchFiles {
    std::string dir;
    std::string png;
    std::string out;
};

BenchFiles* g_files = nullptr;

// A picture-like RGBA image: gradients, a little noise, a varying alpha.
bool WriteRgbaPng(const std::string& path)
{
    std::vector<uint8_t> pixels(size_t{kSide} * kSide * 4);
    uint32_t n = 1;
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            n = n * 1103515245u + 12345u;
            uint8_t* p = pixels.data() + (size_t{y} * kSide + x) * 4;
            p[0] = static_cast<uint8_t>((x ^ y) / 32);
            p[1] = static_cast<uint8_t>(y / 16);
            p[2] = static_cast<uint8_t>(x / 16 + (n >> 29));
            p[3] = static_cast<uint8_t>(255 - x / 64);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kSide;
    image.height = kSide;
    image.format = PNG_FORMAT_RGBA;
    const bool ok = png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

void BM_LibpngSimplifiedRead(benchmark::State& state)
{
    std::vector<uint8_t> pixels(size_t{kSide} * kSide * 3);
    for (auto _ : state) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, g_files->png.c_str()))
            state.SkipWithError("begin read failed");
        image.format = PNG_FORMAT_BGR;
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
            state.SkipWithError("finish read failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}

void BM_ReadPng(benchmark::State& state)
{
    for (auto _ : state) {
        CDibImage image(g_files->png, FileKind::Png);
        if (!image.GetBitmapInfo())
            state.SkipWithError("the PNG did not load");
        benchmark::DoNotOptimize(image.GetBits());
    }
}

void BM_WritePng24(benchmark::State& state)
{
    CDibImage image(g_files->png, FileKind::Png);
    for (auto _ : state)
        image.WritePngFile(g_files->out);
}

BENCHMARK(BM_LibpngSimplifiedRead)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadPng)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WritePng24)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string pattern = MakePrivateFolder("tavrel-bench-png-");
    if (pattern.empty())
        return 1;
    BenchFiles files;
    files.dir = pattern;
    files.png = files.dir + "/big.png";
    files.out = files.dir + "/out.png";
    if (!WriteRgbaPng(files.png))
        return 1;
    g_files = &files;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(files.dir);
    return 0;
}
