#include "scratchcatalog.h"

#include "catalogexport.h"
#include "catalogimport.h"
#include "progress.h"

#include "data/dataerror.h"

#include <QBuffer>
#include <QLocale>
#include <QTest>
#include <memory>

using namespace velmor::tool;

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cdFromFields_data();
    void cdFromFields();
    void refusalsStoreNothing_data();
    void refusalsStoreNothing();
    void roundTrip();
    void exportShape();
    void failedInsertStoresNothing();
};

static QString header() { return csvColumns().join(QLatin1Char(',')) + QLatin1Char('\n'); }

// 24 fields: key, name, artist, description, then the given songs and empty ones.
static QStringList fields(const QString& key, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& songs = {})
{
    QStringList out { key, nombre, artista, descripcion };
    for (int i = 0; i < songCount; ++i)
        out << songs.value(i);
    return out;
}

static QString line(const QStringList& values)
{
    return values.join(QLatin1Char(',')) + QLatin1Char('\n');
}

void TestImport::initTestCase()
{
    // Key texts are read in the user's locale; the C locale makes the cases below
    // mean the same on every machine.
    QLocale::setDefault(QLocale::c());
}

void TestImport::cdFromFields_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<qint64>("key"); // -999999 when refused
    QTest::addColumn<QString>("nombre"); // stored name, or the reasons when refused

    const qint64 refused = -999999;
    const QString n30(30, QLatin1Char('N')), d250(250, QLatin1Char('D'));

    QTest::newRow("leading zeros") << fields("0012", "a", "", "d") << qint64(12) << "A";
    QTest::newRow("blanks around key") << fields(" 7 ", "a", "", "d") << qint64(7) << "A";
    QTest::newRow("negative key") << fields("-3", "a", "", "d") << qint64(-3) << "A";
    QTest::newRow("exponent") << fields("1E3", "a", "", "d") << qint64(1000) << "A";
    QTest::newRow("upper-cased with accents")
        << fields("1", "canción ñandú", "", "d") << qint64(1) << "CANCIÓN ÑANDÚ";
    QTest::newRow("blank name counts as given")
        << fields("1", "   ", "", "d") << qint64(1) << "   ";
    QTest::newRow("name at its limit") << fields("1", n30, "", d250) << qint64(1) << n30;

    QTest::newRow("missing key") << fields("", "a", "", "d") << refused << "falta la clave";
    QTest::newRow("letters") << fields("abc", "a", "", "d") << refused
                             << "la clave «abc» no es un número";
    QTest::newRow("number then letters")
        << fields("12abc", "a", "", "d") << refused << "la clave «12abc» no es un número";
    QTest::newRow("fraction") << fields("1.5", "a", "", "d") << refused
                              << "la clave «1.5» no es un número entero";
    QTest::newRow("group separator would change the key")
        << fields("1,000", "a", "", "d") << refused << "la clave «1,000» se guardaría como 1";
    QTest::newRow("missing name and description")
        << fields("1", "", "x", "") << refused << "falta el nombre; falta la descripción";
    QTest::newRow("name too long") << fields("1", n30 + "N", "", "d") << refused
                                   << "el nombre tiene 31 caracteres (máximo 30)";
    QTest::newRow("artist too long") << fields("1", "a", QString(26, 'A'), "d") << refused
                                     << "el artista tiene 26 caracteres (máximo 25)";
    QTest::newRow("description too long") << fields("1", "a", "", d250 + "D") << refused
                                          << "la descripción tiene 251 caracteres (máximo 250)";
    QTest::newRow("twentieth song too long")
        << fields("1", "a", "", "d", QStringList(19, QString()) << QString(31, 'S')) << refused
        << "la canción 20 tiene 31 caracteres (máximo 30)";
    QTest::newRow("every reason at once")
        << fields("x", "", "", "", { QString(31, 's') }) << refused
        << "la clave «x» no es un número; falta el nombre; falta "
           "la descripción; la canción 1 tiene 31 caracteres (máximo 30)";
    QTest::newRow("too few fields")
        << QStringList { "1", "a", "", "d" } << refused << "tiene 4 campos y deben ser 24";
}

void TestImport::cdFromFields()
{
    QFETCH(QStringList, input);
    QFETCH(qint64, key);
    QFETCH(QString, nombre);

    QStringList reasons;
    const std::optional<CdRecord> cd = velmor::tool::cdFromFields(input, reasons);
    if (key == -999999) {
        QVERIFY(!cd);
        QCOMPARE(reasons.join(QStringLiteral("; ")), nombre);
        return;
    }
    QVERIFY2(cd, qPrintable(reasons.join(QStringLiteral("; "))));
    QCOMPARE(cd->id, key);
    QCOMPARE(cd->nombre, nombre);
    QCOMPARE(cd->descripcion, input[3].toUpper());
}

