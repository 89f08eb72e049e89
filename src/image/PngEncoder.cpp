#include "image/PngEncoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "image/DeflateJoin.h"
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

// The setting of SetPngEncoderThreads; 0: one thread per core.
std::atomic<unsigned> g_nThreads{0};

// A compressed stream and its length.
struct Packed {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

// Filters rows [first, end) into out, each behind its filter byte; the row
// above the first is fetched again, so that slices can be filtered apart.
void FilterRows(const PngEncodeHeader& header, const PngRowSource& rows, uint32_t first, uint32_t end, uint8_t* out)
{
    const size_t rowBytes = header.RowBytes();
    const bool rgb = header.colorType != kPngColorPalette;
    // Palette and low-depth rows compress best unfiltered; colour rows get a filter each.
    CPngRowFilter filter(rowBytes, header.Channels(), rgb && header.bitDepth == 8);
    auto lines = Allocate<uint8_t>(2 * rowBytes);
    uint8_t* prev = lines.get();
    uint8_t* cur = prev + rowBytes;
    // Bits past the last pixel carry nothing: keep them zero, so the file depends on the pixels alone.
    const unsigned usedBits = static_cast<unsigned>((size_t{header.width} * header.bitDepth) % 8);
    const auto fetch = [&](uint32_t y, uint8_t* row) {
        rows(y, row);
        if (!rgb && usedBits != 0)
            row[rowBytes - 1] &= static_cast<uint8_t>(0xFF00u >> usedBits);
    };
    if (first > 0)
        fetch(first - 1, prev);
    else
        std::memset(prev, 0, rowBytes);
    for (uint32_t y = first; y < end; ++y, out += rowBytes + 1) {
        fetch(y, cur);
        filter.Filter(cur, prev, out);
        std::swap(prev, cur);
    }
}

// One zlib stream, compressed by libdeflate in one call.
Packed CompressWhole(const uint8_t* data, size_t size)
{
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kPngDeflateLevel));
    if (!compressor)
        AfxThrowMemoryException();
    Packed packed;
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
    packed.data = Allocate<uint8_t>(bound);
    packed.size = libdeflate_zlib_compress(compressor.get(), data, size, packed.data.get(), bound);
    if (packed.size == 0)
        AfxThrowMemoryException();  // cannot happen with a buffer of the bound's size
    return packed;
}

Packed FilterAndCompress(const PngEncodeHeader& header, const PngRowSource& rows)
{
    const size_t filteredBytes = (header.RowBytes() + 1) * header.height;
    auto filtered = Allocate<uint8_t>(filteredBytes);
    FilterRows(header, rows, 0, header.height, filtered.get());
    return CompressWhole(filtered.get(), filteredBytes);
}

// A raw deflate stream by libdeflate.
std::vector<uint8_t> DeflateRaw(const uint8_t* data, size_t size)
{
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(kPngDeflateLevel));
    if (!compressor)
        AfxThrowMemoryException();
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor.get(), size));
    out.resize(libdeflate_deflate_compress(compressor.get(), data, size, out.data(), out.size()));
    if (out.empty())
        AfxThrowMemoryException();  // cannot happen with a buffer of the bound's size
    return out;
}

// A large image in two halves, each filtered and deflated apart (on two
// threads when asked) and joined into one zlib stream, whose checksum covers
// every filtered byte. The bytes are the same however many threads made them.
Packed FilterAndCompressInTwo(const PngEncodeHeader& header, const PngRowSource& rows, bool twoThreads)
{
    const size_t stride = header.RowBytes() + 1;
    const size_t filteredBytes = stride * header.height;
    auto filtered = Allocate<uint8_t>(filteredBytes);
    const uint32_t split = header.height / 2;
    const size_t headBytes = stride * split;

    std::vector<uint8_t> head;
    std::exception_ptr headFailure;
    const auto makeHead = [&] {
        try {
            FilterRows(header, rows, 0, split, filtered.get());
            head = DeflateRaw(filtered.get(), headBytes);
        } catch (...) {
            headFailure = std::current_exception();
        }
    };
    std::thread helper;
    if (twoThreads)
        helper = std::thread(makeHead);
    else
        makeHead();
    std::vector<uint8_t> tail;
    std::exception_ptr tailFailure;
    try {
        FilterRows(header, rows, split, header.height, filtered.get() + headBytes);
        tail = DeflateRaw(filtered.get() + headBytes, filteredBytes - headBytes);
    } catch (...) {
        tailFailure = std::current_exception();
    }
    if (helper.joinable())
        helper.join();
    for (const std::exception_ptr& failure : {headFailure, tailFailure}) {
        if (failure)
            std::rethrow_exception(failure);
    }
    if (!MakeDeflateJoinable(head))
        return CompressWhole(filtered.get(), filteredBytes);  // cannot happen with libdeflate's own stream

    Packed packed;
    packed.size = 2 + head.size() + tail.size() + 4;
    packed.data = Allocate<uint8_t>(packed.size);
    uint8_t* out = packed.data.get();
    out[0] = 0x78;  // deflate with a 32 KiB window
    out[1] = 0xDA;  // the header check bits, for the highest levels
    std::memcpy(out + 2, head.data(), head.size());
    std::memcpy(out + 2 + head.size(), tail.data(), tail.size());
    PutU32(out + packed.size - 4, libdeflate_adler32(1, filtered.get(), filteredBytes));
    return packed;
}

}  // namespace

unsigned PngEncodeHeader::Channels() const
{
    return colorType == kPngColorRgb ? 3u : colorType == kPngColorRgba ? 4u : 1u;
}

size_t PngEncodeHeader::RowBytes() const
{
    return (size_t{width} * Channels() * bitDepth + 7) / 8;
}

void SetPngEncoderThreads(unsigned threads)
{
    g_nThreads = threads;
}

void EncodePng(const PngEncodeHeader& header, const PngRowSource& rows, const PngByteSink& sink)
{
    const size_t filteredBytes = (header.RowBytes() + 1) * header.height;
    const unsigned threads = g_nThreads > 0 ? g_nThreads.load() : std::thread::hardware_concurrency();
    const Packed packed = filteredBytes >= kPngSplitBytes && header.height > 1
        ? FilterAndCompressInTwo(header, rows, threads > 1)
        : FilterAndCompress(header, rows);

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
    if (header.hasSignificantBits && header.colorType != kPngColorRgba)
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
    for (size_t at = 0; at < packed.size; at += kPngIdatBytes)
        SendChunk(sink, "IDAT", packed.data.get() + at, std::min(kPngIdatBytes, packed.size - at), staging);
    SendChunk(sink, "IEND", nullptr, 0, staging);
}
