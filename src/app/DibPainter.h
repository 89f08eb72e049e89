#pragma once
// Drawing an image record one image pixel to one device pixel, with its
// top-left corner at the painter's origin: on the screen, on a printer and
// in print preview alike.
#include <QImage>

class CDibImage;
class QPainter;

// The record's pixels as Qt sees them. Where Qt has the record's pixel layout
// (24-bit blue-green-red, 32-bit, 8-bit and 1-bit palette, 16-bit 5-5-5 and
// 5-6-5) the image lies over the record's own rows, bottom row first, and
// copies nothing; it is valid only while the record lives. The other layouts
// (4-bit, other bit fields) are converted into an image of its own, top row first.
struct DibPicture {
    QImage image;  // null when the record holds nothing to draw
    bool bBottomUp = false;  // image row 0 is the picture's bottom row
    bool bIgnoreFourthByte = false;  // 32-bit rows whose fourth byte is not colour
};

DibPicture WrapDib(const CDibImage& dib);

// Draws the record at (0, 0). Nothing is drawn for an empty or damaged record.
void DrawDib(QPainter& painter, const CDibImage& dib);
