// Reading BMP files into a record; writing a record as a BMP or Targa file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "image/DibBlockCheck.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"

// What a BMP file's headers describe, checked against the file's length.
struct BmpLayout {
    bool topDown = false;
    uint64_t height = 0;
    uint64_t stride = 0;
    uint64_t pixelBytes = 0;
    uint32_t entries = 0;  // the record's palette: the full table of its depth
    uint32_t tableBytes = 0;  // the record's palette or masks
    bool hasMasks = false;
    uint64_t fileTableBytes = 0;  // what the file stores between the header and the pixels
    uint64_t pixelOffset = 0;
    uint64_t blockBytes = 0;
};

namespace {

constexpr char kOpenError[] = "Error opening bitmap file.\nFile: %s";
constexpr char kShortHeader[] = "Error reading bitmap file.\nFile: %s";
constexpr char kNotBmp[] = "Not a recognised BMP format file.\nFile: %s";
constexpr char kReadError[] = "Error reading Bitmap file.\nFile: %s";
constexpr char kCompressed[] = "Compressed bitmaps are not supported.";
constexpr char kNoImage[] = "Unable to write %s, no image data was found.";
constexpr char kTgaTooLarge[] = "Unable to write %s, the image is too large for a Targa file.";

constexpr uint32_t kInfoHeaderSize = sizeof(BITMAPINFOHEADER);
// Headers of 52 bytes and more hold the red, green and blue masks at byte 40.
constexpr uint32_t kMasksInHeaderSize = 52;
constexpr uint32_t kHeaderMasksOffset = 40;
// A 124-byte header may point at a colour profile stored after the pixels.
constexpr uint32_t kV5HeaderSize = 124;
constexpr uint32_t kCsTypeOffset = 56;
constexpr uint32_t kProfileDataOffset = 112;
constexpr uint32_t kProfileSizeOffset = 116;
constexpr uint32_t kProfileLinked = 0x4C494E4B;  // 'LINK'
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
constexpr uint32_t kColorSpaceSrgb = 0x73524742;  // 'sRGB'

constexpr uint64_t kMaxBmpFileBytes = 0xFFFFFFFFull;  // bfSize is 32 bits
constexpr size_t kWriteChunkBytes = 1 << 20;

bool IsBmpBitCount(unsigned bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

uint32_t LoadU32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void StoreU32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

// Turns rows stored top row first into bottom row first, in place.
void FlipRows(uint8_t* rows, uint64_t stride, uint64_t height)
{
    std::unique_ptr<uint8_t[]> temp(new uint8_t[stride]);
    for (uint64_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = rows + top * stride;
        uint8_t* b = rows + bottom * stride;
        std::memcpy(temp.get(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, temp.get(), stride);
    }
}

// A colour profile stays behind in the source file, so the header must not point at it.
void DropProfileReference(uint8_t* header, uint32_t headerSize)
{
    if (headerSize < kV5HeaderSize)
        return;
    const uint32_t csType = LoadU32(header + kCsTypeOffset);
    if (csType != kProfileLinked && csType != kProfileEmbedded)
        return;
    StoreU32(header + kCsTypeOffset, kColorSpaceSrgb);
    StoreU32(header + kProfileDataOffset, 0);
    StoreU32(header + kProfileSizeOffset, 0);
}

// A 32-bit record whose bytes are already blue, green, red, alpha.
bool IsPlainBgra(const CDibImage& image)
{
    if (image.GetBitCount() != 32)
        return false;
    return CDibRowConverter::MasksAre(image, 0xFF0000, 0xFF00, 0xFF);
}

// Checks the file header, and the info header's size against the bytes there are.
void CheckBmpStart(const BITMAPFILEHEADER& fileHeader, uint32_t headerSize, uint64_t available, const std::string& path)
{
    if (fileHeader.bfType != kBitmapSignature || fileHeader.bfReserved1 != 0 || fileHeader.bfReserved2 != 0)
        ThrowRefusal(kNotBmp, path);
    if (headerSize < kInfoHeaderSize || sizeof(BITMAPFILEHEADER) + uint64_t{headerSize} > available)
        ThrowRefusal(kReadError, path);
}

// A bitmap file held in memory, read as a file is read.
class CMemorySource {
public:
    CMemorySource(const uint8_t* bytes, uint64_t size)
        : m_bytes(bytes)
        , m_size(size)
    {
    }
    size_t Read(void* buffer, size_t count)
    {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, m_size - std::min(m_position, m_size)));
        if (n > 0)
            std::memcpy(buffer, m_bytes + m_position, n);
        m_position += n;
        return n;
    }
    uint64_t GetLength() const { return m_size; }
    uint64_t GetPosition() const { return m_position; }
    void Seek(uint64_t position) { m_position = position; }
    const uint8_t* At(uint64_t position) const { return m_bytes + position; }

private:
    const uint8_t* m_bytes;
    uint64_t m_size;
    uint64_t m_position = 0;
};

// Reads and checks the file header, then the info header, whatever its size,
// as far as the source holds it; returns the info header's bytes.
template <typename Source>
std::vector<uint8_t> ReadBmpHeaders(Source& file, BITMAPFILEHEADER& fileHeader, const std::string& path)
{
    if (file.Read(&fileHeader, sizeof fileHeader) != sizeof fileHeader)
        ThrowRefusal(kShortHeader, path);
    uint32_t headerSize = 0;
    if (file.Read(&headerSize, 4) != 4)
        headerSize = 0;
    CheckBmpStart(fileHeader, headerSize, file.GetLength(), path);
    std::vector<uint8_t> header(headerSize);
    StoreU32(header.data(), headerSize);
    if (file.Read(header.data() + 4, headerSize - 4) != headerSize - 4)
        ThrowRefusal(kReadError, path);
    return header;
}

BmpLayout MeasureBmp(const BITMAPFILEHEADER& fileHeader, const std::vector<uint8_t>& header, uint64_t fileSize,
    const std::string& path, const ImageLimits& limits)
{
    BITMAPINFOHEADER info;
    std::memcpy(&info, header.data(), sizeof info);
    if (info.biCompression != BI_RGB && info.biCompression != BI_BITFIELDS)
        ThrowRefusal(kCompressed, path);
    if (!IsBmpBitCount(info.biBitCount))
        ThrowRefusal(kNotBmp, path);
    if (info.biWidth <= 0 || info.biHeight == 0)
        ThrowRefusal(kReadError, path);

    BmpLayout l;
    l.topDown = info.biHeight < 0;
    l.height = l.topDown ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(info.biHeight))
                         : static_cast<uint64_t>(info.biHeight);
    l.stride = DibStride(static_cast<uint64_t>(info.biWidth), info.biBitCount);
    CheckImageWithinLimits(static_cast<uint64_t>(info.biWidth), l.height, info.biBitCount, path, limits);
    if (l.height > kMaxBmpFileBytes / l.stride)
        ThrowRefusal(kReadError, path);
    l.pixelBytes = l.stride * l.height;
    l.entries = info.biBitCount <= 8 ? (1u << info.biBitCount) : 0u;
    l.hasMasks = info.biCompression == BI_BITFIELDS && (info.biBitCount == 16 || info.biBitCount == 32);
    l.tableBytes = l.hasMasks ? 12u : 4u * l.entries;
    l.blockBytes = uint64_t{header.size()} + l.tableBytes + l.pixelBytes;
    if (sizeof(BITMAPFILEHEADER) + l.blockBytes > kMaxBmpFileBytes)
        ThrowRefusal(kReadError, path);

