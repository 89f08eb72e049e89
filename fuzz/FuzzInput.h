#pragma once
// Fuzz inputs held in memory: each slot is a memory file (memfd), reached by
// the readers through its /proc/self/fd path, so no input touches the disk.
// The platform services stay silent.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/FileKind.h"

// Replaces the contents of memory file `slot` with the bytes; returns its path.
std::string MemoryFileWith(const uint8_t* data, size_t size, int slot = 0);
// A real file in a process-private folder, for the writers that rename files into place.
std::string WriteFuzzFile(const uint8_t* data, size_t size, const char* name);

class CDibImage;
// The file read as the kind (a model file's texture at offset); a read the
// reader refuses gives a record without an image. Any other exception escapes.
std::unique_ptr<CDibImage> ReadImage(const std::string& path, FileKind kind, uint64_t offset = 0);
// Traps when what the headers alone say of the file contradicts the full read
// into image: an image that was read has headers that read to its shape.
void CheckShapeAgrees(const std::string& path, FileKind kind, const CDibImage& image);
