#include "image/DibRowConverter.h"

#include <bit>
#include <cstring>

#include "image/DibImage.h"

bool CDibRowConverter::Init(const CDibImage& image)
{
    const BITMAPINFO* info = image.GetBitmapInfo();
    const BITMAPINFOHEADER* header = info ? &info->bmiHeader : nullptr;
    if (!header || header->biWidth <= 0)
        return false;
    m_nBitCount = header->biBitCount;
    m_nWidth = static_cast<uint32_t>(header->biWidth);
    switch (m_nBitCount) {
    case 1:
    case 2:
    case 4:
    case 8:
        m_pPalette = image.GetColorTable();
        m_nPaletteEntries = image.GetPaletteEntries();
        return true;
    case 16:
    case 32: {
        uint32_t masks[3];
        GetMasks(image, masks);
        m_red = MakeChannel(masks[0]);
        m_green = MakeChannel(masks[1]);
        m_blue = MakeChannel(masks[2]);
        return true;
    }
    case 24: return true;
    default: return false;
    }
}

void CDibRowConverter::GetMasks(const CDibImage& image, uint32_t masks[3])
{
    const BITMAPINFOHEADER* header = &image.GetBitmapInfo()->bmiHeader;
    if (header->biCompression == BI_BITFIELDS && image.GetColorTableBytes() >= 12) {
        std::memcpy(masks, image.GetColorTable(), 12);
    } else if (header->biBitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
}

bool CDibRowConverter::MasksAre(const CDibImage& image, uint32_t red, uint32_t green, uint32_t blue)
{
    uint32_t masks[3];
    GetMasks(image, masks);
    return masks[0] == red && masks[1] == green && masks[2] == blue;
}

void CDibRowConverter::MakePlainBgra(CDibImage& image)
{
    BITMAPINFO* info = image.GetBitmapInfo();
    if (!info || image.GetBitCount() != 32 || MasksAre(image, 0xFF0000, 0xFF00, 0xFF) || image.GetWidth() <= 0)
        return;
    BITMAPINFOHEADER& header = info->bmiHeader;
    auto* headerBytes = reinterpret_cast<uint8_t*>(&header);
    // Headers of 56 bytes and more carry an alpha mask after the colour masks.
    uint32_t alphaMask = 0;
    if (header.biSize >= 56)
        std::memcpy(&alphaMask, headerBytes + 52, 4);
    uint32_t masks[3];
    GetMasks(image, masks);
    const Channel red = MakeChannel(masks[0]), green = MakeChannel(masks[1]), blue = MakeChannel(masks[2]),
                  alpha = MakeChannel(alphaMask);
    const uint32_t width = static_cast<uint32_t>(image.GetWidth());
    const uint32_t height = static_cast<uint32_t>(image.GetHeight());
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = image.GetBits() + uint64_t{y} * image.GetStride();
        for (uint32_t x = 0; x < width; ++x, p += 4) {
            uint32_t value;
            std::memcpy(&value, p, 4);
            p[0] = Extract(value, blue);
            p[1] = Extract(value, green);
            p[2] = Extract(value, red);
            p[3] = alpha.bits > 0 ? Extract(value, alpha) : 0xFF;
        }
    }
    const uint32_t plain[4] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    std::memcpy(headerBytes + header.biSize, plain, 12);  // the record's masks follow its header
    if (header.biSize >= 52)
        std::memcpy(headerBytes + 40, plain, header.biSize >= 56 ? 16 : 12);
}

CDibRowConverter::Channel CDibRowConverter::MakeChannel(uint32_t mask)
{
    Channel channel;
    if (mask == 0)
        return channel;
    channel.mask = mask;
    channel.shift = static_cast<unsigned>(std::countr_zero(mask));
    channel.bits = 32u - static_cast<unsigned>(std::countl_zero(mask)) - channel.shift;
    return channel;
}

uint8_t CDibRowConverter::Extract(uint32_t value, const Channel& channel)
{
    if (channel.bits == 0)
        return 0;
    const uint32_t v = (value & channel.mask) >> channel.shift;
    // Narrow fields are shifted up, as the 5-5-5 and 5-6-5 layouts always were here.
    return static_cast<uint8_t>(channel.bits >= 8 ? v >> (channel.bits - 8) : v << (8 - channel.bits));
}

void CDibRowConverter::ConvertRow(const uint8_t* src, uint8_t* dst) const
{
    switch (m_nBitCount) {
    case 24: std::memcpy(dst, src, static_cast<size_t>(m_nWidth) * 3); return;
    case 16:
        for (uint32_t x = 0; x < m_nWidth; ++x, dst += 3) {
            const uint32_t v = static_cast<uint32_t>(src[2 * x]) | static_cast<uint32_t>(src[2 * x + 1]) << 8;
            dst[0] = Extract(v, m_blue);
            dst[1] = Extract(v, m_green);
            dst[2] = Extract(v, m_red);
        }
        return;
    case 32:
        for (uint32_t x = 0; x < m_nWidth; ++x, dst += 3) {
            uint32_t v;
            std::memcpy(&v, src + 4 * x, 4);
            dst[0] = Extract(v, m_blue);
            dst[1] = Extract(v, m_green);
            dst[2] = Extract(v, m_red);
        }
        return;
    default: {
        // Palette indices, packed from the high bits of each byte.
        const unsigned bits = m_nBitCount;
        const unsigned perByte = 8 / bits;
        const unsigned indexMask = (1u << bits) - 1;
        for (uint32_t x = 0; x < m_nWidth; ++x, dst += 3) {
            const unsigned shift = 8 - bits * (x % perByte + 1);
            const unsigned index = (src[x / perByte] >> shift) & indexMask;
            if (index < m_nPaletteEntries && m_pPalette) {
                const RGBQUAD& c = m_pPalette[index];
                dst[0] = c.rgbBlue;
                dst[1] = c.rgbGreen;
                dst[2] = c.rgbRed;
            } else {
                dst[0] = dst[1] = dst[2] = 0;
            }
        }
        return;
    }
    }
}
