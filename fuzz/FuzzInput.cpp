#include "FuzzInput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::string WriteFuzzInput(const uint8_t* data, size_t size, const char* name)
{
    static const std::string dir = [] {
        std::string pattern = "/tmp/tavrel-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        return pattern + "/";
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
