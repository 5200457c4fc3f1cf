#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace velmor::twips {

qreal dpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal logical = screen ? screen->logicalDotsPerInchY() : 0;
    return logical > 0 ? logical : 96;
}

void escalarEnPixelesEnteros()
{
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Floor);
}

int pixeles(int twips) { return int(std::lround(twips * dpi() / 1440)); }

QRect rect(int left, int top, int width, int height)
{
    const int x = pixeles(left);
    const int y = pixeles(top);
    return QRect(x, y, pixeles(left + width) - x, pixeles(top + height) - y);
}

QSize size(int width, int height) { return QSize(pixeles(width), pixeles(height)); }

QSize desde96(QSize size)
{
    return QSize(
        int(std::lround(size.width() * dpi() / 96)), int(std::lround(size.height() * dpi() / 96)));
}

}
