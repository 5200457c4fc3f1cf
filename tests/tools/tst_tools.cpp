#include "accessfile.h"
#include "accessreadout.h"
#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "conversion.h"
#include "csvreader.h"
#include "progress.h"
#include "toolfixture.h"

#include "data/dataerror.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <chrono>
#include <csignal>
#include <memory>
#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmor::tool;
using namespace toolfixture;
using Rows = QList<QStringList>;

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

// A spreadsheet file holding the rows' XML in its one sheet, the header row first, or
// content.xml as given when it starts with "<?xml"; its media type as given.
QByteArray odsFile(const QByteArray& rows,
    const QByteArray& type = "application/vnd.oasis.opendocument.spreadsheet")
{
    QByteArray header = "<table:table-row>";
    for (const QString& column : csvHeader().split(','))
        header += "<table:table-cell office:value-type=\"string\"><text:p>" + column.toUtf8()
            + "</text:p></table:table-cell>";
    header += "</table:table-row>";
    const QByteArray content = rows.startsWith("<?xml") ? rows
        : "<?xml version=\"1.0\"?><office:document-content "
          "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
          "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
          "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
          "<office:spreadsheet><table:table table:name=\"Hoja1\">"
            + header + rows + "</table:table></office:spreadsheet></office:body>"
                              "</office:document-content>";
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    for (const auto& [name, bytes] : { std::pair<QString, QByteArray> { "mimetype", type },
             { "content.xml", content } }) {
        QuaZipFile entry(&zip);
        entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
        entry.write(bytes);
        entry.close();
    }
    zip.close();
    return buffer.data();
}

// A row of string cells, "" an empty cell.
QByteArray odsRow(const QStringList& cells, const QByteArray& attributes = {})
{
    QByteArray row = "<table:table-row" + attributes + ">";
    for (const QString& cell : cells) {
        row += cell.isEmpty() ? QByteArray("<table:table-cell/>")
                              : "<table:table-cell office:value-type=\"string\"><text:p>"
                + cell.toHtmlEscaped().toUtf8() + "</text:p></table:table-cell>";
    }
    return row + "</table:table-row>";
}

// The Jet sample is fetched from the npm registry before the tests; without
// network it is missing and the cases that read it cannot run.
const QString fruit = QStringLiteral(FRUIT_MDB);
#define NEEDS_FRUIT()                                                                              \
    if (!QFile::exists(fruit))                                                                     \
    QSKIP("the Jet sample fruit.mdb was not fetched")
}

class TestTools : public QObject {
    Q_OBJECT

    Progress m_quiet { nullptr, QString(), false };

private slots:
    // Keys are read in the user's locale; the C locale gives the cases one meaning.
    void init() { QLocale::setDefault(QLocale::c()); }

    void csvReader_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("records"); // fields joined by '|', records by " / "

