#include "iconos.h"

#include <QPainter>
#include <QPainterPath>

namespace velmor {

namespace {

    constexpr int lado = 16;

    QPixmap lienzo(int size)
    {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        return pixmap;
    }

    void hojaEnBlanco(QPainter& p)
    {
        QPainterPath hoja;
        hoja.moveTo(3.5, 1.5);
        hoja.lineTo(10.5, 1.5);
        hoja.lineTo(13.5, 4.5);
        hoja.lineTo(13.5, 14.5);
        hoja.lineTo(3.5, 14.5);
        hoja.closeSubpath();
        p.setPen(QPen(QColor(64, 64, 64), 1));
        p.setBrush(Qt::white);
        p.drawPath(hoja);
        QPainterPath esquina;
        esquina.moveTo(10.5, 1.5);
        esquina.lineTo(10.5, 4.5);
        esquina.lineTo(13.5, 4.5);
        p.setBrush(QColor(210, 210, 210));
        p.drawPath(esquina);
    }

    void disquete(QPainter& p)
    {
        p.setPen(QPen(QColor(20, 30, 80), 1));
        p.setBrush(QColor(40, 70, 160));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(QColor(220, 220, 220));
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(20, 30, 80));
        p.drawRect(QRectF(9.5, 2.5, 1, 3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
    }

    void aspa(QPainter& p)
    {
        p.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    }

    void lupa(QPainter& p)
    {
        p.setPen(QPen(QColor(90, 60, 20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(190, 225, 255));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    }

    void puertaDeSalida(QPainter& p)
    {
        p.setPen(QPen(QColor(60, 40, 20), 1));
        p.setBrush(QColor(150, 100, 50));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setBrush(QColor(240, 200, 60));
        p.drawEllipse(QPointF(8, 8), 0.8, 0.8);
        p.setPen(QPen(QColor(0, 130, 0), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(9, 8), QPointF(15, 8));
        p.drawLine(QPointF(12.5, 5.5), QPointF(15, 8));
        p.drawLine(QPointF(12.5, 10.5), QPointF(15, 8));
    }

    QPixmap disco(int size)
    {
        QPixmap pixmap = lienzo(size);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        QRadialGradient brillo(QPointF(12, 10), 20);
        brillo.setColorAt(0, QColor(250, 250, 255));
        brillo.setColorAt(0.5, QColor(180, 200, 230));
        brillo.setColorAt(1, QColor(140, 120, 200));
        p.setPen(QPen(QColor(70, 70, 90), 1.5));
        p.setBrush(brillo);
        p.drawEllipse(QPointF(16, 16), 14.5, 14.5);
        p.setBrush(QColor(230, 230, 235));
        p.drawEllipse(QPointF(16, 16), 5, 5);
        p.setBrush(Qt::transparent);
        p.drawEllipse(QPointF(16, 16), 2, 2);
        return pixmap;
    }

}

QPixmap imagenBarra(ImagenBarra imagen, int tamano)
{
    QPixmap pixmap = lienzo(tamano);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(qreal(tamano) / lado, qreal(tamano) / lado);
    switch (imagen) {
    case ImagenBarra::Agregar:
        hojaEnBlanco(p);
        break;
    case ImagenBarra::Grabar:
        disquete(p);
        break;
    case ImagenBarra::Eliminar:
        aspa(p);
        break;
    case ImagenBarra::Consultar:
        lupa(p);
        break;
    case ImagenBarra::Salir:
        puertaDeSalida(p);
        break;
    }
    return pixmap;
}

QIcon iconoBarra(ImagenBarra imagen, int tamano)
{
    // An icon only shrinks its pictures, never enlarges them: the picture is drawn at
    // the size shown, and at twice that size for a screen of twice the pixels.
    QIcon icono;
    for (int escala : { 1, 2 })
        icono.addPixmap(imagenBarra(imagen, tamano * escala));
    return icono;
}

QIcon iconoCatalogo()
{
    QIcon icono;
    icono.addPixmap(disco(16));
    icono.addPixmap(disco(32));
    return icono;
}

}
