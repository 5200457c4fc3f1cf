#include "formulario.h"

#include "data/catalogfile.h"
#include "ui/formhost.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using velmor::frmcatalogo;

namespace {

// The key rules read the user's locale; the tests run in the locale of the
// program's users, fixed before the application reads it.
void usarLocaleEspanol() { qputenv("LC_ALL", "es_ES.UTF-8"); }
Q_CONSTRUCTOR_FUNCTION(usarLocaleEspanol)

const QString grabarSinDatos = QStringLiteral("Escriba datos antes de intentar grabar.");
const QString claveNoEntera = QStringLiteral("La clave del CD debe ser un número entero.\r"
                                             "Escriba la clave sólo con cifras, sin decimales "
                                             "ni separadores.");
const QString eliminarSinDatos = QStringLiteral("Seleccione datos antes de intentar eliminar.");
// A step of typing that empties the box with Backspace.
const QString borrar = QStringLiteral("<borrar>");
const QString confirmarEliminar
    = QStringLiteral("Esto eliminará los datos del CD. ¿Desea hacerlo?");

struct Cd {
    QString nombre, artista, descripcion;
    QStringList canciones;
};

const QMap<int, Cd> discos {
    { 0, { "CERO", "NADIE", "DISCO CERO", { "C0" } } },
    { 1, { "UNO", "ALGUIEN", "DISCO UNO", { "U1", "U2" } } },
    { 2, { "DOCE", "DOCENA", "OTRO DOCE", { "X" } } },
    { 4, { "CANCIÓN TRISTE", "ÑANDÚ BAND", "LENTO", { "LLANTO" } } },
    { 5, { "CINCO", "QUINTETO", "DISCO CINCO", { "C1", "", "C3" } } },
    { 6, { "DON'T STOP", "O'HARA", "ROCK", { "GO" } } },
    { 7, { "SIETE", "", "SIN ARTISTA", { "S7" } } },
    { 9, { "", "ANÓNIMO", "SIN NOMBRE", { "N9" } } },
    { 12, { "DOCE", "DOCENA", "DISCO DOCE", { "D1" } } },
};

void guardar(TestCatalog& archivo, int id, bool conCanciones = true)
{
    const Cd& cd = discos[id];
    archivo.addCd(id, cd.nombre, cd.artista, cd.descripcion, cd.canciones, conCanciones);
}

QStringList mostrado(int id)
{
    const Cd& cd = discos[id];
    return registro(QString::number(id), cd.nombre, cd.artista, cd.descripcion, cd.canciones);
}

class Anfitrion final : public velmor::FormHost {
public:
    void showConsultas() override { ++consultas; }
    frmcatalogo* catalogoCargado() override { return nullptr; }
    int consultas = 0;
};

}

class TestFrmcatalogo : public QObject {
    Q_OBJECT
private slots:
    void cargaVacia();
    void cargaSinArchivo();
    void limites_data();
    void limites();
    void pegarEnDescripcion();
    void ordenDeFoco();
    void disposicion_data();
    void disposicion();
    void fuentesYColores();
    void barra_data();
    void barra();

    void grabarRechazado_data();
    void grabarRechazado();
    void grabarEnMayusculas();
    void fallosDelArchivo_data();
    void fallosDelArchivo();
    void eliminar_data();
    void eliminar();
    void consultarYSalir();
    void cadaClicRefresca_data();
    void cadaClicRefresca();

    void buscarPorClave_data();
    void buscarPorClave();
    void buscarPorTexto_data();
    void buscarPorTexto();
    void limpiar_data();
    void limpiar();
};

void TestFrmcatalogo::cargaVacia()
{
    Formulario f;
    guardar(f.archivo, 0);
    guardar(f.archivo, 12);
    QVERIFY(f.cargar());
    QCOMPARE(f.textos(), registro({}, {}, {}, {}));
    QCOMPARE(f.form->windowTitle(), QStringLiteral(" Catálogo de CD's"));
    QCOMPARE(f.form->size(), QSize(592, 450));
    QVERIFY(f.mensajes.shown.isEmpty());
}

