#include "image/DibImage.h"
#include "platform/Exceptions.h"

// Placeholder until the PNG codec lands.
void CDibImage::ReadPng(const std::string& path) { Fail("Error opening png file.\nFile: %s", path); }
void CDibImage::BuildDibFromPng() {}
void CDibImage::LoadPngPalette() {}
bool CDibImage::WritePng(const std::string&) { return false; }
void CDibImage::WritePngFile(const std::string& path) { Fail("Error opening Bitmap file.\nFile: %s", path); }
