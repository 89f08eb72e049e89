#pragma once
// Naming the files images are exported to, and finding the file a model file links to.
#include <cstdint>
#include <string>

#include "platform/PathParts.h"

// The name under which image `index` of a file is exported: the file's name
// without its last extension, the index in three digits, the extension
// ("house.nif", 7, "png" gives "house-007.png").
std::string NumberedImageName(const std::string& path, uint32_t index, const std::string& extension);
// The path of a linked file named relative to a model file's folder. Links
// written on another system may use '\' between folders and differ in case
// from the names on disk: the name on disk is taken when there is one.
std::string ResolveLinkedPath(const std::string& directory, const std::string& linkName);
