#include "image/RawTexture.h"

#include <cstring>

#include "platform/BitmapTypes.h"
#include "platform/File.h"

std::optional<uint64_t> RawTextureShape::PixelBytes() const
{
    const uint64_t pixels = PixelCount();
    if (pixels > UINT64_MAX / BytesPerPixel())
        return std::nullopt;
    return pixels * BytesPerPixel();
}

std::optional<RawTextureShape> ReadRawTextureShape(CFile& file, uint64_t offset)
{
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return std::nullopt;
    uint8_t fields[kRawFieldBytes];
    file.Seek(static_cast<int64_t>(offset), CFile::begin);
    if (file.Read(fields, sizeof fields) != sizeof fields)
        return std::nullopt;
    RawTextureShape shape;
    std::memcpy(&shape.width, fields, 4);
    std::memcpy(&shape.height, fields + 4, 4);
    std::memcpy(&shape.format, fields + 8, 4);
    return shape;
}

bool RawTextureReadable(const RawTextureShape& shape, uint64_t offset, uint64_t fileLength)
{
    const uint64_t pixelsStart = offset + kRawFieldBytes;
    const std::optional<uint64_t> pixelBytes = shape.PixelBytes();
    if (offset > fileLength || !pixelBytes || fileLength < pixelsStart || *pixelBytes > fileLength - pixelsStart)
        return false;
    if (shape.width > INT32_MAX || shape.height > INT32_MAX)
        return false;
    const uint64_t imageBytes = DibStride(shape.width, RawRecordBitCount(shape.format)) * shape.height;
    return imageBytes <= UINT32_MAX - sizeof(BITMAPFILEHEADER) - sizeof(BITMAPINFOHEADER);
}
