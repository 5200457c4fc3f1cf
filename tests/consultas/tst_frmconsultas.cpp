#include "app/mdiprincipal.h"
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "data/dataerror.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"
#include "ui/formhost.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <optional>

using velmor::frmconsultas;

namespace {

// The catalogue every test starts from, in id order; song row 15 has no CD, and is the
// first row holding the song SOLA.
const QStringList todos = { "3", "7", "12", "20" };
const QMap<QString, QStringList> catalogo = {
    { "3", { "ALBA", "BETO" } },
    { "7", { "LUNA", "SOL" } },
    { "12", { "DON'T STOP", "ZETA" } },
    { "20", { "NOCHE", "ANA" } },
};
const QStringList resultados = { "List2", "List3", "List4" };

QListView* lista(const QWidget& form, const QString& nombre)
{
    return form.findChild<QListView*>(nombre);
}

QStringList filas(const QWidget& form, const QString& nombre)
{
    const QAbstractItemModel* m = lista(form, nombre)->model();
    QStringList out;
    for (int i = 0; i < m->rowCount(); ++i)
        out << m->index(i, 0).data().toString();
    return out;
}

// The three result lists hold exactly these CDs, row by row.
void comprobarListado(const QWidget& form, const QStringList& ids)
{
    QCOMPARE(filas(form, "List2"), ids);
    QStringList nombres, artistas;
    for (const auto& id : ids) {
        nombres << catalogo.value(id).value(0);
        artistas << catalogo.value(id).value(1);
    }
    QCOMPARE(filas(form, "List3"), nombres);
    QCOMPARE(filas(form, "List4"), artistas);
}

void buscar(frmconsultas& form, const QString& criterio, int operador, const QString& valor)
{
    auto* cbo = form.findChild<QComboBox*>("cbocriterios");
    cbo->setCurrentIndex(cbo->findText(criterio));
    form.findChild<QListWidget*>("List1")->setCurrentRow(operador);
    form.findChild<QLineEdit*>("txtcadena")->setText(valor);
    form.findChild<QPushButton*>("btnbuscar")->click();
}

QString cancionEn(const QString& primera, const QString& v)
{
    QString s = "select * from canciones where cancion1" + primera + "'" + v;
    for (int i = 2; i <= 20; ++i)
        s += QString("' or cancion%1='").arg(i) + v;
    return s + "'";
}

struct FakeHost final : velmor::FormHost {
    void showConsultas() override { }
    velmor::frmcatalogo* catalogoCargado() override
    {
        if (falla)
            throw velmor::DataError(3024, "No hay archivo");
        return catalogo;
    }
    velmor::frmcatalogo* catalogo = nullptr;
    bool falla = false;
};

// A search: criterion, row of the operator list, value, then the "where" of the CD
// statement and the song statement (empty: "select * from datos_cd"), and the CDs listed.
struct Busqueda {
    const char* criterio;
    int operador;
    const char* valor;
    const char* donde;
    QString datcan;
    QStringList ids;
};

}

class TestFrmConsultas : public QObject {
    Q_OBJECT

    ScriptedMessageBoxes boxes;
    std::optional<TestCatalog> tc;
    std::optional<frmconsultas> form;

    bool mostrar()
    {
        form->show();
        return QTest::qWaitForWindowExposed(&*form);
    }

private slots:
    // The program's own font, for which the lists' rows are measured.
    void initTestCase() { velmor::setUpApplication(); }

    void init()
    {
        form.reset();
        tc.emplace();
        tc->addCd(3, "ALBA", "BETO", "D3", { "AMOR", "LUZ" });
        tc->addCd(7, "LUNA", "SOL", "D7", { "MAR" });
        tc->addCd(12, "DON'T STOP", "ZETA", "D12", { "X" });
        tc->addCd(20, "NOCHE", "ANA", "D20", { "Y", "MAR", "AMOR", "SOLA" });
        tc->exec("insert into canciones(id, cancion1, cancion2) values (15, 'MAR', 'SOLA')");
        form.emplace(nullptr);
        QVERIFY(form->Form_Load());
    }
    void cleanup() { QCOMPARE(boxes.take(), QStringList()); }

