#include "app/DibPainter.h"

#include <QPaintEngine>
#include <QPainter>

#include <bit>
#include <cstring>
#include <vector>

#include "image/DibBlockCheck.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"

static_assert(std::endian::native == std::endian::little,
    "Qt's 16 and 32-bit formats match the bitmap's bytes only on little-endian machines");

namespace {

// A palette of exactly 2^bits entries: indices past the record's own table
// are black, so no pixel value can look outside the table.
QList<QRgb> FullPalette(const CDibImage& dib, unsigned bits)
{
    QList<QRgb> table(qsizetype{1} << bits, qRgb(0, 0, 0));
    const auto* block = reinterpret_cast<const uint8_t*>(dib.GetBitmapInfo());
    const auto* colors = reinterpret_cast<const uint8_t*>(dib.GetColorTable());
    if (!colors || colors < block)
        return table;
    const uint64_t available = (dib.GetBlockSize() - static_cast<uint64_t>(colors - block)) / sizeof(RGBQUAD);
    const uint64_t entries = std::min<uint64_t>({dib.GetPaletteEntries(), available, uint64_t(table.size())});
    for (uint64_t i = 0; i < entries; ++i) {
        const RGBQUAD& c = dib.GetColorTable()[i];
        table[qsizetype(i)] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    return table;
}

// The layouts that Qt has, or Format_Invalid.
QImage::Format MatchingFormat(const CDibImage& dib)
{
    const BITMAPINFOHEADER& h = dib.GetBitmapInfo()->bmiHeader;
    const bool plain = h.biCompression == BI_RGB;
    const bool fields = h.biCompression == BI_BITFIELDS;
    switch (h.biBitCount) {
    case 1: return plain ? QImage::Format_Mono : QImage::Format_Invalid;
    case 8: return plain ? QImage::Format_Indexed8 : QImage::Format_Invalid;
    case 24: return plain ? QImage::Format_BGR888 : QImage::Format_Invalid;
    case 16:
        if (plain || (fields && CDibRowConverter::MasksAre(dib, 0x7C00, 0x03E0, 0x001F)))
            return QImage::Format_RGB555;
        if (fields && CDibRowConverter::MasksAre(dib, 0xF800, 0x07E0, 0x001F))
            return QImage::Format_RGB16;
        return QImage::Format_Invalid;
    case 32:
        if (plain || (fields && CDibRowConverter::MasksAre(dib, 0xFF0000, 0x00FF00, 0x0000FF)))
            return QImage::Format_RGB32;
        return QImage::Format_Invalid;
    default: return QImage::Format_Invalid;
    }
}

// Any other layout, through the core's row converter, top row first.
QImage ConvertDib(const CDibImage& dib)
{
    CDibRowConverter converter;
    const uint32_t compression = dib.GetBitmapInfo()->bmiHeader.biCompression;
    if (compression != BI_RGB && compression != BI_BITFIELDS)
        return {};
    if (!converter.Init(dib))
        return {};
    const int width = dib.GetWidth();
    const int height = dib.GetHeight();
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = dib.GetBits() + uint64_t{dib.GetStride()} * uint64_t(height - 1 - y);
        converter.ConvertRow(row, image.scanLine(y));
    }
    return image;
}

}  // namespace

DibPicture WrapDib(const CDibImage& dib)
{
    DibPicture picture;
    if (!dib.GetBitmapInfo() || !DibRowsInsideBlock(dib))
        return picture;
    const QImage::Format format = MatchingFormat(dib);
    if (format == QImage::Format_Invalid) {
        picture.image = ConvertDib(dib);
        return picture;
    }
    const qsizetype stride = qsizetype(dib.GetStride());
    // The const constructor shares the record's memory and never writes to it.
    picture.image = QImage(static_cast<const uchar*>(dib.GetBits()), dib.GetWidth(), dib.GetHeight(), stride, format);
    if (picture.image.isNull())
        return picture;
    if (format == QImage::Format_Indexed8)
        picture.image.setColorTable(FullPalette(dib, 8));
    else if (format == QImage::Format_Mono)
        picture.image.setColorTable(FullPalette(dib, 1));
    picture.bBottomUp = true;
    picture.bIgnoreFourthByte = format == QImage::Format_RGB32;
    return picture;
}

void DrawDib(QPainter& painter, const CDibImage& dib)
{
    const DibPicture picture = WrapDib(dib);
    if (picture.image.isNull())
        return;
    const QRect area(0, 0, picture.image.width(), picture.image.height());
    painter.save();
    if (picture.bBottomUp) {
        // Row 0 of the memory is the bottom row: mirror it into place. With a
        // whole-pixel offset the raster engine maps each pixel exactly.
        painter.setTransform(QTransform(1, 0, 0, -1, 0, area.height()), true);
    }
    QPaintEngine* engine = painter.paintEngine();
    if (picture.bIgnoreFourthByte && engine && engine->hasFeature(QPaintEngine::RasterOpModes)) {
        // Qt takes the fourth byte of a 32-bit pixel for opacity on surfaces
        // with an alpha channel. Or-ing the pixels over opaque black keeps
        // their colour and makes every pixel opaque, without a copy.
        painter.fillRect(area, Qt::black);
        painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    }
    // Printers must not store the pixels lossily (as a JPEG in a PDF, say).
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.drawImage(QPoint(0, 0), picture.image);
    painter.restore();
}
