#include "catalogo/frmcatalogo.h"
#include "data/catalogfile.h"
#include "saveroundtrip.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"
#include "ui/formhost.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using velmor::frmcatalogo;

namespace {

// The key rules read the user's locale; the tests run in the locale of the
// program's users, fixed before the application reads it.
void usarLocaleEspanol() { qputenv("LC_ALL", "es_ES.UTF-8"); }
Q_CONSTRUCTOR_FUNCTION(usarLocaleEspanol)

const QString sinDatos = QStringLiteral("Escriba datos antes de intentar grabar.");
const QString noEntera = QStringLiteral("La clave del CD debe ser un número entero.\rEscriba "
                                        "la clave sólo con cifras, sin decimales ni separadores.");
const QString nadaQueEliminar = QStringLiteral("Seleccione datos antes de intentar eliminar.");
const QString confirmar = QStringLiteral("Esto eliminará los datos del CD. ¿Desea hacerlo?");
const QString cambiado = "Los datos guardados del CD no son los que se mostraban; ahora se "
                         "muestran los guardados.\r"
    + confirmar;

// The 24 boxes in focus order.
const QStringList cajas = [] {
    QStringList n { "txtclacd", "txtnomcd", "txtart", "txtdes" };
    for (int i = 1; i <= 20; ++i)
        n << QStringLiteral("txtcan%1").arg(i);
    return n;
}();

// Name, artist, description, then songs.
const QMap<int, QStringList> discos {
    { 0, { "CERO", "NADIE", "DISCO CERO", "C0" } },
    { 1, { "UNO", "ALGUIEN", "DISCO UNO", "U1", "U2" } },
    { 2, { "DOCE", "DOCENA", "OTRO DOCE", "X" } },
    { 4, { "CANCIÓN TRISTE", "ÑANDÚ BAND", "LENTO", "LLANTO" } },
    { 5, { "CINCO", "QUINTETO", "DISCO CINCO", "C1", "", "C3" } },
    { 6, { "DON'T STOP", "O'HARA", "ROCK", "GO" } },
    { 7, { "SIETE", "", "SIN ARTISTA", "S7" } },
    // Stored forms longer than their boxes take when typed.
    { 8, { "STRASSE " + QString(30, u'Ñ'), "GROSS", QString(260, u'D'), QString(31, u'S') } },
    { 9, { "", "ANÓNIMO", "SIN NOMBRE", "N9" } },
    { 12, { "DOCE", "DOCENA", "DISCO DOCE", "D1" } },
    { 13, { "LARGO", "", QString(70000, u'L'), "S" } },
    { 1000, { "MIL", "MILES", "DISCO MIL", "M1" } },
    { 10000, { "DIEZ MIL", "MILES", "DISCO DIEZ MIL", "M10" } },
    { 120000, { "SEIS CIFRAS", "", "D", "S" } },
};

// The 24 box texts from the first ones given; the rest empty.
QStringList registro(QStringList t = {})
{
    t.resize(24);
    return t;
}

// The boxes showing a CD of the fixture; all empty for -1.
QStringList mostrado(int id)
{
    if (id < 0)
        return registro();
    QStringList t = QStringList { QString::number(id) } + discos[id];
    // Past 65536 characters a text is shown cut, with a mark.
    if (t[3].size() > 65536)
        t[3] = t[3].left(65536) + " […]";
    return registro(t);
}

// The form on a catalogue file of its own holding CDs of the fixture, with and
// without their songs row; message boxes are scripted.
struct Formulario {
    TestCatalog archivo;
    ScriptedMessageBoxes mensajes;
    std::unique_ptr<frmcatalogo> form;

