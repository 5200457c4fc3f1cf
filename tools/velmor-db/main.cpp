#include "commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

int main(int argc, char* argv[])
{
    // The report lays text out with the system's fonts, which takes the graphical
    // part of Qt; it draws no window, so it needs no display whatever the session
    // asks for.
    const bool report = argc > 1 && std::strcmp(argv[1], "informe") == 0;
    if (report) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's notes on the session (no runtime directory, and the like) would read
        // as failures among the tool's own messages.
        QLoggingCategory::setFilterRules(QStringLiteral("*.warning=false\n*.info=false"));
    }
    const std::unique_ptr<QCoreApplication> app = report
        ? std::make_unique<QGuiApplication>(argc, argv)
        : std::make_unique<QCoreApplication>(argc, argv);
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const int code
        = velmor::tool::runCommand(app->arguments().mid(1), out, err, isatty(fileno(stderr)) != 0);
    out.flush();
    return code;
}
