// Replace through the document on a 256 MiB model file: one 1024 × 1024 RGB
// texture replaced by a BMP of the same size, and by an RGBA one (the block
// grows by 1 MiB and every later texture moves), against `cp` of the same file
// and `cp` followed by a sync of the copy (Replace flushes its new file to disk)
// in the same run. Each time is the median of five. Goal: at most 1.5× the copy.
// Also the memory the command takes beyond the open document (peak resident
// size), which must not grow with the file.
// Then `tavrel-cli replace` and `alpha` of one texture of a 1 GiB model file,
// run in turn with `cp` + `sync` of the same file: goal at most 1.2× that,
// and a peak under 32 MiB beyond the images involved.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "doc/TavrelDoc.h"
#include "platform/BitmapTypes.h"
#include "platform/UiServices.h"

namespace {

struct Kind {
    uint32_t width, height, format;
};
// 256 × 256 and 1024 × 1024, RGB and RGBA, as a large model file holds them.
constexpr Kind kKinds[] = {{256, 256, 1}, {256, 256, 2}, {1024, 1024, 1}, {1024, 1024, 2}};
constexpr uint64_t kDocumentBytes = 256ull * 1024 * 1024;
constexpr uint64_t kCommandBytes = 1024ull * 1024 * 1024;
constexpr int kRuns = 5;

// Answers the file dialog with the replacement, No to the backup, Yes to the depth question.
class BenchUi final : public IUiServices {
public:
    std::string strFile;
    int MessageBox(const std::string& text, unsigned) override
    {
        return text.rfind("The bit depths", 0) == 0 ? IDYES : IDNO;
    }
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest&) override
    {
        return FileDialogResult{strFile, 1};
    }
};

// Returns the number of textures written.
int WriteModelFile(const std::string& path, uint64_t targetBytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> pixels(1024 * 1024 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 13) ^ (i >> 11));
    const std::string filler(2048, 'x');
    uint64_t written = 0;
    int count = 0;
    for (; written < targetBytes; ++count) {
        const Kind& k = kKinds[count % 4];
        const uint64_t bytes = uint64_t{k.width} * k.height * (k.format == 1 ? 3 : 4);
        const std::string name = "NiRawImageData" + std::string(12, '\1');
        const uint32_t fields[3] = {k.width, k.height, k.format};
        std::fwrite(name.data(), 1, name.size(), f);
        std::fwrite(fields, 1, sizeof fields, f);
        std::fwrite(pixels.data(), 1, bytes, f);
        std::fwrite(filler.data(), 1, filler.size(), f);
        written += name.size() + sizeof fields + bytes + filler.size();
    }
    std::fclose(f);
    return count;
}

void WriteBmp(const std::string& path, uint32_t width, uint32_t height, uint16_t bits, uint8_t seed)
{
    const uint64_t stride = DibStride(width, bits), size = stride * height;
    BITMAPFILEHEADER file{kBitmapSignature, static_cast<uint32_t>(54 + size), 0, 0, 54};
    BITMAPINFOHEADER info{40, int32_t(width), int32_t(height), 1, bits, BI_RGB, uint32_t(size), 0, 0, 0, 0};
    std::vector<uint8_t> rows(size);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<uint8_t>(i * 7 + seed);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(rows.data()), std::streamsize(rows.size()));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double TimeCommand(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(start);
}

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + line.find(':') + 1);
    }
    return -1;
}

// Starts a new peak of the resident size.
void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Runs a command under /usr/bin/time, which gives the peak of the command alone
// (a child's own figure would start from this program's size at the fork).
ChildRun RunTimed(const std::string& dir, std::vector<std::string> args)
{
    const std::string peakFile = dir + "/peak.txt";
    args.insert(args.begin(), {"/usr/bin/time", "-f", "%M", "-o", peakFile});
    ChildRun run = RunChild(args);
    std::ifstream peak(peakFile);
    long kib = 0;
    peak >> kib;
    run.peakMiB = double(kib) / 1024.0;
    return run;
}

