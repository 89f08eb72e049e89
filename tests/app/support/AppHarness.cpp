#include "AppHarness.h"

#include <QBuffer>
#include <QSettings>

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
    return QImage(pixels.data(), int(t.width), int(t.height), int(t.width * NifBuilder::BytesPerPixel(t.format)),
                  t.format == 1 ? QImage::Format_RGB888 : QImage::Format_RGBA8888)
        .convertToFormat(QImage::Format_RGB32);
}

std::vector<uint8_t> BmzBytes(const QImage& picture)
{
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    picture.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    // qCompress puts the length in 4 bytes before the zlib stream.
    const QByteArray bmz = QByteArray(40, '\0') + qCompress(bmp).mid(4);
    return {bmz.begin(), bmz.end()};
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

QString ShowsTexture(const AppHarness& app, const Tex& t)
{
    const QImage screen = app.RenderView();
    const QRgb background = screen.pixel(screen.width() - 1, screen.height() - 1);
    if (screen.pixel(int(t.width), 0) != background || screen.pixel(0, int(t.height)) != background)
        return QStringLiteral("drawn past the texture");
    return CompareTopLeft(screen, TextureImage(t));
}
