#pragma once
// extract --all: every image of a set written into a folder, one image at a
// time on each of several threads (read, write, free), with the messages shown
// in index order as if one thread had done the work.
#include "cli/CliOptions.h"

class CCliUiServices;
class CImageSet;

// The exit status. Unreadable images are reported and skipped; the first
// image that cannot be written is reported and ends the work.
int ExtractAllImages(const CliOptions& options, const CImageSet& set, CCliUiServices& ui);