    void buscar_data()
    {
        QTest::addColumn<Busqueda>("b");
        const auto fila = [](const char* nombre, const Busqueda& b) { QTest::newRow(nombre) << b; };
        fila("id igual", { "Id", 0, "7", "id =7", "", { "7" } });
        fila("id 12abc", { "Id", 3, "12abc", "id <=12", "", { "3", "7", "12" } });
        fila("id vacío distinto", { "Id", 1, "", "id <>0", "", todos });
        fila("id mayor", { "Id", 4, "7", "id >7", "", { "12", "20" } });
        fila("nombre minúsculas", { "Nombre", 0, "luna", "nombre ='LUNA'", "", { "7" } });
        fila("nombre menor", { "Nombre", 2, "LUNA", "nombre <'LUNA'", "", { "3", "12" } });
        fila(
            "nombre comilla", { "Nombre", 0, "don't stop", "nombre ='DON''T STOP'", "", { "12" } });
        fila(
            "artista mayor o igual", { "Artista", 5, "sol", "artista >='SOL'", "", { "7", "12" } });
        fila("canción dos filas",
            { "Canción", 0, "amor", "", cancionEn("=", "AMOR"), { "3", "20" } });
        // Song row 15 matches too; having no CD, it is skipped and CD 20 still lists.
        fila("canción distinto",
            { "Canción", 1, "x", "", cancionEn("<>", "X"), { "3", "7", "20" } });
        fila("id sin operador", { "Id", -1, "7", "", "", todos });
        fila("canción sin operador", { "Canción", -1, "amor", "", "", todos });
        fila("primera canción sin cd", { "Canción", 0, "sola", "", cancionEn("=", "SOLA"), {} });
        // Whole numbers are written with plain digits however large.
        fila("id 1e20", { "Id", 0, "1e20", "id =100000000000000000000", "", {} });
        fila("id 2^53", { "Id", 5, "9007199254740992", "id >=9007199254740992", "", {} });
        fila("ningún criterio", { "", 0, "7", "", "", {} });
    }
    void buscar()
    {
        QFETCH(Busqueda, b);
        ::buscar(*form, b.criterio, b.operador, b.valor);
        const QString cds = "select * from datos_cd", donde = b.donde;
        QCOMPARE(form->datcd.recordSourceText(), donde.isEmpty() ? cds : cds + " where " + donde);
        QCOMPARE(form->datcan.recordSourceText(), b.datcan.isEmpty() ? cds : b.datcan);
        comprobarListado(*form, b.ids);
    }

    // Each operator's index stands for the operator the search uses: the list must show
    // them in that order, as the criteria in the order of their words.
    void listasAlCargar()
    {
        const auto* cbo = form->findChild<QComboBox*>("cbocriterios");
        QStringList criterios;
        for (int i = 0; i < cbo->count(); ++i)
            criterios << cbo->itemText(i);
        QCOMPARE(criterios, QStringList({ "Id", "Nombre", "Artista", "Canción" }));
        QCOMPARE(filas(*form, "List1"), QStringList({ "==", "<>", "<", "<=", ">", ">=" }));
    }