    // A palette may be shorter than the depth allows; long headers carry the masks themselves.
    uint32_t fileEntries = l.entries;
    if (info.biClrUsed > 0 && info.biClrUsed < l.entries)
        fileEntries = info.biClrUsed;
    l.fileTableBytes = 4ull * fileEntries;
    if (l.hasMasks)
        l.fileTableBytes = header.size() >= kMasksInHeaderSize ? 0 : 12;
    // Pixels after a gap are where bfOffBits says, if they fit there.
    const uint64_t tableEnd = sizeof(BITMAPFILEHEADER) + uint64_t{header.size()} + l.fileTableBytes;
    l.pixelOffset = tableEnd;
    if (fileHeader.bfOffBits > tableEnd && fileHeader.bfOffBits + l.pixelBytes <= fileSize)
        l.pixelOffset = fileHeader.bfOffBits;
    if (l.pixelOffset + l.pixelBytes > fileSize)
        ThrowRefusal(kReadError, path);
    return l;
}

// Fills the record's colour table: the masks, or the palette with black for
// entries the file leaves out and every reserved byte cleared.
template <typename Source>
void ReadBmpTable(
    Source& file, const BmpLayout& layout, const std::vector<uint8_t>& header, uint8_t* table, const std::string& path)
{
    if (layout.hasMasks && layout.fileTableBytes == 0) {
        std::memcpy(table, header.data() + kHeaderMasksOffset, 12);
        return;
    }
    const size_t readBytes = static_cast<size_t>(std::min<uint64_t>(layout.fileTableBytes, layout.tableBytes));
    if (file.Read(table, readBytes) != readBytes)
        ThrowRefusal(kReadError, path);
    std::memset(table + readBytes, 0, layout.tableBytes - readBytes);
}

