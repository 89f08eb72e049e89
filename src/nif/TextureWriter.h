#pragma once
// Writing pixels back into the open file: a texture block of a model file, a
// whole compressed bitmap, or the alpha bytes of an RGBA texture. Every write
// either completes or leaves the file as it was: the new version of the file
// is written beside it in the same folder and renamed over the old one.
// Before writing at an offset the writers check that the fields stored there
// still describe the texture meant to be changed.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/RawTexture.h"

class CDibImage;
class CFile;
class CSafeFileWriter;

// Turns an image record's bottom-up BGR(A) rows, each padded to 4 bytes, into a
// texture block's top-down RGB(A) rows without padding, in place. Returns the
// bytes of the result (width × height × 3 or 4); 0, with the buffer unchanged,
// for bit counts other than 24 and 32.
uint64_t ConvertDibToRawPixels(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bitCount);

// Replaces the fields and pixels of the texture block at offset, whose old
// pixels are oldPixelBytes long, keeping every other byte of the file. The
// block must still hold the fields of `expected`. When nothing was written,
// throws CCoreError "Error writing file.\nFile: %s" with the reason.
void SpliceRawImageBlock(const std::string& path, uint64_t offset, uint64_t oldPixelBytes, uint32_t width,
    uint32_t height, uint32_t format, const uint8_t* pixels, uint64_t pixelBytes, const RawTextureShape& expected);

// Rebuilds a ".bmz" file from an image: the BMP file the image makes (as
// WriteBmp would write it) is compressed in memory and written in one pass
// behind the 40-byte header (the BMP's size, the old file's value at offset 4
// or 1, zeros). When the target was not changed, throws CCoreError "Unable to
// create .bmz file" with the reason.
void WriteCompressedBitmapFile(const std::string& target, const CDibImage& image);

// Sets the alpha byte of every pixel of the RGBA texture at offset, where it
// stands; no other byte changes and the file keeps its length. The block must
// still hold the fields of `expected`. When nothing was written, throws
// CCoreError "Error writing file.\nFile: %s" with the reason.
void StampAlpha(
    const std::string& path, uint64_t offset, uint64_t pixelBytes, uint8_t alpha, const RawTextureShape& expected);

// Several blocks rewritten in one pass: the bytes up to the first block, its
// new fields and pixels, the bytes up to the next block, and so on, into a new
// version renamed over the file.
struct BlockRewrite {
    uint64_t offset = 0;  // of the width field
    RawTextureShape expected;  // the fields that must still be stored there
    RawTextureShape replacement;  // the fields written instead
};

// Writes the new pixels of blocks[i] (replacement.PixelBytes() bytes) into out.
// The old block's pixels start at oldPixels in `in`, for writers that keep some of them.
using BlockPixelWriter = std::function<void(size_t i, CFile& in, uint64_t oldPixels, CSafeFileWriter& out)>;

// Rewrites the blocks (in any order; they must not overlap). beforeWrite runs
// once every check has passed, just before the first byte is written (a
// backup is made there); what it throws stops the rewrite. Throws
// CFileException, with the reason and the file untouched, on any failure:
// a system call's, a block that no longer holds its expected fields, a file
// that may not be replaced.
void RewriteRawImageBlocks(const std::string& path, const std::vector<BlockRewrite>& blocks,
    const BlockPixelWriter& pixels, const std::function<void()>& beforeWrite = {});