void TestFrmcatalogo::cargaSinArchivo()
{
    Formulario f;
    const QString ausente = f.archivo.path() + QStringLiteral(".no");
    velmor::CatalogFile::setPathOverride(ausente);
    QVERIFY(!f.cargar());
    QCOMPARE(f.mensajes.shown.size(), 1);
    QCOMPARE(f.mensajes.shown[0].kind, ScriptedMessageBoxes::Error);
    QVERIFY2(f.mensajes.shown[0].text.contains(ausente), qPrintable(f.mensajes.shown[0].text));
    QVERIFY(!QFile::exists(ausente));
}

void TestFrmcatalogo::limites_data()
{
    QTest::addColumn<QString>("caja");
    QTest::addColumn<int>("limite");
    QTest::newRow("clave") << "txtclacd" << 4;
    QTest::newRow("nombre") << "txtnomcd" << 30;
    QTest::newRow("artista") << "txtart" << 25;
    QTest::newRow("descripción") << "txtdes" << 250;
    QTest::newRow("primera canción") << "txtcan1" << 30;
    QTest::newRow("última canción") << "txtcan20" << 30;
}

void TestFrmcatalogo::limites()
{
    QFETCH(QString, caja);
    QFETCH(int, limite);
    Formulario f;
    QVERIFY(f.cargar());
    f.escribir(caja, QString(limite + 7, QLatin1Char('7')));
    const QString texto
        = caja == QLatin1String("txtdes") ? f.txtdes()->toPlainText() : f.cuadro(caja)->text();
    QCOMPARE(texto, QString(limite, QLatin1Char('7')));
}

void TestFrmcatalogo::pegarEnDescripcion()
{
    Formulario f;
    QVERIFY(f.cargar());
    f.escribir("txtdes", "inicio");
    f.txtdes()->moveCursor(QTextCursor::Start);
    QApplication::clipboard()->setText(QString(300, QLatin1Char('x')));
    f.txtdes()->paste();
    QCOMPARE(f.txtdes()->toPlainText(), QString(244, QLatin1Char('x')) + "inicio");
    f.txtdes()->moveCursor(QTextCursor::End);
    f.txtdes()->paste();
    QCOMPARE(f.txtdes()->toPlainText().size(), 250);
}

void TestFrmcatalogo::ordenDeFoco()
{
    Formulario f;
    QVERIFY(f.cargar());
    QApplication::setActiveWindow(f.form.get());
    QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
    f.cuadro("txtclacd")->setFocus();
    QStringList orden { QApplication::focusWidget()->objectName() };
    for (int i = 0; i < 24; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        orden << QApplication::focusWidget()->objectName();
    }
    QStringList esperado { "txtclacd", "txtnomcd", "txtart", "txtdes" };
    for (int n = 1; n <= 20; ++n)
        esperado << QStringLiteral("txtcan%1").arg(n);
    esperado << "txtclacd";
    QCOMPARE(orden, esperado);
    QVERIFY(f.txtdes()->toPlainText().isEmpty());
}

void TestFrmcatalogo::disposicion_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("contenedor");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QString>("nombreLeido");
    QTest::newRow("Toolbar1") << "Toolbar1"
                              << "frmcatalogo" << QRect(0, 0, 592, 28) << "";
    QTest::newRow("Frame1") << "Frame1"
                            << "frmcatalogo" << QRect(5, 30, 581, 136) << "DATOS";
    QTest::newRow("Frame2") << "Frame2"
                            << "frmcatalogo" << QRect(5, 170, 581, 276) << "CANCIONES";
    QTest::newRow("Label2") << "Label2"
                            << "Frame1" << QRect(185, 25, 76, 16) << "Nombre del CD";
    QTest::newRow("txtclacd") << "txtclacd"
                              << "Frame1" << QRect(85, 20, 66, 19) << "Clave del CD";
    QTest::newRow("txtart") << "txtart"
                            << "Frame1" << QRect(180, 50, 206, 19) << "Artista";
    QTest::newRow("txtdes") << "txtdes"
                            << "Frame1" << QRect(75, 80, 481, 44) << "Descripción";
    QTest::newRow("Label14") << "Label14"
                             << "Frame2" << QRect(20, 250, 56, 16) << "Canción 10";
    QTest::newRow("txtcan7") << "txtcan7"
                             << "Frame2" << QRect(75, 170, 200, 19) << "Canción 7";
    QTest::newRow("Label15") << "Label15"
                             << "Frame2" << QRect(305, 25, 56, 16) << "Canción 11";
    QTest::newRow("txtcan20") << "txtcan20"
                              << "Frame2" << QRect(360, 245, 200, 19) << "Canción 20";
}