// Opens the file and reads and checks its headers.
BmpLayout OpenBmp(CFile& file, BITMAPFILEHEADER& fileHeader, std::vector<uint8_t>& header, const std::string& path,
    const ImageLimits& limits)
{
    if (!file.Open(path, CFile::modeRead))
        ThrowRefusal(kOpenError, path);
    header = ReadBmpHeaders(file, fileHeader, path);
    return MeasureBmp(fileHeader, header, file.GetLength(), path, limits);
}

void SeekTo(CFile& file, uint64_t position)
{
    if (file.GetPosition() != position)
        file.Seek(static_cast<int64_t>(position), CFile::begin);
}

void SeekTo(CMemorySource& source, uint64_t position)
{
    source.Seek(position);
}

// The record's block as the file stores it from its info header on: the
// table is the record's own (whole palette or masks) and the pixels follow it.
bool BlockAsStored(const BmpLayout& layout, const std::vector<uint8_t>& header)
{
    return layout.fileTableBytes == layout.tableBytes &&
        layout.pixelOffset == sizeof(BITMAPFILEHEADER) + header.size() + layout.tableBytes;
}

DibShape ShapeOf(const std::vector<uint8_t>& header, const BmpLayout& layout)
{
    BITMAPINFOHEADER info;
    std::memcpy(&info, header.data(), sizeof info);
    return {info.biWidth, static_cast<int32_t>(layout.height), info.biBitCount};
}

}  // namespace

DibShape CDibImage::ReadBmpShape(const std::string& path, const ImageLimits& limits)
{
    CFile file;
    BITMAPFILEHEADER fileHeader;
    std::vector<uint8_t> header;
    const BmpLayout layout = OpenBmp(file, fileHeader, header, path, limits);
    return ShapeOf(header, layout);
}

DibShape CDibImage::ReadBmpShape(
    const uint8_t* bytes, size_t size, uint64_t fileSize, const std::string& path, const ImageLimits& limits)
{
    BITMAPFILEHEADER fileHeader;
    uint32_t headerSize = 0;
    if (size < sizeof fileHeader + 4)
        Fail(kShortHeader, path);
    std::memcpy(&fileHeader, bytes, sizeof fileHeader);
    std::memcpy(&headerSize, bytes + sizeof fileHeader, 4);
    CheckBmpStart(fileHeader, headerSize, size, path);
    const std::vector<uint8_t> header(bytes + sizeof fileHeader, bytes + sizeof fileHeader + headerSize);
    return ShapeOf(header, MeasureBmp(fileHeader, header, fileSize, path, limits));
}

void CDibImage::ReadBmp(const std::string& path)
{
    CFile file;
    BITMAPFILEHEADER fileHeader;
    std::vector<uint8_t> header;
    const BmpLayout layout = OpenBmp(file, fileHeader, header, path, m_limits);
    ReadBmpBlock(file, header, layout, path);
    file.Close();
}

void CDibImage::ReadBmpFromMemory(const uint8_t* bytes, uint64_t size, const std::string& path)
{
    CMemorySource source(bytes, size);
    BITMAPFILEHEADER fileHeader;
    const std::vector<uint8_t> header = ReadBmpHeaders(source, fileHeader, path);
    ReadBmpBlock(source, header, MeasureBmp(fileHeader, header, size, path, m_limits), path);
}

void CDibImage::AdoptBmpBlock(uint64_t at, uint64_t size, const std::string& path)
{
    // The bitmap file lies in the allocation, at bytes in: where the file
    // stores the record's block as it is, the block is used where it lies.
    CMemorySource source(m_hDib.get() + at, std::min(size, m_nDibSize - at));
    BITMAPFILEHEADER fileHeader;
    const std::vector<uint8_t> header = ReadBmpHeaders(source, fileHeader, path);
    const BmpLayout layout = MeasureBmp(fileHeader, header, source.GetLength(), path, m_limits);
    if (!BlockAsStored(layout, header)) {
        const std::unique_ptr<uint8_t[]> file = std::move(m_hDib);
        m_nDibSize = 0;
        ReadBmpFromMemory(file.get() + at, source.GetLength(), path);
        return;
    }
    m_nBlockOffset = at + sizeof(BITMAPFILEHEADER);
    m_nDibSize -= m_nBlockOffset;
    FinishBmpBlock(header, layout);
}

template <typename Source>
void CDibImage::ReadBmpBlock(
    Source& file, const std::vector<uint8_t>& header, const BmpLayout& layout, const std::string& path)
{
    uint8_t* block = AllocateBlock(layout.blockBytes);
    std::memcpy(block, header.data(), header.size());
    uint8_t* table = block + header.size();
    uint8_t* bits = table + layout.tableBytes;
    ReadBmpTable(file, layout, header, table, path);
    SeekTo(file, layout.pixelOffset);
    if (file.Read(bits, static_cast<size_t>(layout.pixelBytes)) != layout.pixelBytes)
        Fail(kReadError, path);
    FinishBmpBlock(header, layout);
}

