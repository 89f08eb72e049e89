#pragma once
// The stream of a compressed bitmap (".bmz"): a 40-byte header, then one zlib
// stream holding a whole BMP file. Both directions work in memory in one
// pass: the header and the bitmap's own headers bound what a stream may
// inflate to, so the output buffer is allocated once at its final size and a
// stream that would run past it is refused as soon as it does.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ImageLimits.h"

// Why a stream could not be inflated or made.
enum class BmzResult {
    kOk,
    kUnreadable,  // the file could not be opened or read (the reason says why)
    kCutShort,  // the stream ends early
    kDamaged,  // not a bitmap's stream, damaged, or longer than it declares
    kTooLarge,  // the bitmap is larger than the image limits
};

// Size of the header in front of the zlib stream of a ".bmz" file.
inline constexpr uint64_t kBmzHeaderSize = 40;

// The file header and the info header that a bitmap stream must start with.
inline constexpr size_t kBitmapHeaderBytes = 54;

// Checks the first kBitmapHeaderBytes of an inflated bitmap stream and sets
// the size the headers declare (the pixels and what the file header counts
// after them, within reason). kDamaged when they are not a bitmap's or
// declare more than sourceBytes of deflated data can hold; kTooLarge beyond
// the image limits or outputLimit.
BmzResult CheckBitmapStreamHeaders(const uint8_t* headers, uint64_t sourceBytes, uint64_t outputLimit,
    uint64_t& declaredSize, const ImageLimits& limits = GetImageLimits());

// A buffer whose bytes are not cleared when it is made (the pages are touched
// only by what is written into them).
struct ByteBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// The start of the bitmap in a ".bmz" file, inflated without the rest.
struct BitmapStreamStart {
    std::vector<unsigned char> bytes;  // at most the bytes asked for, fewer when the stream is shorter
    uint64_t declaredSize = 0;  // as CheckBitmapStreamHeaders sets it
    uint32_t headerSize = 0;  // the size the 40-byte header declares; 0 when it declares none
    uint64_t fileSize = 0;
    std::string reason;  // why the file could not be opened or read (the system's words)

    // The most the whole stream may inflate to: what the 40-byte header
    // declares, when it declares a size, never more than the bitmap's own
    // headers declare (which the image limits bound).
    uint64_t InflatedBound() const;
    // The most of the file that a stream inflating to at most that can take up.
    uint64_t FileBytesNeeded() const;
};
// Inflates at most `wanted` bytes (and at least the headers) of a ".bmz"
// file's stream and checks its headers; reads only as much of the file as that takes.
BmzResult InflateBitmapStart(const std::string& source, size_t wanted, BitmapStreamStart& start,
    const ImageLimits& limits = GetImageLimits());

// Reads the first maxBytes of a file (all of it when shorter) into memory;
// kUnreadable, with the reason, when it cannot.
BmzResult ReadFileStart(const std::string& path, uint64_t maxBytes, ByteBuffer& file, std::string& reason);

// Inflates the stream of a ".bmz" file held in memory into out, which holds
// capacity bytes; produced is what came out. kDamaged when the stream is
// damaged or would come out longer than capacity, kCutShort when it ends early.
BmzResult InflateBmzStream(const uint8_t* file, size_t size, uint8_t* out, uint64_t capacity, uint64_t& produced);

// The deflate level of the streams written: the lowest of the fast
// compressor's levels whose files are no larger than zlib's level 6.
inline constexpr int kBmzLevel = 6;

// A whole ".bmz" file for the bitmap file made of head then body (a bitmap's
// 14-byte file header and the rest, so that the two need not be copied
// together): the 40-byte header (declaredSize, carried at offset 4, zeros)
// and one standard zlib stream. False when memory ran out.
bool BuildBmzFile(const uint8_t* head, size_t headBytes, const uint8_t* body, size_t bodyBytes, uint32_t declaredSize,
    uint16_t carried, ByteBuffer& file);