// The command-line edits of a 1 GiB file, each run in turn with cp + sync of the file.
void CommandRuns(const std::string& dir, uint32_t index, const std::string& image)
{
    const std::string model = dir + "/large.nif", copy = dir + "/copy.nif";
    WriteModelFile(model, kCommandBytes);
    const std::vector<std::pair<const char*, std::vector<std::string>>> commands = {
        {"replace", {TAVREL_CLI_PATH, "replace", model, image, "--index", std::to_string(index)}},
        {"alpha", {TAVREL_CLI_PATH, "alpha", model, "200", "--index", std::to_string(index + 1)}},
    };
    std::printf("model file: %.1f MiB; texture %u replaced, %u stamped (RGBA)\n",
        double(std::filesystem::file_size(model)) / 1048576.0, index, index + 1);
    for (const auto& [name, args] : commands) {
        std::vector<double> tool, floor, ratio, peak;
        for (int run = 0; run < kRuns; ++run) {
            const ChildRun t = RunTimed(dir, args);
            const ChildRun c =
                RunTimed(dir, {"/bin/sh", "-c", "cp '" + model + "' '" + copy + "' && sync '" + copy + "'"});
            if (!t.ok || !c.ok)
                std::fprintf(stderr, "%s failed\n", name);
            tool.push_back(t.wallSeconds);
            floor.push_back(c.wallSeconds);
            ratio.push_back(t.wallSeconds / c.wallSeconds);
            peak.push_back(t.peakMiB);
        }
        std::printf("%s: %.3f s, cp+sync %.3f s, ratio of the pairs %.2fx (median); peak %.1f MiB (/usr/bin/time)\n",
            name, Median(tool), Median(floor), Median(ratio), Median(peak));
    }
}

}  // namespace

int main()
{
    const std::string dir = std::filesystem::temp_directory_path() / "tavrel-bench-replace";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string model = dir + "/model.nif", same = dir + "/same.bmp", larger = dir + "/larger.bmp";
    const int textures = WriteModelFile(model, kDocumentBytes);
    WriteBmp(same, 1024, 1024, 24, 1);
    WriteBmp(larger, 1024, 1024, 32, 2);
    const uint32_t index = static_cast<uint32_t>((textures / 2) / 4 * 4 + 2);  // a 1024 × 1024 RGB one mid-file
    std::printf("model file: %.1f MiB, %d textures; texture %u replaced\n",
        double(std::filesystem::file_size(model)) / 1048576.0, textures, index);

    BenchUi ui;
    SetUiServices(&ui);
    {
        CTavrelDoc doc;
        doc.LoadFile(model);
        const long openKiB = StatusKiB("VmRSS");
        for (const auto& [name, path] : {std::pair{"same size", same}, std::pair{"1 MiB larger", larger}}) {
            std::vector<double> replace, copy, copySync;
            long peakKiB = 0;
            for (int run = 0; run < kRuns; ++run) {
                copy.push_back(TimeCommand("cp '" + model + "' '" + dir + "/copy.nif'"));
                copySync.push_back(
                    TimeCommand("cp '" + model + "' '" + dir + "/copy.nif' && sync '" + dir + "/copy.nif'"));
                // The larger picture goes in and the same-size one back, so every run changes the size.
                ui.strFile = run % 2 == 0 || path == same ? path : same;
                ResetPeak();
                const long before = StatusKiB("VmRSS");
                const auto start = std::chrono::steady_clock::now();
                const bool written = doc.SelectImage(index) && doc.ReplaceImage();
                replace.push_back(Seconds(start));
                peakKiB = std::max(peakKiB, StatusKiB("VmHWM") - before);
                if (!written)
                    std::fprintf(stderr, "replace failed\n");
            }
            const double r = Median(replace), c = Median(copy), s = Median(copySync);
            std::printf(
                "%s: replace %.3f s, cp %.3f s (%.2fx), cp+sync %.3f s (%.2fx); memory beyond the open document "
                "(%.0f MiB) at most %.1f MiB\n",
                name, r, c, r / c, s, r / s, double(openKiB) / 1024.0, double(peakKiB) / 1024.0);
        }
    }
    SetUiServices(nullptr);
    CommandRuns(dir, index, same);
    std::filesystem::remove_all(dir);
    return 0;
}
