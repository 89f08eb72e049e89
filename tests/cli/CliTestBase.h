#pragma once
// A fixture with a fresh folder and the usual input files of the tool's tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "CliTestFiles.h"
#include "TempDir.h"

class CliTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_dir.File(name); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        WriteFileBytes(Path(name), bytes);
        return Path(name);
    }
    CliRun Run(const std::vector<std::string>& args) const { return RunCli(args, m_dir.Path()); }

    // Three textures: an odd-width RGB one, an RGBA one and a single pixel.
    const std::vector<Picture> m_textures{MakePicture(5, 3, false, 1), MakePicture(4, 4, true, 2),
                                          MakePicture(1, 1, false, 3)};
    TempDir m_dir;
};

// True when a file or folder of that name exists.
inline bool PathExists(const std::string& path)
{
    return std::filesystem::exists(path);
}

// The header line of the table that list prints.
inline constexpr char kListHeader[] = "index\toffset\twidth\theight\tbits\n";