void TestImport::refusalsStoreNothing_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QStringList>("refused");

    const QString good8 = line(fields("8", "ocho", "", "d"));
    QTest::newRow("key already stored") << (header() + line(fields("5", "a", "", "d"))).toUtf8()
                                        << QStringList { "2: la clave 5 ya está en el catálogo" };
    QTest::newRow("key repeated in the file, after a record over two lines")
        << (header() + line(fields("8", "a", "", "\"uno\ndos\"")) + line(fields("9", "b", "", "d"))
               + good8)
               .toUtf8()
        << QStringList { "5: la clave 8 ya aparece en la línea 2" };
    QTest::newRow("refused lines listed, good ones around them stored nothing")
        << (header() + good8 + line(fields("", "a", "", "d")) + line(fields("10", "a", "", "d"))
               + line(fields("11", "", "", "d")))
               .toUtf8()
        << QStringList { "3: falta la clave", "5: falta el nombre" };
    QTest::newRow("wrong field count") << (header() + good8 + "12,a,b,c\n").toUtf8()
                                       << QStringList { "3: tiene 4 campos y deben ser 24" };
    QTest::newRow("malformed quotes")
        << (header() + "1\"2,a\n" + good8).toUtf8()
        << QStringList { "2: comillas dentro de un campo sin comillas" };
    QTest::newRow("invalid UTF-8")
        << (header().toUtf8() + line(fields("13", "a", "", "d")).toUtf8().replace("a", "\xff"))
        << QStringList { "2: el texto no es UTF-8 válido" };
    QTest::newRow("missing header") << line(fields("14", "a", "", "d")).toUtf8()
                                    << QStringList { "1: la primera línea debe ser la cabecera "
                                           + csvColumns().join(QLatin1Char(',')) };
    QTest::newRow("empty file") << QByteArray()
                                << QStringList { "1: el archivo está vacío; falta la cabecera" };
}

void TestImport::refusalsStoreNothing()
{
    QFETCH(QByteArray, csv);
    QFETCH(QStringList, refused);

    ScratchCatalog catalog;
    catalog.addCd(5, { "CINCO", "", "D" });
    Progress quiet(nullptr, QString(), false);
    const ImportResult result = importCatalog(catalog.path(), csv, quiet);

    QStringList listed;
    for (const RefusedLine& r : result.refused)
        listed << QStringLiteral("%1: %2").arg(r.line).arg(r.reason);
    QCOMPARE(listed, refused);
    QCOMPARE(result.cds, 0);
    QCOMPARE(catalog.rows("select id from datos_cd"), QStringList { "5" });
    QCOMPARE(catalog.rows("select id from canciones"), QStringList { "5" });
}

void TestImport::roundTrip()
{
    ScratchCatalog source;
    source.addCd(-1, { "NEGATIVA", "", "CLAVE BAJO CERO" });
    source.addCd(0, { "CERO", "A", "B", "", "", "ÚLTIMA EN LA TERCERA" });
    source.addCd(7,
        { "CANCIÓN DE \"CUNA\"", "ÑANDÚ, GÜEMES Y CÍA", "LÍNEA 1\nLÍNEA 2\r\nLÍNEA 3", "UNO, DOS",
            "\"TRES\"", " CUATRO " });
    source.addCd(9999,
        { "ÁÉÍÓÚ", "", ",", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "",
            "", "VEINTE" });
    source.addCd(123456, { "MÁS ALLÁ DE CUATRO CIFRAS", "", "D" });

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    Progress quiet(nullptr, QString(), false);
    const ExportResult exported = exportCatalog(source.path(), csv, quiet);
    QVERIFY(exported.written);
    QCOMPARE(exported.cds, 5);

    ScratchCatalog target;
    const ImportResult imported = importCatalog(target.path(), csv.data(), quiet);
    QVERIFY(imported.refused.isEmpty());
    QCOMPARE(imported.cds, 5);
    for (const char* table : { "datos_cd", "canciones" }) {
        const QString sql
            = QStringLiteral("select * from %1 order by id").arg(QLatin1String(table));
        QCOMPARE(target.rows(sql), source.rows(sql));
    }
}

void TestImport::exportShape()
{
    ScratchCatalog catalog;
    catalog.addCd(30, { "TREINTA", "", "D" });
    catalog.addCd(2, { "DOS", "X", "D", "S1" });
    catalog.exec("insert into datos_cd values (100, 'SOLO', '', 'SIN CANCIONES')");

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    Progress quiet(nullptr, QString(), false);
    QCOMPARE(exportCatalog(catalog.path(), csv, quiet).cds, 3);

    const QString empty19 = QString(19, QLatin1Char(','));
    const QString expected = csvColumns().join(QLatin1Char(',')) + "\r\n" + "2,DOS,X,D,S1" + empty19
        + "\r\n" + "30,TREINTA,,D," + empty19 + "\r\n" + "100,SOLO,,SIN CANCIONES," + empty19
        + "\r\n";
    QCOMPARE(QString::fromUtf8(csv.data()), expected);
}

void TestImport::failedInsertStoresNothing()
{
    ScratchCatalog catalog;
    catalog.exec("create trigger refuse before insert on canciones when new.id = 3 "
                 "begin select raise(abort, 'rechazado'); end");
    const QByteArray csv = (header() + line(fields("1", "a", "", "d"))
        + line(fields("2", "b", "", "d")) + line(fields("3", "c", "", "d")))
                               .toUtf8();
    Progress quiet(nullptr, QString(), false);
    QVERIFY_THROWS_EXCEPTION(velmor::DataError, importCatalog(catalog.path(), csv, quiet));
    QCOMPARE(catalog.rows("select count(*) from datos_cd"), QStringList { "0" });
    QCOMPARE(catalog.rows("select count(*) from canciones"), QStringList { "0" });
}

std::unique_ptr<QObject> makeImportTest() { return std::make_unique<TestImport>(); }

#include "tst_import.moc"
