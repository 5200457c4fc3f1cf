#pragma once

#include <QRect>
#include <QSize>

namespace velmor::twips {

// The forms are laid out in twips, 1/1440 inch. They become pixels through the
// screen's logical DPI, so the forms keep their proportions to the point-sized
// font they were drawn for at any DPI (at 96 DPI, 15 twips make a pixel).
qreal dpi();
int pixeles(int twips);
// Edges are rounded rather than sizes, so that neighbouring controls keep their gaps.
QRect rect(int left, int top, int width, int height);
QSize size(int width, int height);
// A size given in pixels at 96 DPI, at the screen's DPI.
QSize desde96(QSize size);

}