    // An empty catalogue lists nothing, silently; a broken one shows one message:
    // the search with the engine's number, everything else the description alone.
    void sinDatos_data()
    {
        QTest::addColumn<QString>("accion");
        QTest::addColumn<int>("tipo");
        for (const char* accion : { "cargar", "todos", "Id", "Canción" })
            QTest::addRow("vacío, %s", accion) << accion << -1;
        QTest::newRow("sin tablas, cargar") << "cargar" << int(ScriptedMessageBoxes::Error);
        QTest::newRow("sin tablas, todos") << "todos" << int(ScriptedMessageBoxes::Error);
        QTest::newRow("sin tablas, búsqueda") << "Canción" << int(ScriptedMessageBoxes::Failure);
    }
    void sinDatos()
    {
        QFETCH(QString, accion);
        QFETCH(int, tipo);
        tc->exec(tipo < 0 ? "delete from canciones; delete from datos_cd"
                          : "drop table canciones; drop table datos_cd");
        if (accion == "cargar")
            QCOMPARE(frmconsultas(nullptr).Form_Load(), tipo < 0);
        else if (accion == "todos")
            form->btntodos_Click();
        else
            ::buscar(*form, accion, 0, "");
        comprobarListado(*form, {});
        QCOMPARE(boxes.shown.size(), tipo < 0 ? 0 : 1);
        if (tipo >= 0) {
            QCOMPARE(boxes.shown[0].kind, tipo);
            const QString inicio = tipo == ScriptedMessageBoxes::Failure ? "Error # 1\r" : "";
            const QString texto = boxes.take()[0];
            QVERIFY2(texto.startsWith(inicio) && texto.size() > inicio.size(), qPrintable(texto));
        }
    }

    // A click on a row of any list selects it in all three and shows that CD's
    // songs and description, or nothing once the CD was deleted after listing.
    void seleccion_data()
    {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("borrar");
        for (const QString& l : resultados)
            QTest::newRow(qPrintable(l)) << l << "";
        QTest::newRow("cd borrado") << "List2"
                                    << "delete from datos_cd where id=20";
        QTest::newRow("canciones borradas") << "List3"
                                            << "delete from canciones where id=20";
    }
    void seleccion()
    {
        QFETCH(QString, nombre);
        QFETCH(QString, borrar);
        QVERIFY(mostrar());
        ::buscar(*form, "Canción", 0, "amor");
        if (!borrar.isEmpty())
            tc->exec(borrar);
        // The first CD is shown before the second, whose songs may be gone.
        auto* vista = lista(*form, nombre);
        for (int fila : { 0, 1 })
            QTest::mouseClick(vista->viewport(), Qt::LeftButton, {},
                vista->visualRect(vista->model()->index(fila, 0)).center());
        for (const QString& l : resultados) {
            const auto elegidas = lista(*form, l)->selectionModel()->selectedRows();
            QCOMPARE(elegidas.size(), 1);
            QCOMPARE(elegidas[0].row(), 1);
        }
        const QStringList canciones
            = QStringList { "20", "Y", "MAR", "AMOR", "SOLA" } + QStringList(16);
        QCOMPARE(filas(*form, "List5"), borrar.isEmpty() ? canciones : QStringList());
        QCOMPARE(form->findChild<QPlainTextEdit*>("txtdescripcion")->toPlainText(),
            borrar.isEmpty() ? "D20" : "");
        QCOMPARE(form->datcan.recordSourceText(), "select * from canciones");
    }

