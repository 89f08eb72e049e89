#include "image/DibImage.h"
#include "platform/Exceptions.h"

// Placeholder until the BMP and Targa codecs land.
void CDibImage::ReadBmp(const std::string& path) { Fail("Error opening bitmap file.\nFile: %s", path); }
void CDibImage::WriteBmp(const std::string& path) { Fail("Unable to write %s, no image data was found.", path); }
void CDibImage::WriteTga(const std::string& path) { Fail("Unable to write %s, no image data was found.", path); }
