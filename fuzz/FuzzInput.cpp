#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>

#include "platform/File.h"

std::string WriteFuzzInput(const uint8_t* data, size_t size, const char* name)
{
    static const std::string dir = [] {
        const std::string folder = MakePrivateFolder("tavrel-fuzz-");
        if (folder.empty())
            std::abort();
        return folder + "/";
    }();
    const std::string path = dir + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size > 0)
        std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}
