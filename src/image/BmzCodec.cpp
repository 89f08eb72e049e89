#include "image/BmzCodec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/BitmapTypes.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"
#include "platform/MappedFile.h"

namespace {

// Deflate expands no byte of input into more than about this many bytes.
constexpr uint64_t kMaxDeflateRatio = 1032;
// A bitmap file may carry a colour profile after its pixels, which its size counts.
constexpr uint64_t kMaxTrailingBytes = 16 * 1024 * 1024;
// The zlib header of a stream made at the default window and level 6.
constexpr uint8_t kZlibHeader[2] = {0x78, 0x9C};
// A stored block: one header byte (not final, type 0), its length and the length's complement.
constexpr size_t kStoredBlockHeader = 5;
constexpr size_t kMaxStoredBlock = 65535;
constexpr size_t kAdlerBytes = 4;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};
struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

uint8_t* NewBytes(uint64_t count)
{
    if (count > SIZE_MAX)
        return nullptr;
    return new (std::nothrow) uint8_t[static_cast<size_t>(std::max<uint64_t>(count, 1))];
}

}  // namespace

// Sets the size the headers declare: the pixels where the file header puts
// them (or right after the headers and colour table), and what the file
// header counts after them, within reason.
BmzResult CheckBitmapStreamHeaders(const uint8_t* headers, uint64_t sourceBytes, uint64_t outputLimit,
    uint64_t& declaredSize, const ImageLimits& limits)
{
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    std::memcpy(&file, headers, sizeof file);
    std::memcpy(&info, headers + sizeof file, sizeof info);
    if (file.bfType != kBitmapSignature || info.biSize < sizeof info || info.biSize > 1024 || info.biWidth <= 0 ||
        info.biHeight == 0 || info.biBitCount == 0 || info.biBitCount > 32)
        return BmzResult::kDamaged;
    const uint64_t width = static_cast<uint64_t>(info.biWidth);
    const uint64_t height = info.biHeight < 0 ? uint64_t{0} - static_cast<uint64_t>(int64_t{info.biHeight})
                                              : static_cast<uint64_t>(info.biHeight);
    if (!ImageWithinLimits(width, height, info.biBitCount, limits))
        return BmzResult::kTooLarge;
    const uint64_t pixelBytes = DibStride(width, info.biBitCount) * height;
    const uint64_t tableBytes = info.biBitCount <= 8 ? 4ull << info.biBitCount : 12;
    const uint64_t pixelsAt = std::max<uint64_t>(sizeof file + info.biSize + tableBytes, file.bfOffBits);
    const uint64_t end = pixelsAt + pixelBytes;
    declaredSize = std::max<uint64_t>(end, std::min<uint64_t>(file.bfSize, end + kMaxTrailingBytes));
    if (declaredSize > outputLimit)
        return BmzResult::kTooLarge;
    if (end / kMaxDeflateRatio > sourceBytes + 1024)
        return BmzResult::kDamaged;
    return BmzResult::kOk;
}

uint64_t BitmapStreamStart::InflatedBound() const
{
    return headerSize > 0 ? std::min<uint64_t>(headerSize, declaredSize) : declaredSize;
}

uint64_t BitmapStreamStart::FileBytesNeeded() const
{
    // Stored blocks are the least deflate can do with the bytes: five more for every 65535.
    const uint64_t bound = InflatedBound();
    const uint64_t stream =
        sizeof kZlibHeader + bound + (bound / kMaxStoredBlock + 1) * kStoredBlockHeader + kAdlerBytes;
    return kBmzHeaderSize + stream + 1024;
}