    explicit Formulario(const QList<int>& con = {}, const QList<int>& sin = {})
    {
        for (int id : con + sin)
            guardar(id, !sin.contains(id));
    }
    void guardar(int id, bool canciones = true)
    {
        const QStringList& d = discos[id];
        archivo.addCd(id, d[0], d[1], d[2], d.mid(3), canciones);
    }
    bool cargar(velmor::FormHost* host = nullptr)
    {
        form = std::make_unique<frmcatalogo>(host);
        form->show();
        return form->Form_Load();
    }
    QWidget* caja(const QString& nombre) const { return form->findChild<QWidget*>(nombre); }
    QStringList textos() const
    {
        QStringList t;
        for (const QString& n : cajas)
            t << caja(n)->property(n == "txtdes" ? "plainText" : "text").toString();
        return t;
    }
    // Types at the end of a box, as the user does; '\b' is Backspace. Letters arrive as
    // the text of an unnamed key, as an input method sends them.
    void escribir(const QString& nombre, const QString& texto)
    {
        QWidget* w = caja(nombre);
        QTest::keyClick(w, Qt::Key_End, nombre == "txtdes" ? Qt::ControlModifier : Qt::NoModifier);
        for (QChar c : texto)
            QTest::sendKeyEvent(QTest::Click, w, c == u'\b' ? Qt::Key_Backspace : Qt::Key_unknown,
                QString(c), Qt::NoModifier);
    }
    // Types into the boxes in focus order.
    void teclear(const QStringList& textos)
    {
        for (qsizetype i = 0; i < textos.size(); ++i)
            escribir(cajas[i], textos[i]);
    }
    void pulsar(const QString& clave) { form->findChild<QAction*>(clave)->trigger(); }
    // The rows of datos_cd, then of canciones, as texts joined by '|'.
    QStringList filas()
    {
        return archivo.column(
            "select id||'|'||nombre||'|'||artista||'|'||descripcion from datos_cd "
            "union all select id||'|'||cancion1||'|'||cancion2||'|'||cancion3||'|'"
            "||cancion20 from canciones");
    }
};

struct Anfitrion final : velmor::FormHost {
    void showConsultas() override { ++consultas; }
    frmcatalogo* catalogoCargado() override { return nullptr; }
    int consultas = 0;
};

// The CDs stored, what is typed, the answers to the questions, the messages shown and
// the ids left in datos_cd then in canciones; then CDs stored without songs, what
// another program stores before the form loads and changes once the boxes are typed,
// and the boxes afterwards when they are not as the songs row says.
struct Eliminacion {
    QList<int> con;
    QStringList tecleado;
    QList<bool> respuestas;
    QStringList mensajes;
    QStringList quedan;
    QList<int> sin = {};
    QString antes = {};
    QString entretanto = {};
    QStringList cajas = {};
};

// The toolbar commands by button index, 0 to 10; separators and indexes without a
// button run none.
const QStringList acciones { "", "agregar", "", "grabar", "", "eliminar", "", "consultar", "",
    "salir", "" };

// A step that clicks agregar instead of typing.
const QString agregar = QStringLiteral("<agregar>");

// Typing steps in one box (0 key, 1 name, 2 artist), the CD shown after each (-1:
// none), what the typed box holds at the end, then the CDs stored with and without
// their songs row.
struct Busqueda {
    int caja;
    QStringList pasos;
    QList<int> mostrados;
    QString queda;
    QList<int> con, sin = {};
};

}

class TestFrmcatalogo : public QObject {
    Q_OBJECT
private slots:
    void limites_data()
    {
        QTest::addColumn<int>("caja");
        QTest::addColumn<QString>("pegado");
        QTest::addColumn<QString>("queda");
        for (auto [fila, caja, limite] : { std::tuple { "clave", 0, 4 }, { "nombre", 1, 30 },
                 { "artista", 2, 25 }, { "descripción", 3, 250 }, { "última canción", 23, 30 } })
            QTest::newRow(fila) << caja << QString(limite + 7, u'x')
                                << QString(limite - 2, u'x') + "ab";
        // What the box may not hold becomes a blank or is left out.
        QTest::newRow("tabulador y saltos en una línea") << 1 << "a\tb\r\nc\x01\u2028"
                                                         << "a b c abz";
        QTest::newRow("saltos en la descripción") << 3 << "a\r\nb\tc\x01\x0b"
                                                  << "a\nb c\nabz";
    }

