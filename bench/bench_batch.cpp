// Whole-file work of the command-line tool on a generated 256 MiB model file
// of 221 textures, each figure beside its peer in the same run:
//  - list, against cat of the file (goal: at most 3 times cat);
//  - extract --all as PNG on 1 and 2 threads, against one process writing the
//    same textures in a loop with libpng at its defaults (goal: at most 0.35
//    times the loop, peak memory at most 96 MiB);
//  - extract --all as BMP, against cat;
//  - list of a 4096 x 4096 BMP, PNG and compressed bitmap, against cat of each.
// Each runs as a child process; time is wall time (manual time), with the
// child's processor time and peak memory as counters.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

namespace {

std::string g_self;
std::string g_dir;
std::string g_model;
// The single-image files: BMP, PNG and compressed bitmap.
std::string g_images[3];

struct Shape {
    uint32_t width, height, format;
};
// About 1.1 MiB a texture on average, as game textures are.
constexpr Shape kShapes[] = {{1024, 512, 2}, {512, 512, 1}, {512, 512, 2}, {1024, 256, 1}};
constexpr int kTextures = 221;

// Smooth pictures: gradients, soft bands and a little noise, different per texture.
void FillTexture(std::vector<uint8_t>& pixels, const Shape& s, int seed)
{
    const uint32_t bpp = s.format == 1 ? 3 : 4;
    pixels.resize(size_t{s.width} * s.height * bpp);
    uint32_t n = 12345u + uint32_t(seed);
    uint8_t* p = pixels.data();
    for (uint32_t y = 0; y < s.height; ++y) {
        for (uint32_t x = 0; x < s.width; ++x, p += bpp) {
            n = n * 1103515245u + 12345u;
            const uint32_t noise = n >> 30;
            p[0] = uint8_t((x * 255 / s.width + seed * 7) + noise);
            p[1] = uint8_t((y * 255 / s.height) ^ ((x / 64 + y / 64) & 1 ? 0x20 : 0));
            p[2] = uint8_t(((x + y) / 3 + seed) + (noise & 1));
            if (bpp == 4)
                p[3] = uint8_t(255 - y * 64 / s.height);
        }
    }
}

void WriteModelFile(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> pixels;
    const std::string other = "NodeRecord\x04\0\0\0NamedMesh\x10\0\0\0NestedProperty";
    for (int i = 0; i < kTextures; ++i) {
        const Shape& s = kShapes[i % 4];
        FillTexture(pixels, s, i);
        std::string block = "NiRawImageData" + std::string(12, '\x01');
        const uint32_t fields[3] = {s.width, s.height, s.format};
        block.append(reinterpret_cast<const char*>(fields), sizeof fields);
        std::fwrite(block.data(), 1, block.size(), f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        for (int k = 0; k < 400; ++k)
            std::fwrite(other.data(), 1, other.size(), f);
    }
    std::fclose(f);
}

// A 4096 x 4096 picture as a BMP, that BMP as a PNG (by the tool) and as a compressed bitmap.
bool WriteSingleImages()
{
    const Shape s{4096, 4096, 1};
    std::vector<uint8_t> bmp(54), pixels;
    FillTexture(pixels, s, 3);
    const uint32_t header[13] = {uint32_t(54 + pixels.size()), 0, 54, 40, s.width, s.height, 1 | 24 << 16, 0,
        uint32_t(pixels.size()), 0, 0, 0, 0};
    bmp[0] = 'B';
    bmp[1] = 'M';
    std::memcpy(&bmp[2], header, sizeof header);
    bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    uLongf packedSize = compressBound(bmp.size());
    std::vector<uint8_t> bmz(40 + packedSize, 0);
    if (compress2(&bmz[40], &packedSize, bmp.data(), bmp.size(), 6) != Z_OK)
        return false;
    bmz.resize(40 + packedSize);
    const std::string bmpPath = g_dir + "/image.bmp", bmzPath = g_dir + "/image.bmz";
    FILE* f = std::fopen(bmpPath.c_str(), "wb");
    FILE* g = std::fopen(bmzPath.c_str(), "wb");
    const bool written = f && g && std::fwrite(bmp.data(), 1, bmp.size(), f) == bmp.size() &&
        std::fwrite(bmz.data(), 1, bmz.size(), g) == bmz.size();
    if (f)
        std::fclose(f);
    if (g)
        std::fclose(g);
    return written && RunChild({TAVREL_CLI_PATH, "convert", bmpPath, g_dir + "/image.png"}).ok;
}

// One texture written by libpng at its default settings, without alpha (as the tool writes it).
bool WriteWithLibpng(const char* path, const uint8_t* pixels, const RawTextureShape& s, uint8_t* row)
{
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, s.width, s.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t bpp = s.BytesPerPixel();
    for (uint32_t y = 0; y < s.height; ++y) {
        const uint8_t* src = pixels + size_t{y} * s.width * bpp;
        for (uint32_t x = 0; x < s.width; ++x)
            std::memcpy(row + size_t{x} * 3, src + x * bpp, 3);
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

// The peer: one process, one texture after another.
int LibpngLoop(const std::string& model, const std::string& dir)
{
    std::filesystem::create_directories(dir);
    CFile file;
    if (!file.Open(model, CFile::modeRead))
        return 1;
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    ScanRawImageData(file, offsets, shapes);
    std::vector<uint8_t> pixels, row;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const RawTextureShape& s = shapes[i];
        pixels.resize(*s.PixelBytes());
        row.resize(size_t{s.width} * 3);
        file.Seek(int64_t(offsets[i] + kRawFieldBytes), CFile::begin);
        if (file.Read(pixels.data(), pixels.size()) != pixels.size())
            return 1;
        char name[64];
        std::snprintf(name, sizeof name, "/t-%03zu.png", i);
        if (!WriteWithLibpng((dir + name).c_str(), pixels.data(), s, row.data()))
            return 1;
    }
    return 0;
}

void Measure(benchmark::State& state, const std::vector<std::string>& args, const std::string& outDir = "")
{
    for (auto _ : state) {
        if (!outDir.empty())
            RemoveFolderTree(outDir);
        const ChildRun run = RunChild(args);
        if (!run.ok) {
            state.SkipWithError(("failed: " + args[0]).c_str());
            return;
        }
        state.SetIterationTime(run.wallSeconds);
        state.counters["cpu_s"] = run.cpuSeconds;
        state.counters["peak_MiB"] = run.peakMiB;
    }
    if (!outDir.empty())
        RemoveFolderTree(outDir);
}

void BM_Cat(benchmark::State& state)
{
    Measure(state, {"/bin/cat", g_model});
}
void BM_List(benchmark::State& state)
{
    Measure(state, {TAVREL_CLI_PATH, "list", g_model});
}
void BM_ExtractAllPng(benchmark::State& state)
{
    const std::string out = g_dir + "/png";
    Measure(state,
        {TAVREL_CLI_PATH, "extract", g_model, "--all", out, "--format", "png", "--jobs",
            std::to_string(state.range(0))},
        out);
}
void BM_LibpngLoop(benchmark::State& state)
{
    const std::string out = g_dir + "/peer";
    Measure(state, {g_self, "--libpng-loop", g_model, out}, out);
}
void BM_ExtractAllBmp(benchmark::State& state)
{
    const std::string out = g_dir + "/bmp";
    Measure(state,
        {TAVREL_CLI_PATH, "extract", g_model, "--all", out, "--format", "bmp", "--jobs",
            std::to_string(state.range(0))},
        out);
}

void BM_CatImage(benchmark::State& state)
{
    Measure(state, {"/bin/cat", g_images[state.range(0)]});
}
void BM_ListImage(benchmark::State& state)
{
    Measure(state, {TAVREL_CLI_PATH, "list", g_images[state.range(0)]});
}

BENCHMARK(BM_CatImage)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ListImage)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Cat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_List)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LibpngLoop)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExtractAllPng)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExtractAllBmp)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--libpng-loop")
        return LibpngLoop(argv[2], argv[3]);
    if (argc == 3 && std::string(argv[1]) == "--write-images") {
        g_dir = argv[2];
        return WriteSingleImages() ? 0 : 1;
    }
    g_self = std::filesystem::canonical("/proc/self/exe").string();
    benchmark::Initialize(&argc, argv);
    g_dir = MakePrivateFolder("tavrel-bench-batch-");
    if (g_dir.empty())
        return 1;
    g_model = g_dir + "/model.nif";
    WriteModelFile(g_model);
    // Written by a child: this process's own peak memory would be counted in every child's.
    for (int i = 0; i < 3; ++i)
        g_images[i] = g_dir + "/image." + (i == 0 ? "bmp" : i == 1 ? "png" : "bmz");
    if (!RunChild({g_self, "--write-images", g_dir}).ok)
        return 1;
    std::fprintf(
        stderr, "model file: %ju bytes, %d textures\n", std::uintmax_t(std::filesystem::file_size(g_model)), kTextures);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(g_dir);
    return 0;
}