BmzResult InflateBitmapStart(
    const std::string& source, size_t wanted, BitmapStreamStart& start, const ImageLimits& limits)
{
    start = BitmapStreamStart{};
    CFile file;
    CFileException error;
    if (!file.Open(source, CFile::modeRead, &error)) {
        start.reason = error.GetReason();
        return BmzResult::kUnreadable;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw std::bad_alloc();
    start.bytes.resize(std::max<size_t>(wanted, kBitmapHeaderBytes));
    z.next_out = start.bytes.data();
    z.avail_out = static_cast<uInt>(start.bytes.size());
    unsigned char chunk[16 * 1024];
    int result = Z_OK;
    bool first = true;
    try {
        start.fileSize = file.GetLength();
        while (result == Z_OK && z.avail_out > 0) {
            size_t got = file.Read(chunk, sizeof chunk);
            size_t skip = 0;
            if (first) {
                first = false;
                if (got >= 4)
                    std::memcpy(&start.headerSize, chunk, 4);
                skip = static_cast<size_t>(std::min<uint64_t>(got, kBmzHeaderSize));
            }
            if (got == skip)
                break;
            z.next_in = chunk + skip;
            z.avail_in = static_cast<uInt>(got - skip);
            while (result == Z_OK && z.avail_in > 0 && z.avail_out > 0)
                result = inflate(&z, Z_NO_FLUSH);
        }
    } catch (const CFileException& e) {
        start.reason = e.GetReason();
    }
    start.bytes.resize(z.total_out);
    inflateEnd(&z);
    if (!start.reason.empty())
        return BmzResult::kUnreadable;
    if (result != Z_OK && result != Z_STREAM_END)
        return result == Z_BUF_ERROR ? BmzResult::kCutShort : BmzResult::kDamaged;
    if (start.bytes.size() < kBitmapHeaderBytes)
        return BmzResult::kCutShort;  // the stream ends before the headers do
    const uint64_t sourceBytes = start.fileSize > kBmzHeaderSize ? start.fileSize - kBmzHeaderSize : 0;
    return CheckBitmapStreamHeaders(
        start.bytes.data(), sourceBytes, limits.nMaxInflatedBytes, start.declaredSize, limits);
}

BmzResult ReadFileStart(const std::string& path, uint64_t maxBytes, ByteBuffer& file, std::string& reason)
{
    file = ByteBuffer{};
    try {
        CFile in;
        CFileException error;
        if (!in.Open(path, CFile::modeRead, &error)) {
            reason = error.GetReason();
            return BmzResult::kUnreadable;
        }
        const uint64_t size = std::min(in.GetLength(), maxBytes);
        file.bytes.reset(NewBytes(size));
        if (!file.bytes)
            throw std::bad_alloc();
        file.size = in.Read(file.bytes.get(), static_cast<size_t>(size));
        return BmzResult::kOk;
    } catch (const CFileException& e) {
        reason = e.GetReason();
        return BmzResult::kUnreadable;
    }
}

BmzResult InflateBmzStream(const uint8_t* file, size_t size, uint8_t* out, uint64_t capacity, uint64_t& produced)
{
    produced = 0;
    if (size <= kBmzHeaderSize)
        return BmzResult::kCutShort;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> d(libdeflate_alloc_decompressor());
    if (!d)
        throw std::bad_alloc();
    // One call: the output never passes capacity, however much the stream holds.
    struct Call {
        libdeflate_decompressor* d;
        const uint8_t* in;
        size_t inBytes;
        uint8_t* out;
        size_t outBytes;
        size_t actual = 0;
        libdeflate_result result = LIBDEFLATE_BAD_DATA;
    } call{d.get(), file + kBmzHeaderSize, size - kBmzHeaderSize, out,
        static_cast<size_t>(std::min<uint64_t>(capacity, SIZE_MAX))};
    // The file may be mapped: one that shrank under it reads as a damaged stream, as a short read would.
    const bool read = RunGuardingLostPages(
        [](void* context) {
            Call& c = *static_cast<Call*>(context);
            c.result = libdeflate_zlib_decompress_ex(c.d, c.in, c.inBytes, c.out, c.outBytes, nullptr, &c.actual);
        },
        &call);
    if (!read || call.result != LIBDEFLATE_SUCCESS)
        return BmzResult::kDamaged;
    produced = call.actual;
    return BmzResult::kOk;
}

bool BuildBmzFile(const uint8_t* head, size_t headBytes, const uint8_t* body, size_t bodyBytes, uint32_t declaredSize,
    uint16_t carried, ByteBuffer& file)
{
    file = ByteBuffer{};
    if (headBytes > kMaxStoredBlock)
        return false;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> c(libdeflate_alloc_compressor(kBmzLevel));
    if (!c)
        return false;
    const size_t front = kBmzHeaderSize + sizeof kZlibHeader + (headBytes > 0 ? kStoredBlockHeader + headBytes : 0);
    const size_t bound = libdeflate_deflate_compress_bound(c.get(), bodyBytes);
    std::unique_ptr<uint8_t[]> bytes(NewBytes(uint64_t{front} + bound + kAdlerBytes));
    if (!bytes)
        return false;
    uint8_t* p = bytes.get();
    std::memset(p, 0, kBmzHeaderSize);
    std::memcpy(p, &declaredSize, 4);
    std::memcpy(p + 4, &carried, 2);
    p += kBmzHeaderSize;
    std::memcpy(p, kZlibHeader, sizeof kZlibHeader);
    p += sizeof kZlibHeader;
    // The file header goes first as a stored block, which ends on a byte
    // boundary, so the body's deflate data can follow it as made.
    if (headBytes > 0) {
        const uint16_t length = static_cast<uint16_t>(headBytes);
        const uint16_t complement = static_cast<uint16_t>(~length);
        p[0] = 0;
        std::memcpy(p + 1, &length, 2);
        std::memcpy(p + 3, &complement, 2);
        std::memcpy(p + kStoredBlockHeader, head, headBytes);
        p += kStoredBlockHeader + headBytes;
    }
    const size_t deflated = libdeflate_deflate_compress(c.get(), body, bodyBytes, p, bound);
    if (deflated == 0)
        return false;
    p += deflated;
    uint32_t adler = libdeflate_adler32(1, head, headBytes);
    adler = libdeflate_adler32(adler, body, bodyBytes);
    const uint8_t trailer[kAdlerBytes] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
        static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
    std::memcpy(p, trailer, sizeof trailer);
    p += sizeof trailer;
    file.size = static_cast<size_t>(p - bytes.get());
    file.bytes = std::move(bytes);
    return true;
}
