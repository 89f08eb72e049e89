#pragma once
// Finding the file a model file links to.
#include <string>

#include "platform/PathParts.h"

// The path of a linked file named relative to a model file's folder. Links
// written on another system may use '\' between folders and differ in case
// from the names on disk: the name on disk is taken when there is one.
std::string ResolveLinkedPath(const std::string& directory, const std::string& linkName);
