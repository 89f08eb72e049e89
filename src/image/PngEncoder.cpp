#include "image/PngEncoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
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

// The rows of the image in strips: strip i holds rows [i * rows, (i + 1) * rows).
struct StripPlan {
    size_t stride = 0;  // filtered bytes of a row
    uint32_t rows = 0;
    uint32_t count = 0;

    StripPlan(const PngEncodeHeader& header, size_t stripBytes)
        : stride(header.RowBytes() + 1)
    {
        const size_t fit = std::max<size_t>(1, stripBytes / stride);
        rows = static_cast<uint32_t>(std::min<size_t>(fit, std::max<uint32_t>(header.height, 1)));
        count = (header.height + rows - 1) / rows;
    }
    uint32_t First(uint32_t i) const { return i * rows; }
    uint32_t End(uint32_t i, uint32_t height) const { return std::min<uint64_t>(uint64_t{i + 1} * rows, height); }
};

// One strip compressed: a raw deflate stream (made joinable unless it is the
// last), with the Adler-32 of its filtered bytes. The buffer is kept from strip
// to strip.
struct PackedStrip {
    std::unique_ptr<uint8_t[]> data;
    size_t capacity = 0;
    size_t size = 0;
    size_t filteredBytes = 0;
    uint32_t adler = 1;
};

// What one thread needs to filter and compress strips, reused from strip to strip.
class CStripPacker {
public:
    CStripPacker(const PngEncodeHeader& header, const PngRowSource& rows, const StripPlan& plan)
        : m_header(header)
        , m_rows(rows)
        , m_plan(plan)
        , m_filter(header.RowBytes(), header.Channels(), header.colorType != kPngColorPalette && header.bitDepth == 8)
        , m_compressor(libdeflate_alloc_compressor(kPngDeflateLevel))
    {
        if (!m_compressor)
            AfxThrowMemoryException();
        const size_t rowBytes = header.RowBytes();
        m_lines = Allocate<uint8_t>(2 * rowBytes);
        m_filtered = Allocate<uint8_t>(plan.stride * plan.rows);
    }

    void Pack(uint32_t strip, PackedStrip& out)
    {
        const uint32_t first = m_plan.First(strip), end = m_plan.End(strip, m_header.height);
        const size_t bytes = m_plan.stride * (end - first);
        FilterRows(first, end);
        const size_t bound = libdeflate_deflate_compress_bound(m_compressor.get(), bytes) + kDeflateJoinSlack;
        if (out.capacity < bound) {
            out.data = Allocate<uint8_t>(bound);
            out.capacity = bound;
        }
        out.size = libdeflate_deflate_compress(m_compressor.get(), m_filtered.get(), bytes, out.data.get(), bound);
        if (out.size == 0)
            AfxThrowMemoryException();  // cannot happen with a buffer of the bound's size
        if (strip + 1 < m_plan.count) {
            out.size = MakeDeflateJoinable(out.data.get(), out.size, out.capacity);
            if (out.size == 0)
                AfxThrowMemoryException();  // cannot happen with libdeflate's own stream
        }
        out.filteredBytes = bytes;
        out.adler = libdeflate_adler32(1, m_filtered.get(), bytes);
    }

private:
    // Filters rows [first, end), each behind its filter byte; the row above the
    // first is fetched again, so that strips can be filtered apart.
    void FilterRows(uint32_t first, uint32_t end)
    {
        const size_t rowBytes = m_header.RowBytes();
        const bool rgb = m_header.colorType != kPngColorPalette;
        uint8_t* prev = m_lines.get();
        uint8_t* cur = prev + rowBytes;
        // Bits past the last pixel carry nothing: keep them zero, so the file depends on the pixels alone.
        const unsigned usedBits = static_cast<unsigned>((size_t{m_header.width} * m_header.bitDepth) % 8);
        const auto fetch = [&](uint32_t y, uint8_t* row) {
            m_rows(y, row);
            if (!rgb && usedBits != 0)
                row[rowBytes - 1] &= static_cast<uint8_t>(0xFF00u >> usedBits);
        };
        if (first > 0)
            fetch(first - 1, prev);
        else
            std::memset(prev, 0, rowBytes);
        uint8_t* out = m_filtered.get();
        for (uint32_t y = first; y < end; ++y, out += rowBytes + 1) {
            fetch(y, cur);
            m_filter.Filter(cur, prev, out);
            std::swap(prev, cur);
        }
    }

    const PngEncodeHeader& m_header;
    const PngRowSource& m_rows;
    const StripPlan& m_plan;
    CPngRowFilter m_filter;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> m_compressor;
    std::unique_ptr<uint8_t[]> m_lines;
    std::unique_ptr<uint8_t[]> m_filtered;
};

// Gathers the zlib stream into IDAT chunks of kPngIdatBytes (the last shorter)
// and sends each whole.
class CIdatWriter {
public:
    explicit CIdatWriter(const PngByteSink& sink)
        : m_sink(sink)
        , m_chunk(Allocate<uint8_t>(kPngIdatBytes + 12))
    {
    }
    void Append(const uint8_t* data, size_t size)
    {
        while (size > 0) {
            const size_t take = std::min(size, kPngIdatBytes - m_nUsed);
            std::memcpy(m_chunk.get() + 8 + m_nUsed, data, take);
            m_nUsed += take;
            data += take;
            size -= take;
            if (m_nUsed == kPngIdatBytes)
                Flush();
        }
    }
    void Flush()
    {
        if (m_nUsed == 0)
            return;
        uint8_t* chunk = m_chunk.get();
        PutU32(chunk, static_cast<uint32_t>(m_nUsed));
        std::memcpy(chunk + 4, "IDAT", 4);
        PutU32(chunk + 8 + m_nUsed, libdeflate_crc32(0, chunk + 4, m_nUsed + 4));
        m_sink(chunk, m_nUsed + 12);
        m_nUsed = 0;
    }

private:
    const PngByteSink& m_sink;
    std::unique_ptr<uint8_t[]> m_chunk;
    size_t m_nUsed = 0;
};

