#include "app/sample/SampleTextures.h"

#include <cmath>
#include <cstdint>

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

class Canvas {
public:
    Canvas(uint32_t width, uint32_t height, uint32_t format)
    {
        m_texture.width = width;
        m_texture.height = height;
        m_texture.format = format;
        m_texture.pixels.assign(size_t{width} * height * m_texture.BytesPerPixel(), 0);
    }

    void Set(uint32_t x, uint32_t y, Rgba c)
    {
        if (x >= m_texture.width || y >= m_texture.height)
            return;
        uint8_t* p = &m_texture.pixels[(size_t{y} * m_texture.width + x) * m_texture.BytesPerPixel()];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        if (m_texture.format != 1)
            p[3] = c.a;
    }

    void Fill(uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, Rgba c)
    {
        for (uint32_t y = y0; y < y0 + h; ++y)
            for (uint32_t x = x0; x < x0 + w; ++x)
                Set(x, y, c);
    }

    // The texture's number in a 5 × 7 dot font, each dot `scale` pixels wide.
    void Number(unsigned n, uint32_t x0, uint32_t y0, uint32_t scale, Rgba c)
    {
        static const uint8_t kDigits[10][7] = {
            {14, 17, 19, 21, 25, 17, 14},
            {4, 12, 4, 4, 4, 4, 14},
            {14, 17, 1, 2, 4, 8, 31},
            {31, 2, 4, 2, 1, 17, 14},
            {2, 6, 10, 18, 31, 2, 2},
            {31, 16, 30, 1, 1, 17, 14},
            {6, 8, 16, 30, 17, 17, 14},
            {31, 1, 2, 4, 8, 8, 8},
            {14, 17, 17, 14, 17, 17, 14},
            {14, 17, 17, 15, 1, 2, 12},
        };
        const uint8_t* glyph = kDigits[n % 10];
        for (uint32_t row = 0; row < 7; ++row)
            for (uint32_t col = 0; col < 5; ++col)
                if (glyph[row] & (16 >> col))
                    Fill(x0 + col * scale, y0 + row * scale, scale, scale, c);
    }

    // Red at the top-left, green at the top-right, blue at the bottom-left:
    // a picture shown upside down or mirrored gives itself away.
    void CornerMarks(uint32_t size)
    {
        Fill(0, 0, size, size, {255, 0, 0, 255});
        Fill(m_texture.width - size, 0, size, size, {0, 255, 0, 255});
        Fill(0, m_texture.height - size, size, size, {0, 0, 255, 255});
    }

    RawTexture Take() { return std::move(m_texture); }

private:
    RawTexture m_texture;
};

uint8_t Wave(double t)
{
    return static_cast<uint8_t>(127.5 + 127.5 * std::sin(t));
}

RawTexture Checkerboard()
{
    Canvas canvas(256, 256, 1);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 256; ++x) {
            const bool dark = ((x / 32) + (y / 32)) % 2 != 0;
            const auto shade = static_cast<uint8_t>(dark ? 60 : 200);
            canvas.Set(x, y, {shade, static_cast<uint8_t>(x), static_cast<uint8_t>(255 - y), 255});
        }
    canvas.CornerMarks(16);
    canvas.Number(1, 104, 92, 10, {255, 255, 255, 255});
    return canvas.Take();
}

RawTexture Rainbow()
{
    Canvas canvas(128, 64, 2);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 128; ++x) {
            const double t = y / 64.0 * 6.283;
            // Alpha falls from left to right; the window shows the colour only.
            canvas.Set(x, y, {Wave(t), Wave(t + 2.094), Wave(t + 4.189), static_cast<uint8_t>(255 - 2 * x)});
        }
    canvas.CornerMarks(8);
    canvas.Number(2, 52, 11, 6, {0, 0, 0, 255});
    return canvas.Take();
}

RawTexture Rings()
{
    // 75 pixels: rows of 225 bytes, not a multiple of 4.
    Canvas canvas(75, 50, 1);
    for (uint32_t y = 0; y < 50; ++y)
        for (uint32_t x = 0; x < 75; ++x) {
            const double d = std::hypot(double(x) - 37.0, double(y) - 25.0);
            const bool ring = static_cast<int>(d / 4) % 2 == 0;
            canvas.Set(x, y, ring ? Rgba{250, 200, 40, 255} : Rgba{40, 60, 160, 255});
        }
    canvas.CornerMarks(5);
    canvas.Fill(27, 12, 21, 27, {20, 20, 20, 255});
    canvas.Number(3, 30, 15, 3, {255, 255, 255, 255});
    return canvas.Take();
}

RawTexture Sky()
{
    Canvas canvas(512, 256, 2);
    for (uint32_t y = 0; y < 256; ++y)
        for (uint32_t x = 0; x < 512; ++x) {
            const bool stripe = ((x + y) / 24) % 2 == 0;
            const auto blue = static_cast<uint8_t>(255 - y / 2);
            canvas.Set(x, y,
                {static_cast<uint8_t>(stripe ? 90 : 30), static_cast<uint8_t>(stripe ? 160 : 110), blue,
                    static_cast<uint8_t>(y)});
        }
    canvas.CornerMarks(24);
    canvas.Number(4, 226, 58, 20, {255, 240, 0, 255});
    return canvas.Take();
}

RawTexture ColourBars()
{
    Canvas canvas(64, 64, 1);
    const Rgba bars[] = {{255, 255, 255, 255}, {255, 255, 0, 255}, {0, 255, 255, 255}, {0, 255, 0, 255},
        {255, 0, 255, 255}, {255, 0, 0, 255}, {0, 0, 255, 255}, {0, 0, 0, 255}};
    for (uint32_t i = 0; i < 8; ++i)
        canvas.Fill(i * 8, 0, 8, 64, bars[i]);
    canvas.Fill(17, 14, 30, 36, {40, 40, 40, 255});
    canvas.Number(5, 22, 18, 4, {255, 255, 255, 255});
    return canvas.Take();
}

}  // namespace

std::vector<RawTexture> SampleTextures()
{
    std::vector<RawTexture> textures;
    textures.push_back(Checkerboard());
    textures.push_back(Rainbow());
    textures.push_back(Rings());
    textures.push_back(Sky());
    textures.push_back(ColourBars());
    return textures;
}
