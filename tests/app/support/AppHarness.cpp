#include "AppHarness.h"

#include <QSettings>

#include "BmpBuilder.h"

QImage AppHarness::RenderView() const
{
    return View()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

std::string WriteModel(const TempDir& dir, const std::string& name, const std::vector<Tex>& textures)
{
    NifBuilder nif;
    for (const Tex& t : textures)
        nif.Filler(9).Texture(t.width, t.height, t.format, t.seed);
    nif.Save(dir.File(name));
    return dir.File(name);
}

QImage TextureImage(const Tex& t)
{
    const std::vector<uint8_t> pixels = NifBuilder::PatternPixels(t.width, t.height, t.format, t.seed);
    const size_t bpp = NifBuilder::BytesPerPixel(t.format);
    QImage image(int(t.width), int(t.height), QImage::Format_RGB32);
    for (size_t i = 0; i < size_t{t.width} * t.height; ++i)
        image.setPixel(int(i % t.width), int(i / t.width), qRgb(pixels[i * bpp], pixels[i * bpp + 1], pixels[i * bpp + 2]));
    return image;
}

std::vector<uint8_t> BmpBytes(const QImage& picture)
{
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    std::vector<std::vector<uint8_t>> rows;
    for (int y = bgr.height() - 1; y >= 0; --y)   // bottom row first
        rows.emplace_back(bgr.constScanLine(y), bgr.constScanLine(y) + 3 * bgr.width());
    return BuildBmp({.width = bgr.width(), .height = bgr.height(), .pixels = PadRows(rows)});
}

std::vector<uint8_t> BmzBytes(const QImage& picture)
{
    const std::vector<uint8_t> bmp = BmpBytes(picture);
    // qCompress puts the length in 4 bytes before the zlib stream.
    const QByteArray packed = qCompress(bmp.data(), qsizetype(bmp.size())).mid(4);
    std::vector<uint8_t> out(40 + size_t(packed.size()), 0);
    std::copy(packed.begin(), packed.end(), out.begin() + 40);
    return out;
}

void ClearSettings()
{
    CTavrelApp::SetRegistryKey();
    QSettings().clear();
}

QString CompareTopLeft(const QImage& actual, const QImage& expected)
{
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (!actual.valid(x, y) || (actual.pixel(x, y) | 0xFF000000u) != (expected.pixel(x, y) | 0xFF000000u))
                return QStringLiteral("pixel (%1, %2) of %3x%4 differs").arg(x).arg(y).arg(actual.width()).arg(actual.height());
    return {};
}
