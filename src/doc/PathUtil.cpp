#include "doc/PathUtil.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

std::string NumberedImageName(const std::string& path, uint32_t index, const std::string& extension)
{
    const std::string stem = StemPart(path);
    char number[16];
    std::snprintf(number, sizeof number, "-%03u.", index);
    return stem + number + extension;
}

namespace {

bool Exists(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0;
}

// The entry of a folder whose name equals name but for case, or name itself.
std::string MatchCase(const std::string& directory, const std::string& name)
{
    if (name == "." || name == ".." || Exists(directory + name))
        return name;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return name;
    std::string found = name;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

std::string ResolveLinkedPath(const std::string& directory, const std::string& linkName)
{
    std::string relative = linkName;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::string path = directory;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string part = relative.substr(start, end - start);
        if (!part.empty()) {
            path += MatchCase(path, part);
            if (end < relative.size())
                path += '/';
        }
        start = end + 1;
    }
    return path;
}
