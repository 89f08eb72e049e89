#include "AppHarness.h"

#include "BmpBuilder.h"

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
    return BuildBmz({bmp.begin(), bmp.end()});
}

QString Shows(const AppHarness& app, const QImage& expected)
{
    const QImage screen = app.RenderView();
    QImage want(screen.size(), QImage::Format_RGB32);
    want.fill(screen.pixel(screen.width() - 1, screen.height() - 1));
    QPainter(&want).drawImage(0, 0, expected);
    return screen == want ? QString() : QStringLiteral("the view shows something else");
}
