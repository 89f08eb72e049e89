#pragma once
// Splitting paths into folder, file name, stem and extension: the one copy.
#include <string>

// The folder of a path, ending in '/'; "./" for a bare name.
std::string DirectoryPart(const std::string& path);
// The folder of a path without the closing '/': "." for a bare name, "/" for the root.
std::string FolderPart(const std::string& path);
// The file-name part of a path.
std::string FileNamePart(const std::string& path);
// The file name without its last extension (a name that starts with its only dot keeps it).
std::string StemPart(const std::string& path);
// The extension of a file name without the dot, upper-cased; empty when it has none.
std::string UpperExtension(const std::string& fileName);
