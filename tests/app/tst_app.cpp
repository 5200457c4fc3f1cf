#include "app/mdiprincipal.h"
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"
#include "ui/fuentes.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDebug>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace velmor;

namespace {

int childrenOf(const mdiprincipal& w, const char* className)
{
    int n = 0;
    for (auto* sub : w.workspace()->subWindowList())
        if (sub->widget() && sub->widget()->inherits(className))
            ++n;
    return n;
}

QWidget* focusTarget(mdiprincipal& w, bool inConsultas)
{
    if (inConsultas)
        return w.consultasForm()->findChild<QLineEdit*>("txtcadena");
    return w.catalogoForm()->findChild<QLineEdit*>("txtclacd");
}

// Values written out for a failure message.
template <typename... T> QString describe(const T&... values)
{
    QString text;
    (QDebug(&text) << ... << values);
    return text;
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
    void initTestCase()
    {
        setUpApplication();
        QCOMPARE(QCoreApplication::organizationName(), "Tolvane");
        QCOMPARE(QCoreApplication::applicationName(), "velmor");
        QCOMPARE(QCoreApplication::applicationVersion(), "1.00");
    }

    void installedFamilies_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        const QStringList pair { "Arial", "Liberation Sans" };
        const QStringList narrow { "Arial Narrow", "Liberation Sans Narrow" };
        QTest::newRow("first installed")
            << pair << QStringList { "Liberation Sans", "Arial" } << pair;
        QTest::newRow("only the substitute")
            << pair << QStringList { "DejaVu Sans", "Liberation Sans" }
            << QStringList { "Liberation Sans" };
        QTest::newRow("neither: the system substitutes")
            << pair << QStringList { "DejaVu Sans" } << pair;
        QTest::newRow("nothing installed") << pair << QStringList() << pair;
        QTest::newRow("substitute from several foundries")
            << pair << QStringList { "Liberation Sans [1ASC]", "Liberation Sans [Other]" }
            << QStringList { "Liberation Sans" };
        QTest::newRow("case of the names")
            << pair << QStringList { "LIBERATION SANS" } << QStringList { "Liberation Sans" };
        QTest::newRow("a longer name is another family")
            << narrow << QStringList { "Arial", "Liberation Sans" } << narrow;
        QTest::newRow("a shorter name is another family")
            << pair << QStringList { "Arial Narrow", "Liberation Sans Narrow" } << pair;
    }

    void installedFamilies()
    {
        QFETCH(QStringList, asked);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        QCOMPARE(familiasInstaladas(asked, installed), expected);
    }

