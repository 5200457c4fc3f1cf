#include "accessfile.h"
#include "accessreadout.h"
#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "conversion.h"
#include "csvreader.h"
#include "progress.h"
#include "toolfixture.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmor::tool;
using Rows = QList<QStringList>;

using namespace toolfixture;

namespace {
// "id|nombre|artista|descripcion|cancion1|…", trailing empty songs left out.
QString recordText(const CdRecord& cd)
{
    QStringList texts { QString::number(cd.id), cd.nombre, cd.artista, cd.descripcion };
    for (const QString& song : cd.canciones)
        texts << song;
    while (texts.size() > 4 && texts.last().isEmpty())
        texts.removeLast();
    return texts.join('|');
}

// Puts CD 1 into the catalogue and a CSV holding CD 2 beside it; the arguments
// come back with %C naming the catalogue and %V the CSV.
QStringList withCdAndCsv(const ScratchCatalog& catalog, QStringList arguments)
{
    catalog.addCd(1, { "UNO", "", "D" });
    const QString csvPath = catalog.dir.filePath("nuevo.csv");
    writeFile(csvPath, csv({ fields("2", "dos", "", "d") }));
    return arguments.replaceInStrings("%C", catalog.path()).replaceInStrings("%V", csvPath);
}
}

class TestTools : public QObject {
    Q_OBJECT

    Progress m_quiet { nullptr, QString(), false };
    const QString m_fruit = QStringLiteral(FRUIT_MDB);

    // The Jet sample is fetched from the npm registry before the tests; without
    // network it is missing and the cases that read it cannot run.
    bool haveFruit() const { return QFile::exists(m_fruit); }

private slots:
    // Keys are read in the user's locale; the C locale gives the cases one meaning.
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    // Reading CSV, and importing it with the catalogue form's rules.

    void csvReader_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("records"); // fields joined by '|', records by " / "

