// Start-up and peak memory, measured in child processes of the benchmark, one per
// side and round, so that neither side inherits what the other loaded: start-up from
// the start of main to the first frame of the main window, peak memory as the
// child's maximum resident set after listing every CD.

#include "benchsupport.h"

#include "app/mdiprincipal.h"
#include "consultas/frmconsultas.h"
#include "data/catalogfile.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QScreen>
#include <QStringListModel>
#include <sqlite3.h>
#include <utility>

using namespace velmor;

namespace bench {

namespace {

    // Runs the event loop until the window's first frame has been painted: widgets
    // that their children cover are not painted at all, so any widget's paint counts,
    // and the rest of the frame is painted before the event loop returns.
    void waitForFirstFrame(QWidget& window)
    {
        struct Painted : QObject {
            QWidget* window = nullptr;
            bool seen = false;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                if (e->type() == QEvent::Paint && o->isWidgetType()
                    && static_cast<QWidget*>(o)->window() == window)
                    seen = true;
                return false;
            }
        } painted;
        painted.window = &window;
        qApp->installEventFilter(&painted);
        const qint64 start = wallNs();
        while (!painted.seen && double(wallNs() - start) / 1e6 < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        qApp->removeEventFilter(&painted);
        if (!painted.seen)
            die("the window was never painted%s\n");
    }

    void coverScreen(QWidget& window)
    {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
    }

    // The high-water mark of this process's own memory: getrusage would also count
    // what the parent held when it started this one.
    long peakKilobytes()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    return line.mid(6).trimmed().split(' ').value(0).toLong();
        return 0;
    }

    // Runs one side in a child process and returns the first number it printed.
    double inChild(const char* what, const QString& path, qint64* second = nullptr)
    {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), { "--child", what, path });
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            die("child failed: %s\n",
                QLatin1String(what) + QLatin1Char('\n')
                    + QString::fromLocal8Bit(p.readAllStandardError()));
        const QList<QByteArray> figures = p.readAllStandardOutput().trimmed().split(' ');
        if (second)
            *second = figures.value(1).toLongLong();
        return figures.value(0).toDouble();
    }

    // Sides alternate so that a busy moment of the machine falls on both.
    void startUp(const QString& label, const QString& path, int rounds, std::vector<Row>& rows)
    {
        Samples velmorSide, bare;
        for (int r = 0; r < rounds; ++r) {
            velmorSide.push_back(inChild("startup-velmor", path));
            bare.push_back(inChild("startup-bare", path));
        }
        rows.push_back({ label, median(velmorSide), "bare main window, MDI area, 24 boxes",
            median(bare), 1.2 });
    }

    void peakMemory(const QString& path, std::vector<Row>& rows)
    {
        qint64 velmorRows = 0, bareRows = 0;
        const double velmorSide = inChild("memory-velmor", path, &velmorRows) / 1024;
        const double bare = inChild("memory-bare", path, &bareRows) / 1024;
        if (velmorRows != bareRows)
            std::fprintf(stderr, "listing rows differ: %lld against %lld\n", velmorRows, bareRows);
        rows.push_back({ QStringLiteral("peak memory, \"&Todos\" (MB, one run)"), velmorSide,
            "SQLite, same page cache, + three models", bare });
    }

}

int childMain(int argc, char** argv, qint64 startNs)
{
    const QByteArray what = argv[2];
    const QString path = QString::fromLocal8Bit(argv[3]);
    QApplication app(argc, argv);
    BenchMessageBoxes boxes;
    MessageBoxes::setInstance(&boxes);
    if (what == "startup-velmor") {
        // As the program's main does (it also loads the resources, see main).
        setUpApplication();
        CatalogFile::setPathOverride(path);
        mdiprincipal window;
        coverScreen(window);
        window.showMaximized();
        if (!window.showCatalogo())
            return 1;
        waitForFirstFrame(window);
        std::printf("%f\n", double(wallNs() - startNs) / 1e6);
    } else if (what == "startup-bare") {
        QMainWindow window;
        auto* area = new QMdiArea;
        window.setCentralWidget(area);
        auto* form = new QWidget;
        // The catalogue form's client area at 96 DPI, so that the boxes are drawn too.
        form->setFixedSize(592, 450);
        for (int b = 0; b < 24; ++b)
            (new QLineEdit(form))->setGeometry(10 + (b % 2) * 300, 10 + (b / 2) * 30, 280, 24);
        area->addSubWindow(form)->show();
        coverScreen(window);
        window.showMaximized();
        waitForFirstFrame(window);
        std::printf("%f\n", double(wallNs() - startNs) / 1e6);
    } else if (what == "memory-velmor") {
        CatalogFile::setPathOverride(path);
        frmconsultas form(nullptr);
        if (!form.Form_Load())
            return 1;
        form.btntodos_Click();
        std::printf(
            "%ld %d\n", peakKilobytes(), child<QListView>(&form, "List2")->model()->rowCount());
    } else if (what == "memory-bare") {
        const RawDb raw(path);
        QWidget host;
        QStringListModel models[3];
        for (auto& m : models)
            (new QListView(&host))->setModel(&m);
        {
            Statement st(raw.db, "select id, nombre, artista from datos_cd");
            QStringList columns[3];
            while (st.row())
                for (int c = 0; c < 3; ++c)
                    columns[c] << st.column(c);
            for (int c = 0; c < 3; ++c)
                models[c].setStringList(std::exchange(columns[c], {}));
        }
        std::printf("%ld %d\n", peakKilobytes(), models[0].rowCount());
    } else {
        return 2;
    }
    MessageBoxes::setInstance(nullptr);
    return 0;
}

void arranqueRows(int n, int rounds, std::vector<Row>& rows)
{
    startUp(
        QStringLiteral("start-up to the first frame"), catalogue(n), std::max(15, rounds), rows);
}

void emptyStartUp(int rounds, std::vector<Row>& rows)
{
    startUp(QStringLiteral("start-up, empty catalogue"), catalogue(0), std::max(15, rounds), rows);
}

void memoryRows(int n, std::vector<Row>& rows) { peakMemory(catalogue(n), rows); }

}