    // Leaving out a family that is not installed must not change the face drawn.
    void fontsDrawnAsAsked_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("application") << "application";
        QTest::newRow("catalogue frame captions") << "Frame1";
    }

    void fontsDrawnAsAsked()
    {
        QFETCH(QString, which);
        QFont plain;
        QFont used;
        if (which == "application") {
            plain = QFont("Arial", 8);
            plain.setFamilies({ "Arial", "Liberation Sans" });
            used = QApplication::font();
        } else {
            MainWindow w(1);
            QVERIFY(w.window.catalogoForm());
            plain = QFont("Arial Narrow", 9);
            plain.setItalic(true);
            used = w.window.catalogoForm()->findChild<QGroupBox*>(which)->font();
        }
        const QFontInfo expected(plain);
        const QFontInfo drawn(used);
        QCOMPARE(drawn.family(), expected.family());
        QCOMPARE(drawn.style(), expected.style());
        QCOMPARE(drawn.pixelSize(), expected.pixelSize());
    }

    void menus()
    {
        mdiprincipal w;
        const auto menus = w.menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        QCOMPARE(menus[0]->text(), "&Sistema");
        QCOMPARE(menus[1]->text(), "&Opciones");
        QStringList sistema, opciones;
        for (auto* a : menus[0]->menu()->actions())
            sistema << (a->isSeparator() ? "-" : a->text() + "|" + a->shortcut().toString());
        for (auto* a : menus[1]->menu()->actions())
            opciones << a->text() + "|" + a->shortcut().toString();
        QCOMPARE(sistema, QStringList({ "Acerca de...|F1", "-", "Sa&lir|Ctrl+L" }));
        QCOMPARE(opciones, QStringList({ "C&atálogo de CD's|Ctrl+A", "C&onsultas|Ctrl+O" }));
    }

    void shortcutsFromEitherChild_data()
    {
        QTest::addColumn<bool>("fromConsultas");
        QTest::newRow("from the catalogue form") << false;
        QTest::newRow("from the query form") << true;
    }

    void shortcutsFromEitherChild()
    {
        QFETCH(bool, fromConsultas);
        MainWindow m;
        mdiprincipal& w = m.window;
        ScriptedMessageBoxes& boxes = m.boxes;
        QVERIFY(w.isActiveWindow());
        auto press = [&](QKeyCombination key) {
            QWidget* target = focusTarget(w, fromConsultas);
            target->setFocus();
            QTest::keyClick(target, key.key(), key.keyboardModifiers());
        };

        press(Qt::Key_F1);
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].title, "Acerca de...");

        // The menu's keys win over the boxes' own (Ctrl+A is not "select all" here).
        QTest::keyClicks(focusTarget(w, fromConsultas), "12");
        press(Qt::CTRL | Qt::Key_A);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.catalogoForm());
        QCOMPARE(
            qobject_cast<QLineEdit*>(focusTarget(w, fromConsultas))->selectedText(), QString());
        press(Qt::CTRL | Qt::Key_O);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.consultasForm());

        boxes.answers = { false };
        press(Qt::CTRL | Qt::Key_L);
        QCOMPARE(boxes.shown.size(), 2);
        QCOMPARE(boxes.shown[1].text, "¿Desea finalizar la aplicación?");
        QVERIFY(w.isVisible());
    }

    void aboutText()
    {
        const QString text = mdiprincipal::aboutText();
        const QStringList lines = text.split(QChar(13));
        QCOMPARE(lines.size(), 6);
        QVERIFY(text.endsWith(QChar(13)));
        QVERIFY(!text.contains('\n'));
        QCOMPARE(lines[0], "Tolvane");
        QCOMPARE(lines[1], "Programa elaborado por:");
        QVERIFY(!lines[2].isEmpty());
        QVERIFY(lines[3].startsWith("E-mail: "));
        QVERIFY(lines[4].startsWith("Home Page: "));
        QCOMPARE(displayText(text).split('\n').size(), 5);
    }

    void exitAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No keeps everything") << false;
        QTest::newRow("Yes closes, with no question about unsaved text") << true;
    }

    void exitAsks()
    {
        QFETCH(bool, yes);
        MainWindow m;
        auto* nombre = m.window.catalogoForm()->findChild<QLineEdit*>("txtnomcd");
        QTest::keyClicks(nombre, "sin grabar");
        m.boxes.answers = { yes };
        QCOMPARE(m.window.close(), yes);
        QCOMPARE(m.boxes.shown.size(), 1);
        QCOMPARE(m.boxes.shown[0].kind, ScriptedMessageBoxes::Confirm);
        QCOMPARE(m.window.isVisible(), !yes);
        if (yes)
            return;
        QCOMPARE(childrenOf(m.window, "velmor::frmcatalogo"), 1);
        QCOMPARE(childrenOf(m.window, "velmor::frmconsultas"), 1);
        QCOMPARE(nombre->text(), "sin grabar");
    }

    // The program starts with the catalogue form only, empty; each form exists once.
    void formsExistOnceAndReloadAfterClose()
    {
        MainWindow m(0);
        m.cat.addCd(1, "UNO", "", "D");
        mdiprincipal& w = m.window;
        frmcatalogo* first = w.showCatalogo();
        QVERIFY(first);
        QCOMPARE(w.windowTitle(), QStringLiteral("Tolvane - Catálogo de CD's"));
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QCOMPARE(childrenOf(w, "velmor::frmconsultas"), 0);
        QCOMPARE(w.workspace()->activeSubWindow()->widget(), first);
        for (auto* box : first->findChildren<QLineEdit*>())
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        QCOMPARE(w.showCatalogo(), first);
        frmconsultas* consultas = w.showConsultasForm();
        QVERIFY(consultas);
        QCOMPARE(w.showConsultasForm(), consultas);
        QCOMPARE(childrenOf(w, "velmor::frmconsultas"), 1);
        QCOMPARE(childrenOf(w, "velmor::frmcatalogo"), 1);

        auto* clave = first->findChild<QLineEdit*>("txtclacd");
        QTest::keyClicks(clave, "77");
        w.showCatalogo();
        QCOMPARE(clave->text(), "77");

        // A closed form loads afresh: its record sources see rows stored meanwhile.
        w.catalogoForm()->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w.catalogoForm());
        m.cat.addCd(5, "CINCO", "", "D");
        frmcatalogo* second = w.showCatalogo();
        QVERIFY(second);
        QCOMPARE(second->findChild<QLineEdit*>("txtclacd")->text(), QString());
        QCOMPARE(second->datcd.Recordset().RecordCount(), 2);
        QCOMPARE(childrenOf(w, "velmor::frmcatalogo"), 1);
        QVERIFY(m.boxes.shown.isEmpty());
    }

    void missingCatalogueIsReportedAndNotCreated()
    {
        MainWindow m(0);
        const QString path = m.cat.path();
        QVERIFY(QFile::remove(path));
        mdiprincipal& w = m.window;
        QVERIFY(!w.showCatalogo());
        QVERIFY(!w.showConsultasForm());
        QCOMPARE(m.boxes.shown.size(), 2);
        for (const auto& shown : m.boxes.shown) {
            QCOMPARE(shown.kind, ScriptedMessageBoxes::Error);
            // The file is named, and so is the command that makes one.
            QVERIFY2(shown.text.contains(path + "».\r"), qPrintable(shown.text));
            QVERIFY2(
                shown.text.endsWith("\rvelmor-db crear \"" + path + '"'), qPrintable(shown.text));
        }
        QCOMPARE(w.workspace()->subWindowList().size(), 0);
        QVERIFY(w.isVisible());
        QVERIFY(!QFile::exists(path));
    }

    // A form shown by the menu starts in its first control; one brought to the front
    // again keeps the control it had.
    void firstFocus()
    {
        MainWindow m(0);
        mdiprincipal& w = m.window;
        QVERIFY(w.isActiveWindow());
        frmcatalogo* catalogo = w.showCatalogo();
        QCOMPARE(QApplication::focusWidget(), catalogo->findChild<QWidget*>("txtclacd"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_5);
        QCOMPARE(catalogo->findChild<QLineEdit*>("txtclacd")->text(), "5");

        w.findChild<QAction*>("consultas")->trigger();
        auto* criterios = w.consultasForm()->findChild<QComboBox*>("cbocriterios");
        QCOMPARE(QApplication::focusWidget(), criterios);
        QTest::keyClick(criterios, Qt::Key_Down);
        QCOMPARE(criterios->currentText(), "Nombre");
        auto* cadena = w.consultasForm()->findChild<QLineEdit*>("txtcadena");
        cadena->setFocus();

        w.findChild<QAction*>("catalogo")->trigger();
        QCOMPARE(QApplication::focusWidget(), catalogo->findChild<QWidget*>("txtclacd"));
        catalogo->findChild<QWidget*>("txtdes")->setFocus();
        w.findChild<QAction*>("consultas")->trigger();
        QCOMPARE(QApplication::focusWidget(), cadena);
        w.findChild<QAction*>("catalogo")->trigger();
        QCOMPARE(QApplication::focusWidget(), catalogo->findChild<QWidget*>("txtdes"));
    }

    void realMessageBoxes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("yes");
        const QStringList siNo { "&Sí", "&No" }, aceptar { "Aceptar" };
        QTest::newRow("confirm, Enter")
            << "confirm" << +Qt::Key_Return << "CONFIRMAR" << siNo << true;
        QTest::newRow("confirm, Escape")
            << "confirm" << +Qt::Key_Escape << "CONFIRMAR" << siNo << false;
        QTest::newRow("error") << "error" << +Qt::Key_Return << "ERROR" << aceptar << false;
        QTest::newRow("failure") << "failure" << +Qt::Key_Return << "velmor" << aceptar << false;
    }

    // The boxes users see, not the scripted ones: Spanish buttons whatever translations
    // are installed, and Yes the default of a confirmation.
    void realMessageBoxes()
    {
        QFETCH(QString, kind);
        QFETCH(int, key);
        QFETCH(QString, title);
        QFETCH(QStringList, buttons);
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
        if (kind == "confirm")
            answer = real.confirm(nullptr, "¿Seguro?\rDe verdad.");
        else if (kind == "error")
            real.error(nullptr, "¿Seguro?\rDe verdad.");
        else
            real.failure(nullptr, "¿Seguro?\rDe verdad.");
        std::sort(seenButtons.begin(), seenButtons.end(), std::greater<>());
        QCOMPARE(seen + seenButtons, QStringList({ title, "¿Seguro?\nDe verdad." }) + buttons);
        QCOMPARE(answer, yes);
    }

    // Every control of both forms has a name a screen reader can announce; a box is
    // announced by its label.
    void everyControlNamed()
    {
        MainWindow both;
        QVERIFY(both.loaded());
        int checked = 0;
        for (QWidget* form : both.forms()) {
            for (QWidget* control : form->findChildren<QWidget*>()) {
                if (!control->isVisibleTo(form))
                    continue;
                if (!(qobject_cast<QAbstractButton*>(control) || qobject_cast<QLineEdit*>(control)
                        || qobject_cast<QAbstractItemView*>(control)
                        || qobject_cast<QComboBox*>(control)
                        || qobject_cast<QPlainTextEdit*>(control)
                        || qobject_cast<QGroupBox*>(control)))
                    continue;
                ++checked;
                const QString name
                    = QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
                QVERIFY2(!name.trimmed().isEmpty(),
                    qPrintable(control->objectName() + " " + control->metaObject()->className()));
            }
            for (QLabel* label : form->findChildren<QLabel*>()) {
                if (!label->buddy())
                    continue;
                QString caption = label->text();
                caption.remove('&');
                // A drop-down list announces its current entry; its name is still the label's.
                if (qobject_cast<QComboBox*>(label->buddy()))
                    QCOMPARE(label->buddy()->accessibleName(), caption);
                else
                    QCOMPARE(QAccessible::queryAccessibleInterface(label->buddy())
                                 ->text(QAccessible::Name),
                        caption);
            }
        }
        QVERIFY(checked > 40);
    }

    void layoutFits_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QByteArray>("scale");
        QTest::newRow("this run") << 0 << QByteArray();
        QTest::newRow("120 dpi") << 120 << QByteArray();
        QTest::newRow("144 dpi") << 144 << QByteArray();
        QTest::newRow("scale 2") << 96 << QByteArray("2");
    }

    // At any DPI no label overlaps its box or is cut, no control leaves its frame, and
    // both forms fit a 1280 x 900 screen. Other DPIs run this test again in a process
    // of their own, on a screen of that logical DPI.
    void layoutFits()
    {
        QFETCH(int, dpi);
        QFETCH(QByteArray, scale);
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
            // The screen's DPI reaches the program as a logical DPI, as a font DPI does on
            // a desktop, rather than as a device pixel ratio.
            env.insert("QT_ENABLE_HIGHDPI_SCALING", scale.isEmpty() ? "0" : "1");
            if (!scale.isEmpty())
                env.insert("QT_SCALE_FACTOR", QString::fromLatin1(scale));
            env.insert("VELMOR_LAYOUT_CHILD", "1");
            env.insert("VELMOR_EXPECTED_DPI", QString::number(dpi));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), { "layoutFits:this run" });
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
        const bool scaled = qEnvironmentVariableIsSet("QT_SCALE_FACTOR");
        for (QWidget* form : both.forms()) {
            const QSize outer = form->parentWidget()->frameGeometry().size()
                + QSize(0, w.menuBar()->sizeHint().height());
            // A scale factor of 2 makes the catalogue form 1184 x 900 pixels before its
            // frame: no layout fits there, and the workspace scrolls instead.
            if (!scaled)
                QVERIFY2(outer.width() * ratio <= 1280 && outer.height() * ratio <= 900,
                    qPrintable(describe(form->objectName(), outer)));
            for (QWidget* control : form->findChildren<QWidget*>()) {
                QWidget* parent = control->parentWidget();
                if (!control->isVisibleTo(form)
                    || !(parent == form || qobject_cast<QGroupBox*>(parent)))
                    continue;
                QVERIFY2(parent->rect().contains(control->geometry()),
                    qPrintable(control->objectName() + " leaves " + parent->objectName()));
            }
            for (QLabel* label : form->findChildren<QLabel*>()) {
                const QRect text = label->fontMetrics().boundingRect(label->contentsRect(),
                    int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0),
                    label->text());
                QVERIFY2(label->contentsRect().contains(text),
                    qPrintable(
                        describe(label->objectName(), "is cut:", text, "in", label->size())));
                // Labels may reach under their box, as drawn; their text may not.
                if (label->buddy() && label->buddy()->parentWidget() == label->parentWidget())
                    QVERIFY2(!text.translated(label->pos()).intersects(label->buddy()->geometry()),
                        qPrintable(label->objectName() + " overlaps its box"));
            }
        }
    }
};

QTEST_MAIN(AppTest)
#include "tst_app.moc"