        QTest::newRow("spreadsheet in Spanish: mark, semicolons, CR LF")
            << QByteArray("\xEF\xBB\xBFid;nombre\r\n1;\"A; B, C\"\r\n2;x,y\r\n")
            << "id|nombre / 1|A; B, C / 2|x,y";
        QTest::newRow("commas win when the first line has more")
            << QByteArray("a,b;c\n1,2;3\n") << "a|b;c / 1|2;3";
        QTest::newRow("line break inside quotes kept as written")
            << QByteArray("a,\"1\r\n2\n3\"\r\nb,c") << "a|1\r\n2\n3 / b|c";
        QTest::newRow("last byte a CR ends the line") << QByteArray("a,b\r") << "a|b";
        QTest::newRow("CR inside a line stays in its field")
            << QByteArray("a\rb,c\r\n") << "a\rb|c";
        QTest::newRow("CR LF split across reading blocks")
            << QByteArray(65535, 'x') + "\r\ny" << QString(65535, 'x') + " / y";
        QTest::newRow("field over the limit ends the reading")
            << "a\n\"" + QByteArray(65537, 'x') + "\"\nb\n"
            << "a / error: un campo pasa de 65536 bytes; no se lee el resto del archivo";
        QTest::newRow("line over the limit ends the reading")
            << "a\n" + QByteArray(300 * 1024, ',') + "\nb\n"
            << "a / error: la línea pasa de 262144 bytes; no se lee el resto del archivo";
    }

    void csvReader()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, records);

        QBuffer device(&data);
        device.open(QIODevice::ReadOnly);
        CsvReader reader(device);
        CsvReader::Record record;
        QStringList read;
        while (reader.next(record)) {
            QStringList fields;
            for (const QByteArray& field : record.fields)
                fields << QString::fromUtf8(field);
            read << (record.error.isEmpty() ? fields.join('|') : "error: " + record.error);
        }
        QCOMPARE(read.join(" / "), records);
    }

    void cdFromFields_data()
    {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QString>("result"); // the record read, or the reasons for refusing it

        const QString n30(30, 'N'), a25(25, 'A'), d250(250, 'D'), s30(30, 'S'), s31(31, 'S');

        QTest::newRow("key with blanks and leading zeros")
            << fields(" 0012 ", "a", "", "d") << "12|A||D";
        QTest::newRow("every text upper-cased, accents kept")
            << fields("1", "canción ñandú", "güemes", "línea\notra", { "uno", "", "tres" })
            << "1|CANCIÓN ÑANDÚ|GÜEMES|LÍNEA\nOTRA|UNO||TRES";
        QTest::newRow("blank name counts as given") << fields("1", "   ", "", "d") << "1|   ||D";
        QTest::newRow("every box at its limit")
            << fields("1", n30, a25, d250, QStringList(songCount - 1) << s30)
            << "1|" + n30 + '|' + a25 + '|' + d250 + QString(songCount, '|') + s30;
        QTest::newRow("number then letters")
            << fields("12abc", "a", "", "d") << "la clave «12abc» no es un número";
        QTest::newRow("fraction") << fields("1.5", "a", "", "d")
                                  << "la clave «1.5» no es un número entero";
        QTest::newRow("group separator would change the key")
            << fields("1,000", "a", "", "d") << "la clave «1,000» se guardaría como 1";
        QTest::newRow("missing key, name and description")
            << fields("", "", "x", "") << "falta la clave; falta el nombre; falta la descripción";
        QTest::newRow("every box over its limit")
            << fields("1", n30 + 'N', a25 + 'A', d250 + 'D',
                   QStringList { s31 } + QStringList(18) << s31)
            << "el nombre tiene 31 caracteres (máximo 30); el artista tiene 26 caracteres (máximo "
               "25); la descripción tiene 251 caracteres (máximo 250); la canción 1 tiene 31 "
               "caracteres (máximo 30); la canción 20 tiene 31 caracteres (máximo 30)";
        QTest::newRow("largest key held exactly")
            << fields("-9007199254740992", "a", "", "d") << "-9007199254740992|A||D";
        QTest::newRow("key beyond what a double holds")
            << fields("9007199254740993", "a", "", "d")
            << "la clave «9007199254740993» no se puede guardar exacta (el máximo es "
               "9007199254740992)";
        QTest::newRow("key whose fraction a double loses")
            << fields("4503599627370496.5", "a", "", "d")
            << "la clave «4503599627370496.5» no se puede guardar exacta (el máximo es "
               "9007199254740992)";
        QTest::newRow("line breaks only in the description")
            << fields("1", "a", "", "uno\r\ndos\ntres") << "1|A||UNO\r\nDOS\nTRES";
        QTest::newRow("control characters refused")
            << fields("1\t", "a\x1b", "b\n", "c\rd", { "e\x01", "f\r\n" })
            << "la clave tiene un carácter de control (U+0009); el nombre tiene un carácter de "
               "control (U+001B); el artista tiene un carácter de control (U+000A); la "
               "descripción tiene un carácter de control (U+000D); la canción 1 tiene un carácter "
               "de control (U+0001); la canción 2 tiene un carácter de control (U+000D)";
        QTest::newRow("too few fields")
            << QStringList { "1", "a", "", "d" } << "tiene 4 campos y deben ser 24";
    }

    void cdFromFields()
    {
        QFETCH(QStringList, input);
        QFETCH(QString, result);
        QStringList reasons;
        const std::optional<CdRecord> cd = velmor::tool::cdFromFields(input, reasons);
        QCOMPARE(cd ? recordText(*cd) : reasons.join("; "), result);
        QCOMPARE(cd.has_value(), reasons.isEmpty());
    }

    void refusalsStoreNothing_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("refused");

        // A good line comes first, so that a refusal must undo what was already added.
        const QStringList good = fields("8", "ocho", "", "d");
        QTest::newRow("every refused line listed, reading going on after malformed ones")
            << csv({ fields("9", "a", "", "\"uno\ndos\""), good, fields("", "a", "", "d"),
                   { "1\"2", "a" }, fields("5", "a", "", "d"), { "\"ab\"c", "d" },
                   fields("11", "", "", "d"), fields("8", "b", "", "d") })
            << QStringList { "5: falta la clave", "6: comillas dentro de un campo sin comillas",
                   "7: la clave 5 ya está en el catálogo",
                   "8: hay texto tras las comillas que cierran un campo", "9: falta el nombre",
                   "10: la clave 8 ya aparece en la línea 4" };
        QTest::newRow("a field over the limit stops the reading")
            << csv({ good, fields("9", QString(70000, 'x'), "", "d"), fields("", "", "", "") })
            << QStringList { "3: un campo pasa de 65536 bytes; no se lee el resto del archivo" };
        QTest::newRow("header over the limit")
            << QByteArray(300 * 1024, 'h')
            << QStringList { "1: un campo pasa de 65536 bytes; no se lee el resto del archivo" };
        QTest::newRow("unterminated quote")
            << csv({ good, { "\"open", "a" } }) << QStringList { "3: comillas sin cerrar" };
        QTest::newRow("invalid UTF-8")
            << csv({ good, fields("13", "a", "", "d") }).replace(",a,", ",\xff,")
            << QStringList { "3: el texto no es UTF-8 válido" };
        QTest::newRow("missing header") << csv({ good },
            false) << QStringList { "1: la primera línea debe ser la cabecera " + csvHeader() };
        QTest::newRow("empty file")
            << QByteArray() << QStringList { "1: el archivo está vacío; falta la cabecera" };
    }

    void refusalsStoreNothing()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, refused);

        ScratchCatalog catalog;
        catalog.addCd(5, { "CINCO", "", "D" });
        const ImportResult result = importCatalog(catalog.path(), data, m_quiet);
        QStringList listed;
        for (const RefusedLine& r : result.refused)
            listed << QStringLiteral("%1: %2").arg(r.line).arg(r.reason);
        QCOMPARE(listed, refused);
        QCOMPARE(result.cds, 0);
        QCOMPARE(
            catalog.sql("select d.id, c.id from datos_cd d, canciones c"), QStringList { "5|5" });
    }

    void roundTrip()
    {
        ScratchCatalog source;
        source.addCd(-1, { "NEGATIVA", "", "CLAVE BAJO CERO" });
        source.addCd(0, { "CERO", "A", "B", "", "", "ÚLTIMA EN LA TERCERA" });
        source.addCd(7,
            { "CANCIÓN DE \"CUNA\"", "ÑANDÚ, GÜEMES Y CÍA", "LÍNEA 1\nLÍNEA 2\r\nLÍNEA 3",
                "UNO, DOS", "\"TRES\"", " CUATRO " });
        source.addCd(8, { "OCHO", "", "SOLO\nSALTO" }); // a line feed alone still needs quotes
        source.addCd(123456, QStringList { "ÁÉÍÓÚ", "", "," } + QStringList(18) << "DIECINUEVE");

        QBuffer exported;
        exported.open(QIODevice::WriteOnly);
        QCOMPARE(exportCatalog(source.path(), exported, m_quiet).cds, 5);
        // Also as a spreadsheet may save it: byte order mark, blank lines, no last line end.
        const QByteArray edited = "\357\273\277"
            + QByteArray(exported.data()).replace("\r\n0,", "\r\n\r\n\n0,").chopped(2);
        const QString all = "select * from datos_cd natural join canciones order by id";
        for (const QByteArray& data : { exported.data(), edited }) {
            ScratchCatalog target;
            const ImportResult imported = importCatalog(target.path(), data, m_quiet);
            QVERIFY(imported.refused.isEmpty());
            QCOMPARE(imported.cds, 5);
            QCOMPARE(target.sql(all), source.sql(all));
        }
    }

    void failedInsertStoresNothing()
    {
        ScratchCatalog catalog;
        catalog.sql("create trigger refuse before insert on canciones when new.id = 3 "
                    "begin select raise(abort, 'rechazado'); end");
        const QByteArray data = csv(
            { fields("1", "a", "", "d"), fields("2", "b", "", "d"), fields("3", "c", "", "d") });
        QVERIFY_THROWS_EXCEPTION(velmor::DataError, importCatalog(catalog.path(), data, m_quiet));
        QCOMPARE(
            catalog.sql("select count(*) from datos_cd union all select count(*) from canciones"),
            QStringList({ "0", "0" }));
    }

    // verificar.

    void check_data()
    {
        QTest::addColumn<QString>("sql"); // run on a sound catalogue of CDs 1, 2 and 3
        QTest::addColumn<QByteArray>("content"); // then put in the file's place; "-": no file
        QTest::addColumn<QStringList>("problems");

        QTest::newRow("sound catalogue") << QString() << QByteArray() << QStringList();
        QTest::newRow("missing songs row")
            << "delete from canciones where id in (2, 3)" << QByteArray()
            << QStringList { "2 filas de datos_cd no tienen fila en canciones (claves 2, 3)" };
        QTest::newRow("songs row without its CD")
            << "delete from datos_cd where id = 1" << QByteArray()
            << QStringList { "1 filas de canciones no tienen fila en datos_cd (claves 1)" };
        QTest::newRow("null text")
            << "drop table datos_cd; create table datos_cd (id integer primary key, nombre text, "
               "artista text, descripcion text); insert into datos_cd values (1, 'A', null, "
               "'D'), (2, null, null, 'D'), (3, 'C', '', 'D')"
            << QByteArray()
            << QStringList { "datos_cd.nombre tiene 1 valores nulos (claves 2)",
                   "datos_cd.artista tiene 2 valores nulos (claves 1, 2)" };
        QTest::newRow("missing column")
            << "alter table canciones drop column cancion7" << QByteArray()
            << QStringList { "a la tabla canciones le falta la columna cancion7" };
        QTest::newRow("columns out of order")
            << "drop table datos_cd; create table datos_cd (id integer primary key, artista "
               "text, nombre text, descripcion text); insert into datos_cd select id, '', 'N', "
               "'D' from canciones"
            << QByteArray()
            << QStringList { "las columnas de la tabla datos_cd no son las esperadas o no están "
                             "en orden: id, artista, nombre, descripcion" };
        QTest::newRow("missing table")
            << "drop table canciones" << QByteArray() << QStringList { "falta la tabla canciones" };
        QTest::newRow("repeated keys")
            << "create table c2 as select * from canciones; drop table canciones; alter table "
               "c2 rename to canciones; insert into canciones select * from canciones where id > 1"
            << QByteArray() << QStringList { "la tabla canciones repite 2 claves: 2, 3" };

        // Declarations the program serves, and those it cannot.
        const auto redeclared = [](const QString& columns, const QString& copied = "*",
                                    const QString& options = QString()) {
            return "create table t as select * from datos_cd; drop table datos_cd; create table "
                   "datos_cd ("
                + columns + ") " + options + "; insert into datos_cd select " + copied
                + " from t; drop table t";
        };
        const QString rest = ", nombre text, artista text, descripcion text";
        for (const QString key : { "id integer", "id int primary key", "id numeric",
                 "id integer primary key desc", "id" })
            QTest::addRow("key declared %s", qPrintable(key))
                << redeclared(key + rest) << QByteArray() << QStringList();
        QTest::newRow("without rowid")
            << redeclared("id integer primary key" + rest, "*", "without rowid") << QByteArray()
            << QStringList();
        QTest::newRow("no column types")
            << redeclared("id, nombre, artista, descripcion") << QByteArray() << QStringList();
        QTest::newRow("text key") << redeclared("id text" + rest) << QByteArray()
                                  << QStringList { "la clave datos_cd.id se declara como texto "
                                                   "(TEXT); debe ser numérica o sin tipo",
                                         "datos_cd tiene 3 claves que no son números enteros: "
                                         "'1', '2', '3'" };
        QTest::newRow("number column for a text")
            << redeclared("id integer primary key, nombre integer, artista text, descripcion text")
            << QByteArray()
            << QStringList { "la columna datos_cd.nombre se declara numérica (INTEGER): guardaría "
                             "como número un texto como «007»" };
        QTest::newRow("generated column")
            << redeclared("id integer primary key, nombre text, artista text, descripcion text "
                          "as (nombre || 'x')",
                   "id, nombre, artista")
            << QByteArray()
            << QStringList { "la columna datos_cd.descripcion es calculada; el programa no puede "
                             "escribir en ella" };
        QTest::newRow("view in place of a table")
            << "create table t as select * from datos_cd; drop table datos_cd; create view "
               "datos_cd as select * from t"
            << QByteArray()
            << QStringList { "datos_cd es una vista, no una tabla; el programa no escribe en "
                             "vistas" };

        // Values of the wrong kind, and indexes other tools cannot keep in order.
        QTest::newRow("keys that are not whole numbers")
            << redeclared("id" + rest)
                + "; update datos_cd set id = 'dos' where id = 2; update "
                  "datos_cd set id = 3.5 where id = 3"
            << QByteArray()
            << QStringList { "datos_cd tiene 2 claves que no son números enteros: 3.5, 'dos'",
                   "2 filas de datos_cd no tienen fila en canciones (claves 3.5, dos)",
                   "2 filas de canciones no tienen fila en datos_cd (claves 2, 3)" };
        QTest::newRow("binary values in text columns")
            << "update datos_cd set nombre = x'00ff' where id = 1; update canciones set cancion3 "
               "= zeroblob(2) where id = 2"
            << QByteArray()
            << QStringList { "datos_cd.nombre tiene 1 valores que no son texto (claves 1)",
                   "canciones.cancion3 tiene 1 valores que no son texto (claves 2)" };
        QTest::newRow("case-insensitive text index")
            << "create index por_nombre on datos_cd(nombre); create index por_artista on "
               "datos_cd(artista collate binary); create index por_clave on canciones(id)"
            << QByteArray()
            << QStringList { "el índice por_nombre de datos_cd ordena nombre sin distinguir "
                             "mayúsculas (NOCASE), orden que otros programas calculan distinto: "
                             "queda desordenado; bórrelo o créelo con COLLATE BINARY" };

        // A file that cannot be read gives its one reason, and nothing else is examined.
        const QStringList notSqlite { "El archivo «%C» no es una base de datos de catálogo "
                                      "válida." };
        QTest::newRow("missing file") << QString() << QByteArray("-")
                                      << QStringList { "No se encuentra el archivo del catálogo "
                                                       "«%C»." };
        QTest::newRow("text file") << QString() << QByteArray(200, 'x') << notSqlite;
        QTest::newRow("header and nothing else")
            << QString() << QByteArray("SQLite format 3\0", 16) + QByteArray(200, 'x') << notSqlite;
        QTest::newRow("Access file")
            << QString() << QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(200, '\0')
            << QStringList { "El archivo «%C» es una base de datos de Access (Jet), no un "
                             "catálogo de este programa. Conviértalo con la orden: velmor-db "
                             "convertir «%C» NUEVO.mdb" };
    }

    void check()
    {
        QFETCH(QString, sql);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, problems);

        ScratchCatalog catalog;
        for (qint64 id = 1; id <= 3; ++id)
            catalog.addCd(id, { "N", "", "D" });
        catalog.sql(sql);
        if (content == "-")
            QFile::remove(catalog.path());
        else if (!content.isNull())
            writeFile(catalog.path(), content);
        const QByteArray before = readFile(catalog.path());

        const CheckReport report = velmor::tool::checkCatalog(catalog.path());
        QCOMPARE(report.problems, problems.replaceInStrings("%C", catalog.path()));
        using O = CheckReport::Outcome;
        QCOMPARE(report.outcome,
            !content.isNull() ? O::Unreadable : (problems.isEmpty() ? O::Sound : O::Problems));
        QCOMPARE(readFile(catalog.path()), before); // examined, never changed or created
        QCOMPARE(QFile::exists(catalog.path()), content != "-");
    }

    // Reading Access/Jet files and bringing their rows over.

    void mapping_data()
    {
        QTest::addColumn<Rows>("datos");
        QTest::addColumn<Rows>("canciones");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("report"); // without songs, then left out

        QTest::newRow("paired and ordered by key, texts kept as they are")
            << Rows { { "2", "b", "", "DB" }, { "1", "canción de cuna", " Ñu ", "línea\r\notra" } }
            << Rows { { "1", "pingüino", "", "S3" }, { "2", "T1" } }
            << QStringList { "1|canción de cuna| Ñu |línea\r\notra|pingüino||S3", "2|b||DB|T1" }
            << QStringList();
        QTest::newRow("CD without songs brought over, songs without CD left out")
            << Rows { { "5", "CINCO", "", "D" }, { "1", "A", "", "D" } }
            << Rows { { "1", "S" }, { "9", "HUÉRFANA" } }
            << QStringList { "1|A||D|S", "5|CINCO||D" }
            << QStringList { "CD 5 (CINCO): no tiene fila en canciones; se trae con las canciones "
                             "vacías",
                   "canciones, fila 2 (clave «9»): no tiene fila en datos_cd" };
        QTest::newRow("keys from number columns of other types")
            << Rows { { "12.000000", "A", "", "D" }, { " 13 ", "B", "", "D" }, { "14,0", "C" } }
            << Rows { { "12", "S" }, { "13.0", "T" }, { "14", "U" } }
            << QStringList { "12|A||D|S", "13|B||D|T", "14|C|||U" } << QStringList();
        QTest::newRow("keys that are not whole numbers left out")
            << Rows { { "1.5", "A", "", "D" }, { "x", "C", "", "D" } } << Rows { { "1.5", "S" } }
            << QStringList()
            << QStringList { "canciones, fila 1 (clave «1.5»): la clave no es un número entero",
                   "datos_cd, fila 1 (clave «1.5»): la clave no es un número entero",
                   "datos_cd, fila 2 (clave «x»): la clave no es un número entero" };
        QTest::newRow("repeated keys: the first row wins")
            << Rows { { "3", "A", "", "D" }, { "3", "B", "", "D" } }
            << Rows { { "3", "S" }, { "3", "T" } } << QStringList { "3|A||D|S" }
            << QStringList {
                   "canciones, fila 2 (clave «3»): clave repetida en canciones (ya en la fila 1)",
                   "datos_cd, fila 2 (clave «3»): clave repetida en datos_cd (ya en la fila 1)"
               };
    }

    void mapping()
    {
        QFETCH(Rows, datos);
        QFETCH(Rows, canciones);
        QFETCH(QStringList, records);
        QFETCH(QStringList, report);

        const CdMapping mapping = mapCatalogRows(datos, canciones);
        QStringList mapped;
        for (const CdRecord& cd : mapping.records)
            mapped << recordText(cd);
        QCOMPARE(mapped, records);
        QCOMPARE(mapping.withoutSongs + mapping.leftOut, report);
    }

    void readsAsMdbToolsDo()
    {
        if (!haveFruit())
            QSKIP("the Jet sample fruit.mdb was not fetched");
        const AccessFile access(m_fruit);
        const QStringList tables
            = run({ "-1", m_fruit }, "mdb-tables").out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(access.tableNames(), tables);
        QVERIFY(tables.size() >= 2);

        for (const QString& table : tables) {
            const QByteArray csv = run({ m_fruit, table }, "mdb-export").out.toUtf8();
            CsvReader reader(csv);
            CsvReader::Record record;
            Rows exported, read;
            while (reader.next(record)) {
                QVERIFY2(record.error.isEmpty(), qPrintable(record.error));
                exported << QStringList();
                for (const QByteArray& field : record.fields)
                    exported.last() << QString::fromUtf8(field);
            }
            QVERIFY2(!exported.isEmpty(), qPrintable(table));
            QCOMPARE(access.columnNames(table), exported.takeFirst());
            access.readRows(table, [&read](const QStringList& values) { read << values; });
            QCOMPARE(read, exported);
            QCOMPARE(access.rowCount(table), qint64(exported.size()));
        }
    }

    void accentsIntact()
    {
        if (!haveFruit())
            QSKIP("the Jet sample fruit.mdb was not fetched");
        // Jet 4 stores these names as compressed Unicode, one byte per letter, so a
        // Latin-1 letter can be put in place of an ASCII one without moving anything.
        const QByteArray name("\xFF\xFE"); // the mark that starts a compressed text
        QByteArray bytes = readFile(m_fruit);
        QVERIFY(bytes.contains(name + "Apricot") && bytes.contains(name + "Banana"));
        bytes.replace(name + "Apricot", name + "Apric\363t")
            .replace(name + "Banana", name + "Ba\361ana");
        ScratchCatalog scratch;
        writeFile(scratch.dir.filePath("acentos.mdb"), bytes);

        qputenv("MDBICONV", "ISO-8859-1");
        QStringList fruit;
        AccessFile(scratch.dir.filePath("acentos.mdb"))
            .readRows("dried", { "FRUIT" }, [&fruit](const QStringList& row) { fruit << row[0]; });
        QVERIFY2(
            fruit.contains("Apricót") && fruit.contains("Bañana"), qPrintable(fruit.join(',')));
    }

    // The command line.

    void exitCodes_data()
    {
        // %C sound catalogue, %D damaged one, %N new path, %V refused CSV, %F Access file
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // a part of each output, or "" for none at all
        QTest::addColumn<QString>("err");

        using A = QStringList;
        // Ordered by number; a CD without its songs row gets empty songs.
        const QString damagedCsv = csvHeader() + "\r\n9,NUEVE,,D" + QString(20, ',')
            + "\r\n10,DIEZ,,D,S1" + QString(19, ',') + "\r\n";
        QTest::newRow("no command") << A() << 2 << ""
                                    << "Uso: velmor-db ORDEN";
        QTest::newRow("unknown command") << A { "borrar" } << 2 << ""
                                         << "velmor-db: orden desconocida «borrar».";
        QTest::newRow("general help")
            << A { "--help" } << 0 << "convertir ARCHIVO_ACCESS RUTA_NUEVA   convierte"
            << "";
        QTest::newRow("help of a command")
            << A { "importar", "--help" } << 0 << "Uso: velmor-db importar RUTA ARCHIVO.csv"
            << "";
        // exportar, importar and the newer commands are in test_tools_commands.
        for (const QString usage :
            { "crear RUTA", "verificar RUTA", "convertir ARCHIVO_ACCESS RUTA_NUEVA" }) {
            const QString command = usage.section(' ', 0, 0);
            QTest::addRow("%s with too many arguments", qPrintable(command))
                << A { command, "a", "b", "c" } << 2 << ""
                << "Uso: velmor-db " + usage;
        }
        QTest::newRow("version") << A { "--version" } << 0 << "velmor-db 1.00\n"
                                 << "";
        QTest::newRow("exportar to a dash") << A { "exportar", "%D", "-" } << 0 << damagedCsv << "";
        QTest::newRow("importar an endless line")
            << A { "importar", "%C", "/dev/zero" } << 1 << ""
            << "línea 1: un campo pasa de 65536 bytes; no se lee el resto del archivo";
        QTest::newRow("verificar names the file on every line")
            << A { "verificar", "%D" } << 1
            << "%D: PROBLEMA: 1 filas de datos_cd no tienen fila en canciones (claves 9)\n%D: Cada "
               "fila de canciones tiene su fila en datos_cd\n%D: 1 problema(s) encontrado(s).\n"
            << "";
        QTest::newRow("crear over an existing file") << A { "crear", "%C" } << 2 << ""
                                                     << "ya existe";
        QTest::newRow("verificar sound")
            << A { "verificar", "%C" } << 0 << "%C: el catálogo está en buen estado.\n"
            << "";
        QTest::newRow("verificar an Access file")
            << A { "verificar", "%F" } << 2 << ""
            << "velmor-db: El archivo «%F» es una base de datos de Access (Jet)";
        QTest::newRow("exportar to standard output")
            << A { "exportar", "%D" } << 0 << damagedCsv << "";
        QTest::newRow("exportar over an existing file") << A { "exportar", "%C", "%V" } << 2 << ""
                                                        << "ya existe; no se sobrescribe";
        QTest::newRow("importar refused")
            << A { "importar", "%C", "%V" } << 1 << ""
            << "velmor-db: No se ha importado nada de %V: 1 línea rechazada.\n  línea 2: falta "
               "la clave";
        QTest::newRow("importar a missing CSV") << A { "importar", "%C", "%N" } << 2 << ""
                                                << "No se puede leer";
        QTest::newRow("convertir without catalogue tables")
            << A { "convertir", "%F", "%N" } << 2 << ""
            << "La base de datos %F no tiene la tabla datos_cd.";
        QTest::newRow("convertir over an existing file")
            << A { "convertir", "%F", "%C" } << 2 << ""
            << "El archivo %C ya existe; no se sobrescribe.";
        QTest::newRow("convertir a file that is not Access/Jet")
            << A { "convertir", "%C", "%N" } << 2 << ""
            << "El archivo %C no es una base de datos de Access/Jet.";
    }

    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        if (arguments.contains("%F") && !haveFruit())
            QSKIP("the Jet sample fruit.mdb was not fetched");

        ScratchCatalog sound, damaged;
        sound.addCd(1, { "UNO", "", "D" });
        damaged.addCd(10, { "DIEZ", "", "D", "S1" });
        damaged.sql("insert into datos_cd values (9, 'NUEVE', '', 'D')");
        writeFile(sound.dir.filePath("malo.csv"),
            (csvHeader() + '\n' + QString(23, ',') + '\n').toUtf8());
        const QStringList names { "%C", "%D", "%V", "%F", "%N" };
        const QStringList files { sound.path(), damaged.path(), sound.dir.filePath("malo.csv"),
            QStringLiteral(FRUIT_MDB), sound.dir.filePath("nuevo.mdb") };
        const auto place = [&](QString text) {
            for (qsizetype i = 0; i < names.size(); ++i)
                text.replace(names[i], files[i]);
            return text;
        };
        QList<QByteArray> before;
        for (QString& argument : arguments)
            argument = place(argument);
        for (const QString& file : files)
            before << readFile(file);

        const Run result = run(arguments);
        QCOMPARE(result.code, code);
        QVERIFY2(out.isEmpty() ? result.out.isEmpty() : result.out.contains(place(out)),
            qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(place(err)),
            qPrintable(result.err));
        // None of these commands changes a file it is given; a refused one creates none.
        for (qsizetype i = 0; i < files.size(); ++i)
            QVERIFY2(readFile(files[i]) == before[i], qPrintable(files[i]));
        QVERIFY(!QFile::exists(files.last()));
    }

    // Damaged Access files: the library that reads them may crash or loop, but the
    // command always ends with a message and an exit code, and writes nothing.
    void damagedAccessFile_data()
    {
        QTest::addColumn<qint64>("size"); // the sample cut to this many bytes, -1: whole
        QTest::addColumn<qint64>("offset"); // where four bytes are overwritten, -1: none
        QTest::addColumn<QByteArray>("bytes");

        for (const qint64 size : { 0, 100, 2048, 4096, 8192, 12288, 20000, 65536, 300001 })
            QTest::addRow("cut to %lld bytes", size) << size << qint64(-1) << QByteArray();
        // Page pointers and usage maps of the first table definitions, and page
        // headers, pointed out of the file or to page 0.
        const QByteArray far("\xff\xff\xff\xff", 4), zero(4, '\0');
        for (const qint64 page : { 2, 3, 4, 16 }) {
            for (const qint64 at : { 4, 8, 0x37, 0x3b, 0x3f }) {
                QTest::addRow("page %lld at %lld out of the file", page, at)
                    << qint64(-1) << page * 4096 + at << far;
                QTest::addRow("page %lld at %lld to page 0", page, at)
                    << qint64(-1) << page * 4096 + at << zero;
            }
        }
    }

    void damagedAccessFile()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);

        QByteArray damaged = readFile(m_fruit);
        QVERIFY(damaged.size() > 300001);
        if (size >= 0)
            damaged.truncate(size);
        if (offset >= 0)
            damaged.replace(offset, bytes.size(), bytes);
        QTemporaryDir dir;
        const QString source = dir.filePath("danado.mdb"), target = dir.filePath("nuevo.mdb");
        writeFile(source, damaged);

        QProcess process;
        process.start(VELMOR_DB_EXECUTABLE, { "convertir", source, target });
        QVERIFY(process.waitForFinished(300000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == 1 || process.exitCode() == 2, qPrintable(err));
        QVERIFY2(err.startsWith("velmor-db: ") && err.contains(source), qPrintable(err));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(readFile(source), damaged);
    }

    // A read that stops advancing is ended, and said so, within its limit: a FIFO
    // that nobody writes, and damaged files on which the library loops for ever.
    void accessReadThatHangs_data()
    {
        QTest::addColumn<qint64>("offset"); // of the four bytes overwritten; -1: a FIFO
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("FIFO") << qint64(-1) << QByteArray();
        QTest::newRow("page 69 damaged") << qint64(286615) << QByteArray("\x11\0\0\0", 4);
        QTest::newRow("page 51 damaged") << qint64(211846) << QByteArray("\x69\0\0\0", 4);
    }

    void accessReadThatHangs()
    {
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);

        QTemporaryDir dir;
        const QString path = dir.filePath("danado.mdb");
        if (offset < 0) {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            QByteArray damaged = readFile(m_fruit);
            QVERIFY(damaged.size() > offset + 4);
            writeFile(path, damaged.replace(offset, bytes.size(), bytes));
        }
        ReadoutLimits limits;
        limits.silentSeconds = 1;
        try {
            readAccessCatalog(path, m_quiet, limits);
            QFAIL("a read that never ends was taken as done");
        } catch (const velmor::DataError& error) {
            QCOMPARE(error.description,
                "No se pudo leer el archivo de Access/Jet " + path
                    + ": la lectura no avanzó en 1 s. El archivo debe de estar dañado; no se ha "
                      "modificado.");
        }
    }

    // A catalogue another program holds is reported as in use, never as damaged.
    void inUse_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %C the catalogue, %V a CSV
        QTest::addColumn<QString>("err");

        QTest::newRow("verificar") << QStringList { "verificar", "%C" }
                                   << "velmor-db: El catálogo «%C» está en uso por otro programa";
        QTest::newRow("exportar") << QStringList { "exportar", "%C" } << "velmor-db: ";
        QTest::newRow("importar") << QStringList { "importar", "%C", "%V" } << "velmor-db: ";
    }

    void inUse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, err);

        ScratchCatalog catalog;
        arguments = withCdAndCsv(catalog, arguments);
        sqlite3* holder = nullptr;
        QCOMPARE(sqlite3_open_v2(
                     catalog.path().toUtf8().constData(), &holder, SQLITE_OPEN_READWRITE, nullptr),
            SQLITE_OK);
        QCOMPARE(sqlite3_exec(holder, "pragma locking_mode = exclusive; begin exclusive", nullptr,
                     nullptr, nullptr),
            SQLITE_OK);
        const Run result = run(arguments);
        sqlite3_close_v2(holder);

        QCOMPARE(result.code, 2);
        QVERIFY2(result.err.startsWith(QString(err).replace("%C", catalog.path())),
            qPrintable(result.err));
        QCOMPARE(catalog.sql("select id from datos_cd"), QStringList { "1" });
    }

    // A write killed before its commit leaves a hot journal; every command rolls
    // it back and sees the catalogue as it was.
    void interruptedWrite_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %C the catalogue, %V a CSV with CD 2
        QTest::addColumn<QString>("out"); // a part of standard output
        QTest::addColumn<QStringList>("keys"); // stored afterwards

        QTest::newRow("verificar") << QStringList { "verificar", "%C" }
                                   << "el catálogo está en buen estado." << QStringList { "1" };
        QTest::newRow("exportar") << QStringList { "exportar", "%C" }
                                  << "\r\n1,UNO,,D" + QString(20, ',') + "\r\n"
                                  << QStringList { "1" };
        QTest::newRow("importar") << QStringList { "importar", "%C", "%V" } << "Importados 1 CD"
                                  << QStringList { "1", "2" };
    }

    void interruptedWrite()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QStringList, keys);

        ScratchCatalog catalog;
        arguments = withCdAndCsv(catalog, arguments);
        const QByteArray path = catalog.path().toUtf8();
        const pid_t child = fork();
        if (child == 0) {
            // A tiny page cache makes the engine write pages before the commit.
            sqlite3* db = nullptr;
            sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db,
                "pragma cache_size = 2; begin; with recursive n(i) as (select 10 union all "
                "select i + 1 from n where i < 5000) insert into datos_cd select i, "
                "printf('%.200c', 'X'), '', 'D' from n",
                nullptr, nullptr, nullptr);
            raise(SIGKILL);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        const QString journal = catalog.path() + "-journal";
        QVERIFY(QFileInfo(journal).size() > 0);

        const Run result = run(arguments);
        QCOMPARE(result.code, 0);
        QVERIFY2(result.out.contains(out), qPrintable(result.out + result.err));
        QVERIFY(!QFileInfo::exists(journal));
        QCOMPARE(catalog.sql("select id from datos_cd order by id"), keys);
        QCOMPARE(catalog.sql("pragma integrity_check"), QStringList { "ok" });
    }

    // The help and the manual page tell the same: every command, and the version.
    void manualPage()
    {
        const QString manualPath = QFINDTESTDATA("../../tools/velmor-db/velmor-db.1");
        const QString manual = QString::fromUtf8(readFile(manualPath));
        QVERIFY2(!manual.isEmpty(), "velmor-db.1 not found");
        const QString help = run({ "--help" }).out;
        const QString commands = help.section("Órdenes:\n", 1).section("\n\n", 0, 0);
        QVERIFY(commands.count('\n') >= 4);
        for (const QString& line : commands.split('\n', Qt::SkipEmptyParts)) {
            const QString command = line.simplified().section(' ', 0, 0);
            if (command.startsWith('('))
                continue; // an option of the command above
            QVERIFY2(manual.contains("\n.BI " + command + " \""), qPrintable(command));
            QVERIFY2(run({ command, "--help" }).out.startsWith("Uso: velmor-db " + command),
                qPrintable(command));
        }
        QVERIFY(manual.contains('"' + run({ "--version" }).out.trimmed() + '"'));
    }

    // Enough CDs for the progress indication, through every command that moves them.
    void largeExportAndImport()
    {
        ScratchCatalog source;
        source.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                   "6000) insert into datos_cd select i, 'CD ' || i, 'ÑANDÚ', 'DESCRIPCIÓN, \"' "
                   "|| i || '\"' from n; insert into canciones (id, cancion1, cancion20) select "
                   "id, 'UNO', 'VEINTE' from datos_cd");
        const Run exported = run({ "exportar", source.path() });
        QCOMPARE(exported.code, 0);
        QVERIFY2(exported.err.endsWith("exportando: 100 %\n"), qPrintable(exported.err));
        QCOMPARE(exported.out.count("\r\n"), 6001);

        const QString csv = source.dir.filePath("copia.csv"),
                      target = source.dir.filePath("copia.mdb"),
                      again = source.dir.filePath("otra.csv");
        writeFile(csv, exported.out.toUtf8());
        QCOMPARE(run({ "crear", target }).out, "Catálogo vacío creado en " + target + ".\n");
        const Run imported = run({ "importar", target, csv });
        QCOMPARE(imported.code, 0);
        QCOMPARE(imported.out, "Importados 6000 CD en " + target + ".\n");
        QVERIFY2(imported.err.endsWith("importando: 100 %\n"), qPrintable(imported.err));
        QCOMPARE(run({ "verificar", target }).code, 0);
        QCOMPARE(run({ "exportar", target, again }).out, "Exportados 6000 CD a " + again + ".\n");
        QCOMPARE(readFile(again), exported.out.toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestTools)

#include "tst_tools.moc"
