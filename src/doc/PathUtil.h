#pragma once
// Splitting the paths of chosen files, and finding the file a model file links to.
#include <string>

// The folder of a path, ending in '/'; "./" for a bare name.
std::string DirectoryPart(const std::string& path);
// The file-name part of a path.
std::string FileNamePart(const std::string& path);
// The extension of a file name without the dot, upper-cased; empty when it has none.
std::string UpperExtension(const std::string& fileName);
// The path of a linked file named relative to a model file's folder. Links
// written on another system may use '\' between folders and differ in case
// from the names on disk: the name on disk is taken when there is one.
std::string ResolveLinkedPath(const std::string& directory, const std::string& linkName);
