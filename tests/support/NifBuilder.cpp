#include "NifBuilder.h"

#include <algorithm>

#include "TempDir.h"

NifBuilder& NifBuilder::U32(uint32_t value)
{
    return Raw({static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
        static_cast<uint8_t>(value >> 24)});
}

uint64_t NifBuilder::Texture(uint32_t width, uint32_t height, uint32_t format, const std::vector<uint8_t>& pixels)
{
    // The 12 bytes before the width are never read: make them look like fields.
    Text("NiRawImageData").U32(0x01020304).U32(7).U32(0xFFFFFFFF);
    m_offsets.push_back(m_bytes.size());
    U32(width).U32(height).U32(format).Raw(pixels);
    return m_offsets.back();
}

uint64_t NifBuilder::Link(const std::string& name, const std::string& after)
{
    Text("NiImage").Filler(17, 0x11);
    const uint64_t position = m_bytes.size();
    Text(name).Text(after);
    return position;
}

void NifBuilder::Save(const std::string& path) const
{
    WriteFileBytes(path, m_bytes);
}

std::vector<uint8_t> NifBuilder::PatternPixels(uint32_t width, uint32_t height, uint32_t format, uint8_t seed)
{
    std::vector<uint8_t> pixels(size_t{width} * height * BytesPerPixel(format));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 7 + i / 251 + seed);
    return pixels;
}

std::vector<uint8_t> NifBuilder::BlockToDib(
    const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height, uint32_t format)
{
    const size_t bpp = BytesPerPixel(format);
    const size_t rowBytes = size_t{width} * bpp;
    const size_t stride = (rowBytes + 3) / 4 * 4;
    std::vector<uint8_t> dib(stride * height, 0);
    for (size_t row = 0; row < height; ++row) {
        const uint8_t* from = pixels.data() + row * rowBytes;
        uint8_t* to = dib.data() + (height - 1 - row) * stride;
        std::copy(from, from + rowBytes, to);
        for (size_t i = 0; i < rowBytes; i += bpp)
            std::swap(to[i], to[i + 2]);
    }
    return dib;
}

std::vector<uint8_t> NifBuilder::Spliced(std::vector<uint8_t> file, uint64_t offset, uint64_t oldPixelBytes,
    uint32_t width, uint32_t height, uint32_t format, const std::vector<uint8_t>& pixels)
{
    const std::vector<uint8_t> block = NifBuilder().U32(width).U32(height).U32(format).Raw(pixels).Bytes();
    file.erase(file.begin() + long(offset), file.begin() + long(offset + 12 + oldPixelBytes));
    file.insert(file.begin() + long(offset), block.begin(), block.end());
    return file;
}

std::vector<uint8_t> NifBuilder::Stamped(std::vector<uint8_t> file, uint64_t offset, uint64_t pixelBytes, uint8_t alpha)
{
    for (uint64_t i = offset + 15; i < offset + 12 + pixelBytes; i += 4)
        file[i] = alpha;
    return file;
}
