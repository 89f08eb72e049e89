// Records made in memory, for pictures the program composes itself.
#include <cstring>

#include "image/DibImage.h"
#include "platform/Exceptions.h"

std::unique_ptr<CDibImage> CDibImage::CreateBlank24(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        AfxThrowMemoryException();
    const uint64_t rows = DibStride(static_cast<uint64_t>(width), 24) * static_cast<uint64_t>(height);
    // The header's 32-bit sizes must hold the image and the file.
    if (rows > UINT32_MAX - sizeof(BITMAPFILEHEADER) - sizeof(BITMAPINFOHEADER))
        AfxThrowMemoryException();
    std::unique_ptr<CDibImage> image(new CDibImage());
    uint8_t* block = image->AllocateBlock(sizeof(BITMAPINFOHEADER) + rows);
    std::memset(block, 0, static_cast<size_t>(image->m_nDibSize));
    const BITMAPINFOHEADER header = MakeInfoHeader(width, height, 24, 0);
    std::memcpy(block, &header, sizeof header);
    image->DeriveLayout(0, 0);
    return image;
}

std::unique_ptr<CDibImage> CDibImage::CreateEmpty()
{
    return std::unique_ptr<CDibImage>(new CDibImage());
}
