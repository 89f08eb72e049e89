// The Map Maker's work: composing the 1024 × 1024 map from 16 tiles (half
// 24-bit, half 32-bit) and writing it whole as a BMP file, beside `dd`
// writing a file of the same 3 MiB, plainly and with conv=fsync (the map is
// flushed to disk before it takes the old file's place).
// Goal: composing and writing within twice the time of dd.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "DibBuilder.h"
#include "doc/MapMaker.h"
#include "image/DibImage.h"
#include "platform/File.h"

extern char** environ;

namespace {

struct BenchData {
    std::string dir;
    std::vector<std::unique_ptr<CDibImage>> tiles;
};

BenchData* g_data = nullptr;

CMapCells Cells()
{
    std::vector<const CDibImage*> candidates;
    for (const auto& tile : g_data->tiles)
        candidates.push_back(tile.get());
    return CMapCells(candidates);
}

void BM_ComposeMap(benchmark::State& state)
{
    const CMapCells cells = Cells();
    for (auto _ : state)
        benchmark::DoNotOptimize(ComposeMap(cells)->GetBits());
}

void BM_ComposeAndWriteMap(benchmark::State& state)
{
    const CMapCells cells = Cells();
    const std::string out = g_data->dir + "/map.bmp";
    for (auto _ : state) {
        if (!SaveMapBitmap(cells, out))
            state.SkipWithError("the map was not written");
    }
}

// dd if=/dev/zero of=FILE bs=3M count=1, started as a user would start it,
// over an existing file (as the map usually is) or into a new one.
void BM_Dd3MiB(benchmark::State& state)
{
    const std::string path = g_data->dir + "/dd.out";
    const std::string of = "of=" + path;
    std::vector<std::string> words = {"dd", "if=/dev/zero", of, "bs=3M", "count=1", "status=none"};
    if (state.range(0))
        words.push_back("conv=fsync");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        if (state.range(1)) {
            state.PauseTiming();
            DeleteFile(path);
            state.ResumeTiming();
        }
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawnp(&pid, "dd", nullptr, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("dd failed");
    }
}

BENCHMARK(BM_ComposeMap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dd3MiB)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"fsync", "newFile"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK(BM_ComposeAndWriteMap)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    BenchData data;
    data.dir = MakePrivateFolder("tavrel-bench-map-");
    if (data.dir.empty())
        return 1;
    for (int n = 0; n < kMapCellCount; ++n) {
        auto tile = DibBuilder::Blank(kMapTileSize, kMapTileSize, uint16_t(n % 2 ? 32 : 24));
        const uint64_t bytes = uint64_t{tile->GetStride()} * kMapTileSize;
        for (uint64_t i = 0; i < bytes; ++i)
            tile->GetBits()[i] = static_cast<uint8_t>(i * 7 + n * 31);
        data.tiles.push_back(std::move(tile));
    }
    g_data = &data;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(data.dir);
    return 0;
}