    // Text pasted before what a box holds is cut where it overflows; typing into a
    // full box adds nothing.
    void limites()
    {
        QFETCH(int, caja);
        QFETCH(QString, pegado);
        QFETCH(QString, queda);
        Formulario f;
        QVERIFY(f.cargar());
        f.escribir(cajas[caja], "ab");
        QApplication::clipboard()->setText(pegado);
        QTest::keyClick(f.caja(cajas[caja]), Qt::Key_Home);
        QTest::keyClick(f.caja(cajas[caja]), Qt::Key_V, Qt::ControlModifier);
        f.escribir(cajas[caja], "z");
        QCOMPARE(f.textos()[caja], queda);
    }

    // The form keeps the size it was drawn with; Tab walks the boxes in order and back
    // to the key.
    void disposicionYFoco()
    {
        Formulario f;
        QVERIFY(f.cargar());
        QCOMPARE(f.form->size(), QSize(592, 450));
        QApplication::setActiveWindow(f.form.get());
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        f.caja("txtclacd")->setFocus();
        QStringList orden;
        for (int i = 0; i < 25; ++i) {
            orden << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(orden, cajas + QStringList { "txtclacd" });
    }

    void grabar_data()
    {
        QTest::addColumn<QStringList>("tecleado");
        QTest::addColumn<QString>("mensaje");
        QTest::addColumn<QStringList>("filas");
        QTest::addColumn<QString>("otroPrograma"); // stores this before the form loads
        // CD 12, and a songs row 3 without its CD.
        const QStringList antes { "12|DOCE|DOCENA|DISCO DOCE", "3|HUÉRFANA|||", "12|D1|||" };
        const auto sinGrabar = [&](const char* fila, QStringList tecleado, QString mensaje) {
            QTest::newRow(fila) << tecleado << mensaje << antes << QString();
        };
        sinGrabar("sin clave", { "", "n", "", "d" }, sinDatos);
        sinGrabar("sin nombre", { "4", "", "a", "d" }, sinDatos);
        sinGrabar("sin descripción", { "4", "n", "a", "" }, sinDatos);
        sinGrabar("letras en la clave", { "3a", "n", "", "d" }, sinDatos);
        for (const char* letras : { "-", "+", "inf", "nan", "infinity", "-Inf" })
            sinGrabar(letras, { letras, "n", "", "d" }, sinDatos);
        sinGrabar("coma decimal", { "1,5", "n", "", "d" }, noEntera);
        sinGrabar("exponente negativo", { "2e-1", "n", "", "d" }, noEntera);
        sinGrabar("clave ya guardada", { "12", "n", "", "d" }, "Ya existe un CD con la clave 12.");
        sinGrabar(
            "clave sólo en canciones", { "3", "n", "", "d" }, "Ya existe un CD con la clave 3.");
        QTest::newRow("en mayúsculas")
            << QStringList { "7", "canción de cuna", "The Beatles", "ñandú y güiro", "uno", "",
                   "Tres" }
            << QString()
            << QStringList { "7|CANCIÓN DE CUNA|THE BEATLES|ÑANDÚ Y GÜIRO", antes[0], antes[1],
                   "7|UNO||TRES|", antes[2] }
            << QString();
        QTest::newRow("ceros delante")
            << QStringList { "0015", "quince", "", "d" } << QString()
            << QStringList { antes[0], "15|QUINCE||D", antes[1], antes[2], "15||||" } << QString();
        // The CD shown keeps its stored key, which a double would make 2^53.
        QTest::newRow("clave mostrada más allá de 2^53")
            << QStringList { "", "impar" } << "Ya existe un CD con la clave 9007199254740993."
            << QStringList { antes[0], "9007199254740993|IMPAR||D", antes[1], antes[2],
                   "9007199254740993||||" }
            << "insert into datos_cd values (9007199254740993, 'IMPAR', '', 'D'); insert into "
               "canciones (id) values (9007199254740993)";
        // A name another program stored of nothing but a control is no name.
        QTest::newRow("nombre mostrado sin nada que grabar")
            << QStringList { "5" } << sinDatos
            << QStringList { "5|\x01||D", antes[0], antes[1], "5||||", antes[2] }
            << "insert into datos_cd values (5, char(1), '', 'D'); insert into canciones (id) "
               "values (5)";
        // A value another program stored longer than its column is not stored again.
        QTest::newRow("descripción mostrada demasiado larga")
            << QStringList { "5" }
            << "No se ha grabado el CD.\rLa descripción tiene 300 caracteres (máximo 250)."
            << QStringList { "5|CINCO|QUINTETO|" + QString(300, 'L'), antes[0], antes[1],
                   "5|C1||C3|", antes[2] }
            << "insert into datos_cd values (5, 'CINCO', 'QUINTETO', printf('%.300c', 'L')); "
               "insert into canciones (id, cancion1, cancion3) values (5, 'C1', 'C3')";
    }

    // Refused or not, the boxes keep what was typed. A CD just saved is found by its key
    // without another toolbar click, shown as stored: upper case, no leading zeros.
    void grabar()
    {
        QFETCH(QStringList, tecleado);
        QFETCH(QString, mensaje);
        QFETCH(QStringList, filas);
        QFETCH(QString, otroPrograma);
        Formulario f({ 12 });
        f.archivo.exec("insert into canciones(id, cancion1) values (3, 'HUÉRFANA')");
        if (!otroPrograma.isEmpty())
            f.archivo.exec(otroPrograma);
        QVERIFY(f.cargar());
        f.teclear(tecleado);
        const QStringList antes = f.textos();
        f.pulsar("grabar");
        for (const auto& m : f.mensajes.shown)
            QCOMPARE(m.kind, ScriptedMessageBoxes::Error);
        QCOMPARE(f.mensajes.take(), mensaje.isEmpty() ? QStringList() : QStringList { mensaje });
        QCOMPARE(f.textos(), antes);
        QCOMPARE(f.filas(), filas);
        if (!mensaje.isEmpty())
            return;
        f.escribir("txtclacd", QString(antes[0].size(), u'\b') + antes[0]);
        QStringList guardado;
        for (const QString& t : antes)
            guardado << t.toUpper();
        guardado[0] = QString::number(antes[0].toInt());
        QCOMPARE(f.textos(), guardado);
    }

    void fallosDelArchivo_data()
    {
        QTest::addColumn<QString>("comando");
        QTest::addColumn<QStringList>("tecleado");
        QTest::addColumn<QStringList>("despues");
        QTest::newRow("grabar") << "grabar" << QStringList { "8", "ocho", "", "d", "s1" }
                                << QStringList { "5|CINCO|QUINTETO|DISCO CINCO", "8|OCHO||D",
                                       "5|C1||C3|", "8|S1|||" };
        QTest::newRow("eliminar") << "eliminar" << QStringList { "5" } << QStringList {};
    }

    // The file refuses the songs row of a command: nothing of it is stored, the boxes
    // stay, the message says so in Spanish naming the trigger, never with the trigger's
    // own text, and once the file accepts it again the same command succeeds.
    void fallosDelArchivo()
    {
        QFETCH(QString, comando);
        QFETCH(QStringList, tecleado);
        QFETCH(QStringList, despues);
        const bool grabar = comando == "grabar";
        Formulario f({ 5 });
        QVERIFY(f.cargar());
        const QStringList filas = f.filas();
        f.archivo.exec(QString("CREATE TRIGGER t BEFORE %1 ON canciones BEGIN SELECT "
                               "RAISE(ABORT,'fallo'); END")
                           .arg(grabar ? "INSERT" : "DELETE"));
        f.teclear(tecleado);
        const QStringList antes = f.textos();
        f.pulsar(comando);
        const QString mensaje = f.mensajes.take().last();
        QVERIFY2(
            mensaje.startsWith(grabar ? "No se ha grabado el CD.\r" : "No se ha eliminado el CD.\r")
                && mensaje.contains("«t»") && !mensaje.contains("fallo"),
            qPrintable(mensaje));
        QCOMPARE(f.filas(), filas);
        QCOMPARE(f.textos(), antes);
        f.archivo.exec("DROP TRIGGER t");
        f.pulsar(comando);
        QCOMPARE(f.filas(), despues);
    }

    // With its catalogue no longer readable, salir still closes the form, after saying why.
    void salirConCatalogoIlegible()
    {
        Formulario f({ 5 });
        QVERIFY(f.cargar());
        QSignalSpy cierre(f.form.get(), &frmcatalogo::closeRequested);
        QFile archivo(f.archivo.path());
        QVERIFY(archivo.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(archivo.write(QByteArray(4096, 'x')), 4096);
        archivo.close();
        f.pulsar("salir");
        QCOMPARE(f.mensajes.take().size(), 1);
        QCOMPARE(cierre.size(), 1);
    }

    void eliminar_data()
    {
        QTest::addColumn<Eliminacion>("e");
        const QStringList otro { "9", "n", "", "d" }, cinco { "5", "5" }, si { confirmar };
        const QStringList otraVez { confirmar, cambiado };
        QStringList cincoCambiado = mostrado(5);
        cincoCambiado[1] = "OTRO";
        const QString otroNombre = "update datos_cd set nombre = 'OTRO' where id = 5";
        const std::pair<const char*, Eliminacion> filas[] = {
            { "CD mostrado", { { 5, 12 }, { "5" }, { true }, si, { "12", "12" } } },
            { "catálogo vacío", { {}, otro, { true }, { nadaQueEliminar }, {} } },
            { "falta la descripción",
                { { 5 }, { "9", "n" }, { true }, { nadaQueEliminar }, cinco } },
            { "respuesta No", { { 5 }, { "5" }, { false }, si, cinco } },
            // 1E4 is key 10000, shown whole in the four-character box.
            { "clave 1E4", { { 1000, 10000 }, { "1E4" }, { true }, si, { "1000", "1000" } } },
            { "clave desconocida", { { 5 }, otro, { true }, si, cinco } },
            // Letters mean key 0; CD 0 lacks its songs row and is not what the boxes show:
            // it is shown and asked for again, then only its datos_cd row goes.
            { "letras: clave 0",
                { { 5 }, { "ab", "n", "", "d" }, { true, true }, otraVez, cinco, { 0 }, {}, {},
                    { "0", "CERO", "NADIE", "DISCO CERO" } } },
            // Another program changed the CD shown, its name or a song: the stored one is
            // shown and asked for.
            { "cambiado por otro programa, No",
                { { 5 }, { "5" }, { true, false }, otraVez, cinco, {}, {}, otroNombre,
                    cincoCambiado } },
            { "canción cambiada por otro programa, Sí",
                { { 5 }, { "5" }, { true, true }, otraVez, {}, {}, {},
                    "update canciones set cancion3 = 'OTRA' where id = 5" } },
            // Keys a double cannot tell apart: the one shown goes.
            { "clave más allá de 2^53",
                { {}, { "", "impar" }, { true }, si, { "9007199254740992", "9007199254740992" }, {},
                    "insert into datos_cd values (9007199254740992, 'PAR', '', 'D'), "
                    "(9007199254740993, 'IMPAR', '', 'D'); insert into canciones (id) "
                    "values (9007199254740992), (9007199254740993)",
                    {}, registro() } },
        };
        for (const auto& [fila, e] : filas)
            QTest::newRow(fila) << e;
    }

    void eliminar()
    {
        QFETCH(Eliminacion, e);
        Formulario f(e.con, e.sin);
        if (!e.antes.isEmpty())
            f.archivo.exec(e.antes);
        QVERIFY(f.cargar());
        f.teclear(e.tecleado);
        if (!e.entretanto.isEmpty())
            f.archivo.exec(e.entretanto);
        const QStringList antes = f.textos();
        f.mensajes.answers = e.respuestas;
        f.pulsar("eliminar");
        QCOMPARE(f.mensajes.take(), e.mensajes);
        QCOMPARE(f.archivo.column("select id from datos_cd union all select id from canciones"),
            e.quedan);
        // Only a deleted songs row clears the boxes.
        QCOMPARE(f.textos(),
            !e.cajas.isEmpty()                                ? registro(e.cajas)
                : f.archivo.count("canciones") < e.con.size() ? registro()
                                                              : antes);
    }

    void cadaClic_data()
    {
        QTest::addColumn<int>("indice");
        for (int i = 0; i <= 10; ++i)
            QTest::addRow("%d %s", i, qPrintable(acciones[i])) << i;
    }

    // A CD stored after load is found only once a click has refreshed both sources;
    // consultar asks the host for the query form and salir asks to close.
    void cadaClic()
    {
        QFETCH(int, indice);
        const QString accion = acciones[indice];
        Formulario f;
        Anfitrion anfitrion;
        QVERIFY(f.cargar(&anfitrion));
        QSignalSpy cierre(f.form.get(), &frmcatalogo::closeRequested);
        f.guardar(5);
        f.escribir("txtclacd", "5");
        QCOMPARE(f.textos(), registro({ "5" }));
        f.escribir("txtclacd", "\b");
        if (accion.isEmpty())
            f.form->Toolbar1_ButtonClick(indice);
        else
            f.pulsar(accion);
        f.escribir("txtclacd", "5");
        QCOMPARE(f.textos(), mostrado(5));
        QCOMPARE(anfitrion.consultas, int(accion == "consultar"));
        QCOMPARE(cierre.size(), int(accion == "salir"));
    }

    void buscar_data()
    {
        QTest::addColumn<Busqueda>("b");
        const QList<int> uno { 1 }, texto { 4, 6 }, cincoYNada { 5, -1 };
        const QStringList cincoYAgregar { "5", agregar };
        const std::pair<const char*, Busqueda> filas[] = {
            { "al cargar", { 0, { "" }, { -1 }, "", { 0, 12 } } },
            { "1, 2 con CDs 1 y 12", { 0, { "1", "2" }, { 1, 12 }, "12", { 1, 12 } } },
            { "1, 2 con sólo CD 1", { 0, { "1", "2" }, { 1, 1 }, "12", uno } },
            // Filling the boxes must not start a look-up by the name it shows.
            { "nombre repetido", { 0, { "12" }, { 12 }, "12", { 2, 12 } } },
            { "ceros delante", { 0, { "0012" }, { 12 }, "12", { 12 } } },
            { "exponente", { 0, { "1", "E", "4" }, { -1, -1, 10000 }, "10000", { 1000, 10000 } } },
            // A key shown longer than the box may be shortened, one digit at a time.
            { "borrar en clave larga",
                { 0, { "12E4", "\b" }, { 120000, 120000 }, "12000", { 120000 } } },
            { "textos más largos que sus cajas", { 0, { "8" }, { 8 }, "8", { 8 } } },
            { "descripción de más de 64 KiB", { 0, { "13" }, { 13 }, "13", { 13 } } },
            { "letras: clave 0", { 0, { "x" }, { 0 }, "0", { 0, 1 } } },
            { "vaciada a mano", { 0, { "12", "\b\b" }, { 12, -1 }, "", { 12 } } },
            { "vaciada con CD 0", { 0, { "12", "\b\b" }, { 12, 0 }, "0", { 0, 12 } } },
            { "clave sin canciones", { 0, { "5" }, { -1 }, "5", uno, { 5 } } },
            { "nombre acentuado", { 1, { "canción triste" }, { 4 }, "CANCIÓN TRISTE", texto } },
            { "nombre repetido: el primero", { 1, { "doce" }, { 2 }, "DOCE", { 2, 12 } } },
            { "nombre parcial", { 1, { "canción trist" }, { -1 }, "canción trist", texto } },
            { "artista con eñe", { 2, { "ñandú band" }, { 4 }, "ÑANDÚ BAND", texto } },
            { "nombre con '", { 1, { "don't stop" }, { 6 }, "DON'T STOP", texto } },
            { "artista con '", { 2, { "O'Hara" }, { 6 }, "O'HARA", texto } },
            { "nombre sin canciones", { 1, { "uno" }, { -1 }, "uno", texto, uno } },
            // Emptying the boxes one by one looks up each empty text on the way.
            { "agregar", { 0, cincoYAgregar, cincoYNada, "", { 5 } } },
            { "agregar, CD 0", { 0, cincoYAgregar, cincoYNada, "0", { 5, 0 } } },
            { "agregar, sin nombre", { 0, cincoYAgregar, cincoYNada, "9", { 5, 9 } } },
            { "agregar, sin artista", { 0, cincoYAgregar, cincoYNada, "7", { 5, 7 } } },
        };
        for (const auto& [fila, b] : filas)
            QTest::newRow(fila) << b;
    }

    // Look-up while typing, at load and after agregar; the boxes other than the typed
    // one are checked after every step.
    void buscar()
    {
        QFETCH(Busqueda, b);
        Formulario f(b.con, b.sin);
        QVERIFY(f.cargar());
        for (qsizetype i = 0; i < b.pasos.size(); ++i) {
            if (b.pasos[i] == agregar)
                f.pulsar("agregar");
            else
                f.escribir(cajas[b.caja], b.pasos[i]);
            QStringList vistos = f.textos(), esperados = mostrado(b.mostrados[i]);
            vistos.removeAt(b.caja);
            esperados.removeAt(b.caja);
            QCOMPARE(vistos, esperados);
            // A shown CD reads from the start of each box but the one being typed in.
            for (auto* cuadro : f.form->findChildren<QLineEdit*>())
                if (cuadro->objectName() != cajas[b.caja])
                    QVERIFY2(cuadro->cursorPosition() == 0, qPrintable(cuadro->objectName()));
        }
        QCOMPARE(f.textos()[b.caja], b.queda);
        QVERIFY(f.mensajes.shown.isEmpty());
    }

    // What the round trip's kept inputs cannot tell: what the form stores of a paste.
    void propiedad_data()
    {
        QTest::addColumn<QStringList>("pegado"); // name, artist, description, songs
        QTest::addColumn<QStringList>("guardado"); // the same stored
        // A letter whose upper case is longer stays as typed.
        const QStringList letras { "Große Straße der Weißen Flößen", "ﬁn ﬂor ŉ",
            "n\u0303o, a\u0301", "ǅ𝄞ω" };
        QTest::newRow("eszet, ligaduras, marcas") << letras
                                                  << QStringList { "GROßE STRAßE DER WEIßEN FLÖßEN",
                                                         "ﬁN ﬂOR ŉ", "N\u0303O, A\u0301", "Ǆ𝄞Ω" };
        const QString x30(30, 'x');
        QTest::newRow("en el límite y pasado")
            << QStringList { x30 + "x", QString(26, 'a'), QString(251, 'd') }
                + QStringList(20, QString(31, 's'))
            << QStringList { x30.toUpper(), QString(25, 'A'), QString(250, 'D') }
                + QStringList(20, QString(30, 'S'));
    }

    // Whatever is pasted and saved, verificar passes and both backups bring it back.
    void propiedad()
    {
        QFETCH(QStringList, pegado);
        QFETCH(QStringList, guardado);
        SaveRoundTrip prueba;
        const QString fallo = prueba.check(pegado);
        QVERIFY2(fallo.isEmpty(), qPrintable(fallo));
        QCOMPARE(prueba.stored.mid(0, guardado.size()), guardado);
    }
};

QTEST_MAIN(TestFrmcatalogo)
#include "tst_frmcatalogo.moc"
