// Reading an embedded texture of a model file into an image record.
#include <algorithm>
#include <cstring>

#include "image/DibImage.h"
#include "image/PixelOrder.h"
#include "image/RawTexture.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"

namespace {

constexpr char kOpenError[] = "Error opening file.\nFile: %s";
constexpr char kReadError[] = "Error reading file.\nFile: %s";
constexpr char kUnknownFormat[] = "Hmmm, somethin' ain't right!";

// Rows are read in groups of about this many bytes and converted while the
// group is still in the processor's cache.
constexpr uint64_t kGroupBytes = 256 * 1024;

// Where a texture's pixels go in the record: bottom-up rows of stride bytes.
struct RawLayout {
    uint64_t width = 0;
    uint64_t height = 0;
    uint64_t bytesPerPixel = 0;
    uint64_t pixelBytes = 0;  // in the file
    uint64_t stride = 0;  // in the record
    uint16_t bitCount = 0;
    bool knownFormat = false;
};

// Reads the texture's fields and checks every size against the file: the
// pixels must all be there, and the record's padded rows must fit the bitmap
// header's 32-bit sizes.
RawLayout MeasureTexture(CFile& file, uint64_t offset, const std::string& path, const ImageLimits& limits)
{
    const std::optional<RawTextureShape> shape = ReadRawTextureShape(file, offset);
    if (!shape)
        ThrowRefusal(kReadError, path);
    if (!RawTextureReadable(*shape, offset, file.GetLength()))
        ThrowRefusal(kReadError, path);
    RawLayout layout;
    layout.width = shape->width;
    layout.height = shape->height;
    layout.knownFormat = shape->format == 1 || shape->format == 2;
    layout.bitCount = RawRecordBitCount(shape->format);
    CheckImageWithinLimits(layout.width, layout.height, layout.bitCount, path, limits);
    layout.bytesPerPixel = shape->BytesPerPixel();
    layout.pixelBytes = *shape->PixelBytes();
    layout.stride = DibStride(layout.width, layout.bitCount);
    return layout;
}

// Reads exactly count bytes or refuses the file.
void ReadAll(CFile& file, uint8_t* target, uint64_t count, const std::string& path)
{
    if (file.Read(target, static_cast<size_t>(count)) != count)
        ThrowRefusal(kReadError, path);
}

// File rows run top-down; each lands in its bottom-up place with red and blue
// exchanged in the same pass, its padding zeroed.
void ReadRows(CFile& file, const RawLayout& layout, uint8_t* bits, const std::string& path)
{
    const uint64_t rowBytes = layout.width * layout.bytesPerPixel;
    const auto bpp = static_cast<uint32_t>(layout.bytesPerPixel);
    const auto place = [&](uint64_t row) { return bits + (layout.height - 1 - row) * layout.stride; };
    if (rowBytes > kGroupBytes) {
        // Rows too long to group: each goes straight to its place.
        for (uint64_t row = 0; row < layout.height; ++row) {
            uint8_t* target = place(row);
            ReadAll(file, target, rowBytes, path);
            CopySwappingRedBlue(target, target, layout.width, bpp);
            std::memset(target + rowBytes, 0, layout.stride - rowBytes);
        }
        return;
    }
    const uint64_t rowsPerGroup = kGroupBytes / rowBytes;
    std::unique_ptr<uint8_t[]> group(new uint8_t[rowsPerGroup * rowBytes]);
    for (uint64_t row = 0; row < layout.height; row += rowsPerGroup) {
        const uint64_t rows = std::min(rowsPerGroup, layout.height - row);
        ReadAll(file, group.get(), rows * rowBytes, path);
        for (uint64_t i = 0; i < rows; ++i) {
            uint8_t* target = place(row + i);
            CopySwappingRedBlue(group.get() + i * rowBytes, target, layout.width, bpp);
            std::memset(target + rowBytes, 0, layout.stride - rowBytes);
        }
    }
}

}  // namespace

void CDibImage::ReadRawImage(const std::string& path, uint64_t offset)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        Fail(kOpenError, path);
    const RawLayout layout = MeasureTexture(file, offset, path, m_limits);
    const BITMAPINFOHEADER header =
        MakeInfoHeader(static_cast<int32_t>(layout.width), static_cast<int32_t>(layout.height), layout.bitCount, 0);
    uint8_t* block = AllocateBlock(sizeof header + header.biSizeImage);
    uint8_t* bits = block + sizeof header;
    // A side of 0 is an empty image: there are no rows to read.
    if (layout.knownFormat && layout.pixelBytes > 0)
        ReadRows(file, layout, bits, path);
    else
        ReadAll(file, bits, layout.pixelBytes, path);  // kept as the file has it: 4-byte pixels need no padding
    file.Close();

    std::memcpy(block, &header, sizeof header);
    DeriveLayout(0, 0);
    if (!layout.knownFormat)
        m_strNotice = kUnknownFormat;
}
