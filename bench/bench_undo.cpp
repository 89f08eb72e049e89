// Undo of one 1024 × 1024 texture edit of a 256 MiB model file, against the
// edit's own write and `cp` + sync of the file, in the same run. The edit
// replaces an RGB texture in the middle of the file with an RGBA image (the
// block grows by 1 MiB and every later texture moves); undo moves them back.
// Goal: undo at most 1.5× the edit's write time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "doc/EditOperations.h"
#include "doc/EditUndo.h"
#include "image/DibImage.h"

namespace {

constexpr uint32_t kSide = 1024;
constexpr uint64_t kTargetBytes = 256ull * 1024 * 1024;

struct Setup {
    std::string dir = (std::filesystem::temp_directory_path() / "tavrel-bench-undo").string();
    std::string model = dir + "/big.nif";
    std::string bmp = dir + "/rgba.bmp";
    uint32_t count = 0;
    Setup()
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::FILE* f = std::fopen(model.c_str(), "wb");
        std::vector<uint8_t> pixels(size_t{kSide} * kSide * 3);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<uint8_t>((i * 13) ^ (i >> 11));
        const std::string name = "NiRawImageData" + std::string(12, '\1');
        for (uint64_t written = 0; written < kTargetBytes; ++count) {
            const uint32_t fields[3] = {kSide, kSide, 1};
            std::fwrite(name.data(), 1, name.size(), f);
            std::fwrite(fields, 1, sizeof fields, f);
            std::fwrite(pixels.data(), 1, pixels.size(), f);
            written += name.size() + sizeof fields + pixels.size();
        }
        std::fclose(f);
        // A 32-bit BMP of the texture's size.
        const uint32_t imageBytes = kSide * kSide * 4;
        std::vector<uint8_t> file(54 + imageBytes, 0x5A);
        const auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
        const auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); };
        file[0] = 'B', file[1] = 'M';
        put32(2, uint32_t(file.size())), put32(6, 0), put32(10, 54);
        put32(14, 40), put32(18, kSide), put32(22, kSide), put16(26, 1), put16(28, 32), put32(30, 0);
        put32(34, imageBytes), put32(38, 0), put32(42, 0), put32(46, 0), put32(50, 0);
        f = std::fopen(bmp.c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    ~Setup() { std::filesystem::remove_all(dir); }
};

Setup& Files()
{
    static Setup setup;
    return setup;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Each iteration: the edit (capturing its undo copy), then its undo; the
// manual time is the undo's, the edit's write is a counter beside it.
void BM_EditThenUndo(benchmark::State& state)
{
    Setup& files = Files();
    const std::unique_ptr<CDibImage> image = LoadReplacement(files.bmp);
    const uint32_t index = files.count / 2;
    double edits = 0, undos = 0;
    for (auto _ : state) {
        CEditUndoCapture capture(files.dir, files.model, {index});
        EditOptions options;
        options.bAcceptDepthChange = true;
        options.beforeWrite = capture.BeforeWrite();
        auto start = std::chrono::steady_clock::now();
        ReplaceTexture(files.model, index, *image, false, options);
        const double edit = Seconds(start);
        const std::unique_ptr<CEditUndoRecord> record = capture.Finish();
        start = std::chrono::steady_clock::now();
        RestoreEdit(*record, UndoDirection::Undo);
        const double undo = Seconds(start);
        state.SetIterationTime(undo);
        edits += edit, undos += undo;
    }
    state.counters["edit_ms"] = benchmark::Counter(edits * 1000 / double(state.iterations()));
    state.counters["undo_ms"] = benchmark::Counter(undos * 1000 / double(state.iterations()));
    state.counters["undo/edit"] = benchmark::Counter(undos / edits);
}
BENCHMARK(BM_EditThenUndo)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// `cp` of the whole file, then sync of the copy: what any writer of a new version pays.
void BM_CopyAndSync(benchmark::State& state)
{
    Setup& files = Files();
    const std::string command =
        "cp '" + files.model + "' '" + files.dir + "/copy.nif' && sync '" + files.dir + "/copy.nif'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp failed");
        state.SetIterationTime(Seconds(start));
        std::filesystem::remove(files.dir + "/copy.nif");
    }
}
BENCHMARK(BM_CopyAndSync)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
