#include "app/mdiprincipal.h"
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"
#include "ui/fuentes.h"
#include "ui/twips.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDebug>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace velmor;

namespace {

// As the program does before its application object exists.
void scaleAsTheProgram() { twips::escalarEnPixelesEnteros(); }
Q_CONSTRUCTOR_FUNCTION(scaleAsTheProgram)

// Values written out for a failure message.
template <typename... T> QString describe(const T&... values)
{
    QString text;
    (QDebug(&text) << ... << values);
    return text;
}

// Each side of a control, at its middle, drawn in the picture of its form with a line
// of its frame: within the outermost pixel of the control (as many device pixels as
// the ratio makes of it), a colour that is neither the control's background nor the
// form's.
bool wholeBorder(const QImage& picture, QPoint position, const QWidget* control)
{
    const qreal ratio = picture.devicePixelRatio();
    const QRect r(position, control->size());
    const QPoint c = r.center();
    const QPoint sides[]
        = { { r.left(), c.y() }, { r.right(), c.y() }, { c.x(), r.top() }, { c.x(), r.bottom() } };
    const QColor inside = control->palette().color(QPalette::Base);
    const QColor outside = control->parentWidget()->palette().color(QPalette::Window);
    for (const QPoint side : sides) {
        const QRect band = QRectF(QPointF(side) * ratio, QSizeF(ratio, ratio))
                               .toAlignedRect()
                               .intersected(picture.rect());
        bool line = false;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x) {
                const QColor seen = picture.pixelColor(x, y);
                line = line || (seen != inside && seen != outside);
            }
        if (!line)
            return false;
    }
    return true;
}

// The main window, maximized and active, on a catalogue of its own, with the first
// `open` forms shown: the catalogue form, then the query form.
struct MainWindow {
    TestCatalog cat;
    ScriptedMessageBoxes boxes;
    mdiprincipal window;
    explicit MainWindow(int open = 2)
    {
        window.showMaximized();
        (void)QTest::qWaitForWindowActive(&window);
        if (open > 0)
            window.showCatalogo();
        if (open > 1)
            window.showConsultasForm();
    }
    bool loaded() const { return window.catalogoForm() && window.consultasForm(); }
    QList<QWidget*> forms() const { return { window.catalogoForm(), window.consultasForm() }; }
};

}

class AppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(); }

    void installedFamilies_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        const QStringList pair { "Arial", "Liberation Sans" };
        const QStringList narrow { "Arial Narrow", "Liberation Sans Narrow" };
        const auto row = [](const char* name, const QStringList& asked,
                             const QStringList& installed, const QStringList& expected) {
            QTest::newRow(name) << asked << installed << expected;
        };
        row("first installed", pair, { "Liberation Sans", "Arial" }, pair);
        row("only the substitute", pair, { "DejaVu Sans", "Liberation Sans" }, { pair[1] });
        row("neither: the system substitutes", pair, { "DejaVu Sans" }, pair);
        row("substitute from several foundries", pair,
            { "Liberation Sans [1ASC]", "Liberation Sans [Other]" }, { pair[1] });
        row("case of the names", pair, { "LIBERATION SANS" }, { pair[1] });
        row("a longer name is another family", narrow, pair, narrow);
        row("a shorter name is another family", pair, narrow, pair);
    }

    void installedFamilies()
    {
        QFETCH(QStringList, asked);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        QCOMPARE(familiasInstaladas(asked, installed), expected);
    }

    // The exact texts of the main window: titles, menus with their keys, the about box.
    void texts()
    {
        MainWindow m;
        QVERIFY(m.loaded());
        QStringList seen { m.window.windowTitle(), m.window.catalogoForm()->windowTitle() };
        for (auto* menu : m.window.menuBar()->actions()) {
            seen << menu->text();
            for (auto* a : menu->menu()->actions())
                seen << (a->isSeparator() ? "-" : a->text() + "|" + a->shortcut().toString());
        }
        // Qt's own menus in Spanish too: a child window's system menu and a box's
        // context menu.
        auto* child = qobject_cast<QMdiSubWindow*>(m.window.catalogoForm()->parentWidget());
        QVERIFY(child);
        const std::unique_ptr<QMenu> context(m.window.catalogoForm()
                                                 ->findChild<QLineEdit*>("txtclacd")
                                                 ->createStandardContextMenu());
        for (const QMenu* menu : { child->systemMenu(), context.get() })
            for (const QAction* a : menu->actions())
                seen << (a->isSeparator() ? "-" : a->text().section('\t', 0, 0));
        seen << QGuiApplication::desktopFileName();
        QCOMPARE(seen,
            QStringList({ "Tolvane - Catálogo de CD's", " Catálogo de CD's", "&Sistema",
                "Acerca de...|F1", "-", "Sa&lir|Ctrl+L", "&Opciones", "C&atálogo de CD's|Ctrl+A",
                "C&onsultas|Ctrl+O", "&Restaurar", "&Mover", "Redimen&sionar", "Mi&nimizar",
                "Ma&ximizar", "Permanecer en &primer plano", "-", "&Cerrar", "&Deshacer",
                "&Rehacer", "-", "Cor&tar", "&Copiar", "&Pegar", "Borrar", "-", "Seleccionar todo",
                "com.tolvane.velmor" }));
        // Lines end in CR, as the message boxes expect, and are shown as lines.
        const QString about = mdiprincipal::aboutText();
        const QStringList lines = about.split(QChar(13));
        QCOMPARE(lines.size(), 6);
        QVERIFY(about.endsWith(QChar(13)) && !about.contains('\n') && !lines[2].isEmpty());
        QCOMPARE(lines.mid(0, 2), QStringList({ "Tolvane", "Programa elaborado por:" }));
        QVERIFY(lines[3].startsWith("E-mail: ") && lines[4].startsWith("Home Page: "));
        QCOMPARE(displayText(about).split('\n').size(), 5);
    }

    void shortcutsFromEitherChild_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("from the catalogue form") << "txtclacd";
        QTest::newRow("from the query form") << "txtcadena";
    }

    void shortcutsFromEitherChild()
    {
        QFETCH(QString, box);
        MainWindow m;
        mdiprincipal& w = m.window;
        QVERIFY(w.isActiveWindow());
        auto* target = w.findChild<QLineEdit*>(box);
        auto press = [&](QKeyCombination key) {
            target->setFocus();
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
        };
        press(Qt::Key_F1);
        QCOMPARE(m.boxes.shown.size(), 1);
        QCOMPARE(m.boxes.shown[0].title, "Acerca de...");
        // The menu's keys win over the boxes' own (Ctrl+A is not "select all" here).
        QTest::keyClicks(target, "12");
        press(Qt::CTRL | Qt::Key_A);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.catalogoForm());
        QCOMPARE(target->selectedText(), QString());
        press(Qt::CTRL | Qt::Key_O);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.consultasForm());
        m.boxes.answers = { false };
        press(Qt::CTRL | Qt::Key_L);
        QCOMPARE(m.boxes.shown.size(), 2);
        QCOMPARE(m.boxes.shown[1].text, "¿Desea finalizar la aplicación?");
        // No keeps everything and asks again next time; Yes closes, with no question
        // about the unsaved text.
        QVERIFY(w.isVisible() && m.loaded());
        QCOMPARE(target->text(), "12");
        m.boxes.answers = { true };
        press(Qt::CTRL | Qt::Key_L);
        QCOMPARE(m.boxes.shown.size(), 3);
        QCOMPARE(m.boxes.shown[2].kind, ScriptedMessageBoxes::Confirm);
        QVERIFY(!w.isVisible());
    }

    // The program starts with the catalogue form only, empty, the key box focused. Each
    // form exists once; brought to the front again it keeps its text and the control it
    // had; closed, it loads afresh and its record sources see rows stored meanwhile.
    void formsOnceFocusAndReload()
    {
        MainWindow m(0);
        m.cat.addCd(1, "UNO", "", "D");
        mdiprincipal& w = m.window;
        QVERIFY(w.isActiveWindow());
        frmcatalogo* catalogo = w.showCatalogo();
        QVERIFY(catalogo);
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QCOMPARE(w.workspace()->subWindowList().size(), 1);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), catalogo);
        for (auto* box : catalogo->findChildren<QLineEdit*>())
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        auto* clave = catalogo->findChild<QLineEdit*>("txtclacd");
        QCOMPARE(QApplication::focusWidget(), clave);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_5);
        QCOMPARE(clave->text(), "5");

        w.findChild<QAction*>("consultas")->trigger();
        frmconsultas* consultas = w.consultasForm();
        QVERIFY(consultas);
        auto* criterios = consultas->findChild<QComboBox*>("cbocriterios");
        QCOMPARE(QApplication::focusWidget(), criterios);
        QTest::keyClick(criterios, Qt::Key_Down);
        QCOMPARE(criterios->currentText(), "Nombre");
        auto* cadena = consultas->findChild<QLineEdit*>("txtcadena");
        cadena->setFocus();
        w.findChild<QAction*>("catalogo")->trigger();
        QCOMPARE(QApplication::focusWidget(), clave);
        catalogo->findChild<QWidget*>("txtdes")->setFocus();
        QCOMPARE(w.showConsultasForm(), consultas);
        QCOMPARE(QApplication::focusWidget(), cadena);
        QCOMPARE(w.showCatalogo(), catalogo);
        QCOMPARE(QApplication::focusWidget(), catalogo->findChild<QWidget*>("txtdes"));
        QCOMPARE(clave->text(), "5");
        QCOMPARE(w.workspace()->subWindowList().size(), 2);

        catalogo->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w.catalogoForm());
        m.cat.addCd(5, "CINCO", "", "D");
        frmcatalogo* second = w.showCatalogo();
        QVERIFY(second);
        QCOMPARE(second->findChild<QLineEdit*>("txtclacd")->text(), QString());
        QCOMPARE(second->datcd.Recordset().RecordCount(), 2);
        QVERIFY(m.boxes.shown.isEmpty());
    }

    // Without its file the program says which file and how to make one, and makes none.
    void missingCatalogueIsReportedAndNotCreated()
    {
        MainWindow m(0);
        const QString path = m.cat.path();
        QVERIFY(QFile::remove(path));
        QVERIFY(!m.window.showCatalogo());
        QVERIFY(!m.window.showConsultasForm());
        QCOMPARE(m.boxes.shown.size(), 2);
        for (const auto& shown : m.boxes.shown) {
            QCOMPARE(shown.kind, ScriptedMessageBoxes::Error);
            QVERIFY2(shown.text.contains(path + "».\r")
                    && shown.text.endsWith("\rvelmor-db crear \"" + path + '"'),
                qPrintable(shown.text));
        }
        QCOMPARE(m.window.workspace()->subWindowList().size(), 0);
        QVERIFY(m.window.isVisible());
        QVERIFY(!QFile::exists(path));
    }

    void realMessageBoxes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("yes");
        QTest::newRow("confirm, Enter") << "confirm" << +Qt::Key_Return << true;
        QTest::newRow("confirm, Escape") << "confirm" << +Qt::Key_Escape << false;
        QTest::newRow("error") << "error" << +Qt::Key_Return << false;
        QTest::newRow("failure") << "failure" << +Qt::Key_Return << false;
    }

    // The boxes users see, not the scripted ones: Spanish titles and buttons whatever
    // translations are installed, and Yes the default of a confirmation.
    void realMessageBoxes()
    {
        QFETCH(QString, kind);
        QFETCH(int, key);
        QFETCH(bool, yes);
        QStringList seen, seenButtons; // title and text, then the buttons
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen << box->windowTitle() << box->text();
            for (auto* button : box->buttons())
                seenButtons << button->text();
            QTest::keyClick(box, Qt::Key(key));
        });
        bool answer = false;
        auto& real = MessageBoxes::instance();
        const QString text = "¿Seguro?\rDe verdad.";
        if (kind == "confirm")
            answer = real.confirm(nullptr, text);
        else if (kind == "error")
            real.error(nullptr, text);
        else
            real.failure(nullptr, text);
        std::sort(seenButtons.begin(), seenButtons.end(), std::greater<>());
        const QMap<QString, QString> titles { { "confirm", "CONFIRMAR" }, { "error", "ERROR" },
            { "failure", "velmor" } };
        QCOMPARE(seen + seenButtons,
            QStringList({ titles[kind], "¿Seguro?\nDe verdad." })
                + (kind == "confirm" ? QStringList { "&Sí", "&No" } : QStringList { "Aceptar" }));
        QCOMPARE(answer, yes);
    }

    void layoutFitsAndControlsNamed_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QByteArray>("scale");
        QTest::addColumn<int>("logicalDpi"); // what the forms are laid out for
        QTest::newRow("this run") << 0 << QByteArray() << 0;
        QTest::newRow("120 dpi") << 120 << QByteArray() << 120;
        QTest::newRow("144 dpi") << 144 << QByteArray() << 144;
        QTest::newRow("192 dpi") << 192 << QByteArray() << 96;
        QTest::newRow("scale 2") << 96 << QByteArray("2") << 96;
    }

    // At any DPI no label overlaps its box or is cut, no control leaves its frame or
    // loses a line of its border, and both forms fit a 1280 x 900 screen. Other DPIs
    // run this test again in a process of their own, on a screen of that DPI. Every
    // control of both forms has a name a screen reader can announce; a box is
    // announced by its label.
    void layoutFitsAndControlsNamed()
    {
        QFETCH(int, dpi);
        QFETCH(QByteArray, scale);
        QFETCH(int, logicalDpi);
        if (dpi != 0) {
            if (qEnvironmentVariableIsSet("VELMOR_LAYOUT_CHILD"))
                QSKIP("nested run");
            QTemporaryDir dir;
            QFile screen(dir.filePath("screen.json"));
            QVERIFY(screen.open(QIODevice::WriteOnly));
            screen.write(QStringLiteral(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": 1280,
                "height": 900, "logicalDpi": %1, "logicalBaseDpi": 96, "dpr": 1}]})")
                             .arg(dpi)
                             .toUtf8());
            screen.close();
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + screen.fileName());
            // Scaled as a desktop's font DPI scales the program.
            env.remove("QT_ENABLE_HIGHDPI_SCALING");
            if (!scale.isEmpty())
                env.insert("QT_SCALE_FACTOR", QString::fromLatin1(scale));
            env.insert("VELMOR_LAYOUT_CHILD", "1");
            env.insert("VELMOR_EXPECTED_DPI", QString::number(logicalDpi));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(
                QCoreApplication::applicationFilePath(), { "layoutFitsAndControlsNamed:this run" });
            QVERIFY(child.waitForFinished(120000));
            const QByteArray output = child.readAll();
            QVERIFY2(child.exitCode() == 0 && output.contains("3 passed, 0 failed, 0 skipped"),
                output.constData());
            return;
        }
        if (qEnvironmentVariableIsSet("VELMOR_EXPECTED_DPI"))
            QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchY(),
                qEnvironmentVariableIntValue("VELMOR_EXPECTED_DPI"));
        MainWindow both;
        QVERIFY(both.loaded());
        mdiprincipal& w = both.window;
        const qreal ratio = w.devicePixelRatioF();
        int named = 0;
        for (QWidget* form : both.forms()) {
            const QSize outer = form->parentWidget()->frameGeometry().size()
                + QSize(0, w.menuBar()->sizeHint().height());
            // At twice the pixels the catalogue form is 1184 x 900 pixels before its
            // frame: no layout fits there, and the workspace scrolls instead.
            if (ratio < 2)
                QVERIFY2(outer.width() * ratio <= 1280 && outer.height() * ratio <= 900,
                    qPrintable(describe(form->objectName(), outer)));
            const QImage picture = form->grab().toImage();
            for (QWidget* control : form->findChildren<QWidget*>()) {
                QWidget* parent = control->parentWidget();
                if (!control->isVisibleTo(form))
                    continue;
                if (parent == form || qobject_cast<QGroupBox*>(parent))
                    QVERIFY2(parent->rect().contains(control->geometry()),
                        qPrintable(control->objectName() + " leaves " + parent->objectName()));
                if (!(qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control)
                        || qobject_cast<QAbstractItemView*>(control)
                        || qobject_cast<QComboBox*>(control)
                        || qobject_cast<QPlainTextEdit*>(control)
                        || qobject_cast<QGroupBox*>(control)))
                    continue;
                ++named;
                if (!qobject_cast<QGroupBox*>(control) && !qobject_cast<QToolButton*>(control))
                    QVERIFY2(wholeBorder(picture, control->mapTo(form, QPoint()), control),
                        qPrintable(control->objectName() + " loses a line of its border"));
                QVERIFY2(!QAccessible::queryAccessibleInterface(control)
                              ->text(QAccessible::Name)
                              .trimmed()
                              .isEmpty(),
                    qPrintable(control->objectName() + " " + control->metaObject()->className()));
            }
            for (QLabel* label : form->findChildren<QLabel*>()) {
                const QRect text = label->fontMetrics().boundingRect(label->contentsRect(),
                    int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0),
                    label->text());
                QVERIFY2(label->contentsRect().contains(text),
                    qPrintable(
                        describe(label->objectName(), "is cut:", text, "in", label->size())));
                QWidget* box = label->buddy();
                if (!box)
                    continue;
                // Labels may reach under their box, as drawn; their text may not.
                if (box->parentWidget() == label->parentWidget())
                    QVERIFY2(!text.translated(label->pos()).intersects(box->geometry()),
                        qPrintable(label->objectName() + " overlaps its box"));
                // A drop-down list announces its current entry; its name is still the label's.
                QCOMPARE(qobject_cast<QComboBox*>(box)
                        ? box->accessibleName()
                        : QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
                    label->text().remove('&'));
            }
        }
        QVERIFY2(named > 40, qPrintable(QString::number(named)));
    }
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
