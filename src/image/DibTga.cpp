// Reading Targa files into a record: uncompressed and run-length true-colour
// images of 24 and 32 bits, stored bottom-up or top-down. Targa pixels are
// blue, green, red (, alpha), as a record's are, so only the rows move.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/DibImage.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"

namespace {

constexpr char kOpenError[] = "Error opening Targa file.\nFile: %s";
constexpr char kReadError[] = "Error reading Targa file.\nFile: %s";
constexpr char kUnsupported[] =
    "Only uncompressed or run-length true-colour Targa files of 24 or 32 bits are supported.\nFile: %s";
constexpr char kTooLarge[] = "The image in this Targa file is too large.\nFile: %s";

constexpr uint8_t kTrueColour = 2;
constexpr uint8_t kTrueColourRle = 10;
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;
constexpr uint64_t kMaxPacketPixels = 128;
constexpr size_t kReadChunk = 64 * 1024;
constexpr uint64_t kMaxDibBytes = 0xFFFFFFFFull - sizeof(BITMAPFILEHEADER) - sizeof(BITMAPINFOHEADER);

// Reads a file through a buffer, so that small packets cost no system call each.
class CBufferedReader {
public:
    explicit CBufferedReader(CFile& file)
        : m_file(file)
        , m_buffer(kReadChunk)
    {
    }

    // Copies count bytes; false when the file ends first.
    bool Read(uint8_t* target, size_t count)
    {
        while (count > 0) {
            if (m_pos == m_end) {
                m_end = m_file.Read(m_buffer.data(), m_buffer.size());
                m_pos = 0;
                if (m_end == 0)
                    return false;
            }
            const size_t step = std::min(count, m_end - m_pos);
            std::memcpy(target, m_buffer.data() + m_pos, step);
            m_pos += step;
            target += step;
            count -= step;
        }
        return true;
    }

private:
    CFile& m_file;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
};

// Puts pixels, in the file's order, into the record's bottom-up rows.
class CPixelPlacer {
public:
    CPixelPlacer(
        uint8_t* bits, uint64_t stride, uint64_t width, uint64_t height, uint64_t bytesPerPixel, uint8_t descriptor)
        : m_bits(bits)
        , m_stride(stride)
        , m_width(width)
        , m_height(height)
        , m_bpp(bytesPerPixel)
        , m_topDown((descriptor & kTopToBottom) != 0)
        , m_mirrored((descriptor & kRightToLeft) != 0)
    {
    }

    uint64_t PixelsLeft() const { return (m_height - m_row) * m_width - m_col; }

    // count pixels read one after the other from the file.
    bool PlaceRead(CBufferedReader& reader, uint64_t count)
    {
        while (count > 0) {
            const uint64_t step = std::min(count, m_width - m_col);
            if (!m_mirrored) {
                if (!reader.Read(At(m_col), static_cast<size_t>(step * m_bpp)))
                    return false;
            } else {
                for (uint64_t i = 0; i < step; ++i) {
                    if (!reader.Read(At(m_col + i), static_cast<size_t>(m_bpp)))
                        return false;
                }
            }
            Advance(step);
            count -= step;
        }
        return true;
    }

    // count copies of one pixel.
    void PlaceRepeated(const uint8_t* pixel, uint64_t count)
    {
        while (count > 0) {
            const uint64_t step = std::min(count, m_width - m_col);
            for (uint64_t i = 0; i < step; ++i)
                std::memcpy(At(m_col + i), pixel, static_cast<size_t>(m_bpp));
            Advance(step);
            count -= step;
        }
    }

private:
    // Where the pixel at column col of the current file row belongs.
    uint8_t* At(uint64_t col) const
    {
        const uint64_t row = m_topDown ? m_height - 1 - m_row : m_row;
        const uint64_t x = m_mirrored ? m_width - 1 - col : col;
        return m_bits + row * m_stride + x * m_bpp;
    }
    void Advance(uint64_t count)
    {
        m_col += count;
        if (m_col == m_width) {
            m_col = 0;
            ++m_row;
        }
    }

