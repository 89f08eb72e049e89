// Importing a folder of edited textures into a 256 MiB model file of 221
// textures, half of them changed, against a plain `cp` of the same file (and
// `cp` followed by `sync`, as the import flushes its new file to disk) in the
// same run. Goal: at most 2× the copy. The edited files are BMP, then PNG.
// Then a dry run (nothing is written) against `cat` of the model file:
// with a file for every texture, and with one file only. Goal: at most 3× `cat`.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "doc/TextureImport.h"
#include "image/DibImage.h"
#include "nif/TextureScanner.h"
#include "platform/File.h"

namespace {

struct Kind {
    uint32_t width, height, format;
};
constexpr Kind kKinds[] = {{1024, 512, 1}, {512, 512, 2}, {768, 512, 1}, {512, 512, 2}};
constexpr int kTextures = 221;

double Seconds(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteModelFile(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> pixels(1024 * 512 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i / 3) ^ (i >> 10));
    const std::string filler(4096, 'x');
    for (int i = 0; i < kTextures; ++i) {
        const Kind& k = kKinds[i % 4];
        const std::string name = "NiRawImageData" + std::string(12, '\1');
        const uint32_t fields[3] = {k.width, k.height, k.format};
        std::fwrite(name.data(), 1, name.size(), f);
        std::fwrite(fields, 1, sizeof fields, f);
        std::fwrite(pixels.data(), 1, size_t{k.width} * k.height * (k.format == 1 ? 3 : 4), f);
        std::fwrite(filler.data(), 1, filler.size(), f);
    }
    std::fclose(f);
}

// Every texture to the folder, every other one with its pixels changed.
void ExportTextures(const std::string& model, const std::string& folder, const char* ext)
{
    std::filesystem::create_directories(folder);
    std::vector<uint64_t> offsets;
    {
        CFile file;
        file.Open(model, CFile::modeRead);
        ScanRawImageData(file, offsets);
    }
    for (size_t i = 0; i < offsets.size(); ++i) {
        CDibImage image(model, FileKind::Nif, offsets[i]);
        if (i % 2 == 1) {
            for (uint64_t b = 0; b < image.GetImageSize(); b += 7)
                image.GetBits()[b] ^= 0x55;
        }
        char name[64];
        std::snprintf(name, sizeof name, "/model-%03zu.%s", i, ext);
        if (ext[0] == 'p')
            image.WritePngFile(folder + name);
        else
            image.WriteBmp(folder + name);
    }
}

double TimeCommand(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(start);
}

}  // namespace

int main()
{
    const std::string dir = std::filesystem::temp_directory_path() / "tavrel-bench-import";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string original = dir + "/original.nif", model = dir + "/model.nif";
    WriteModelFile(original);
    std::printf("model file: %.1f MiB, %d textures, every other one changed\n",
        std::filesystem::file_size(original) / 1048576.0, kTextures);
    for (const char* ext : {"bmp", "png"}) {
        const std::string folder = dir + "/" + ext;
        ExportTextures(original, folder, ext);
        std::filesystem::copy_file(original, model, std::filesystem::copy_options::overwrite_existing);
        const double copy = TimeCommand("cp '" + original + "' '" + dir + "/copy.nif'");
        const double copySync = TimeCommand("cp '" + original + "' '" + dir + "/copy2.nif' && sync");
        const auto start = std::chrono::steady_clock::now();
        const ImportReport report = ImportTextures(model, folder, {});
        const double import = Seconds(start);
        std::printf("%s files: import %.3f s (%s), cp %.3f s (%.2fx), cp+sync %.3f s (%.2fx)\n", ext, import,
            report.Succeeded() ? "ok" : report.strError.c_str(), copy, import / copy, copySync, import / copySync);
    }
    {
        const std::string all = dir + "/bmp", one = dir + "/one";
        std::filesystem::create_directories(one);
        std::filesystem::copy_file(all + "/model-001.bmp", one + "/model-001.bmp");
        ImportOptions dry;
        dry.bDryRun = true;
        // The model file as the imports left it (its files are named for it): every texture unchanged.
        std::filesystem::copy_file(original, model, std::filesystem::copy_options::overwrite_existing);
        TimeCommand("cat '" + model + "' > /dev/null");  // the file in the page cache
        for (const auto& [label, folder] : {std::pair{"a file for every texture", all}, std::pair{"one file", one}}) {
            const double cat = TimeCommand("cat '" + model + "' > /dev/null");
            const auto start = std::chrono::steady_clock::now();
            const ImportReport report = ImportTextures(model, folder, dry);
            const double run = Seconds(start);
            std::printf("dry run, %s: %.3f s (%s), cat %.3f s (%.2fx)\n", label, run,
                report.Succeeded() ? "ok" : report.strError.c_str(), cat, run / cat);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
