// Reading PNG files into a record; writing a record as a PNG file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "image/DibBlockCheck.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "image/PngEncoder.h"
#include "image/PngStages.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"

namespace {

constexpr char kPngOpenError[] = "Error opening png file.\nFile: %s";
constexpr char kPngReadError[] = "Error reading png file.\nFile: %s";
constexpr char kNotPng[] = "Not a recognised PNG format file.\nFile: %s";
constexpr char kPngWriteError[] = "Error writing png file.\nFile: %s";
constexpr char kBadSize[] = "Error opening Bitmap file.\nFile: %s";
constexpr char kCompressed[] = "Compressed bitmaps are not supported.\nFile: %s";
constexpr char kUnsupported[] = "Unsupported bitmap file format.\nFile: %s";
constexpr char kNoImage[] = "Unable to write %s, no image data was found.";

constexpr size_t kSignatureBytes = 8;
constexpr int32_t kMaxPngSide = 1000000;
constexpr uint64_t kMaxBlockBytes = 0xFFFFFFFFull - sizeof(BITMAPFILEHEADER);  // bfSize is 32 bits
// Deflate shrinks data at most about 1032 times, and the reader widens
// samples at most 32 times (1-bit palette or grey with a transparent colour
// to 8-bit BGRA): a larger image than this many bytes per file byte cannot be
// in the file, whatever its header says.
constexpr uint64_t kMaxBytesPerFileByte = 1032 * 32;

// The writer's pixel-format codes.
enum WriteFormat : int32_t {
    kWriteAsHeld = 0,
    kWrite555 = 10,
    kWrite555Masks = 11,
    kWrite565Masks = 12,
    kWrite32 = 20,
    kWrite888Masks = 21,
};

// Ends a read's libpng structures and file on every way out of ReadPng.
class PngReadCleanup {
public:
    explicit PngReadCleanup(PngReadJob& job)
        : m_job(job)
    {
    }
    ~PngReadCleanup()
    {
        if (m_job.png)
            png_destroy_read_struct(
                &m_job.png, m_job.info ? &m_job.info : nullptr, m_job.endInfo ? &m_job.endInfo : nullptr);
        if (m_job.file)
            std::fclose(m_job.file);
    }
    PngReadCleanup(const PngReadCleanup&) = delete;
    PngReadCleanup& operator=(const PngReadCleanup&) = delete;

private:
    PngReadJob& m_job;
};

// Copies the PNG's palette, still held by libpng, into the record's table;
// entries past the PNG's palette are black.
void LoadPngPalette(const PngReadJob& job, RGBQUAD* table, uint32_t entries)
{
    png_colorp palette = nullptr;
    int count = 0;
    if (!png_get_PLTE(job.png, job.info, &palette, &count) || !palette)
        count = 0;
    const uint32_t used = std::min(static_cast<uint32_t>(std::max(count, 0)), entries);
    for (uint32_t i = 0; i < entries; ++i)
        table[i] = i < used ? RGBQUAD{palette[i].blue, palette[i].green, palette[i].red, 0} : RGBQUAD{0, 0, 0, 0};
}

// Spreads 2-bit indices to 4 bits each, in place: the row's 2-bit data sits
// at its start and the row is wide enough for the 4-bit form.
void Widen2To4(uint8_t* row, uint32_t width, uint8_t* scratch, size_t packedBytes)
{
    std::memcpy(scratch, row, packedBytes);
    for (uint32_t x = 0; x < width; x += 2) {
        const unsigned hi = (scratch[x / 4] >> (6 - 2 * (x % 4))) & 3u;
        const unsigned lo = x + 1 < width ? (scratch[(x + 1) / 4] >> (6 - 2 * ((x + 1) % 4))) & 3u : 0u;
        row[x / 2] = static_cast<uint8_t>(hi << 4 | lo);
    }
}

// Opens the file, checks the signature and reads the header with the
// transformations asked for. Returns the file's length.
uint64_t OpenPng(PngReadJob& job, const std::string& path, PngAlpha alpha = PngAlpha::Drop)
{
    job.bKeepAlpha = alpha == PngAlpha::Keep;
    job.file = OpenReadStream(path);
    if (!job.file)
        ThrowRefusal(kPngOpenError, path);
    uint8_t signature[kSignatureBytes];
    if (std::fread(signature, 1, kSignatureBytes, job.file) != kSignatureBytes)
        ThrowRefusal(kPngReadError, path);
    if (png_sig_cmp(signature, 0, kSignatureBytes) != 0)
        ThrowRefusal(kNotPng, path);
    // The sides in the header chunk that must come first, against the limits,
    // before libpng reads anything (what is cut short, libpng refuses itself).
    uint8_t header[16];
    if (std::fread(header, 1, sizeof header, job.file) == sizeof header && std::memcmp(header + 4, "IHDR", 4) == 0) {
        const auto side = [&](int at) { return png_get_uint_32(header + at); };
        const uint32_t maxSide = job.limits.nMaxSide;
        if (side(8) > maxSide || side(12) > maxSide)
            ThrowRefusal(kImageTooLarge, path);
    }
    std::fseek(job.file, 0, SEEK_END);
    const long fileBytes = std::ftell(job.file);
    std::fseek(job.file, static_cast<long>(kSignatureBytes), SEEK_SET);
    if (fileBytes <= 0)
        ThrowRefusal(kPngReadError, path);

    job.png = PngCreateReader(&job);
    if (!job.png)
        AfxThrowMemoryException();
    job.info = png_create_info_struct(job.png);
    job.endInfo = png_create_info_struct(job.png);
    if (!job.info || !job.endInfo)
        AfxThrowMemoryException();
    if (!PngReadHeader(&job))
        ThrowRefusal(kPngReadError, path);
    return static_cast<uint64_t>(fileBytes);
}

// The depth the record holds: grey is 8 bits with a grey ramp, colour 24,
// palette its own depth, except 2 bits, which bitmaps do not have.
uint16_t RecordDepth(const PngReadJob& job, const std::string& path)
{
    if (job.colorType == PNG_COLOR_TYPE_RGB)
        return 24;
    if (job.colorType == PNG_COLOR_TYPE_RGB_ALPHA)
        return 32;
    if (job.colorType == PNG_COLOR_TYPE_GRAY)
        return 8;
    if (job.colorType != PNG_COLOR_TYPE_PALETTE)
        ThrowRefusal(kPngReadError, path);
    return static_cast<uint16_t>(job.bitDepth == 2 ? 4 : job.bitDepth);
}

// Reads every row into its bottom-up place at bits, 2-bit indices widened to 4.
void ReadPngRows(PngReadJob& job, uint8_t* bits, uint64_t stride, const std::string& path)
{
    // libpng leaves the unused bits of a row's last byte and the row padding
    // as they were: clear them, so no stale memory reaches a written file.
    std::unique_ptr<png_bytep[]> rows(new png_bytep[job.height]);
    const size_t tailStart = job.rowBytes > 0 ? job.rowBytes - 1 : 0;
    for (uint32_t i = 0; i < job.height; ++i) {
        rows[i] = bits + uint64_t{job.height - 1 - i} * stride;
        std::memset(rows[i] + tailStart, 0, static_cast<size_t>(stride) - tailStart);
    }
    if (!PngReadRows(&job, rows.get()))
        ThrowRefusal(kPngReadError, path);
    if (job.colorType == PNG_COLOR_TYPE_PALETTE && job.bitDepth == 2) {
        std::unique_ptr<uint8_t[]> scratch(new uint8_t[job.rowBytes]);
        for (uint32_t i = 0; i < job.height; ++i)
            Widen2To4(rows[i], job.width, scratch.get(), job.rowBytes);
    }
}

// True when any pixel of 32-bit rows has a non-zero fourth (alpha) byte.
bool AnyAlpha(const uint8_t* bits, size_t stride, uint32_t width, uint32_t height)
{
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bits + y * stride;
        for (uint32_t x = 0; x < width; ++x) {
            if (row[4 * size_t{x} + 3] != 0)
                return true;
        }
    }
    return false;
}

