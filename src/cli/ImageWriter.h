#pragma once
// Writes an image record through its own writer for the chosen format.
#include <string>

#include "cli/CliOptions.h"

class CDibImage;

// True when the file was written; false after the failure has been reported
// through the platform services.
bool WriteImage(const CDibImage& image, const std::string& path, OutputFormat format);
