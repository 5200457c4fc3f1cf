#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "data/dataerror.h"
#include "scriptedmessageboxes.h"
#include "testcatalog.h"
#include "ui/formhost.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using velmor::frmconsultas;

namespace {

// The catalogue every test starts from, in id order; song row 15 has no CD.
const QStringList todos = { "3", "7", "12", "20" };
const QMap<QString, QStringList> catalogo = {
    { "3", { "ALBA", "BETO" } },
    { "7", { "LUNA", "SOL" } },
    { "12", { "DON'T STOP", "ZETA" } },
    { "20", { "NOCHE", "ANA" } },
};

void llenar(TestCatalog& tc)
{
    tc.addCd(3, "ALBA", "BETO", "D3", { "AMOR", "LUZ" });
    tc.addCd(7, "LUNA", "SOL", "D7", { "MAR" });
    tc.addCd(12, "DON'T STOP", "ZETA", "D12", { "X" });
    tc.addCd(20, "NOCHE", "ANA", "D20", { "Y", "MAR", "AMOR" });
    tc.exec("insert into canciones(id, cancion1) values (15, 'X')");
}

QStringList filas(const QWidget& form, const char* lista)
{
    const QAbstractItemModel* m = form.findChild<QListView*>(lista)->model();
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

class FakeHost final : public velmor::FormHost {
public:
    void showConsultas() override { }
    velmor::frmcatalogo* catalogoCargado() override
    {
        ++preguntas;
        return catalogo;
    }
    velmor::frmcatalogo* catalogo = nullptr;
    int preguntas = 0;
};

}

class TestFrmConsultas : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedMessageBoxes> boxes;
    std::unique_ptr<TestCatalog> tc;
    std::unique_ptr<frmconsultas> form;

    void abrir(bool conCds)
    {
        form.reset();
        tc.reset(); // before the next one: it clears the catalogue path as it goes
        tc = std::make_unique<TestCatalog>();
        if (conCds)
            llenar(*tc);
        form = std::make_unique<frmconsultas>(nullptr);
        QVERIFY(form->Form_Load());
    }

private slots:
    void init()
    {
        boxes = std::make_unique<ScriptedMessageBoxes>();
        abrir(true);
    }
    void cleanup()
    {
        QCOMPARE(boxes->take(), QStringList());
        form.reset();
        tc.reset();
        boxes.reset();
    }

    void formularioNuevo()
    {
        QCOMPARE(form->findChild<QComboBox*>("cbocriterios")->currentText(), "Id");
        QCOMPARE(form->findChild<QListWidget*>("List1")->currentItem()->text(), "==");
        QCOMPARE(form->datcd.recordSourceText(), "datos_cd");
        QCOMPARE(form->datcan.recordSourceText(), "canciones");
    }

    void buscar_data()
    {
        QTest::addColumn<QString>("criterio");
        QTest::addColumn<int>("operador");
        QTest::addColumn<QString>("valor");
        QTest::addColumn<QString>("datcd");
        QTest::addColumn<QString>("datcan");
        QTest::addColumn<QStringList>("ids");
        const QString cds = "select * from datos_cd";
        const auto fila = [&](const char* nombre, const char* criterio, int op, const char* valor,
                              const QString& datcd, const QString& datcan, const QStringList& ids) {
            QTest::newRow(nombre) << criterio << op << valor << datcd << datcan << ids;
        };
        const QString w = cds + " where ";
        fila("id igual", "Id", 0, "7", w + "id =7", cds, { "7" });
        fila("id 12abc", "Id", 3, "12abc", w + "id <=12", cds, { "3", "7", "12" });
        fila("id vacío", "Id", 0, "", w + "id =0", cds, {});
        fila("id abc distinto", "Id", 1, "abc", w + "id <>0", cds, todos);
        fila("id mayor", "Id", 4, "7", w + "id >7", cds, { "12", "20" });
        fila("nombre minúsculas", "Nombre", 0, "luna", w + "nombre ='LUNA'", cds, { "7" });
        fila("nombre menor", "Nombre", 2, "LUNA", w + "nombre <'LUNA'", cds, { "3", "12" });
        fila("nombre con comilla", "Nombre", 0, "don't stop", w + "nombre ='DON''T STOP'", cds,
            { "12" });
        fila("artista mayor o igual", "Artista", 5, "sol", w + "artista >='SOL'", cds,
            { "7", "12" });
        fila("canción en varias filas", "Canción", 0, "amor", cds, cancionEn("=", "AMOR"),
            { "3", "20" });
        fila("canción distinto", "Canción", 1, "x", cds, cancionEn("<>", "X"), { "3", "7", "20" });
        fila("id sin operador", "Id", -1, "7", cds, cds, todos);
        fila("canción sin operador", "Canción", -1, "amor", cds, cds, todos);
        fila("ningún criterio", "", 0, "7", cds, cds, {});
    }
    void buscar()
    {
        QFETCH(QString, criterio);
        QFETCH(int, operador);
        QFETCH(QString, valor);
        QFETCH(QString, datcd);
        QFETCH(QString, datcan);
        QFETCH(QStringList, ids);
        ::buscar(*form, criterio, operador, valor);
        QCOMPARE(form->datcd.recordSourceText(), datcd);
        QCOMPARE(form->datcan.recordSourceText(), datcan);
        comprobarListado(*form, ids);
    }