// A physical size in metres goes into the header; in no known unit, it stays 0.
void ReadPhysicalSize(const PngReadJob& job, BITMAPINFOHEADER& header)
{
    png_uint_32 xPerUnit = 0;
    png_uint_32 yPerUnit = 0;
    int unit = 0;
    if (png_get_valid(job.png, job.info, PNG_INFO_pHYs) &&
        png_get_pHYs(job.png, job.info, &xPerUnit, &yPerUnit, &unit) && unit == PNG_RESOLUTION_METER) {
        header.biXPelsPerMeter = static_cast<int32_t>(std::min<png_uint_32>(xPerUnit, INT32_MAX));
        header.biYPelsPerMeter = static_cast<int32_t>(std::min<png_uint_32>(yPerUnit, INT32_MAX));
    }
}

// The first text entry after the image data; a value that cannot be stored is left out.
void ReadFirstText(const PngReadJob& job, std::string& key, std::unique_ptr<char[]>& value)
{
    png_textp text = nullptr;
    int count = 0;
    if (png_get_text(job.png, job.endInfo, &text, &count) <= 0 || count <= 0 || !text)
        return;
    key = text[0].key ? text[0].key : "";
    const char* source = text[0].text ? text[0].text : "";
    const size_t length = std::strlen(source);
    value.reset(new (std::nothrow) char[length + 1]);
    if (value)
        std::memcpy(value.get(), source, length + 1);
}

