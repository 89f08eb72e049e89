#pragma once
// Runs the built tavrel-cli as a user would, in a fresh folder, and reads back what it wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TempDir.h"

struct CliRun {
    int status = -1;   // -1 when the tool did not exit normally
    std::string out, err;
};

// Standard input is /dev/null; standard error is a pseudo-terminal when asked.
CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir, bool terminal = false);

// Pixels as a model file's texture block holds them: top row first, R, G, B (, A).
struct Pixels {
    uint32_t width = 0, height = 0, bytesPerPixel = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Pixels&) const = default;
};
Pixels Pattern(uint32_t width, uint32_t height, bool alpha, uint8_t seed);
Pixels WithoutAlpha(const Pixels& pixels);
// Input files of each kind. A model file has the textures, then a link block when a name is given;
// offsets receives the textures' offsets.
std::vector<uint8_t> BmpFile(const Pixels& pixels);
std::vector<uint8_t> BmzFile(const Pixels& pixels);
std::vector<uint8_t> PngFile(const Pixels& pixels);
std::vector<uint8_t> ModelFile(const std::vector<Pixels>& textures, std::vector<uint64_t>* offsets = nullptr,
                               const std::string& link = "");
// Reads an image the tool wrote, by its extension (.bmp, .png, .tga); empty when not understood.
Pixels ReadImage(const std::string& path);
// JSON text split into punctuation, whole numbers and strings (decoded, kept in quotes), enough
// to read back what the tool prints; nothing when a token is not valid JSON.
std::optional<std::vector<std::string>> JsonTokens(const std::string& text);

class CliTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.File(name); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        WriteFileBytes(Path(name), bytes);
        return Path(name);
    }
    CliRun Run(const std::vector<std::string>& args, bool terminal = false) const
    {
        return RunCli(args, m_dir.Path(), terminal);
    }

    // An odd-width RGB texture (rows need padding), an RGBA one and a single pixel.
    const std::vector<Pixels> m_textures{Pattern(5, 3, false, 1), Pattern(4, 4, true, 2), Pattern(1, 1, false, 3)};
    TempDir m_dir;
};

inline constexpr char kListHeader[] = "index\toffset\twidth\theight\tbits\n";