// The Adler-32 of two pieces from theirs (a's piece first, b's of bBytes).
uint32_t CombineAdler(uint32_t a, uint32_t b, size_t bBytes)
{
    return static_cast<uint32_t>(adler32_combine64(a, b, static_cast<z_off64_t>(bBytes)));
}

// Sends the zlib stream of the strips in order: its header, each strip's
// deflate stream, the checksum of every filtered byte.
class CStreamWriter {
public:
    explicit CStreamWriter(const PngByteSink& sink)
        : m_idat(sink)
    {
        const uint8_t header[2] = {0x78, 0xDA};  // deflate with a 32 KiB window; the check bits for the highest levels
        m_idat.Append(header, sizeof header);
    }
    void Add(const PackedStrip& strip)
    {
        m_idat.Append(strip.data.get(), strip.size);
        m_nAdler = CombineAdler(m_nAdler, strip.adler, strip.filteredBytes);
    }
    void Finish()
    {
        uint8_t trailer[4];
        PutU32(trailer, m_nAdler);
        m_idat.Append(trailer, sizeof trailer);
        m_idat.Flush();
    }

private:
    CIdatWriter m_idat;
    uint32_t m_nAdler = 1;
};

// Strips packed on `threads` threads and written by the calling thread in
// order, as they complete; a strip's buffer is reused once it is written.
void PackOnThreads(const PngEncodeHeader& header, const PngRowSource& rows, const StripPlan& plan, unsigned threads,
    CStreamWriter& writer)
{
    const uint32_t slotCount = threads + 1;
    std::vector<PackedStrip> slots(slotCount);
    std::vector<char> ready(slotCount, 0);
    std::mutex lock;
    std::condition_variable changed;
    uint32_t next = 0;  // the next strip to take
    uint32_t written = 0;  // strips written
    bool stop = false;
    std::exception_ptr failure;

    const auto work = [&] {
        try {
            CStripPacker packer(header, rows, plan);
            for (;;) {
                uint32_t strip = 0;
                {
                    std::unique_lock<std::mutex> hold(lock);
                    changed.wait(hold, [&] { return stop || next >= plan.count || next < written + slotCount; });
                    if (stop || next >= plan.count)
                        return;
                    strip = next++;
                }
                packer.Pack(strip, slots[strip % slotCount]);
                std::lock_guard<std::mutex> hold(lock);
                ready[strip % slotCount] = 1;
                changed.notify_all();
            }
        } catch (...) {
            std::lock_guard<std::mutex> hold(lock);
            if (!failure)
                failure = std::current_exception();
            stop = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    try {
        for (unsigned i = 0; i < threads; ++i)
            workers.emplace_back(work);
        for (uint32_t strip = 0; strip < plan.count; ++strip) {
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return stop || ready[strip % slotCount] != 0; });
                if (stop)
                    break;
            }
            writer.Add(slots[strip % slotCount]);
            std::lock_guard<std::mutex> hold(lock);
            ready[strip % slotCount] = 0;
            written = strip + 1;
            changed.notify_all();
        }
    } catch (...) {
        std::lock_guard<std::mutex> hold(lock);
        if (!failure)
            failure = std::current_exception();
        stop = true;
        changed.notify_all();
    }
    for (std::thread& worker : workers)
        worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

// Threads worth using: no more than there are strips, and few enough that
// what the strips in flight hold (a strip filtered and one compressed for each
// thread, and a compressor) stays within a quarter of the image's filtered
// bytes, or 64 MiB for smaller images.
unsigned ThreadsFor(const PngEncodeOptions& options, const StripPlan& plan, uint32_t height)
{
    const unsigned asked = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    const uint64_t budget = std::max<uint64_t>(plan.stride * uint64_t{height} / 4, uint64_t{64} << 20);
    const uint64_t perThread = 2 * plan.stride * uint64_t{plan.rows} + (uint64_t{1} << 20);
    const uint64_t fit = std::max<uint64_t>(1, budget / perThread);
    return static_cast<unsigned>(std::max<uint64_t>(1, std::min<uint64_t>({asked, plan.count, fit})));
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

void EncodePng(
    const PngEncodeHeader& header, const PngRowSource& rows, const PngByteSink& sink, const PngEncodeOptions& options)
{
    const StripPlan plan(header, options.stripBytes);
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
    CStreamWriter writer(sink);
    const unsigned threads = ThreadsFor(options, plan, header.height);
    if (threads > 1) {
        PackOnThreads(header, rows, plan, threads, writer);
    } else {
        CStripPacker packer(header, rows, plan);
        PackedStrip strip;
        for (uint32_t i = 0; i < plan.count; ++i) {
            packer.Pack(i, strip);
            writer.Add(strip);
        }
    }
    writer.Finish();
    SendChunk(sink, "IEND", nullptr, 0, staging);
}