    void catalogoVacio_data()
    {
        QTest::addColumn<QString>("criterio");
        for (const char* c : { "Id", "Nombre", "Artista", "Canción", "" })
            QTest::newRow(*c ? c : "todos") << QString(c);
    }
    void catalogoVacio()
    {
        QFETCH(QString, criterio);
        abrir(false);
        if (criterio.isEmpty())
            form->btntodos_Click();
        else
            ::buscar(*form, criterio, 0, "");
        comprobarListado(*form, {});
    }

    // Only the search shows the engine's number; everywhere else the description.
    void fallos_data()
    {
        QTest::addColumn<QString>("accion");
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QString>("inicio");
        QTest::newRow("búsqueda") << "buscar" << int(ScriptedMessageBoxes::Failure)
                                  << "Error # 1\r";
        QTest::newRow("todos") << "todos" << int(ScriptedMessageBoxes::Error) << "";
        QTest::newRow("carga") << "cargar" << int(ScriptedMessageBoxes::Error) << "";
    }
    void fallos()
    {
        QFETCH(QString, accion);
        QFETCH(int, tipo);
        QFETCH(QString, inicio);
        tc->exec("drop table canciones; drop table datos_cd");
        if (accion == "buscar")
            ::buscar(*form, "Canción", 0, "amor");
        else if (accion == "todos")
            form->btntodos_Click();
        else
            QVERIFY(!frmconsultas(nullptr).Form_Load());
        QCOMPARE(boxes->shown.size(), 1);
        QCOMPARE(boxes->shown[0].kind, tipo);
        QVERIFY(!boxes->shown[0].text.isEmpty());
        QVERIFY(boxes->take()[0].startsWith(inicio));
        comprobarListado(*form, {});
    }

    void llenarTextos_data()
    {
        QTest::addColumn<QString>("datcd");
        QTest::addColumn<QString>("datcan");
        QTest::addColumn<qint64>("item");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<int>("error");
        const QString cds = "select * from datos_cd";
        const QString canciones = "select * from canciones where id ";
        for (qint64 item : { 0, 3, -1 })
            QTest::addRow("item %lld", item) << cds << cds << item << QStringList {} << 0;
        QTest::newRow("menos filas que el límite")
            << cds + " where id <=7" << cds << qint64(1) << QStringList { "3", "7" } << 3021;
        QTest::newRow("tantas filas como el límite") << cds << cds << qint64(1) << todos << 0;
        QTest::newRow("canción sin cd")
            << cds << canciones + "=15" << qint64(2) << QStringList {} << 0;
        QTest::newRow("canción sin cd en medio")
            << cds << canciones + "in (20, 15, 3)" << qint64(2) << QStringList { "3", "20" } << 0;
        QTest::newRow("sin canciones")
            << cds << canciones + "=99" << qint64(2) << QStringList {} << 3021;
    }
    void llenarTextos()
    {
        QFETCH(QString, datcd);
        QFETCH(QString, datcan);
        QFETCH(qint64, item);
        QFETCH(QStringList, ids);
        QFETCH(int, error);
        form->datcd.setRecordSource(datcd);
        form->datcd.Refresh();
        form->datcan.setRecordSource(datcan);
        form->datcan.Refresh();
        int numero = 0;
        try {
            form->llenar_textos(item);
        } catch (const velmor::DataError& e) {
            numero = e.number;
        }
        QCOMPARE(numero, error);
        comprobarListado(*form, ids);
    }

    void todosDosVeces()
    {
        ::buscar(*form, "Canción", 0, "amor");
        form->findChild<QPushButton*>("btntodos")->click();
        form->findChild<QPushButton*>("btntodos")->click();
        comprobarListado(*form, todos);
        QCOMPARE(form->datcd.recordSourceText(), "select * from datos_cd");
        QCOMPARE(form->datcan.recordSourceText(), cancionEn("=", "AMOR"));
    }

    void seleccion_data()
    {
        QTest::addColumn<QString>("lista");
        for (const char* l : { "List2", "List3", "List4" })
            QTest::newRow(l) << QString(l);
    }
    void seleccion()
    {
        QFETCH(QString, lista);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        ::buscar(*form, "Canción", 0, "amor");
        auto* vista = form->findChild<QListView*>(lista);
        const QRect fila = vista->visualRect(vista->model()->index(1, 0));
        QTest::mouseClick(vista->viewport(), Qt::LeftButton, {}, fila.center());
        for (const char* l : { "List2", "List3", "List4" }) {
            const auto elegidas = form->findChild<QListView*>(l)->selectionModel()->selectedRows();
            QCOMPARE(elegidas.size(), 1);
            QCOMPARE(elegidas[0].row(), 1);
        }
        QStringList canciones { "20", "Y", "MAR", "AMOR" };
        while (canciones.size() < 21)
            canciones << QString();
        QCOMPARE(filas(*form, "List5"), canciones);
        QCOMPARE(form->findChild<QPlainTextEdit*>("txtdescripcion")->toPlainText(), "D20");
        QCOMPARE(form->datcan.recordSourceText(), "select * from canciones");
        QCOMPARE(form->datcd.Recordset().Fields("id").text(), "20");
    }

