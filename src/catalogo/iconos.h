#pragma once

#include <QIcon>
#include <QPixmap>

namespace velmor {

// The catalogue form's own pictures, drawn in code so that they scale with the
// form and need no image files: the five toolbar images (16 x 16 at 96 DPI, drawn
// at any size) and the form's icon (a disc, 16 x 16 and 32 x 32).
enum class ImagenBarra { Agregar, Grabar, Eliminar, Consultar, Salir };

QPixmap imagenBarra(ImagenBarra imagen, int tamano = 16);
// A toolbar image for icons of `tamano` pixels.
QIcon iconoBarra(ImagenBarra imagen, int tamano);
QIcon iconoCatalogo();

}
