#pragma once
// What the viewer derives from an image record beyond the plain drawing: its
// alpha channel, a copy for the clipboard, thumbnails, the value of one pixel,
// and the checkerboard that transparent pixels are drawn over.
#include <QColor>
#include <QImage>

class CDibImage;
class QPainter;

// True for a 32-bit record whose fourth bytes carry opacity: an RGBA texture
// or a transparent PNG. A record whose fourth bytes are all 0 (as 32-bit BMP
// files usually have them) counts as opaque.
bool DibHasAlpha(const CDibImage& dib);

// The record as a top-down image of its own: ARGB32 with the record's alpha
// when it has one (withAlpha), else opaque RGB32. Null for an empty record.
QImage DibToImage(const CDibImage& dib, bool withAlpha);

// A small picture of the record, at most `edge` pixels on its longer side.
QImage DibThumbnail(const CDibImage& dib, int edge);

// The colour at image column x, row y counted from the top, opaque. False outside the image.
bool DibPixel(const CDibImage& dib, int x, int y, QColor* color);

// Fills the device rectangle that image area `area` covers with the checkerboard.
void DrawCheckerboard(QPainter& painter, const QRectF& area);
