#include "app/mdiprincipal.h"
#include "ui/twips.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    velmor::twips::escalarEnPixelesEnteros();
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(velmor);
    velmor::setUpApplication();
    velmor::mdiprincipal window;
    // Without a window manager to honour the maximized state the window would
    // start at a default size; start it covering the screen either way.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    window.showCatalogo();
    return app.exec();
}
