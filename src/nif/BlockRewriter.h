#pragma once
// Rewriting several texture blocks of a model file in one pass: the bytes up
// to the first block, its new fields and pixels, the bytes up to the next
// block, and so on. The new version is written next to the file and renamed
// over it, so the file is either wholly rewritten or left as it was.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/RawTexture.h"

class CFile;
class CSafeFileWriter;

struct BlockRewrite {
    uint64_t offset = 0;            // of the width field
    RawTextureShape expected;       // the fields that must still be stored there
    RawTextureShape replacement;    // the fields written instead
};

// Writes the new pixels of blocks[i] (replacement.PixelBytes() bytes) into out.
// The old block's pixels start at oldPixels in `in`, for writers that keep some of them.
using BlockPixelWriter = std::function<void(size_t i, CFile& in, uint64_t oldPixels, CSafeFileWriter& out)>;

// Rewrites the blocks (in any order; they must not overlap). Throws
// CFileException on a system-level failure; false, with the file untouched,
// when a block no longer holds its expected fields or the file may not be replaced.
bool RewriteRawImageBlocks(const std::string& path, const std::vector<BlockRewrite>& blocks,
                           const BlockPixelWriter& pixels);
