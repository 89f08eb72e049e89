#include "NifBuilder.h"

#include <fstream>

NifBuilder& NifBuilder::Filler(size_t count, uint8_t value)
{
    m_bytes.insert(m_bytes.end(), count, value);
    return *this;
}

NifBuilder& NifBuilder::Text(const std::string& text)
{
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return *this;
}

NifBuilder& NifBuilder::Raw(const std::vector<uint8_t>& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

NifBuilder& NifBuilder::U32(uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
}

uint64_t NifBuilder::Texture(uint32_t width, uint32_t height, uint32_t format, const std::vector<uint8_t>& pixels)
{
    Text("NiRawImageData");
    // The 12 bytes before the width are never read: make them look like fields.
    U32(0x01020304).U32(7).U32(0xFFFFFFFF);
    const uint64_t offset = m_bytes.size();
    U32(width).U32(height).U32(format);
    Raw(pixels);
    m_offsets.push_back(offset);
    return offset;
}

uint64_t NifBuilder::Texture(uint32_t width, uint32_t height, uint32_t format, uint8_t seed)
{
    return Texture(width, height, format, PatternPixels(width, height, format, seed));
}

uint64_t NifBuilder::Link(const std::string& name, const std::string& after)
{
    Text("NiImage");
    Filler(17, 0x11);
    const uint64_t position = m_bytes.size();
    Text(name).Text(after);
    return position;
}

void NifBuilder::Save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
}

std::vector<uint8_t> NifBuilder::PatternPixels(uint32_t width, uint32_t height, uint32_t format, uint8_t seed)
{
    const size_t count = size_t{width} * height * BytesPerPixel(format);
    std::vector<uint8_t> pixels(count);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = static_cast<uint8_t>(i * 7 + i / 251 + seed);
    return pixels;
}

std::vector<uint8_t> NifBuilder::BlockToDib(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height,
                                            uint32_t format)
{
    const size_t bpp = BytesPerPixel(format);
    const size_t rowBytes = size_t{width} * bpp;
    const size_t stride = (rowBytes + 3) / 4 * 4;
    std::vector<uint8_t> dib(stride * height, 0);
    for (size_t row = 0; row < height; ++row) {
        const uint8_t* from = pixels.data() + row * rowBytes;
        uint8_t* to = dib.data() + (height - 1 - row) * stride;
        for (size_t x = 0; x < width; ++x) {
            to[x * bpp + 0] = from[x * bpp + 2];
            to[x * bpp + 1] = from[x * bpp + 1];
            to[x * bpp + 2] = from[x * bpp + 0];
            if (bpp == 4)
                to[x * bpp + 3] = from[x * bpp + 3];
        }
    }
    return dib;
}
