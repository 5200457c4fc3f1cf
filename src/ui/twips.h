#pragma once

#include <QRect>
#include <QSize>

namespace velmor::twips {

// The forms are laid out in twips, 1/1440 inch. They become pixels through the
// screen's logical DPI, so the forms keep their proportions to the point-sized
// font they were drawn for at any DPI (at 96 DPI, 15 twips make a pixel).
qreal dpi();
// To be called before the application object exists. Qt would turn a screen of
// 144 DPI into a device pixel ratio of 1.5 over a 96 DPI layout; edges then fall
// between device pixels, and a list's or a box's viewport paints over one line of
// its frame. Only whole ratios are used (2 at 192 DPI); the rest of the screen's
// DPI reaches the forms as their logical DPI, which places every edge on a whole
// pixel.
void escalarEnPixelesEnteros();
int pixeles(int twips);
// Edges are rounded rather than sizes, so that neighbouring controls keep their gaps.
QRect rect(int left, int top, int width, int height);
QSize size(int width, int height);
// A size given in pixels at 96 DPI, at the screen's DPI.
QSize desde96(QSize size);

}
