// Reading an embedded texture of a model file into an image record.
#include <algorithm>
#include <cstring>

#include "image/DibImage.h"
#include "image/PixelOrder.h"
#include "image/RawTexture.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"
#include "platform/UiServices.h"

namespace {

constexpr char kOpenError[] = "Error opening file.\nFile: %s";
constexpr char kReadError[] = "Error reading file.\nFile: %s";
constexpr char kUnknownFormat[] = "Hmmm, somethin' ain't right!";

// Rows are read in groups of about this many bytes and converted while the
// group is still in the processor's cache.
constexpr uint64_t kGroupBytes = 256 * 1024;

// Reads exactly count bytes or reports that the file holds fewer.
bool ReadAll(CFile& file, uint8_t* target, uint64_t count)
{
    return file.Read(target, static_cast<size_t>(count)) == count;
}

}  // namespace

void CDibImage::ReadRawImage(const std::string& pszPath, uint64_t dwOffset)
{
    CFile file;
    if (!file.Open(pszPath, CFile::modeRead))
        Fail(kOpenError, pszPath);
    const std::optional<RawTextureShape> shape = ReadRawTextureShape(file, dwOffset);
    if (!shape)
        Fail(kReadError, pszPath);

    const uint64_t width = shape->width;
    const uint64_t height = shape->height;
    const bool knownFormat = shape->format == 1 || shape->format == 2;
    const uint16_t bitCount = shape->format == 1 ? 24 : 32;
    const uint64_t bytesPerPixel = shape->BytesPerPixel();
    const uint64_t pixelsStart = dwOffset + kRawFieldBytes;
    const uint64_t length = file.GetLength();
    const std::optional<uint64_t> pixelBytes = shape->PixelBytes();
    // Every size comes from the file: the pixels must all be there, and the
    // record's padded rows must fit the bitmap header's 32-bit sizes.
    if (!pixelBytes || length < pixelsStart || *pixelBytes > length - pixelsStart)
        Fail(kReadError, pszPath);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        Fail(kReadError, pszPath);
    if (!ImageWithinLimits(width, height, bitCount))
        Fail(kImageTooLarge, pszPath);
    const uint64_t stride = DibStride(width, bitCount);
    const uint64_t imageBytes = stride * height;
    if (imageBytes > UINT32_MAX - sizeof(BITMAPFILEHEADER) - sizeof(BITMAPINFOHEADER))
        Fail(kReadError, pszPath);

    uint8_t* block = AllocateBlock(sizeof(BITMAPINFOHEADER) + imageBytes);
    uint8_t* bits = block + sizeof(BITMAPINFOHEADER);
    const uint64_t rowBytes = width * bytesPerPixel;

    if (!knownFormat) {
        // Kept as the file has it: rows of 4-byte pixels need no padding.
        if (!ReadAll(file, bits, *pixelBytes))
            Fail(kReadError, pszPath);
    } else if (rowBytes > kGroupBytes) {
        // Rows too long to group: each goes straight to its bottom-up place.
        for (uint64_t row = 0; row < height; ++row) {
            uint8_t* target = bits + (height - 1 - row) * stride;
            if (!ReadAll(file, target, rowBytes))
                Fail(kReadError, pszPath);
            CopySwappingRedBlue(target, target, width, static_cast<uint32_t>(bytesPerPixel));
            std::memset(target + rowBytes, 0, stride - rowBytes);
        }
    } else {
        // File rows run top-down; each lands in its bottom-up place with red and
        // blue exchanged in the same pass, its padding zeroed.
        const uint64_t rowsPerGroup = kGroupBytes / rowBytes;
        std::unique_ptr<uint8_t[]> group(new uint8_t[rowsPerGroup * rowBytes]);
        for (uint64_t row = 0; row < height; row += rowsPerGroup) {
            const uint64_t rows = std::min(rowsPerGroup, height - row);
            if (!ReadAll(file, group.get(), rows * rowBytes))
                Fail(kReadError, pszPath);
            for (uint64_t i = 0; i < rows; ++i) {
                uint8_t* target = bits + (height - 1 - row - i) * stride;
                CopySwappingRedBlue(group.get() + i * rowBytes, target, width, static_cast<uint32_t>(bytesPerPixel));
                std::memset(target + rowBytes, 0, stride - rowBytes);
            }
        }
    }
    file.Close();

    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block);
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = static_cast<int32_t>(width);
    header->biHeight = static_cast<int32_t>(height);
    header->biPlanes = 1;
    header->biBitCount = bitCount;
    header->biCompression = BI_RGB;
    header->biSizeImage = static_cast<uint32_t>(imageBytes);
    DeriveLayout(0, 0);

    if (!knownFormat)
        AfxMessageBox(kUnknownFormat, MB_OK);
}