// The record a PNG's header describes, checked against the limits and the file's length.
struct PngLayout {
    uint16_t depth = 0;
    uint32_t entries = 0;
    uint64_t stride = 0;
    uint64_t blockBytes = 0;
};

PngLayout MeasurePng(const PngReadJob& job, uint64_t fileBytes, const std::string& path)
{
    PngLayout l;
    l.depth = RecordDepth(job, path);
    l.entries = l.depth >= 24 ? 0u : 1u << l.depth;
    l.stride = DibStride(job.width, l.depth);
    const uint64_t pixelBytes = l.stride * job.height;
    l.blockBytes = pixelBytes + 4 * l.entries + sizeof(BITMAPINFOHEADER);
    CheckImageWithinLimits(job.width, job.height, l.depth, path, job.limits);
    if (job.width == 0 || job.height == 0 || job.rowBytes > l.stride || l.blockBytes > kMaxBlockBytes ||
        pixelBytes / kMaxBytesPerFileByte > fileBytes)
        ThrowRefusal(kPngReadError, path);
    return l;
}

}  // namespace

DibShape CDibImage::ReadPngShape(const std::string& path, const ImageLimits& limits)
{
    PngReadJob job;
    job.limits = limits;
    PngReadCleanup cleanup(job);
    const PngLayout layout = MeasurePng(job, OpenPng(job, path), path);
    return {static_cast<int32_t>(job.width), static_cast<int32_t>(job.height), layout.depth};
}

void CDibImage::ReadPng(const std::string& path, PngAlpha alpha)
{
    PngReadJob job;
    job.limits = m_limits;
    PngReadCleanup cleanup(job);
    const PngLayout layout = MeasurePng(job, OpenPng(job, path, alpha), path);
    const uint32_t entries = layout.entries;

    uint8_t* block = AllocateBlock(layout.blockBytes);
    auto* table = reinterpret_cast<RGBQUAD*>(block + sizeof(BITMAPINFOHEADER));
    std::memset(table, 0, 4 * entries);
    ReadPngRows(job, reinterpret_cast<uint8_t*>(table + entries), layout.stride, path);
    if (job.colorType == PNG_COLOR_TYPE_PALETTE)
        LoadPngPalette(job, table, entries);
    BuildDibFromPng(job.width, job.height, layout.depth, job.colorType == PNG_COLOR_TYPE_GRAY);
    ReadPhysicalSize(job, *m_pInfoHeader);
    ReadFirstText(job, m_strTextKey, m_pTextValue);
}

void CDibImage::BuildDibFromPng(uint32_t width, uint32_t height, uint16_t bitCount, bool grey)
{
    const uint32_t entries = bitCount >= 24 ? 0u : 1u << bitCount;
    const BITMAPINFOHEADER header =
        MakeInfoHeader(static_cast<int32_t>(width), static_cast<int32_t>(height), bitCount, entries);
    std::memcpy(m_hDib.get(), &header, sizeof header);
    DeriveLayout(4 * entries, entries);
    if (grey) {
        for (uint32_t i = 0; i < entries; ++i) {
            const auto level = static_cast<uint8_t>(i * 255 / (entries - 1));
            m_pColorTable[i] = RGBQUAD{level, level, level, 0};
        }
    }
}

