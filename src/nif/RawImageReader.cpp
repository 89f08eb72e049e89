#include "image/DibImage.h"

// Placeholder until the raw texture reader lands.
void CDibImage::ReadRawImage(const std::string& pszPath, uint64_t) { Fail("Error opening file.\nFile: %s", pszPath); }
