#include "image/FileKind.h"

#include <cctype>

#include "platform/PathParts.h"

FileKind FileKindOfPath(const std::string& path)
{
    std::string ext = UpperExtension(FileNamePart(path));
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const FileKindEntry& entry : kFileKinds) {
        if (ext == entry.extension)
            return entry.kind;
    }
    return FileKind::None;
}

const char* FileKindExtension(FileKind kind)
{
    for (const FileKindEntry& entry : kFileKinds) {
        if (entry.kind == kind)
            return entry.extension;
    }
    return "";
}

std::string OpenFileFilter()
{
    std::string filter;
    std::string all;
    for (const FileKindEntry& entry : kFileKinds) {
        const std::string pattern = std::string("*.") + entry.extension;
        filter += std::string(entry.description) + " (" + pattern + ")|" + pattern + "|";
        all += (all.empty() ? "" : ";") + pattern;
    }
    return filter + "All supported files (" + all + ")|" + all + "||";
}
