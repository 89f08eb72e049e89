#include "doc/PathUtil.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

std::string DirectoryPart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string FileNamePart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string UpperExtension(const std::string& fileName)
{
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = fileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext;
}

std::string NumberedImageName(const std::string& path, uint32_t index, const std::string& extension)
{
    std::string stem = FileNamePart(path);
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot != 0)
        stem.erase(dot);
    char number[16];
    std::snprintf(number, sizeof number, "-%03u.", index);
    return stem + number + extension;
}

namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
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