    uint8_t* m_bits;
    uint64_t m_stride, m_width, m_height, m_bpp;
    bool m_topDown, m_mirrored;
    uint64_t m_row = 0;
    uint64_t m_col = 0;
};

bool DecodeRunLength(CBufferedReader& reader, CPixelPlacer& placer, uint64_t bytesPerPixel)
{
    uint8_t pixel[4];
    while (placer.PixelsLeft() > 0) {
        uint8_t packet = 0;
        if (!reader.Read(&packet, 1))
            return false;
        const uint64_t count = (packet & 0x7F) + 1u;
        if (count > placer.PixelsLeft())
            return false;  // a packet that runs past the image: the file is damaged
        if (packet & 0x80) {
            if (!reader.Read(pixel, static_cast<size_t>(bytesPerPixel)))
                return false;
            placer.PlaceRepeated(pixel, count);
        } else if (!placer.PlaceRead(reader, count)) {
            return false;
        }
    }
    return true;
}

// Where a Targa file's pixels start and what they need, checked against its length.
struct TgaLayout {
    uint64_t dataStart = 0;
    uint64_t stride = 0;
    uint64_t bytesPerPixel = 0;
    bool runLength = false;
};

TgaLayout MeasureTga(const TgaHeader& header, uint64_t fileSize, const std::string& path, const ImageLimits& limits)
{
    if ((header.imageType != kTrueColour && header.imageType != kTrueColourRle) || header.colorMapType > 1 ||
        (header.pixelDepth != 24 && header.pixelDepth != 32))
        ThrowRefusal(kUnsupported, path);
    if (header.width == 0 || header.height == 0)
        ThrowRefusal(kReadError, path);

    // A true-colour image may still carry a colour map; it is passed over.
    uint64_t mapBytes = 0;
    if (header.colorMapType == 1) {
        const uint64_t entries = header.colorMapSpec[2] | (header.colorMapSpec[3] << 8);
        mapBytes = entries * ((header.colorMapSpec[4] + 7u) / 8u);
    }
    TgaLayout l;
    l.dataStart = sizeof header + header.idLength + mapBytes;
    if (l.dataStart > fileSize)
        ThrowRefusal(kReadError, path);
    const uint64_t available = fileSize - l.dataStart;

    l.bytesPerPixel = header.pixelDepth / 8u;
    l.stride = DibStride(header.width, header.pixelDepth);
    if (l.stride * header.height > kMaxDibBytes)
        ThrowRefusal(kTooLarge, path);
    CheckImageWithinLimits(header.width, header.height, header.pixelDepth, path, limits);
    // Every pixel needs its bytes in the file: all of them uncompressed, and at
    // least one packet of 1 + bytesPerPixel bytes per 128 when run-length coded.
    const uint64_t pixels = uint64_t{header.width} * header.height;
    l.runLength = header.imageType == kTrueColourRle;
    const uint64_t packets = (pixels + kMaxPacketPixels - 1) / kMaxPacketPixels;
    if (l.runLength ? packets > available / (1 + l.bytesPerPixel) : pixels > available / l.bytesPerPixel)
        ThrowRefusal(kReadError, path);
    return l;
}

// Opens the file and reads and checks its header.
TgaLayout OpenTga(CFile& file, TgaHeader& header, const std::string& path, const ImageLimits& limits)
{
    if (!file.Open(path, CFile::modeRead))
        ThrowRefusal(kOpenError, path);
    if (file.Read(&header, sizeof header) != sizeof header)
        ThrowRefusal(kReadError, path);
    return MeasureTga(header, file.GetLength(), path, limits);
}

}  // namespace

DibShape CDibImage::ReadTgaShape(const std::string& path, const ImageLimits& limits)
{
    CFile file;
    TgaHeader header{};
    OpenTga(file, header, path, limits);
    return {header.width, header.height, header.pixelDepth};
}

void CDibImage::ReadTga(const std::string& path)
{
    CFile file;
    TgaHeader header{};
    const TgaLayout layout = OpenTga(file, header, path, m_limits);
    const uint64_t width = header.width;
    const uint64_t height = header.height;

    uint8_t* block = AllocateBlock(sizeof(BITMAPINFOHEADER) + layout.stride * height);
    std::memset(block, 0, static_cast<size_t>(m_nDibSize));
    uint8_t* bits = block + sizeof(BITMAPINFOHEADER);
    file.Seek(static_cast<int64_t>(layout.dataStart), CFile::begin);
    CBufferedReader reader(file);
    CPixelPlacer placer(bits, layout.stride, width, height, layout.bytesPerPixel, header.imageDescriptor);
    const bool complete = layout.runLength ? DecodeRunLength(reader, placer, layout.bytesPerPixel)
                                           : placer.PlaceRead(reader, width * height);
    if (!complete)
        Fail(kReadError, path);
    file.Close();

    auto* info = reinterpret_cast<BITMAPINFOHEADER*>(block);
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = static_cast<int32_t>(width);
    info->biHeight = static_cast<int32_t>(height);
    info->biPlanes = 1;
    info->biBitCount = header.pixelDepth;
    info->biCompression = BI_RGB;
    info->biSizeImage = static_cast<uint32_t>(layout.stride * height);
    DeriveLayout(0, 0);
    // What a Targa replacement is checked against.
    m_tgaHeader.width = header.width;
    m_tgaHeader.height = header.height;
    m_tgaHeader.pixelDepth = header.pixelDepth;
}