    void cdBorradoMientras_data()
    {
        QTest::addColumn<QString>("borrar");
        QTest::newRow("ambas filas")
            << "delete from datos_cd where id=7; delete from canciones where id=7";
        QTest::newRow("sin datos_cd") << "delete from datos_cd where id=7";
        QTest::newRow("sin canciones") << "delete from canciones where id=7";
    }
    void cdBorradoMientras()
    {
        QFETCH(QString, borrar);
        form->btntodos_Click();
        auto* List2 = form->findChild<QListView*>("List2");
        List2->setCurrentIndex(List2->model()->index(0, 0));
        QCOMPARE(filas(*form, "List5").size(), 21);
        tc->exec(borrar);
        List2->setCurrentIndex(List2->model()->index(1, 0));
        QCOMPARE(filas(*form, "List5"), QStringList());
        QCOMPARE(form->findChild<QPlainTextEdit*>("txtdescripcion")->toPlainText(), "");
    }

    void regresar_data()
    {
        QTest::addColumn<bool>("catalogoAbierto");
        QTest::newRow("catálogo con un CD") << true;
        QTest::newRow("catálogo que no carga") << false;
    }
    void regresar()
    {
        QFETCH(bool, catalogoAbierto);
        velmor::frmcatalogo catalogo(nullptr);
        QVERIFY(catalogo.Form_Load());
        catalogo.findChild<QLineEdit*>("txtclacd")->setText("7");
        QCOMPARE(catalogo.findChild<QLineEdit*>("txtnomcd")->text(), "LUNA");
        FakeHost host;
        host.catalogo = catalogoAbierto ? &catalogo : nullptr;
        frmconsultas consultas(&host);
        QVERIFY(consultas.Form_Load());
        QSignalSpy cerrar(&consultas, &frmconsultas::closeRequested);
        consultas.show();
        consultas.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&consultas));
        QTest::keyClick(&consultas, Qt::Key_R, Qt::AltModifier);
        // An access key presses the button the way a click does, a moment later.
        QTRY_COMPARE(cerrar.size(), 1);
        QCOMPARE(host.preguntas, 1);
        QString cuadros;
        for (const auto* cuadro : catalogo.findChildren<QLineEdit*>())
            cuadros += cuadro->text();
        QCOMPARE(cuadros.isEmpty(), catalogoAbierto);
    }

    void enter()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTest::keyClick(form->findChild<QListWidget*>("List1"), Qt::Key_Return);
        comprobarListado(*form, {});
        auto* txtcadena = form->findChild<QLineEdit*>("txtcadena");
        QTest::keyClicks(txtcadena, "12");
        QTest::keyClick(txtcadena, Qt::Key_Return);
        QCOMPARE(txtcadena->text(), "12");
        comprobarListado(*form, { "12" });
    }

    void filaNueva_data()
    {
        QTest::addColumn<bool>("conTodos");
        QTest::newRow("todos") << true;
        QTest::newRow("búsqueda") << false;
    }
    void filaNueva()
    {
        QFETCH(bool, conTodos);
        const auto listar = [&] {
            if (conTodos)
                form->btntodos_Click();
            else
                ::buscar(*form, "Id", 1, "0");
        };
        listar();
        tc->addCd(30, "NUEVO", "", "D30");
        QCOMPARE(filas(*form, "List2"), todos);
        listar();
        QCOMPARE(filas(*form, "List2"), todos + QStringList { "30" });
    }

    void cuarentaMilCds()
    {
        abrir(false);
        const QString n
            = "with recursive n(i) as (select 1 union all select i+1 from n where i<40001) ";
        tc->exec(n + "insert into datos_cd select i, 'CD '||i, 'ART', 'D' from n;" + n
            + "insert into canciones(id, cancion1) select i, 'C'||i from n;"
            + "delete from datos_cd where id = 20000;");
        form->btntodos_Click();
        QCOMPARE(filas(*form, "List3").size(), 40000);
        QCOMPARE(filas(*form, "List4").last(), "ART");
        ::buscar(*form, "Nombre", 1, "");
        QCOMPARE(filas(*form, "List2").size(), 40000);
        ::buscar(*form, "Canción", 1, "C1");
        // Every song row but CD 1's matches; song row 20000 has no CD and lists nothing.
        QCOMPARE(filas(*form, "List2").size(), 39999);
        QCOMPARE(filas(*form, "List2").first(), "2");
        QCOMPARE(filas(*form, "List3").last(), "CD 40001");
    }
};

QTEST_MAIN(TestFrmConsultas)
#include "tst_frmconsultas.moc"
