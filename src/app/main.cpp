#include "app/mdiprincipal.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(velmor);
    velmor::setUpApplication();
    velmor::mdiprincipal window;
    window.showMaximized();
    window.showCatalogo();
    return app.exec();
}
