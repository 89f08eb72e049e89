#include "image/PngEncoder.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>

#include "image/PngRowFilter.h"
#include "platform/Exceptions.h"
#include "platform/HugePages.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// One chunk: length, type, data, CRC of type and data; sent as one piece.
void SendChunk(
    const PngByteSink& sink, const char type[4], const uint8_t* data, size_t size, std::vector<uint8_t>& staging)
{
    staging.resize(size + 12);
    PutU32(staging.data(), static_cast<uint32_t>(size));
    std::memcpy(staging.data() + 4, type, 4);
    if (size > 0)
        std::memcpy(staging.data() + 8, data, size);
    PutU32(staging.data() + 8 + size, libdeflate_crc32(0, staging.data() + 4, size + 4));
    sink(staging.data(), staging.size());
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

template <typename T> std::unique_ptr<T[]> Allocate(size_t count)
{
    std::unique_ptr<T[]> p(new (std::nothrow) T[count]);
    if (!p)
        AfxThrowMemoryException();
    AdviseHugePages(p.get(), count * sizeof(T));
    return p;
}

}  // namespace

size_t PngEncodeHeader::RowBytes() const
{
    const unsigned channels = colorType == kPngColorRgb ? 3u : 1u;
    return (size_t{width} * channels * bitDepth + 7) / 8;
}

void EncodePng(const PngEncodeHeader& header, const PngRowSource& rows, const PngByteSink& sink)
{
    const size_t rowBytes = header.RowBytes();
    const bool rgb = header.colorType == kPngColorRgb;
    const size_t filteredBytes = (rowBytes + 1) * header.height;
    // Palette and low-depth rows compress best unfiltered; colour rows get a filter each.
    CPngRowFilter filter(rowBytes, rgb ? 3u : 1u, rgb && header.bitDepth == 8);
    auto filtered = Allocate<uint8_t>(filteredBytes);
    {
        auto lines = Allocate<uint8_t>(2 * rowBytes);
        uint8_t* prev = lines.get();
        uint8_t* cur = prev + rowBytes;
        std::memset(prev, 0, rowBytes);
        const unsigned usedBits = static_cast<unsigned>((size_t{header.width} * header.bitDepth) % 8);
        for (uint32_t y = 0; y < header.height; ++y) {
            rows(y, cur);
            // Bits past the last pixel carry nothing: keep them zero, so the file depends on the pixels alone.
            if (!rgb && usedBits != 0)
                cur[rowBytes - 1] &= static_cast<uint8_t>(0xFF00u >> usedBits);
            filter.Filter(cur, prev, filtered.get() + y * (rowBytes + 1));
            std::swap(prev, cur);
        }
    }

    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kPngDeflateLevel));
    if (!compressor)
        AfxThrowMemoryException();
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredBytes);
    auto packed = Allocate<uint8_t>(bound);
    const size_t packedBytes =
        libdeflate_zlib_compress(compressor.get(), filtered.get(), filteredBytes, packed.get(), bound);
    filtered.reset();
    compressor.reset();
    if (packedBytes == 0)
        AfxThrowMemoryException();  // cannot happen with a buffer of the bound's size

    std::vector<uint8_t> staging;
    staging.reserve(kPngIdatBytes + 12);
    sink(kSignature, sizeof kSignature);
    uint8_t ihdr[13];
    PutU32(ihdr, header.width);
    PutU32(ihdr + 4, header.height);
    ihdr[8] = header.bitDepth;
    ihdr[9] = header.colorType;
    ihdr[10] = ihdr[11] = ihdr[12] = 0;  // deflate, adaptive filtering, not interlaced
    SendChunk(sink, "IHDR", ihdr, sizeof ihdr, staging);
    if (header.hasSignificantBits)
        SendChunk(sink, "sBIT", header.significantBits, 3, staging);
    if (!header.palette.empty())
        SendChunk(sink, "PLTE", header.palette.data(), header.palette.size(), staging);
    if (header.hasPhysicalSize) {
        uint8_t phys[9];
        PutU32(phys, header.xPixelsPerMetre);
        PutU32(phys + 4, header.yPixelsPerMetre);
        phys[8] = 1;  // metre
        SendChunk(sink, "pHYs", phys, sizeof phys, staging);
    }
    for (size_t at = 0; at < packedBytes; at += kPngIdatBytes)
        SendChunk(sink, "IDAT", packed.get() + at, std::min(kPngIdatBytes, packedBytes - at), staging);
    SendChunk(sink, "IEND", nullptr, 0, staging);
}
