#include "TestFiles.h"

#include <QFile>
#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

RawTexture PatternTexture(uint32_t width, uint32_t height, uint32_t format, uint8_t seed)
{
    RawTexture texture;
    texture.width = width;
    texture.height = height;
    texture.format = format;
    const uint32_t bpp = texture.BytesPerPixel();
    texture.pixels.resize(size_t{width} * height * bpp);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &texture.pixels[(size_t{y} * width + x) * bpp];
            p[0] = static_cast<uint8_t>(x * 7 + seed);
            p[1] = static_cast<uint8_t>(y * 5 + 3 * seed);
            p[2] = static_cast<uint8_t>((x ^ y) * 3 + 40 + seed);
            if (bpp == 4)
                p[3] = static_cast<uint8_t>(x * 11 + y);   // any alpha: the screen ignores it
        }
    return texture;
}

QImage TextureImage(const RawTexture& texture)
{
    QImage image(int(texture.width), int(texture.height), QImage::Format_RGB32);
    const uint32_t bpp = texture.BytesPerPixel();
    for (uint32_t y = 0; y < texture.height; ++y)
        for (uint32_t x = 0; x < texture.width; ++x) {
            const uint8_t* p = &texture.pixels[(size_t{y} * texture.width + x) * bpp];
            image.setPixel(int(x), int(y), qRgb(p[0], p[1], p[2]));
        }
    return image;
}

std::vector<uint8_t> BmpFileBytes(const QImage& picture)
{
    const uint32_t width = uint32_t(picture.width());
    const uint32_t height = uint32_t(picture.height());
    const uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, 54 + stride * height);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, width);
    Put32(out, height);
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, stride * height);
    for (int i = 0; i < 4; ++i)
        Put32(out, 0);
    for (uint32_t row = 0; row < height; ++row) {
        const int y = int(height - 1 - row);   // bottom row first
        for (uint32_t x = 0; x < width; ++x) {
            const QRgb c = picture.pixel(int(x), y);
            out.push_back(uint8_t(qBlue(c)));
            out.push_back(uint8_t(qGreen(c)));
            out.push_back(uint8_t(qRed(c)));
        }
        out.insert(out.end(), stride - width * 3, 0);
    }
    return out;
}

std::vector<uint8_t> BmzFileBytes(const std::vector<uint8_t>& bmpFile)
{
    std::vector<uint8_t> out;
    Put32(out, uint32_t(bmpFile.size()));
    Put16(out, 1);
    out.insert(out.end(), 34, 0);
    uLongf packedSize = compressBound(uLong(bmpFile.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, bmpFile.data(), uLong(bmpFile.size()), 6) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.insert(out.end(), packed.begin(), packed.begin() + long(packedSize));
    return out;
}

void WriteBytes(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) != qint64(bytes.size()))
        throw std::runtime_error("cannot write " + path.toStdString());
}

void WriteModel(const QString& path, const std::vector<RawTexture>& textures)
{
    WriteBytes(path, BuildModelFile(textures));
}

QImage PatternPicture(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 9 + seed) & 255, (y * 13 + seed) & 255, ((x + y) * 5 + 2 * seed) & 255));
    return image;
}
