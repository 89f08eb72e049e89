// Draws the program's icons into PNG files. Run by hand when a picture
// changes (target tavrel-draw-icons); the PNG files are kept in res/icons/.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

using Drawing = std::function<void(QPainter&)>;

const QColor kOutline(40, 40, 48);

// Each picture is drawn on a 16 × 16 grid and scaled to the icon's size.
QImage Render(int size, const Drawing& draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, size > 16);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(QPen(kOutline, size > 16 ? 0.75 : 1.0));
    draw(painter);
    return image;
}

void Folder(QPainter& p)
{
    p.setBrush(QColor(214, 170, 60));
    p.drawRect(QRectF(1.5, 3.5, 5, 2));
    p.drawRect(QRectF(1.5, 4.5, 12, 9));
    p.setBrush(QColor(250, 214, 110));
    QPolygonF flap;
    flap << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5) << QPointF(1.5, 13.5);
    p.drawPolygon(flap);
}

void Disk(QPainter& p)
{
    p.setBrush(QColor(60, 100, 190));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(QColor(235, 235, 240));
    p.drawRect(QRectF(3.5, 1.5, 9, 5));
    p.setBrush(QColor(200, 200, 210));
    p.drawRect(QRectF(4.5, 9.5, 7, 5));
    p.setBrush(QColor(60, 100, 190));
    p.drawRect(QRectF(9.5, 2.5, 2, 3));
}

void Printer(QPainter& p)
{
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(QColor(170, 170, 180));
    p.drawRect(QRectF(1.5, 6.5, 13, 6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
    p.setBrush(QColor(90, 200, 90));
    p.drawRect(QRectF(12, 8, 1.5, 1.5));
}

void Arrow(QPainter& p, bool right)
{
    QPolygonF arrow;
    arrow << QPointF(2, 6) << QPointF(8, 6) << QPointF(8, 2.5) << QPointF(14, 8) << QPointF(8, 13.5) << QPointF(8, 10)
          << QPointF(2, 10);
    if (!right) {
        for (QPointF& point : arrow)
            point.setX(16 - point.x());
    }
    p.setBrush(QColor(60, 160, 80));
    p.drawPolygon(arrow);
}

void Replace(QPainter& p)
{
    p.setBrush(QColor(220, 90, 70));
    p.drawRect(QRectF(1.5, 1.5, 7, 7));
    p.setBrush(QColor(80, 140, 220));
    p.drawRect(QRectF(7.5, 7.5, 7, 7));
    p.setBrush(kOutline);
    QPolygonF head;
    head << QPointF(10, 2) << QPointF(14, 4.5) << QPointF(10, 7);
    p.drawPolygon(head);
    p.drawLine(QPointF(9.5, 4.5), QPointF(11, 4.5));
}

void Transparent(QPainter& p)
{
    p.setPen(Qt::NoPen);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            p.setBrush((x + y) % 2 ? QColor(200, 200, 200) : QColor(255, 255, 255));
            p.drawRect(QRectF(2 + 3 * x, 2 + 3 * y, 3, 3));
        }
    QLinearGradient fade(2, 0, 14, 0);
    fade.setColorAt(0, QColor(60, 120, 220, 255));
    fade.setColorAt(1, QColor(60, 120, 220, 0));
    p.setBrush(fade);
    p.drawRect(QRectF(2, 2, 12, 12));
    p.setPen(QPen(kOutline, 0.75));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
}

void About(QPainter& p)
{
    p.setBrush(QColor(50, 110, 200));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 7, 2, 5));
    p.drawEllipse(QRectF(7, 3.5, 2, 2));
}

// The application: a framed picture of four texture tiles.
void Application(QPainter& p)
{
    p.setBrush(QColor(120, 80, 40));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 1.5, 1.5);
    const QColor tiles[] = {QColor(220, 60, 50), QColor(70, 180, 80), QColor(60, 110, 220), QColor(240, 200, 50)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(tiles[i]);
        p.drawRect(QRectF(2.5 + 5.5 * (i % 2), 2.5 + 5.5 * (i / 2), 5.5, 5.5));
    }
    p.setBrush(QColor(255, 255, 255, 90));
    p.drawRect(QRectF(2.5, 2.5, 11, 2.5));
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const struct {
        const char* name;
        Drawing draw;
    } commands[] = {
        {"open", Folder},
        {"save-as", Disk},
        {"print", Printer},
        {"previous", [](QPainter& p) { Arrow(p, false); }},
        {"next", [](QPainter& p) { Arrow(p, true); }},
        {"replace", Replace},
        {"transparent", Transparent},
        {"about", About},
    };
    bool ok = true;
    for (const auto& command : commands)
        for (int size : {16, 32})
            ok &=
                Render(size, command.draw).save(out.filePath(QStringLiteral("%1-%2.png").arg(command.name).arg(size)));
    for (int size : {16, 32, 48, 64, 128, 256})
        ok &= Render(size, Application).save(out.filePath(QStringLiteral("tavrel-%1.png").arg(size)));
    if (!ok)
        std::fprintf(stderr, "draw-icons: could not write the icons\n");
    return ok ? 0 : 1;
}
