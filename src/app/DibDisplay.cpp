#include "app/DibDisplay.h"

#include <QPainter>

#include "app/DibPainter.h"
#include "image/DibBlockCheck.h"
#include "image/DibImage.h"

namespace {

constexpr int kCheckerSquare = 8;  // device pixels

// The record's rows as 32-bit pixels with their fourth byte as alpha, or null.
QImage WrapWithAlpha(const CDibImage& dib)
{
    const BITMAPINFO* info = dib.GetBitmapInfo();
    if (!info || dib.GetBitCount() != 32 || info->bmiHeader.biCompression != BI_RGB || !DibRowsInsideBlock(dib))
        return {};
    return QImage(static_cast<const uchar*>(dib.GetBits()), dib.GetWidth(), dib.GetHeight(), qsizetype(dib.GetStride()),
        QImage::Format_ARGB32);
}

// Sets the fourth byte of every 32-bit pixel, which Qt's drawing of a record
// may leave holding the record's own bytes.
void MakeOpaque(QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] |= 0xFF000000u;
    }
}

// The record drawn into an opaque image of the given size, scaled to fill it.
QImage Render(const CDibImage& dib, QSize size, bool smooth)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.scale(double(size.width()) / dib.GetWidth(), double(size.height()) / dib.GetHeight());
    DrawDib(painter, dib);
    painter.end();
    MakeOpaque(image);
    return image;
}

}  // namespace

bool DibHasAlpha(const CDibImage& dib)
{
    const QImage image = WrapWithAlpha(dib);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) != 0)
                return true;
        }
    }
    return false;
}

QImage DibToImage(const CDibImage& dib, bool withAlpha)
{
    if (withAlpha) {
        const QImage image = WrapWithAlpha(dib);
        if (!image.isNull())
            return image.mirrored();  // a copy, top row first
    }
    const DibPicture picture = WrapDib(dib);
    if (picture.image.isNull())
        return {};
    // Through a painter, so every layout comes out as the view draws it.
    return Render(dib, picture.image.size(), false);
}

QImage DibThumbnail(const CDibImage& dib, int edge)
{
    const DibPicture picture = WrapDib(dib);
    if (picture.image.isNull())
        return {};
    const QSize size = picture.image.size().scaled(edge, edge, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return Render(dib, size, true);
}

bool DibPixel(const CDibImage& dib, int x, int y, QColor* color)
{
    const DibPicture picture = WrapDib(dib);
    const QImage& image = picture.image;
    if (image.isNull() || x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return false;
    const int row = picture.bBottomUp ? image.height() - 1 - y : y;
    const QRgb value = image.pixel(x, row);
    *color = QColor(qRed(value), qGreen(value), qBlue(value));
    return true;
}

void DrawCheckerboard(QPainter& painter, const QRectF& area)
{
    const QRect device = painter.transform().mapRect(area).toAlignedRect();
    QPixmap tile(2 * kCheckerSquare, 2 * kCheckerSquare);
    tile.fill(QColor(255, 255, 255));
    {
        QPainter tilePainter(&tile);
        tilePainter.fillRect(0, 0, kCheckerSquare, kCheckerSquare, QColor(204, 204, 204));
        tilePainter.fillRect(kCheckerSquare, kCheckerSquare, kCheckerSquare, kCheckerSquare, QColor(204, 204, 204));
    }
    painter.save();
    painter.resetTransform();
    painter.setBrushOrigin(device.topLeft());
    painter.fillRect(device, QBrush(tile));
    painter.restore();
}
