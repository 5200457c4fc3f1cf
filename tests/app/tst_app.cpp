#include "app/mdiprincipal.h"
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

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

}

class AppTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startsWithCatalogueFormOnly();
    void menus();
    void shortcutsFromEitherChild_data();
    void shortcutsFromEitherChild();
    void aboutText();
    void exitAnsweredNoKeepsEverything();
    void exitAnsweredYesCloses();
    void formsExistOnceAndReloadAfterClose();
    void missingCatalogueIsReportedAndNotCreated();
};

void AppTest::initTestCase()
{
    setUpApplication();
    QCOMPARE(QCoreApplication::organizationName(), "Tolvane");
    QCOMPARE(QCoreApplication::applicationName(), "velmor");
    QCOMPARE(QCoreApplication::applicationVersion(), "1.00");
    // Standard buttons of every message box read in Spanish.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Sí");
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), "Aceptar");
}

void AppTest::startsWithCatalogueFormOnly()
{
    TestCatalog cat;
    cat.addCd(1, "UNO", "", "D");
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    QVERIFY(w.showCatalogo());
    QCOMPARE(w.windowTitle(), QStringLiteral("Tolvane - Catálogo de CD's"));
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    QCOMPARE(childrenOf(w, "velmor::frmcatalogo"), 1);
    QCOMPARE(childrenOf(w, "velmor::frmconsultas"), 0);
    QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.catalogoForm());
    for (auto* box : w.catalogoForm()->findChildren<QLineEdit*>())
        QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
    QVERIFY(boxes.shown.isEmpty());
}

void AppTest::menus()
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

void AppTest::shortcutsFromEitherChild_data()
{
    QTest::addColumn<bool>("fromConsultas");
    QTest::newRow("from the catalogue form") << false;
    QTest::newRow("from the query form") << true;
}

void AppTest::shortcutsFromEitherChild()
{
    QFETCH(bool, fromConsultas);
    TestCatalog cat;
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.showCatalogo();
    w.showConsultasForm();
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
    QCOMPARE(qobject_cast<QLineEdit*>(focusTarget(w, fromConsultas))->selectedText(), QString());
    press(Qt::CTRL | Qt::Key_O);
    QCOMPARE(w.workspace()->activeSubWindow()->widget(), w.consultasForm());

    boxes.answers = { false };
    press(Qt::CTRL | Qt::Key_L);
    QCOMPARE(boxes.shown.size(), 2);
    QCOMPARE(boxes.shown[1].text, "¿Desea finalizar la aplicación?");
    QVERIFY(w.isVisible());
}

void AppTest::aboutText()
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

void AppTest::exitAnsweredNoKeepsEverything()
{
    TestCatalog cat;
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    w.showCatalogo();
    w.showConsultasForm();
    auto* nombre = w.catalogoForm()->findChild<QLineEdit*>("txtnomcd");
    QTest::keyClicks(nombre, "sin grabar");
    boxes.answers = { false };
    QVERIFY(!w.close());
    QCOMPARE(boxes.shown.size(), 1);
    QCOMPARE(boxes.shown[0].kind, ScriptedMessageBoxes::Confirm);
    QVERIFY(w.isVisible());
    QCOMPARE(childrenOf(w, "velmor::frmcatalogo"), 1);
    QCOMPARE(childrenOf(w, "velmor::frmconsultas"), 1);
    QCOMPARE(nombre->text(), "sin grabar");
}

void AppTest::exitAnsweredYesCloses()
{
    TestCatalog cat;
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    w.showCatalogo();
    QTest::keyClicks(w.catalogoForm()->findChild<QLineEdit*>("txtnomcd"), "sin grabar");
    boxes.answers = { true };
    QVERIFY(w.close());
    QVERIFY(!w.isVisible());
    QCOMPARE(boxes.shown.size(), 1); // no further question for the unsaved text
}

void AppTest::formsExistOnceAndReloadAfterClose()
{
    TestCatalog cat;
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    frmcatalogo* first = w.showCatalogo();
    QVERIFY(first);
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
    cat.addCd(5, "CINCO", "", "D");
    frmcatalogo* second = w.showCatalogo();
    QVERIFY(second);
    QCOMPARE(second->findChild<QLineEdit*>("txtclacd")->text(), QString());
    QCOMPARE(second->datcd.Recordset().RecordCount(), 1);
    QCOMPARE(childrenOf(w, "velmor::frmcatalogo"), 1);
    QVERIFY(boxes.shown.isEmpty());
}

void AppTest::missingCatalogueIsReportedAndNotCreated()
{
    TestCatalog cat;
    QVERIFY(QFile::remove(cat.path()));
    ScriptedMessageBoxes boxes;
    mdiprincipal w;
    w.showMaximized();
    QVERIFY(!w.showCatalogo());
    QVERIFY(!w.showConsultasForm());
    QCOMPARE(boxes.shown.size(), 2);
    for (const auto& shown : boxes.shown) {
        QCOMPARE(shown.kind, ScriptedMessageBoxes::Error);
        QVERIFY2(shown.text.contains(cat.path()), qPrintable(shown.text));
    }
    QCOMPARE(w.workspace()->subWindowList().size(), 0);
    QVERIFY(w.isVisible());
    QVERIFY(!QFile::exists(cat.path()));
}

QTEST_MAIN(AppTest)
#include "tst_app.moc"