void TestFrmcatalogo::disposicion()
{
    QFETCH(QString, control);
    QFETCH(QString, contenedor);
    QFETCH(QRect, rect);
    QFETCH(QString, nombreLeido);
    Formulario f;
    QVERIFY(f.cargar());
    auto* w = f.form->findChild<QWidget*>(control);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), contenedor);
    if (qobject_cast<QLabel*>(w)) {
        // A label wider than its place grows to the left, away from its box.
        QCOMPARE(w->geometry().right(), rect.right());
        QCOMPARE(w->geometry().top(), rect.top());
        QCOMPARE(w->height(), rect.height());
        QVERIFY(w->width() >= std::max(rect.width(),
                    w->fontMetrics().horizontalAdvance(qobject_cast<QLabel*>(w)->text())));
    } else {
        QCOMPARE(w->geometry(), rect);
    }
    // What a screen reader announces; for a box it is the text of its label.
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(w);
    QCOMPARE(acc->text(QAccessible::Name), nombreLeido);
}

void TestFrmcatalogo::fuentesYColores()
{
    Formulario f;
    QVERIFY(f.cargar());
    for (const char* nombre : { "Frame1", "Frame2" }) {
        auto* marco = f.form->findChild<QGroupBox*>(nombre);
        QCOMPARE(marco->font().family(), QStringLiteral("Arial Narrow"));
        QCOMPARE(marco->font().pointSize(), 9);
        QVERIFY(marco->font().italic());
        QCOMPARE(marco->font().weight(), QFont::Normal);
        QCOMPARE(marco->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    }
    auto* etiqueta = f.form->findChild<QLabel*>("Label24");
    QCOMPARE(etiqueta->text(), QStringLiteral("Canción 20"));
    QCOMPARE(etiqueta->palette().color(QPalette::WindowText), QColor(128, 64, 0));
    QCOMPARE(etiqueta->font(), QApplication::font());
    QCOMPARE(f.cuadro("txtcan1")->font(), QApplication::font());
    QCOMPARE(f.txtdes()->font(), QApplication::font());
}

void TestFrmcatalogo::barra_data()
{
    QTest::addColumn<int>("indice");
    QTest::addColumn<QString>("clave");
    QTest::addColumn<QString>("ayuda");
    QTest::newRow("1 agregar") << 1 << "agregar"
                               << "Escribir nuevos datos";
    QTest::newRow("2") << 2 << QString() << QString();
    QTest::newRow("3 grabar") << 3 << "grabar"
                              << "Grabar datos al catálogo";
    QTest::newRow("4") << 4 << QString() << QString();
    QTest::newRow("5 eliminar") << 5 << "eliminar"
                                << "Elimina los datos actuales";
    QTest::newRow("6") << 6 << QString() << QString();
    QTest::newRow("7 consultar") << 7 << "consultar"
                                 << "Permite hacer consultas";
    QTest::newRow("8") << 8 << QString() << QString();
    QTest::newRow("9 salir") << 9 << "salir"
                             << "Termina el programa";
}

void TestFrmcatalogo::barra()
{
    QFETCH(int, indice);
    QFETCH(QString, clave);
    QFETCH(QString, ayuda);
    Formulario f;
    QVERIFY(f.cargar());
    auto* barra = f.form->findChild<QToolBar*>("Toolbar1");
    QCOMPARE(barra->actions().size(), 9);
    QAction* accion = barra->actions().at(indice - 1);
    QCOMPARE(accion->isSeparator(), clave.isEmpty());
    if (clave.isEmpty())
        return;
    QCOMPARE(accion->objectName(), clave);
    QCOMPARE(accion->toolTip(), ayuda);
    QVERIFY(!accion->icon().pixmap(16, 16).isNull());
    auto* boton = qobject_cast<QToolButton*>(barra->widgetForAction(accion));
    QCOMPARE(boton->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(boton->accessibleName(), clave);
    QCOMPARE(boton->accessibleDescription(), ayuda);
}

void TestFrmcatalogo::grabarRechazado_data()
{
    QTest::addColumn<QStringList>("tecleado");
    QTest::addColumn<QString>("mensaje");
    QTest::newRow("sin clave") << QStringList { "", "nombre", "", "des" } << grabarSinDatos;
    QTest::newRow("sin nombre") << QStringList { "3", "", "art", "des" } << grabarSinDatos;
    QTest::newRow("sin descripción") << QStringList { "3", "n", "art", "" } << grabarSinDatos;
    QTest::newRow("clave con letras") << QStringList { "3a", "n", "", "d" } << grabarSinDatos;
    QTest::newRow("clave con coma decimal") << QStringList { "1,5", "n", "", "d" } << claveNoEntera;
    QTest::newRow("clave con exponente negativo")
        << QStringList { "2e-1", "n", "", "d" } << claveNoEntera;
    QTest::newRow("clave ya guardada") << QStringList { "12", "otro", "", "d" }
                                       << QStringLiteral("Ya existe un CD con la clave 12.");
}

void TestFrmcatalogo::grabarRechazado()
{
    QFETCH(QStringList, tecleado);
    QFETCH(QString, mensaje);
    Formulario f;
    guardar(f.archivo, 12);
    QVERIFY(f.cargar());
    f.teclear(tecleado);
    const QStringList antes = f.textos();
    f.pulsar("grabar");
    QCOMPARE(f.mensajes.shown.size(), 1);
    QCOMPARE(f.mensajes.shown[0].kind, ScriptedMessageBoxes::Error);
    QCOMPARE(f.mensajes.shown[0].text, mensaje);
    QCOMPARE(f.textos(), antes);
    QCOMPARE(f.archivo.column("select nombre from datos_cd"), QStringList { "DOCE" });
    QCOMPARE(f.archivo.column("select cancion1 from canciones"), QStringList { "D1" });
}

void TestFrmcatalogo::grabarEnMayusculas()
{
    Formulario f;
    QVERIFY(f.cargar());
    const QStringList tecleado { "7", "canción de cuna", "", "ñandú y güiro", "uno", "", "tres" };
    f.teclear(tecleado);
    f.pulsar("grabar");
    QVERIFY(f.mensajes.shown.isEmpty());
    QCOMPARE(
        f.textos(), registro("7", "canción de cuna", "", "ñandú y güiro", { "uno", "", "tres" }));
    QCOMPARE(f.archivo.column("select id || '|' || nombre || '|' || artista || '|' || descripcion "
                              "from datos_cd"),
        QStringList { "7|CANCIÓN DE CUNA||ÑANDÚ Y GÜIRO" });
    QCOMPARE(f.archivo.column("select id || cancion1 || '|' || cancion2 || '|' || cancion3 "
                              "from canciones"),
        QStringList { "7UNO||TRES" });
    QCOMPARE(f.archivo.column("select count(*) from canciones where cancion20 = ''"),
        QStringList { "1" });
}

void TestFrmcatalogo::fallosDelArchivo_data()
{
    QTest::addColumn<QString>("disparador");
    QTest::addColumn<QList<int>>("guardados");
    QTest::addColumn<QStringList>("tecleado");
    QTest::addColumn<QString>("comando");
    QTest::addColumn<QString>("despues");
    QTest::newRow("grabar, falla la fila de canciones")
        << "BEFORE INSERT ON canciones" << QList<int> {}
        << QStringList { "8", "ocho", "", "d", "s1" } << "grabar"
        << "8|OCHO|S1";
    QTest::newRow("eliminar, falla la fila de canciones")
        << "BEFORE DELETE ON canciones" << QList<int> { 5 } << QStringList { "5" } << "eliminar"
        << "";
}

// The file refuses the second row of a command: nothing of it is stored, the boxes
// stay, and once the file accepts it again the same command succeeds.
void TestFrmcatalogo::fallosDelArchivo()
{
    QFETCH(QString, disparador);
    QFETCH(QList<int>, guardados);
    QFETCH(QStringList, tecleado);
    QFETCH(QString, comando);
    QFETCH(QString, despues);
    Formulario f;
    for (int id : guardados)
        guardar(f.archivo, id);
    QVERIFY(f.cargar());
    const QString filas = QStringLiteral("select d.id || '|' || d.nombre || '|' || c.cancion1 from "
                                         "datos_cd d join canciones c using (id)");
    const QStringList antesFilas = f.archivo.column(filas);
    f.archivo.exec("CREATE TRIGGER t " + disparador + " BEGIN SELECT RAISE(ABORT,'fallo'); END");
    f.teclear(tecleado);
    const QStringList antes = f.textos();
    f.pulsar(comando.toLatin1().constData());
    const ScriptedMessageBoxes::Shown error = f.mensajes.shown.last();
    QCOMPARE(error.kind, ScriptedMessageBoxes::Error);
    QVERIFY2(error.text.contains("fallo"), qPrintable(error.text));
    QCOMPARE(f.archivo.column(filas), antesFilas);
    QCOMPARE(f.archivo.count("datos_cd"), f.archivo.count("canciones"));
    QCOMPARE(f.textos(), antes);

    f.archivo.exec("DROP TRIGGER t");
    f.pulsar(comando.toLatin1().constData());
    QCOMPARE(f.archivo.column(filas).join(QString()), despues);
    QCOMPARE(f.archivo.count("datos_cd"), f.archivo.count("canciones"));
}

void TestFrmcatalogo::eliminar_data()
{
    QTest::addColumn<QList<int>>("guardados");
    QTest::addColumn<int>("sinCanciones");
    QTest::addColumn<QStringList>("tecleado");
    QTest::addColumn<QList<bool>>("respuestas");
    QTest::addColumn<QStringList>("mensajes");
    QTest::addColumn<QStringList>("quedan");
    QTest::addColumn<bool>("vacia");
    const QList<bool> si { true };
    QTest::newRow("CD mostrado") << QList<int> { 5, 12 } << -1 << QStringList { "5" } << si
                                 << QStringList { confirmarEliminar } << QStringList { "12", "12" }
                                 << true;
    QTest::newRow("catálogo vacío")
        << QList<int> {} << -1 << QStringList { "5", "n", "", "d" } << si
        << QStringList { eliminarSinDatos } << QStringList {} << false;
    QTest::newRow("falta la descripción")
        << QList<int> { 5 } << -1 << QStringList { "9", "n" } << si
        << QStringList { eliminarSinDatos } << QStringList { "5", "5" } << false;
    QTest::newRow("respuesta No") << QList<int> { 5 } << -1 << QStringList { "5" }
                                  << QList<bool> { false } << QStringList { confirmarEliminar }
                                  << QStringList { "5", "5" } << false;
    QTest::newRow("clave desconocida")
        << QList<int> { 5 } << -1 << QStringList { "9", "n", "", "d" } << si
        << QStringList { confirmarEliminar } << QStringList { "5", "5" } << false;
    // Without its songs row CD 0 is not shown, so the letters stay in the key box.
    QTest::newRow("letras: clave 0")
        << QList<int> { 5 } << 0 << QStringList { "ab", "n", "", "d" } << si
        << QStringList { confirmarEliminar } << QStringList { "5", "5" } << false;
}

void TestFrmcatalogo::eliminar()
{
    QFETCH(QList<int>, guardados);
    QFETCH(int, sinCanciones);
    QFETCH(QStringList, tecleado);
    QFETCH(QList<bool>, respuestas);
    QFETCH(QStringList, mensajes);
    QFETCH(QStringList, quedan);
    QFETCH(bool, vacia);
    Formulario f;
    for (int id : guardados)
        guardar(f.archivo, id);
    if (sinCanciones >= 0)
        guardar(f.archivo, sinCanciones, false);
    QVERIFY(f.cargar());
    f.teclear(tecleado);
    const QStringList antes = f.textos();
    f.mensajes.answers = respuestas;
    f.pulsar("eliminar");
    QCOMPARE(f.mensajes.take(), mensajes);
    QCOMPARE(
        f.archivo.column("select id from datos_cd union all select id from canciones"), quedan);
    QCOMPARE(f.textos(), vacia ? registro({}, {}, {}, {}) : antes);
}

void TestFrmcatalogo::consultarYSalir()
{
    Formulario f;
    guardar(f.archivo, 5);
    Anfitrion anfitrion;
    QVERIFY(f.cargar(&anfitrion));
    QSignalSpy cierre(f.form.get(), &frmcatalogo::closeRequested);
    f.escribir("txtclacd", "5");
    f.pulsar("consultar");
    QCOMPARE(anfitrion.consultas, 1);
    QCOMPARE(f.textos(), mostrado(5));
    QCOMPARE(cierre.size(), 0);
    f.pulsar("salir");
    QCOMPARE(cierre.size(), 1);
    QCOMPARE(anfitrion.consultas, 1);
    QVERIFY(f.mensajes.shown.isEmpty());
}

void TestFrmcatalogo::cadaClicRefresca_data()
{
    QTest::addColumn<int>("indice");
    for (int i = 0; i <= 10; ++i)
        QTest::addRow("índice %d", i) << i;
}

void TestFrmcatalogo::cadaClicRefresca()
{
    QFETCH(int, indice);
    Formulario f;
    QVERIFY(f.cargar());
    guardar(f.archivo, 5);
    f.escribir("txtclacd", "5");
    QCOMPARE(f.textos(), registro("5", {}, {}, {}));
    f.borrarTodo("txtclacd");
    f.form->Toolbar1_ButtonClick(indice);
    f.escribir("txtclacd", "5");
    QCOMPARE(f.textos(), mostrado(5));
    QVERIFY(!f.form->llenando);
}

void TestFrmcatalogo::buscarPorClave_data()
{
    QTest::addColumn<QList<int>>("guardados");
    QTest::addColumn<int>("sinCanciones");
    QTest::addColumn<QStringList>("pasos");
    QTest::addColumn<QList<int>>("mostrados");
    QTest::addColumn<QString>("clave");
    QTest::newRow("1 y luego 2 con CDs 1 y 12")
        << QList<int> { 1, 12 } << -1 << QStringList { "1", "2" } << QList<int> { 1, 12 } << "12";
    QTest::newRow("1 y luego 2 con sólo el CD 1")
        << QList<int> { 1 } << -1 << QStringList { "1", "2" } << QList<int> { 1, 1 } << "12";
    // Filling the boxes must not start a look-up by the name or artist it shows.
    QTest::newRow("nombre repetido en otro CD")
        << QList<int> { 2, 12 } << -1 << QStringList { "12" } << QList<int> { 12 } << "12";
    QTest::newRow("ceros a la izquierda")
        << QList<int> { 12 } << -1 << QStringList { "0012" } << QList<int> { 12 } << "12";
    QTest::newRow("letras buscan la clave 0")
        << QList<int> { 0, 1 } << -1 << QStringList { "x" } << QList<int> { 0 } << "0";
    QTest::newRow("clave vaciada a mano")
        << QList<int> { 12 } << -1 << QStringList { "12", borrar } << QList<int> { 12, -1 } << "";
    QTest::newRow("clave vaciada a mano con CD 0")
        << QList<int> { 0, 12 } << -1 << QStringList { "12", borrar } << QList<int> { 12, 0 }
        << "0";
    QTest::newRow("falta la fila de canciones")
        << QList<int> { 1 } << 5 << QStringList { "5" } << QList<int> { -1 } << "5";
}

void TestFrmcatalogo::buscarPorClave()
{
    QFETCH(QList<int>, guardados);
    QFETCH(int, sinCanciones);
    QFETCH(QStringList, pasos);
    QFETCH(QList<int>, mostrados);
    QFETCH(QString, clave);
    Formulario f;
    for (int id : guardados)
        guardar(f.archivo, id);
    if (sinCanciones >= 0)
        guardar(f.archivo, sinCanciones, false);
    QVERIFY(f.cargar());
    for (qsizetype i = 0; i < pasos.size(); ++i) {
        if (pasos[i] == borrar)
            f.borrarTodo("txtclacd");
        else
            f.escribir("txtclacd", pasos[i]);
        const QStringList esperado
            = mostrados[i] < 0 ? registro({}, {}, {}, {}) : mostrado(mostrados[i]);
        QCOMPARE(f.textos().mid(1), esperado.mid(1));
    }
    QCOMPARE(f.cuadro("txtclacd")->text(), clave);
    QVERIFY(f.mensajes.shown.isEmpty());
}

void TestFrmcatalogo::buscarPorTexto_data()
{
    QTest::addColumn<QString>("caja");
    QTest::addColumn<QString>("tecleado");
    QTest::addColumn<int>("encontrado");
    QTest::newRow("nombre en minúsculas con acentos") << "txtnomcd"
                                                      << "canción triste" << 4;
    QTest::newRow("nombre parcial") << "txtnomcd"
                                    << "canción trist" << -1;
    QTest::newRow("nombre sin su acento") << "txtnomcd"
                                          << "cancion triste" << -1;
    QTest::newRow("artista en minúsculas con eñe") << "txtart"
                                                   << "ñandú band" << 4;
    QTest::newRow("apóstrofo en el nombre") << "txtnomcd"
                                            << "don't stop" << 6;
    QTest::newRow("apóstrofo en el artista") << "txtart"
                                             << "O'Hara" << 6;
    QTest::newRow("apóstrofo sin CD") << "txtnomcd"
                                      << "l'" << -1;
    QTest::newRow("falta la fila de canciones") << "txtnomcd"
                                                << "uno" << -1;
}

void TestFrmcatalogo::buscarPorTexto()
{
    QFETCH(QString, caja);
    QFETCH(QString, tecleado);
    QFETCH(int, encontrado);
    Formulario f;
    guardar(f.archivo, 4);
    guardar(f.archivo, 6);
    guardar(f.archivo, 1, false);
    QVERIFY(f.cargar());
    f.escribir(caja, tecleado);
    QStringList esperado = registro({}, {}, {}, {});
    esperado[caja == QLatin1String("txtart") ? 2 : 1] = tecleado;
    QCOMPARE(f.textos(), encontrado < 0 ? esperado : mostrado(encontrado));
    QVERIFY(f.mensajes.shown.isEmpty());
}

void TestFrmcatalogo::limpiar_data()
{
    QTest::addColumn<int>("especial");
    QTest::addColumn<QStringList>("final");
    QTest::newRow("ningún CD especial") << -1 << registro({}, {}, {}, {});
    QTest::newRow("CD de clave 0") << 0 << registro("0", {}, {}, {});
    QTest::newRow("CD sin nombre") << 9 << registro("9", {}, {}, {});
    QTest::newRow("CD sin artista") << 7 << registro("7", {}, {}, {});
}

void TestFrmcatalogo::limpiar()
{
    QFETCH(int, especial);
    QFETCH(QStringList, final);
    Formulario f;
    guardar(f.archivo, 5);
    if (especial >= 0)
        guardar(f.archivo, especial);
    QVERIFY(f.cargar());
    f.escribir("txtclacd", "5");
    QCOMPARE(f.textos(), mostrado(5));
    f.pulsar("agregar");
    QCOMPARE(f.textos(), final);
    f.cuadro("txtclacd")->setText("5");
    QCOMPARE(f.textos(), mostrado(5));
    f.form->limpiar_textos();
    QCOMPARE(f.textos(), final);
    QVERIFY(f.mensajes.shown.isEmpty());
}

QTEST_MAIN(TestFrmcatalogo)
#include "tst_frmcatalogo.moc"
