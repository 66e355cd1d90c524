#pragma once
// Composing one square thumbnail from a decoded picture.

#include <QImage>
#include <QRect>

// Where a W x H picture lands on an S x S canvas: aspect kept, centred on the
// shorter side, whole-number arithmetic. A side never shrinks below 1 pixel.
QRect ThumbnailPlacement(int W, int H, int S);

// The S x S thumbnail of `picture` on black, or a null image when the canvas
// stays black after three attempts (an all-black picture gives none).
QImage MakeThumbnail(const QImage& picture, int S);

// Whether any colour byte of `canvas` (Format_RGB32) is not zero.
bool CanvasShowsSomething(const QImage& canvas);