void CDibImage::WritePngFile(const std::string& path, PngAlpha alpha, const ImageWriteOptions& options) const
{
    if (!m_hDib || !m_pInfoHeader)
        Fail(kNoImage, path);
    const BITMAPINFOHEADER& header = *m_pInfoHeader;
    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;
    const unsigned bitCount = header.biBitCount;
    int32_t writeFormat = kWriteAsHeld;
    if (height < 1 || height > kMaxPngSide || width < 1 || width > kMaxPngSide)
        Fail(kBadSize, path);
    if (header.biCompression == BI_RLE8 || header.biCompression == BI_RLE4)
        Fail(kCompressed, path);
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        Fail(kUnsupported, path);
    if (bitCount != 1 && bitCount != 2 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        Fail(kUnsupported, path);
    if (!DibRowsInsideBlock(*this))
        Fail(kNoImage, path);

    // 16 and 32-bit records: the default layouts or the three known bit-field layouts.
    if (bitCount == 16 || bitCount == 32) {
        writeFormat = bitCount == 16 ? kWrite555 : kWrite32;
        if (header.biCompression == BI_BITFIELDS) {
            uint32_t masks[3];
            CDibRowConverter::GetMasks(*this, masks);
            const auto is = [&](uint32_t r, uint32_t g, uint32_t b) {
                return masks[0] == r && masks[1] == g && masks[2] == b;
            };
            if (bitCount == 16 && is(0x7C00, 0x3E0, 0x1F))
                writeFormat = kWrite555Masks;
            else if (bitCount == 16 && is(0xF800, 0x7E0, 0x1F))
                writeFormat = kWrite565Masks;
            else if (bitCount == 32 && is(0xFF0000, 0xFF00, 0xFF))
                writeFormat = kWrite888Masks;
            else
                Fail(kUnsupported, path);
        }
    }

    PngEncodeHeader png;
    png.width = static_cast<uint32_t>(width);
    png.height = static_cast<uint32_t>(height);
    png.bitDepth = static_cast<uint8_t>(bitCount <= 8 ? bitCount : 8);
    png.colorType = bitCount <= 8 ? kPngColorPalette : kPngColorRgb;
    if (bitCount == 32 && alpha == PngAlpha::Keep && AnyAlpha(m_pBits, m_nStride, png.width, png.height))
        png.colorType = kPngColorRgba;
    if (bitCount == 16) {
        png.hasSignificantBits = true;
        png.significantBits[0] = 5;
        png.significantBits[1] = writeFormat == kWrite565Masks ? 6 : 5;
        png.significantBits[2] = 5;
    }
    if (static_cast<uint32_t>(header.biXPelsPerMeter) != 0 && static_cast<uint32_t>(header.biYPelsPerMeter) != 0) {
        png.hasPhysicalSize = true;
        png.xPixelsPerMetre = static_cast<uint32_t>(header.biXPelsPerMeter);
        png.yPixelsPerMetre = static_cast<uint32_t>(header.biYPelsPerMeter);
    }
    if (bitCount <= 8 && m_pColorTable) {
        // A palette longer than the depth allows is not valid PNG.
        const uint32_t entries = std::min(m_nPaletteEntries, 1u << bitCount);
        for (uint32_t i = 0; i < entries; ++i) {
            const RGBQUAD& c = m_pColorTable[i];
            png.palette.insert(png.palette.end(), {c.rgbRed, c.rgbGreen, c.rgbBlue});
        }
    }

    // PNG rows run top first in red-green-blue order; the record's run bottom
    // first, colour in blue-green-red order.
    const uint8_t* bits = m_pBits;
    const size_t stride = m_nStride;
    const size_t rowBytes = png.RowBytes();
    const uint32_t pixels = png.width;
    CDibRowConverter converter;
    if (bitCount == 16)
        converter.Init(*this);
    const PngRowSource rows = [&](uint32_t y, uint8_t* out) {
        const uint8_t* src = bits + size_t{png.height - 1 - y} * stride;
        if (bitCount <= 8) {
            std::memcpy(out, src, rowBytes);
            return;
        }
        if (bitCount == 16) {
            converter.ConvertRow(src, out);
            src = out;
        }
        if (png.colorType == kPngColorRgba) {
            for (uint32_t x = 0; x < pixels; ++x, src += 4, out += 4) {
                const uint8_t blue = src[0];
                out[0] = src[2];
                out[1] = src[1];
                out[2] = blue;
                out[3] = src[3];
            }
            return;
        }
        const size_t step = bitCount == 32 ? 4 : 3;
        for (uint32_t x = 0; x < pixels; ++x, src += step, out += 3) {
            const uint8_t blue = src[0];
            out[1] = src[1];
            out[0] = src[2];
            out[2] = blue;
        }
    };

    CSafeFileWriter out;
    out.DeferSyncIfNew(options.bDeferSyncIfNew);
    CFileException error;
    if (!out.Open(path, &error))
        throw error;
    try {
        EncodePng(png, rows, [&](const uint8_t* data, size_t size) { out.Write(data, size); }, {.threads = options.nPngThreads});
        out.Commit();
    } catch (const CFileException& e) {
        out.Discard();
        // The system's reason on a line of its own, as the BMP and Targa writers give one.
        const std::string text = std::string(kPngWriteError) + "\n" +
            (e.m_lOsError != 0 ? std::strerror(e.m_lOsError) : "an unexpected error occurred");
        Fail(text.c_str(), path);
    }
}