// The block holds the file's info header, table and pixels: rows turned
// bottom-up, the fields the record derives itself set.
void CDibImage::FinishBmpBlock(const std::vector<uint8_t>& header, const BmpLayout& layout)
{
    uint8_t* block = Block();
    uint8_t* table = block + header.size();
    uint8_t* bits = table + layout.tableBytes;
    for (uint32_t i = 0; i < layout.entries; ++i)
        table[4 * i + 3] = 0;
    auto* blockHeader = reinterpret_cast<BITMAPINFOHEADER*>(block);
    if (layout.topDown) {
        FlipRows(bits, layout.stride, layout.height);
        blockHeader->biHeight = static_cast<int32_t>(layout.height);
    }
    DropProfileReference(block, static_cast<uint32_t>(header.size()));
    blockHeader->biClrUsed = layout.entries;
    // The file's own value is not trusted: it is derived like bfSize.
    blockHeader->biSizeImage = static_cast<uint32_t>(layout.pixelBytes);
    DeriveLayout(layout.tableBytes, layout.entries);
}

void CDibImage::WriteBmp(const std::string& path, const ImageWriteOptions& options) const
{
    if (!m_hDib || !m_pInfoHeader || !DibRowsInsideBlock(*this))
        Fail(kNoImage, path);
    const uint64_t blockBytes =
        m_fileHeader.bfSize >= sizeof(BITMAPFILEHEADER) ? m_fileHeader.bfSize - sizeof(BITMAPFILEHEADER) : 0;
    if (blockBytes < kInfoHeaderSize || blockBytes > m_nDibSize)
        Fail(kNoImage, path);

    CSafeFileWriter out;
    out.DeferSyncIfNew(options.bDeferSyncIfNew);
    CFileException error;
    if (!out.Open(path, &error))
        throw error;
    out.Write(&m_fileHeader, sizeof m_fileHeader);
    out.Write(Block(), static_cast<size_t>(blockBytes));
    out.Commit();
}

void CDibImage::WriteTga(const std::string& path, const ImageWriteOptions& options) const
{
    if (!m_hDib || !m_pInfoHeader || !DibRowsInsideBlock(*this))
        Fail(kNoImage, path);
    const uint32_t width = static_cast<uint32_t>(m_pInfoHeader->biWidth);
    const uint32_t height = static_cast<uint32_t>(m_pInfoHeader->biHeight);
    if (width > 0xFFFF || height > 0xFFFF)
        Fail(kTgaTooLarge, path);

    // 24 and plain 32-bit rows go out as held; every other layout as 24 bits.
    const unsigned bitCount = GetBitCount();
    const bool asHeld = bitCount == 24 || IsPlainBgra(*this);
    const unsigned depth = asHeld ? bitCount : 24;
    CDibRowConverter converter;
    if (!asHeld && !converter.Init(*this))
        Fail(kNoImage, path);

    TgaHeader header = m_tgaHeader;
    header.width = static_cast<uint16_t>(width);
    header.height = static_cast<uint16_t>(height);
    header.pixelDepth = static_cast<uint8_t>(depth);
    header.imageDescriptor = depth == 32 ? 8 : 0;  // alpha bits; origin bottom left

    CSafeFileWriter out;
    out.DeferSyncIfNew(options.bDeferSyncIfNew);
    CFileException error;
    if (!out.Open(path, &error))
        throw error;
    out.Write(&header, sizeof header);
    const size_t rowBytes = static_cast<size_t>(width) * (depth / 8);
    if (asHeld && rowBytes == m_nStride) {
        out.Write(m_pBits, rowBytes * height);
    } else {
        // Rows lose their padding (and are converted), a batch of rows per write.
        const size_t rowsPerChunk = std::max<size_t>(1, kWriteChunkBytes / rowBytes);
        std::unique_ptr<uint8_t[]> chunk(new uint8_t[rowsPerChunk * rowBytes]);
        for (uint32_t row = 0; row < height;) {
            const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(rowsPerChunk, height - row));
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* src = m_pBits + uint64_t{row + i} * m_nStride;
                uint8_t* dst = chunk.get() + size_t{i} * rowBytes;
                if (asHeld)
                    std::memcpy(dst, src, rowBytes);
                else
                    converter.ConvertRow(src, dst);
            }
            out.Write(chunk.get(), size_t{count} * rowBytes);
            row += count;
        }
    }
    out.Write(&m_tgaFooter, sizeof m_tgaFooter);
    out.Commit();
}