    // "&Regresar" empties the catalogue form's boxes when it is loaded, and closes.
    void regresar_data()
    {
        QTest::addColumn<QString>("anfitrion");
        for (const char* a : { "catálogo abierto", "catálogo que no carga", "falla" })
            QTest::newRow(a) << QString(a);
    }
    void regresar()
    {
        QFETCH(QString, anfitrion);
        const bool abierto = anfitrion == "catálogo abierto", falla = anfitrion == "falla";
        velmor::frmcatalogo catalogo(nullptr);
        QVERIFY(catalogo.Form_Load());
        catalogo.findChild<QLineEdit*>("txtclacd")->setText("7");
        FakeHost host;
        host.catalogo = abierto ? &catalogo : nullptr;
        host.falla = falla;
        frmconsultas consultas(&host);
        QVERIFY(consultas.Form_Load());
        QSignalSpy cerrar(&consultas, &frmconsultas::closeRequested);
        consultas.show();
        consultas.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&consultas));
        QTest::keyClick(&consultas, Qt::Key_R, Qt::AltModifier);
        // An access key presses the button the way a click does, a moment later.
        QTRY_COMPARE(cerrar.size(), 1);
        QCOMPARE(catalogo.findChild<QLineEdit*>("txtnomcd")->text().isEmpty(), abierto);
        QCOMPARE(boxes.take(), falla ? QStringList { "No hay archivo" } : QStringList());
    }

    void enter_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("tecla");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("boton"); // clicked once by the key; none when empty
        const int intro = Qt::Key_Return, teclado = Qt::Key_Enter;
        QTest::newRow("en List1") << "List1" << intro << QStringList() << "";
        QTest::newRow("en cbocriterios") << "cbocriterios" << intro << QStringList() << "";
        QTest::newRow("en txtcadena") << "txtcadena" << intro << QStringList { "12" } << "";
        QTest::newRow("en btnbuscar")
            << "btnbuscar" << intro << QStringList { "12" } << "btnbuscar";
        QTest::newRow("del teclado en btntodos") << "btntodos" << teclado << todos << "btntodos";
        QTest::newRow("en btnregresar") << "btnregresar" << intro << QStringList() << "btnregresar";
    }

    // A new form has "Id" and "==" selected, so Enter in the value box looks up that id,
    // once: no button is the form's default. Enter on a button reached by Tab clicks it;
    // in the drop-down or a list it runs nothing.
    void enter()
    {
        QFETCH(QString, control);
        QFETCH(int, tecla);
        QFETCH(QStringList, ids);
        QFETCH(QString, boton);
        QCOMPARE(form->datcd.recordSourceText(), "datos_cd");
        QVERIFY(mostrar());
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&*form));
        QTest::keyClicks(form->findChild<QLineEdit*>("txtcadena"), "12");
        QStringList pulsados;
        for (auto* b : form->findChildren<QPushButton*>())
            connect(
                b, &QPushButton::clicked, this, [&pulsados, b] { pulsados << b->objectName(); });
        form->findChild<QWidget*>(control)->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget()->objectName(), control);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(tecla),
            tecla == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        comprobarListado(*form, ids);
        QCOMPARE(pulsados, boton.isEmpty() ? QStringList() : QStringList { boton });
    }

    void desplazamientoConjunto_data()
    {
        QTest::addColumn<QString>("nombre");
        for (const QString& l : resultados)
            QTest::newRow(qPrintable(l)) << l;
    }

    // The three result lists keep one vertical position, whichever is scrolled.
    void desplazamientoConjunto()
    {
        QFETCH(QString, nombre);
        tc->exec("with recursive n(i) as (select 100 union all select i+1 from n where i<160) "
                 "insert into datos_cd(id, nombre, artista, descripcion) "
                 "select i, 'CD '||i, 'ART '||i, '' from n");
        QVERIFY(mostrar());
        form->btntodos_Click();
        // The lists lay out their rows when events are next processed.
        QCoreApplication::processEvents();
        auto* vista = lista(*form, nombre);
        vista->verticalScrollBar()->setValue(vista->verticalScrollBar()->maximum() / 2);
        const int posicion = vista->verticalScrollBar()->value();
        QVERIFY(posicion > 0);
        for (const QString& otra : resultados) {
            QCOMPARE(lista(*form, otra)->verticalScrollBar()->value(), posicion);
            // The same CD stands at the top of each list.
            QCOMPARE(lista(*form, otra)->indexAt(QPoint(2, 2)).row(),
                vista->indexAt(QPoint(2, 2)).row());
        }
    }

    void textoVisible_data()
    {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<int>("fila");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("sql");
        const QString acentos = QStringLiteral("ÑÁÉÍÓÚ ÜÇ");
        QTest::newRow("acentos en List3")
            << "List3" << 0 << acentos
            << QStringLiteral("update datos_cd set nombre='%1' where id=3").arg(acentos);
        // Enough CDs for a scroll bar, which leaves too little room for four digits.
        QTest::newRow("clave cortada en List2")
            << "List2" << 4 << "1000"
            << "with recursive n(i) as (select 1000 union all select i+1 from n where i<1060) "
               "insert into datos_cd(id, nombre, artista, descripcion) select i, '', '', '' from n";
    }

    // A listed row shows its text as drawn with room to spare: accents on capitals whole
    // (the ink as tall), and a key wider than its list cut at the edge rather than
    // shortened with an ellipsis (the same ink, column by column, as far as it shows).
    void textoVisible()
    {
        QFETCH(QString, nombre);
        QFETCH(int, fila);
        QFETCH(QString, texto);
        QFETCH(QString, sql);
        tc->exec(sql);
        QVERIFY(mostrar());
        form->btntodos_Click();
        QCoreApplication::processEvents();
        auto* vista = lista(*form, nombre);
        // The height of the ink, and which columns hold ink from the first that does on.
        const auto tinta = [](const QImage& imagen, const QRect& zona) {
            int arriba = -1, abajo = -1;
            QList<bool> columnas;
            for (int x = zona.left(); x <= zona.right(); ++x) {
                bool hay = false;
                for (int y = zona.top(); y <= zona.bottom(); ++y)
                    if (qGray(imagen.pixel(x, y)) < 160) {
                        hay = true;
                        arriba = arriba < 0 ? y : std::min(arriba, y);
                        abajo = std::max(abajo, y);
                    }
                if (hay || !columnas.isEmpty())
                    columnas << hay;
            }
            return std::pair { arriba < 0 ? 0 : abajo - arriba + 1, columnas };
        };
        const QImage imagen = vista->viewport()->grab().toImage();
        const qreal escala = imagen.devicePixelRatio();
        const QRect rect = vista->visualRect(vista->model()->index(fila, 0));
        const QRect zona(rect.topLeft() * escala, rect.size() * escala);
        QImage libre(QSize(400, 200) * escala, QImage::Format_RGB32);
        libre.setDevicePixelRatio(escala);
        libre.fill(Qt::white);
        QPainter pintor(&libre);
        pintor.setFont(vista->font());
        pintor.drawText(QPoint(10, 100), texto);
        pintor.end();
        const auto esperada = tinta(libre, libre.rect());
        QVERIFY(esperada.first > QFontMetrics(vista->font()).ascent() / 2);
        const auto dibujada = tinta(imagen, zona.intersected(imagen.rect()));
        QCOMPARE(dibujada.first, esperada.first);
        QCOMPARE(dibujada.second, esperada.second.mid(0, dibujada.second.size()));
    }

    // Past 64 matching song rows a search lists its CDs from one pass over the CDs.
    void cuarentaMilCds()
    {
        const QString n
            = "with recursive n(i) as (select 1 union all select i+1 from n where i<40001) ";
        tc->exec("delete from canciones; delete from datos_cd;" + n
            + "insert into datos_cd select i, 'CD '||i, 'ART', 'D' from n;" + n
            + "insert into canciones(id, cancion1) select i, 'C'||i from n;"
            + "delete from datos_cd where id = 20000;");
        form->btntodos_Click();
        QCOMPARE(filas(*form, "List3").size(), 40000);
        QCOMPARE(filas(*form, "List4").last(), "ART");
        ::buscar(*form, "Nombre", 1, "");
        QCOMPARE(filas(*form, "List2").size(), 40000);
        ::buscar(*form, "Canción", 1, "C2");
        // Every song row but CD 2's matches; song row 20000 has no CD and lists nothing.
        QCOMPARE(filas(*form, "List2").size(), 39999);
        QCOMPARE(filas(*form, "List2").first(), "1");
        QCOMPARE(filas(*form, "List3").last(), "CD 40001");
    }
};

QTEST_MAIN(TestFrmConsultas)
#include "tst_frmconsultas.moc"