        QTest::newRow("commas win when the first line has as many semicolons")
            << QByteArray("a,b;c\n1,2;3\n") << "a|b;c / 1|2;3";
        QTest::newRow("the first line's semicolons win over commas in the data")
            << QByteArray("a;b\n1,2,3;4\n") << "a|b / 1,2,3|4";
        QTest::newRow("last byte a CR ends the line") << QByteArray("a,b\r") << "a|b";
        QTest::newRow("blank lines passed over") << QByteArray("\n\r\na\r\n\r\n\nb") << "a / b";
        QTest::newRow("CR inside a line stays in its field")
            << QByteArray("a\rb,c\r\n") << "a\rb|c";
        QTest::newRow("CR LF split across reading blocks")
            << QByteArray(65535, 'x') + "\r\ny" << QString(65535, 'x') + " / y";
        QTest::newRow("line over the limit ends the reading")
            << "a\n" + QByteArray(300 * 1024, ',') + "\nb\n"
            << "a / error: la línea pasa de 262144 bytes; no se lee el resto del archivo";
    }

    void csvReader()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, records);
        CsvReader reader(data);
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

    // importar into a catalogue holding CD 5 with songs 1 and 20, CD 6, and the songs row of a
    // CD 8 whose datos_cd row is missing. A refused line stores nothing, not even the good
    // lines before it.
    void import_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("refused"); // "line: reason"
        QTest::addColumn<QString>("report"); // the standard output, %C the catalogue
        QTest::addColumn<QStringList>("rows"); // datos_cd rows, then canciones rows; none: as was

        const auto row
            = [](const char* name, bool replace, const QByteArray& data, const QStringList& refused,
                  const QString& report = {}, const QStringList& rows = {}) {
                  QTest::newRow(name) << replace << data << refused << report << rows;
              };
        const QStringList good = fields("7", "siete", "", "d");
        row("every refused line listed, reading going on after malformed ones", false,
            csv({ fields("9", "a", "", "\"uno\ndos\""), good, fields("", "a", "", "d"),
                    { "1\"2", "a" }, fields("5", "a", "", "d"), { "\"ab\"c", "d" },
                    fields("11", "", "", "d"), fields("7", "b", "", "d"), fields("8", "b", "", "d"),
                    fields("13", "NOUTF8", "", "d"), { "\"open", "a" } })
                .replace("NOUTF8", "\xff"),
            { "5: falta la clave", "6: comillas dentro de un campo sin comillas",
                "7: la clave 5 ya está en el catálogo",
                "8: hay texto tras las comillas que cierran un campo", "9: falta el nombre",
                "10: la clave 7 ya aparece en la línea 4", "11: la clave 8 ya está en el catálogo",
                "12: el texto no es UTF-8 válido", "13: comillas sin cerrar" });
        row("a field over the limit stops the reading", false,
            csv({ good, fields("9", QString(70000, 'x'), "", "d"), fields("", "", "", "") }),
            { "3: un campo pasa de 65536 bytes; no se lee el resto del archivo" });
        row("missing header", false, csv({ good }, false),
            { "1: la primera línea debe ser la cabecera " + csvHeader() });
        const QString header = csvHeader() + "\r\n";
        row("UTF-16 text", false,
            "\xFF\xFE"
                + QByteArray(reinterpret_cast<const char*>(header.utf16()), header.size() * 2),
            { "1: el archivo está en UTF-16, no en UTF-8: guárdelo como «CSV UTF-8» y vuelva a "
              "importarlo" });
        row("empty file", false, QByteArray(), { "1: el archivo está vacío; falta la cabecera" });
        const auto songs = [](const QString& id, const QStringList& texts = {}) {
            return (QStringList(id) + fields("", "", "", "", texts).mid(4)).join('|');
        };
        const QStringList five = QStringList { "S1" } + QStringList(18) << "S20";
        row("replacing: stored CDs replaced whole, others added", true,
            csv({ fields("5", "nuevo", "b", "otra", { "", "dos" }), good,
                fields("8", "ocho", "", "d", { "uno" }) }),
            {}, "%C: 2 cambiados, 1 añadido, 0 sin cambios.\n",
            { "5|NUEVO|B|OTRA", "6|SEIS||D", "7|SIETE||D", "8|OCHO||D", songs("5", { "", "DOS" }),
                songs("6"), songs("7"), songs("8", { "UNO" }) });
        const QStringList otherLast = QStringList { "S1" } + QStringList(18) << "OTRA";
        row("replacing: a CD stored as the line has it is left alone, one with another last song "
            "is not",
            true, csv({ fields("6", "seis", "", "d"), fields("5", "VIEJO", "A", "D", otherLast) }),
            {}, "%C: 1 cambiado, 0 añadidos, 1 sin cambios.\n",
            { "5|VIEJO|A|D", "6|SEIS||D", songs("5", otherLast), songs("6"),
                songs("8", { "HUÉRFANA" }) });
        const QByteArray key = "<table:table-cell office:value-type=\"float\" office:value=\"";
        row("spreadsheet: shown texts, exact keys, repeated empty cells passed over", false,
            odsFile("<table:table-row>" + key
                + "7\"><text:p>7,00</text:p></table:table-cell>"
                  "<table:table-cell office:value-type=\"float\" office:value=\"7\">"
                  "<text:p>007</text:p></table:table-cell><table:table-cell/>"
                  "<table:table-cell office:value-type=\"string\"><text:p>L1</text:p>"
                  "<text:p>L2<text:s text:c=\"2\"/>Y<office:annotation><text:p>NOTA"
                  "</text:p></office:annotation></text:p></table:table-cell>"
                  "<table:table-cell table:number-columns-repeated=\"1000000\"/>"
                  "</table:table-row><table:table-row table:number-rows-repeated=\"1048000\">"
                  "<table:table-cell table:number-columns-repeated=\"1024\"/>"
                  "</table:table-row>"
                + odsRow(fields("9", "nueve", "", "d"))),
            {}, "Importados 2 CD en %C.\n",
            { "5|VIEJO|A|D", "6|SEIS||D", "7|007||L1\nL2  Y", "9|NUEVE||D", songs("5", five),
                songs("6"), songs("7"), songs("8", { "HUÉRFANA" }), songs("9") });
        row("spreadsheet: a row repeated, refused once", false,
            odsFile(odsRow(fields("9", "a", "", "d"))
                + odsRow(fields("10", "a", "", "d"), " table:number-rows-repeated=\"3\"")
                + odsRow(fields("", "a", "", "d"))),
            { "3: la fila se repite 3 veces, y su clave con ella", "6: falta la clave" });
        row("spreadsheet: a cell repeated past the limit stops the reading", false,
            odsFile(odsRow(fields("9", "a", "", "d"))
                + "<table:table-row><table:table-cell table:number-columns-repeated=\"1000000\" "
                  "office:value-type=\"string\"><text:p>X</text:p></table:table-cell>"
                  "</table:table-row>"
                + odsRow(fields("", "a", "", "d"))),
            { "3: la fila 3 tiene datos en más de 1024 celdas" });
        row("spreadsheet: a cell over the limit stops the reading", false,
            odsFile(odsRow(fields("9", QString(70000, 'x'), "", "d"))),
            { "2: la celda de la fila 2, columna 2, tiene más de 65536 caracteres" });
        row("spreadsheet: entities refused", false,
            odsFile("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]><x>&a;</x>"),
            { "1: el contenido de la hoja declara entidades, que una hoja ODS no lleva" });
        row("spreadsheet: a text document refused", false,
            odsFile(odsRow(good), "application/vnd.oasis.opendocument.text"),
            { "1: no es una hoja de cálculo ODS sino un documento de tipo "
              "«application/vnd.oasis.opendocument.text»" });
        row("replacing: one bad line stores nothing", true,
            csv({ fields("5", "nuevo", "", "d"), good, fields("9", "", "", "d") }),
            { "4: falta el nombre" });
        row("replacing: key given twice refused", true,
            csv({ fields("5", "nuevo", "", "d"), fields("5", "otro", "", "d") }),
            { "3: la clave 5 ya aparece en la línea 2" });
    }

    void import()
    {
        QFETCH(bool, replace);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, refused);
        QFETCH(QString, report);
        QFETCH(QStringList, rows);

        ScratchCatalog catalog;
        catalog.addCd(5, QStringList { "VIEJO", "A", "D", "S1" } + QStringList(18) << "S20");
        catalog.addCd(6, { "SEIS", "", "D" });
        catalog.sql("insert into canciones (id, cancion1) values (8, 'HUÉRFANA')");
        const QString all
            = "select * from datos_cd order by id; select * from canciones order by id";
        const QStringList before = catalog.sql(all);

        writeFile(catalog.file("datos"), data);
        QStringList arguments { "importar", catalog.path(), catalog.file("datos") };
        if (replace)
            arguments.insert(1, "--reemplazar");
        const Run result = run(arguments);
        static const QRegularExpression line(
            "^  (?:línea|fila) (\\d+: .*)$", QRegularExpression::MultilineOption);
        QStringList listed;
        for (const QRegularExpressionMatch& match : line.globalMatch(result.err))
            listed << match.captured(1);
        QCOMPARE(listed, refused);
        QCOMPARE(result.code, refused.isEmpty() ? 0 : 1);
        QCOMPARE(result.out, QString(report).replace("%C", catalog.path()));
        QCOMPARE(catalog.sql(all), rows.isEmpty() ? before : rows);
    }

    // An insert the engine refuses half-way undoes the ones before it.
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
        QTest::addColumn<int>("limitMs"); // the time the check may take; -1: its own

        const auto row = [](const char* name, const QString& sql, const QStringList& problems,
                             const QByteArray& content = QByteArray(), int limitMs = -1) {
            QTest::newRow(name) << sql << content << problems << limitMs;
        };
        row("songs row without its CD", "delete from datos_cd where id = 1",
            { "1 filas de canciones no tienen fila en datos_cd (claves 1)" });
        row("null text",
            "drop table datos_cd; create table datos_cd (id integer primary key, nombre text, "
            "artista text, descripcion text); insert into datos_cd values (1, 'A', null, 'D'), "
            "(2, null, null, 'D'), (3, 'C', '', 'D')",
            { "datos_cd.nombre tiene 1 valores nulos (claves 2)",
                "datos_cd.artista tiene 2 valores nulos (claves 1, 2)" });
        row("missing column", "alter table canciones drop column cancion7",
            { "a la tabla canciones le falta la columna cancion7" });
        row("columns out of order",
            "drop table datos_cd; create table datos_cd (id integer primary key, artista text, "
            "nombre text, descripcion text); insert into datos_cd select id, '', 'N', 'D' from "
            "canciones",
            { "las columnas de la tabla datos_cd no son las esperadas o no están en orden: id, "
              "artista, nombre, descripcion" });
        row("missing table", "drop table canciones", { "falta la tabla canciones" });
        row("repeated keys",
            "create table c2 as select * from canciones; drop table canciones; alter table c2 "
            "rename to canciones; insert into canciones select * from canciones where id > 1",
            { "la tabla canciones repite 2 claves: 2, 3" });

        // Declarations the program serves, and those it cannot.
        const auto redeclared = [](const QString& columns, const QString& copied = "*") {
            return "create table t as select * from datos_cd; drop table datos_cd; create table "
                   "datos_cd ("
                + columns + "; insert into datos_cd select " + copied + " from t; drop table t";
        };
        const QString rest = ", nombre text, artista text, descripcion text)";
        for (const QString key : { "id integer", "id int primary key", "id numeric",
                 "id integer primary key desc", "id" })
            QTest::addRow("key declared %s", qPrintable(key))
                << redeclared(key + rest) << QByteArray() << QStringList() << -1;
        row("column names in another letter case",
            "alter table datos_cd rename column nombre to NOMBRE; alter table canciones rename "
            "column cancion3 to Cancion3",
            {});
        row("without rowid", redeclared("id integer primary key" + rest + " without rowid"), {});
        row("whole keys stored as real numbers",
            redeclared("id" + rest) + "; update datos_cd set id = id + 0.0", {});
        row("no column types", redeclared("id, nombre, artista, descripcion)"), {});
        row("text key", redeclared("id text" + rest),
            { "la clave datos_cd.id se declara como texto (TEXT); debe ser numérica o sin tipo",
                "datos_cd tiene 3 claves que no son números enteros: '1', '2', '3'" });
        row("number column for a text",
            redeclared("id integer primary key, nombre integer, artista text, descripcion text)"),
            { "la columna datos_cd.nombre se declara numérica (INTEGER): guardaría como número un "
              "texto como «007»" });
        row("generated column",
            redeclared("id integer primary key, nombre text, artista text, descripcion text as "
                       "(nombre || 'x'))",
                "id, nombre, artista"),
            { "la columna datos_cd.descripcion es calculada; el programa no puede escribir en "
              "ella" });
        row("view in place of a table",
            "create table t as select * from datos_cd; drop table datos_cd; create view datos_cd "
            "as select * from t",
            { "datos_cd es una vista, no una tabla; el programa no escribe en vistas" });

        // Values of the wrong kind, and indexes other tools cannot keep in order.
        row("keys that are not whole numbers",
            redeclared("id" + rest)
                + "; update datos_cd set id = 'dos' where id = 2; update datos_cd set id = 3.5 "
                  "where id = 3",
            { "datos_cd tiene 2 claves que no son números enteros: 3.5, 'dos'",
                "2 filas de datos_cd no tienen fila en canciones (claves 3.5, dos)",
                "2 filas de canciones no tienen fila en datos_cd (claves 2, 3)" });
        row("binary values in text columns",
            "update datos_cd set nombre = x'00ff' where id = 1; update canciones set cancion3 = "
            "zeroblob(2) where id = 2",
            { "datos_cd.nombre tiene 1 valores que no son texto (claves 1)",
                "canciones.cancion3 tiene 1 valores que no son texto (claves 2)" });
        row("case-insensitive text index",
            "create index por_nombre on datos_cd(nombre); create index por_artista on "
            "datos_cd(artista collate binary); create index por_clave on canciones(id)",
            { "el índice por_nombre de datos_cd ordena nombre sin distinguir mayúsculas (NOCASE), "
              "orden que otros programas calculan distinto: queda desordenado; bórrelo o créelo "
              "con COLLATE BINARY" });

        // Code stored in the file that the integrity check would run on every row is named and
        // left unevaluated; a check that takes too long stops.
        const QString evaluated = "que la verificación tendría que evaluar en cada fila";
        row("expression index rewritten to build huge texts",
            "create index e on datos_cd(length(nombre)); pragma writable_schema = 1; update "
            "sqlite_schema set sql = 'CREATE INDEX e ON "
            "datos_cd(length(substr(printf(''%.20000000c'', "
            "nombre), 1, length(nombre))))' where name = 'e'",
            { "el índice e de datos_cd se calcula con una expresión, " + evaluated
                + "; el programa no crea índices así: bórrelo (DROP INDEX) y vuelva a verificar" });
        row("index with a condition",
            "create index p on canciones(cancion1 collate binary) where cancion2 <> ''",
            { "el índice p de canciones lleva una condición (WHERE), " + evaluated
                + "; el programa no crea índices así: bórrelo (DROP INDEX) y vuelva a verificar" });
        row("CHECK constraint",
            redeclared("id integer primary key, nombre text check (length(nombre) < 31), artista "
                       "text, descripcion text)"),
            { "una condición CHECK de la tabla datos_cd puede impedir que se guarde un CD: "
              "quítela" });
        row("check out of time",
            "with recursive n(i) as (select 4 union all select i + 1 from n where i < 3000) insert "
            "into datos_cd select i, 'N', '', 'D' from n",
            { "la verificación pasó de 0 s y se ha detenido: algo en el archivo la hace demasiado "
              "lenta" },
            QByteArray(), 0);
        // Values and keys the form would not save, and objects that make a save fail.
        row("texts the rules refuse; an earlier upper case is sound",
            "update datos_cd set nombre = 'GROSSE STRASSE DER WEISSEN FLÖSSEN' where id = 1; "
            "update datos_cd set nombre = printf('%.31c', 'N') where id = 2; update datos_cd set "
            "descripcion = 'a' || char(13) || 'b' where id in (2, 3); update datos_cd set "
            "nombre = '' where id = 3; update datos_cd set "
            "artista = cast(x'ff' as text) where id = 3; update canciones set cancion20 = "
            "printf('%.999999c', 'x') where id = 1",
            { "datos_cd.nombre tiene 2 valores que el programa no guardaría (clave 2: tiene 31 "
              "caracteres (máximo 30); clave 3: está vacío)",
                "datos_cd.artista tiene 1 valores que el programa no guardaría (clave 3: no es "
                "texto UTF-8 válido)",
                "datos_cd.descripcion tiene 2 valores que el programa no guardaría (clave 2: "
                "tiene un carácter de control (U+000D); clave 3: tiene un carácter de control "
                "(U+000D))",
                "canciones.cancion20 tiene 1 valores que el programa no guardaría (clave 1: "
                "tiene 999999 caracteres (máximo 30))" });
        row("keys beyond a double's whole numbers",
            "insert into datos_cd values (9007199254740993, 'N', '', 'D'), (-9007199254740992, "
            "'N', '', 'D'); insert into canciones (id) values (9007199254740993), "
            "(-9007199254740992)",
            { "datos_cd tiene 1 claves fuera de las que el programa maneja exactas (de "
              "-9007199254740992 a 9007199254740992): 9007199254740993",
                "canciones tiene 1 claves fuera de las que el programa maneja exactas (de "
                "-9007199254740992 a 9007199254740992): 9007199254740993" });
        const QString acts = " escribe o da un error al añadir o eliminar un CD, y el programa no "
                             "puede asegurar que se guarde: bórrelo";
        row("triggers, unique indexes",
            "create table otra (x); create trigger escribe after insert on datos_cd begin insert "
            "into otra values (new.id); end; create trigger \"avisa\" before delete on "
            "canciones begin select raise(abort, 'bloqueado por disparador'); end; create "
            "trigger solo_lee before insert on canciones begin select 'raise(abort)'; end; "
            "create trigger al_cambiar before update on datos_cd begin select raise(abort, "
            "'x'); end; create unique index artistas on datos_cd(artista collate binary) where "
            "artista <> ''; create unique index claves on canciones(id, cancion1 collate binary)",
            { "el índice artistas de datos_cd lleva una condición (WHERE), que la verificación "
              "tendría que evaluar en cada fila; el programa no crea índices así: bórrelo (DROP "
              "INDEX) y vuelva a verificar",
                "el disparador «escribe» de la tabla datos_cd" + acts,
                "el disparador «avisa» de la tabla canciones" + acts,
                "el índice único «artistas» de la tabla datos_cd (artista) impide guardar dos CDs "
                "con el mismo valor: bórrelo" });
        row("CHECK conditions, unknown collations",
            redeclared("id integer primary key, nombre text, artista text constraint corto check "
                       "(length(artista) < 26), descripcion text check (descripcion <> ''))")
                + "; create index por_artista on datos_cd(artista collate rtrim); pragma "
                  "writable_schema = 1; update sqlite_schema set sql = replace(sql, 'rtrim', "
                  "'Espanol') where name = 'por_artista'",
            { "el índice «por_artista» de la tabla datos_cd usa la ordenación «Espanol», que el "
                "programa no tiene: no puede guardar ni buscar con ella; cámbiela por NOCASE o "
                "BINARY",
                "la condición CHECK «corto» de la tabla datos_cd puede impedir que se guarde un "
                "CD: quítela",
                "una condición CHECK de la tabla datos_cd puede impedir que se guarde un CD: "
                "quítela" });

        // A file that cannot be read gives its one reason, and nothing else is examined.
        row("missing file", QString(), { "No se encuentra el archivo del catálogo «%C»." }, "-");
        row("header and nothing else", QString(),
            { "El archivo «%C» no es una base de datos de catálogo válida." },
            QByteArray("SQLite format 3\0", 16) + QByteArray(200, 'x'));
        row("Access file", QString(),
            { "El archivo «%C» es una base de datos de Access (Jet), no un catálogo de este "
              "programa. Conviértalo con la orden: velmor-db convertir «%C» NUEVO.mdb" },
            QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(200, '\0'));
    }

    void check()
    {
        QFETCH(QString, sql);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, problems);
        QFETCH(int, limitMs);

        ScratchCatalog catalog;
        catalog.addCd(1, { "N", "", "D" });
        catalog.addCd(2, { "N", "", "D" });
        // What one CSV or the other must quote.
        catalog.addCd(3, { "N", "A; B", "\"COMILLAS\"\r\nOTRA\nÚLTIMA", "UNO, DOS" });
        catalog.sql(sql);
        if (content == "-")
            QFile::remove(catalog.path());
        else if (!content.isNull())
            writeFile(catalog.path(), content);
        const QByteArray before = readFile(catalog.path());

        const CheckReport report = limitMs < 0 ? velmor::tool::checkCatalog(catalog.path())
                                               : velmor::tool::checkCatalog(catalog.path(), nullptr,
                                                   std::chrono::milliseconds(limitMs));
        QCOMPARE(report.problems, problems.replaceInStrings("%C", catalog.path()));
        using O = CheckReport::Outcome;
        QCOMPARE(report.outcome,
            !content.isNull() ? O::Unreadable : (problems.isEmpty() ? O::Sound : O::Problems));
        QCOMPARE(readFile(catalog.path()), before); // examined, never changed or created
        QCOMPARE(QFile::exists(catalog.path()), content != "-");
        if (report.outcome != O::Sound)
            return;
        // What verificar passes comes back from both backups, in the users' locale.
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        for (const ExportForm form : { ExportForm::Plain, ExportForm::Spreadsheet }) {
            QBuffer exported, again;
            exported.open(QIODevice::WriteOnly);
            again.open(QIODevice::WriteOnly);
            exportCatalog(catalog.path(), exported, m_quiet, form);
            QVERIFY(form == ExportForm::Plain
                || exported.data().startsWith("\xEF\xBB\xBF" + csvHeader(';').toUtf8() + "\r\n"));
            ScratchCatalog copy;
            const ImportResult imported = importCatalog(copy.path(), exported.data(), m_quiet);
            exportCatalog(copy.path(), again, m_quiet, form);
            QCOMPARE(imported.refused.size(), 0);
            QCOMPARE(again.data(), exported.data());
        }
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
        const QString notWhole = ": la clave no es un número entero";
        QTest::newRow("keys that are not whole numbers left out")
            << Rows { { "1.5", "A", "", "D" }, { "x", "C", "", "D" } } << Rows { { "1.5", "S" } }
            << QStringList()
            << QStringList { "canciones, fila 1 (clave «1.5»)" + notWhole,
                   "datos_cd, fila 1 (clave «1.5»)" + notWhole,
                   "datos_cd, fila 2 (clave «x»)" + notWhole };
        QTest::newRow("texts the rules refuse and keys beyond a double's left out")
            << Rows { { "4", "N", "", "línea\rsola" }, { "5", QString(31, 'N'), "", "D" },
                   { "6", "N", "", "D" }, { "9007199254740993", "N", "", "D" } }
            << Rows { { "6", "a\tb" }, { "9007199254740993", "S" } } << QStringList()
            << QStringList { "canciones, fila 2 (clave «9007199254740993»): la clave está fuera "
                             "de las que el programa maneja exactas (de -9007199254740992 a "
                             "9007199254740992)",
                   "datos_cd, fila 1 (clave «4»): la descripción tiene un carácter de control "
                   "(U+000D)",
                   "datos_cd, fila 2 (clave «5»): el nombre tiene 31 caracteres (máximo 30)",
                   "datos_cd, fila 3 (clave «6»): la canción 1 tiene un carácter de control "
                   "(U+0009)",
                   "datos_cd, fila 4 (clave «9007199254740993»): la clave está fuera de las que "
                   "el programa maneja exactas (de -9007199254740992 a 9007199254740992)" };
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
        NEEDS_FRUIT();
        const AccessFile access(fruit);
        const QStringList tables
            = run({ "-1", fruit }, "mdb-tables").out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(access.tableNames(), tables);
        QVERIFY(tables.size() >= 2);
        for (const QString& table : tables) {
            CsvReader reader(run({ fruit, table }, "mdb-export").out.toUtf8());
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
        NEEDS_FRUIT();
        // Jet 4 stores these names as compressed Unicode, one byte per letter, so a
        // Latin-1 letter can be put in place of an ASCII one without moving anything.
        const QByteArray name("\xFF\xFE"); // the mark that starts a compressed text
        QByteArray bytes = readFile(fruit);
        QVERIFY(bytes.contains(name + "Apricot") && bytes.contains(name + "Banana"));
        ScratchCatalog scratch;
        writeFile(scratch.file("acentos.mdb"),
            bytes.replace(name + "Apricot", name + "Apric\363t")
                .replace(name + "Banana", name + "Ba\361ana"));
        qputenv("MDBICONV", "ISO-8859-1");
        QStringList read;
        AccessFile(scratch.file("acentos.mdb"))
            .readRows("dried", { "FRUIT" }, [&read](const QStringList& row) { read << row[0]; });
        QVERIFY2(read.contains("Apricót") && read.contains("Bañana"), qPrintable(read.join(',')));
    }

    // Damaged Access files: the library that reads them may crash, loop, wait for ever or
    // take memory without end, but the read always ends, within its limits, in a message
    // naming the file.
    void damagedAccessFile_data()
    {
        QTest::addColumn<qint64>("size"); // bytes of the sample kept; -1: all, -2: a FIFO
        QTest::addColumn<qint64>("offset"); // where the bytes are overwritten, -1: nowhere
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("memory"); // what the reading may take; 0: its own limit
        QTest::addColumn<QString>("reason"); // why the reading stopped; "": any

        for (const qint64 size : { 0, 100, 2048, 4096, 8192, 12288, 20000, 65536, 300001 })
            QTest::addRow("cut to %lld bytes", size)
                << size << qint64(-1) << QByteArray() << 0LL << "";
        // Page pointers and usage maps of the first table definitions, and page
        // headers, pointed out of the file or to page 0.
        for (const qint64 page : { 2, 3, 4, 16 }) {
            for (const qint64 at : { 4, 8, 0x37, 0x3b, 0x3f }) {
                QTest::addRow("page %lld at %lld out of the file", page, at)
                    << qint64(-1) << page * 4096 + at << QByteArray("\xff\xff\xff\xff", 4) << 0LL
                    << "";
                QTest::addRow("page %lld at %lld to page 0", page, at)
                    << qint64(-1) << page * 4096 + at << QByteArray(4, '\0') << 0LL << "";
            }
        }
        const QString silent = "la lectura no avanzó en 1 s";
        QTest::newRow("FIFO nobody writes")
            << qint64(-2) << qint64(-1) << QByteArray() << 0LL << silent;
        QTest::newRow("page 69 damaged")
            << qint64(-1) << qint64(286615) << QByteArray("\x11\0\0\0", 4) << 0LL << silent;
        QTest::newRow("page 51 damaged")
            << qint64(-1) << qint64(211846) << QByteArray("\x69\0\0\0", 4) << 0LL << silent;
        // A property's length damaged: the library takes memory until it is stopped.
        QTest::newRow("property length damaged, more memory taken than allowed")
            << qint64(-1) << qint64(14 * 4096 + 524) << QByteArray("\xff\xff\xff\x0f", 4)
            << (32LL << 20) << "la biblioteca que lo lee ";
    }

    void damagedAccessFile()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, memory);
        QFETCH(QString, reason);

        QTemporaryDir dir;
        const QString path = dir.filePath("danado.mdb");
        QByteArray damaged;
        if (size == -2) {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            NEEDS_FRUIT();
            damaged = readFile(fruit);
            if (offset >= 0)
                damaged.replace(offset, bytes.size(), bytes);
            writeFile(path, damaged = size < 0 ? damaged : damaged.left(size));
        }
        ReadoutLimits limits;
        limits.silentSeconds = 1;
        // Stopped by the memory limit, which a busy machine reaches later. The reading process
        // inherits this program's crash handler: by hand, run with QTEST_DISABLE_STACK_DUMP=1.
        if (memory > 0) {
            limits.memoryBytes = memory;
            limits.silentSeconds = 5;
        }
        try {
            readAccessCatalog(path, m_quiet, limits);
            QFAIL("a damaged file was read as sound");
        } catch (const velmor::DataError& error) {
            QVERIFY2(error.description.contains(path), qPrintable(error.description));
            QVERIFY2(reason.isEmpty()
                    || (error.description.startsWith(
                            "No se pudo leer el archivo de Access/Jet " + path + ": " + reason)
                        && error.description.endsWith(
                            ". El archivo debe de estar dañado; no se ha modificado.")),
                qPrintable(error.description));
        }
        if (size != -2)
            QCOMPARE(readFile(path), damaged);
    }

    // The command line.

    void commandLine_data()
    {
        // %C sound catalogue, %D damaged one, %K a sound copy, %H a copy cut short, %V a
        // refused CSV, %E an existing file that is no catalogue, %F Access file, %N a new path,
        // %L a link to a missing file, %U the user's catalogue (missing)
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out"); // a part of each output, or "" for none at all
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("hold"); // what another program holds on the catalogue

        using A = QStringList;
        const auto row = [](const char* name, const A& arguments, int code, const QString& out,
                             const QString& err, const QByteArray& hold = {}) {
            QTest::newRow(name) << arguments << code << out << err << hold;
        };
        // Ordered by number; a CD without its songs row gets empty songs.
        const QString damagedCsv = csvHeader() + "\r\n9,NUEVE\x01,,D" + QString(20, ',')
            + "\r\n10,DIEZ,,D,S1" + QString(19, ',') + "\r\n";
        row("no command", {}, 2, "", "Uso: velmor-db ORDEN");
        row("unknown command", { "borrar" }, 2, "", "velmor-db: orden desconocida «borrar».");
        row("unknown option", { "exportar", "--hja", "%C" }, 2, "",
            "Uso: velmor-db exportar RUTA [ARCHIVO.csv]");
        row("a name after -- is no option", { "exportar", "--", "--hoja" }, 2, "",
            "velmor-db: No se encuentra el archivo del catálogo «--hoja».");
        row("crear over an existing file", { "crear", "%C" }, 2, "", "ya existe");
        row("verificar names the file on every line", { "verificar", "%D" }, 1,
            "%D: PROBLEMA: 1 filas de datos_cd no tienen fila en canciones (claves 9)\n%D: Cada "
            "fila de canciones tiene su fila en datos_cd\n%D: 2 problema(s) encontrado(s).\n",
            "");
        // Another program holding the catalogue makes it in use, never damaged.
        const QByteArray exclusive = "pragma locking_mode = exclusive; begin exclusive";
        row("verificar in use", { "verificar", "%C" }, 2, "",
            "velmor-db: El catálogo «%C» está en uso por otro programa", exclusive);
        row("exportar to a dash", { "exportar", "%D", "-" }, 0, damagedCsv, "");
        row("exportar a control character to a spreadsheet", { "exportar", "%D", "%N.ods" }, 2, "",
            "velmor-db: No se ha escrito «%N.ods»: el CD de clave 9: la columna «nombre» tiene un "
            "carácter (U+0001) que una hoja de cálculo no puede guardar. El CSV guarda cualquier "
            "texto.\n");
        row("exportar over an existing file", { "exportar", "%C", "%V" }, 2, "",
            "ya existe; no se sobrescribe");
        row("exportar through a link to a missing file", { "exportar", "%C", "%L" }, 2, "",
            "velmor-db: «%L» es un enlace a «");
        row("importar refused", { "importar", "%C", "%V" }, 1, "",
            "velmor-db: No se ha importado nada de %V: 1 línea rechazada.\n  línea 2: falta la "
            "clave");
        row("importar an endless line", { "importar", "%C", "/dev/zero" }, 1, "",
            "línea 1: un campo pasa de 65536 bytes; no se lee el resto del archivo");
        row("importar a missing CSV", { "importar", "%C", "%N" }, 2, "", "No se puede leer");
        row("respaldar over an existing file", { "respaldar", "%C", "%E" }, 2, "",
            "El archivo «%E» ya existe; no se sobrescribe.");
        row("respaldar into a missing folder", { "respaldar", "%C", "%N/copia.mdb" }, 2, "",
            "velmor-db: No se puede escribir «%N/copia.mdb»: la carpeta «%N» no existe.\n");
        row("respaldar a missing catalogue", { "respaldar", "%N", "%N.mdb" }, 2, "",
            "No se encuentra el archivo del catálogo «%N».");
        row("respaldar a file that is no catalogue", { "respaldar", "%E", "%N" }, 2, "",
            "no es una base de datos de catálogo válida");
        // A copy that does not pass the check, or a catalogue in use, leaves everything as it was.
        row("restaurar a copy with problems", { "restaurar", "%D", "%C" }, 1,
            "PROBLEMA: 1 filas de datos_cd no tienen fila en canciones (claves 9)", "");
        row("restaurar a copy cut short", { "restaurar", "%H", "%C" }, 1, "PROBLEMA: ", "");
        row("restaurar a file that is no catalogue", { "restaurar", "%E", "%C" }, 2, "",
            "no es una base de datos de catálogo válida");
        row("restaurar over a file that is no catalogue", { "restaurar", "%K", "%E" }, 2, "",
            "velmor-db: «%E» no es un catálogo");
        row("restaurar over a catalogue being written", { "restaurar", "%K", "%C" }, 2, "",
            "El catálogo «%C» está en uso por otro programa", "begin immediate");
        row("restaurar over a catalogue being read", { "restaurar", "%K", "%C" }, 2, "",
            "El catálogo «%C» está en uso por otro programa",
            "begin; select count(*) from datos_cd");
        row("informe over an existing file", { "informe", "%C", "%E.pdf" }, 2, "",
            "El archivo «%E.pdf» ya existe");
        row("informe through a link to a missing file", { "informe", "%C", "%L" }, 2, "",
            "velmor-db: «%L» es un enlace a «");
        row("informe of an unknown kind", { "informe", "%C", "%N.txt" }, 2, "",
            "debe terminar en .pdf o .html");
        row("convertir without catalogue tables", { "convertir", "%F", "%N" }, 2, "",
            "La base de datos %F no tiene la tabla datos_cd.");
        row("convertir over an existing file", { "convertir", "%F", "%C" }, 2, "",
            "El archivo %C ya existe; no se sobrescribe.");
        row("convertir a file that is not Access/Jet", { "convertir", "%C", "%N" }, 2, "",
            "El archivo %C no es una base de datos de Access/Jet.");
        row("--catalogo=RUTA in the place of the command's catalogue",
            { "restaurar", "--catalogo=%E", "%K" }, 2, "", "«%E» no es un catálogo, y restaurar");
        row("--catalogo=RUTA before the command and its option",
            { "--catalogo=%D", "exportar", "--hoja" }, 0,
            csvHeader(';') + "\r\n9;NUEVE\x01;;D" + QString(20, ';') + "\r\n10;DIEZ;;D;S1;", "");
        row("--catalogo alone is the user's catalogue", { "verificar", "--catalogo" }, 2, "",
            "No se encuentra el archivo del catálogo «%U»");
        row("--catalogo twice", { "verificar", "--catalogo", "--catalogo=%C" }, 2, "",
            "--catalogo va una sola vez");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QByteArray, hold);
        if (arguments.contains("%F"))
            NEEDS_FRUIT();

        ScratchCatalog sound, damaged;
        sound.addCd(1, { "UNO", "", "D" });
        damaged.addCd(10, { "DIEZ", "", "D", "S1" });
        damaged.sql("insert into datos_cd values (9, 'NUEVE' || char(1), '', 'D')");
        writeFile(damaged.path() + ".anterior", "guardado");
        velmor::CatalogFile::create(sound.file("copia.mdb"));
        Db(sound.file("copia.mdb"))
            .sql("insert into datos_cd values (7, 'SIETE', 'Ñ', 'D');"
                 "insert into canciones (id, cancion1) values (7, 'S')");
        const QByteArray whole = readFile(sound.path());
        writeFile(sound.file("mitad.mdb"), whole.left(whole.size() / 2));
        writeFile(sound.file("malo.csv"), (csvHeader() + '\n' + QString(23, ',') + '\n').toUtf8());
        writeFile(sound.file("existe"), "no es un catálogo");
        writeFile(sound.file("existe.pdf"), "tampoco");
        QFile::link(sound.file("falta.html"), sound.file("roto.html"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(sound.file("datos")));
        const QStringList names { "%C", "%D", "%K", "%H", "%V", "%E", "%F", "%N", "%L", "%U" };
        const QStringList files { sound.path(), damaged.path(), sound.file("copia.mdb"),
            sound.file("mitad.mdb"), sound.file("malo.csv"), sound.file("existe"), fruit,
            sound.file("nuevo"), sound.file("roto.html"), sound.file("datos/velmor/velmor.mdb") };
        const auto place = [&](QString text) {
            for (qsizetype i = 0; i < names.size(); ++i)
                text.replace(names[i], files[i]);
            return text;
        };
        for (QString& argument : arguments)
            argument = place(argument);
        QList<QByteArray> before;
        for (const QString& file : files)
            before << readFile(file);
        const QStringList entries = sound.entries();
        std::unique_ptr<Db> holder;
        if (!hold.isEmpty())
            (holder = std::make_unique<Db>(sound.path()))->sql(hold);

        const Run result = run(arguments);
        QCOMPARE(result.code, code);
        QVERIFY2(out.isEmpty() ? result.out.isEmpty() : result.out.contains(place(out)),
            qPrintable(result.out));
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.contains(place(err)),
            qPrintable(result.err));
        // None of these commands changes a file it is given; a refused one creates none.
        for (qsizetype i = 0; i < files.size(); ++i)
            QVERIFY2(readFile(files[i]) == before[i], qPrintable(files[i]));
        QCOMPARE(sound.entries(), entries);
    }

    // The user's catalogue is where the launcher keeps it: under $XDG_DATA_HOME when that
    // is an absolute path, else under ~/.local/share.
    void userCatalogue_data()
    {
        QTest::addColumn<QByteArray>("setting"); // of XDG_DATA_HOME, null for none
        QTest::addColumn<QString>("folder"); // %H the home folder

        QTest::newRow("absolute") << QByteArray("%H/datos") << "%H/datos";
        QTest::newRow("relative") << QByteArray("datos") << "%H/.local/share";
        QTest::newRow("empty") << QByteArray("") << "%H/.local/share";
        QTest::newRow("none") << QByteArray() << "%H/.local/share";
    }

    void userCatalogue()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, folder);

        QTemporaryDir home;
        const QByteArray wasHome = qgetenv("HOME"), wasData = qgetenv("XDG_DATA_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", wasHome);
            qputenv("XDG_DATA_HOME", wasData);
        });
        qputenv("HOME", QFile::encodeName(home.path()));
        if (setting.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", setting.replace("%H", QFile::encodeName(home.path())));

        const Run result = run({ "--help" });
        QCOMPARE(result.code, 0);
        const QString expected = folder.replace("%H", home.path()) + "/velmor/velmor.mdb";
        QVERIFY2(result.out.contains("Su catálogo es\n  " + expected + "\n"), qPrintable(result.out));
    }

    // A write killed before its commit leaves a hot journal; every command rolls it
    // back and sees the catalogue as it was.
    void interruptedWrite_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %C the catalogue, %V a CSV with CD 2
        QTest::addColumn<QString>("out"); // a part of standard output
        QTest::addColumn<QStringList>("keys"); // stored afterwards

        QTest::newRow("verificar") << QStringList { "verificar", "%C" }
                                   << "el catálogo está en buen estado." << QStringList { "1" };
        QTest::newRow("importar") << QStringList { "importar", "%C", "%V" } << "Importados 1 CD"
                                  << QStringList { "1", "2" };
    }

    void interruptedWrite()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QStringList, keys);

        ScratchCatalog catalog;
        catalog.addCd(1, { "UNO", "", "D" });
        writeFile(catalog.file("nuevo.csv"), csv({ fields("2", "dos", "", "d") }));
        arguments.replaceInStrings("%C", catalog.path())
            .replaceInStrings("%V", catalog.file("nuevo.csv"));
        QVERIFY(killedRun([&] {
            // A tiny page cache makes the engine write pages before the commit.
            Db db(catalog.path());
            db.exec("pragma cache_size = 2; begin; with recursive n(i) as (select 10 union all "
                    "select i + 1 from n where i < 5000) insert into datos_cd select i, "
                    "printf('%.200c', 'X'), '', 'D' from n");
            raise(SIGKILL);
        }));
        QVERIFY(QFileInfo(catalog.path() + "-journal").size() > 0);

        const Run result = run(arguments);
        QCOMPARE(result.code, 0);
        QVERIFY2(result.out.contains(out), qPrintable(result.out + result.err));
        QVERIFY(!QFileInfo::exists(catalog.path() + "-journal"));
        QCOMPARE(catalog.sql("select id from datos_cd order by id"), keys);
        QCOMPARE(catalog.sql("pragma integrity_check"), QStringList { "ok" });
    }

    // The help and the manual page tell the same: every command, and the version.
    void manualPage()
    {
        const QString manual
            = QString::fromUtf8(readFile(QFINDTESTDATA("../../tools/velmor-db/velmor-db.1")));
        QVERIFY2(!manual.isEmpty(), "velmor-db.1 not found");
        const Run help = run({ "--help" }), version = run({ "--version" });
        QCOMPARE(help.code, 0);
        QCOMPARE(version.code, 0);
        const QString commands = help.out.section("Órdenes:\n", 1).section("\n\n", 0, 0);
        QVERIFY(commands.count('\n') >= 4);
        for (const QString& line : commands.split('\n', Qt::SkipEmptyParts)) {
            const QString command = line.simplified().section(' ', 0, 0);
            if (command.startsWith('('))
                continue; // an option of the command above
            QVERIFY2(manual.contains("\n.BI " + command + " \""), qPrintable(command));
            QVERIFY2(run({ command, "--help" }).out.startsWith("Uso: velmor-db " + command),
                qPrintable(command));
        }
        QVERIFY(manual.contains('"' + version.out.trimmed() + '"'));
    }
};

QTEST_GUILESS_MAIN(TestTools)

#include "tst_tools.moc"
