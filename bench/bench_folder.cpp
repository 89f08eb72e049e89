// A game folder at once: one `extract ROOT --all OUT` over a generated tree of
// 240 model files in nested folders, against one `extract FILE --all DIR
// --jobs 1` per file, in the same run (goal: the folder command at most 0.6
// times the per-file commands). Each runs as a child process; time is wall
// time (manual time), with processor time and peak memory as counters (the
// per-file runs' peak is the largest of them). The ratio is printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "platform/File.h"

namespace {

std::string g_dir;
std::string g_root;
struct Found {
    std::string path, sub, stem;
};
std::vector<Found> g_files;
double g_perFileSeconds = 0;
double g_folderSeconds = 0;
double g_folderPeakMiB = 0;

constexpr int kFolders = 12;
constexpr int kFilesPerFolder = 20;
struct Shape {
    uint32_t width, height, format;
};
// Small props' textures, as most of a game folder's model files hold.
constexpr Shape kShapes[] = {{256, 256, 2}, {128, 128, 1}, {256, 128, 1}, {64, 64, 2}};

void WriteModel(const std::string& path, int seed)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    const std::string other = "NodeRecord\x04\0\0\0NamedMesh\x10\0\0\0NestedProperty";
    std::vector<uint8_t> pixels;
    for (int t = 0; t < 1 + seed % 4; ++t) {
        const Shape& s = kShapes[(seed + t) % 4];
        const uint32_t bpp = s.format == 1 ? 3 : 4;
        pixels.resize(size_t{s.width} * s.height * bpp);
        uint32_t n = 977u * uint32_t(seed) + uint32_t(t);
        for (size_t i = 0; i < pixels.size(); ++i) {
            n = n * 1103515245u + 12345u;
            pixels[i] = uint8_t((i / bpp) % s.width * 255 / s.width + (n >> 30));
        }
        std::string block = "NiRawImageData" + std::string(12, '\x01');
        const uint32_t fields[3] = {s.width, s.height, s.format};
        block.append(reinterpret_cast<const char*>(fields), sizeof fields);
        std::fwrite(block.data(), 1, block.size(), f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        for (int k = 0; k < 100; ++k)
            std::fwrite(other.data(), 1, other.size(), f);
    }
    std::fclose(f);
}

// meshes/<area>/<kind>/<name>.nif: two levels of folders, as a game's are.
void WriteTree()
{
    int seed = 0;
    for (int folder = 0; folder < kFolders; ++folder) {
        const std::string sub = "meshes/area" + std::to_string(folder / 3) + "/kind" + std::to_string(folder % 3);
        std::filesystem::create_directories(g_root + "/" + sub);
        for (int i = 0; i < kFilesPerFolder; ++i, ++seed) {
            const std::string stem = "prop" + std::to_string(i);
            const std::string path = g_root + "/" + sub + "/" + stem + ".nif";
            WriteModel(path, seed);
            g_files.push_back({path, sub, stem});
        }
    }
}

void BM_ExtractPerFile(benchmark::State& state)
{
    const std::string out = g_dir + "/each";
    for (auto _ : state) {
        RemoveFolderTree(out);
        double wall = 0, cpu = 0, peak = 0;
        for (const Found& file : g_files) {
            std::filesystem::create_directories(out + "/" + file.sub);
            const ChildRun run =
                RunChild({TAVREL_CLI_PATH, "extract", file.path, "--all", out + "/" + file.sub, "--jobs", "1"});
            if (!run.ok) {
                state.SkipWithError(("failed: " + file.path).c_str());
                return;
            }
            wall += run.wallSeconds;
            cpu += run.cpuSeconds;
            peak = std::max(peak, run.peakMiB);
        }
        state.SetIterationTime(wall);
        state.counters["cpu_s"] = cpu;
        state.counters["peak_MiB"] = peak;
        g_perFileSeconds = wall;
    }
    RemoveFolderTree(out);
}

void BM_ExtractFolder(benchmark::State& state)
{
    const std::string out = g_dir + "/all";
    for (auto _ : state) {
        RemoveFolderTree(out);
        const ChildRun run = RunChild({TAVREL_CLI_PATH, "extract", g_root, "--all", out});
        if (!run.ok) {
            state.SkipWithError("failed: extract of the folder");
            return;
        }
        state.SetIterationTime(run.wallSeconds);
        state.counters["cpu_s"] = run.cpuSeconds;
        state.counters["peak_MiB"] = run.peakMiB;
        g_folderSeconds = run.wallSeconds;
        g_folderPeakMiB = run.peakMiB;
    }
    // The mirrored tree holds what the per-file commands wrote.
    const Found& last = g_files.back();
    if (!std::filesystem::exists(out + "/" + last.sub + "/" + last.stem + "-000.png"))
        state.SkipWithError("the folder command did not mirror the tree");
    RemoveFolderTree(out);
}

BENCHMARK(BM_ExtractPerFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExtractFolder)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_dir = MakePrivateFolder("tavrel-bench-folder-");
    if (g_dir.empty())
        return 1;
    g_root = g_dir + "/game";
    WriteTree();
    std::fprintf(stderr, "tree: %zu model files in %d folders\n", g_files.size(), kFolders);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_perFileSeconds > 0 && g_folderSeconds > 0)
        std::fprintf(stderr, "folder / per-file: %.2fx (goal at most 0.6x); folder command's peak memory %.1f MiB\n",
            g_folderSeconds / g_perFileSeconds, g_folderPeakMiB);
    RemoveFolderTree(g_dir);
    return 0;
}
