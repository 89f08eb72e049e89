// Model files: scanning a 1 GB file whose pixels make up 90% of it, and
// opening (scan, then load every texture as the document does) a 256 MB file,
// against one plain read of the same file from the page cache.
// Goal: opening within 1.5× of the plain read.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/DibImage.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

namespace {

std::string g_scanFile;
std::string g_openFile;
uint64_t g_scanFileSize = 0;
uint64_t g_openFileSize = 0;

struct TextureKind {
    uint32_t width, height, format;
};
// 256 × 256 and 1024 × 1024, RGB and RGBA.
constexpr TextureKind kKinds[] = {{256, 256, 1}, {256, 256, 2}, {1024, 1024, 1}, {1024, 1024, 2}};

// Writes a model file of about `target` bytes: texture blocks of the four
// kinds in turn, each followed by other blocks' bytes of fillerPercent of its
// pixels (names and numbers, as the rest of a model file looks).
uint64_t WriteModelFile(const std::string& path, uint64_t target, uint64_t fillerPerHundredPixelBytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    const std::string structure = "NodeRecord\x04\0\0\0NamedMesh\x10\0\0\0NestedProperty\x01\0\0\0NoteOfSource";
    std::vector<uint8_t> pixels(1024 * 1024 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 13) ^ (i >> 11));
    uint64_t written = 0;
    for (size_t i = 0; written < target; ++i) {
        const TextureKind& kind = kKinds[i % 4];
        const uint64_t pixelBytes = uint64_t{kind.width} * kind.height * (kind.format == 1 ? 3 : 4);
        std::string block = "NiRawImageData" + std::string(12, '\x01');
        const uint32_t fields[3] = {kind.width, kind.height, kind.format};
        block.append(reinterpret_cast<const char*>(fields), sizeof fields);
        std::fwrite(block.data(), 1, block.size(), f);
        std::fwrite(pixels.data(), 1, pixelBytes, f);
        uint64_t filler = std::max<uint64_t>(64, pixelBytes * fillerPerHundredPixelBytes / 100);
        written += block.size() + pixelBytes + filler;
        for (; filler >= structure.size(); filler -= structure.size())
            std::fwrite(structure.data(), 1, structure.size(), f);
        std::fwrite(structure.data(), 1, filler, f);
    }
    std::fclose(f);
    return std::filesystem::file_size(path);
}

void BM_ScanOneGigabyte(benchmark::State& state)
{
    uint32_t count = 0;
    for (auto _ : state) {
        CFile file;
        file.Open(g_scanFile, CFile::modeRead);
        std::vector<uint64_t> offsets;
        count = ScanRawImageData(file, offsets);
        benchmark::DoNotOptimize(offsets.data());
    }
    state.counters["textures"] = count;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_scanFileSize));
}

void BM_PlainReadOfTheModelFile(benchmark::State& state)
{
    for (auto _ : state) {
        CFile file;
        file.Open(g_openFile, CFile::modeRead);
        const uint64_t length = file.GetLength();
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[length]);
        if (file.Read(bytes.get(), length) != length)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(bytes.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_openFileSize));
}

// The copy alone, into memory that is already mapped: what is left of a read
// once allocation is paid for elsewhere.
void BM_PlainReadIntoReusedBuffer(benchmark::State& state)
{
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[g_openFileSize]);
    std::fill_n(bytes.get(), g_openFileSize, 0);
    for (auto _ : state) {
        CFile file;
        file.Open(g_openFile, CFile::modeRead);
        if (file.Read(bytes.get(), g_openFileSize) != g_openFileSize)
            state.SkipWithError("short read");
        benchmark::DoNotOptimize(bytes.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_openFileSize));
}

void BM_OpenModelFile(benchmark::State& state)
{
    size_t loaded = 0;
    for (auto _ : state) {
        CFile file;
        file.Open(g_openFile, CFile::modeRead);
        std::vector<uint64_t> offsets;
        ScanRawImageData(file, offsets);
        file.Close();
        std::vector<std::unique_ptr<CDibImage>> images;
        images.reserve(offsets.size());
        for (uint64_t offset : offsets)
            images.push_back(std::make_unique<CDibImage>(g_openFile, FileKind::Nif, offset));
        loaded = 0;
        for (const auto& image : images)
            loaded += image->GetBitmapInfo() != nullptr;
        benchmark::DoNotOptimize(images.data());
    }
    state.counters["textures"] = static_cast<double>(loaded);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_openFileSize));
}

BENCHMARK(BM_ScanOneGigabyte)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainReadOfTheModelFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PlainReadIntoReusedBuffer)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenModelFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string dir = MakePrivateFolder("tavrel-bench-nif-");
    if (dir.empty())
        return 1;
    g_scanFile = dir + "/scan.nif";
    g_openFile = dir + "/open.nif";
    g_scanFileSize = WriteModelFile(g_scanFile, 1000ull * 1000 * 1000, 11);  // pixels are 90%
    g_openFileSize = WriteModelFile(g_openFile, 256ull * 1024 * 1024, 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(dir);
    return 0;
}
