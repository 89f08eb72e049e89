#pragma once
// The reads of images that the user asked to see (an Open, the shown texture,
// a file read back after a write): the reader's refusal, or its notice of an
// image it did read, is shown here, where the document meets its user.
#include <cstdint>
#include <memory>
#include <string>

#include "image/FileKind.h"

class CDibImage;

// The image of a file of that kind (for a model file, the texture at
// offset); once a failure has been shown, a record without an image.
std::unique_ptr<CDibImage> ReadShown(const std::string& path, FileKind kind, uint64_t offset = 0);
// The same read that nobody is to see fail: null when the reader refuses.
std::unique_ptr<CDibImage> ReadQuietly(const std::string& path, FileKind kind, uint64_t offset = 0);
