#include "catalogbackup.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "progress.h"
#include "toolfixture.h"

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>

using namespace velmor::tool;
using namespace toolfixture;

namespace {
// A second program's connection to a catalogue, holding what a test tells it to.
class OtherProgram {
public:
    explicit OtherProgram(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~OtherProgram() { sqlite3_close_v2(m_db); }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;

    QStringList sql(const QString& statements) { return sqlRows(m_db, statements); }
    int exec(const char* statement)
    {
        return sqlite3_exec(m_db, statement, nullptr, nullptr, nullptr);
    }

private:
    sqlite3* m_db = nullptr;
};

// A canciones row as the catalogue returns it: the key, then 20 songs.
QString songsRow(const QString& id, const QStringList& songs = {})
{
    QStringList columns { id };
    for (int i = 0; i < songCount; ++i)
        columns << songs.value(i);
    return columns.join('|');
}

QStringList keys(const QString& path)
{
    QStringList out;
    for (const QString& row : allRows(path))
        out << row.section('|', 0, 1);
    return out;
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// The text of a report as a reader sees it, whichever its format.
QString reportText(const QString& path)
{
    if (path.endsWith(".pdf")) {
        QProcess process;
        process.start("pdftotext", { "-layout", path, "-" });
        return finished(process).out;
    }
    QTextDocument html;
    html.setHtml(QString::fromUtf8(readFile(path)));
    return html.toPlainText();
}
}

class TestNewCommands : public QObject {
    Q_OBJECT

    Progress m_quiet { nullptr, QString(), false };

private slots:
    // respaldar.

    void backupWhileAnotherProgramWrites_data()
    {
        QTest::addColumn<QByteArray>("begin");
        QTest::addColumn<int>("commitAfterMs"); // -1: only once the copy is done
        QTest::addColumn<QStringList>("copied");

        const QStringList three { "datos_cd|1", "datos_cd|2", "datos_cd|3", "canciones|1",
            "canciones|2", "canciones|3" };
        // A write transaction that has not committed leaves the file as it was:
        // the copy goes ahead with what was committed.
        QTest::newRow("uncommitted rows left out") << QByteArray("begin immediate") << -1 << three;
        // A writer that holds the file exclusively, as at its commit, is waited for.
        QTest::newRow("exclusive writer waited for")
            << QByteArray("begin exclusive") << 1500
            << QStringList { "datos_cd|1", "datos_cd|2", "datos_cd|3", "datos_cd|4", "canciones|1",
                   "canciones|2", "canciones|3", "canciones|4" };
    }

    void backupWhileAnotherProgramWrites()
    {
        QFETCH(QByteArray, begin);
        QFETCH(int, commitAfterMs);
        QFETCH(QStringList, copied);

        ScratchCatalog catalog;
        for (qint64 id = 1; id <= 3; ++id)
            catalog.addCd(id, { "CD", "", "D", "S" });
        OtherProgram writer(catalog.path());
        QCOMPARE(writer.exec(begin.constData()), SQLITE_OK);
        writer.sql("insert into datos_cd values (4, 'N', '', 'D');"
                   "insert into canciones (id, cancion1) values (4, 'S')");

        QProcess backup;
        backup.start(VELMOR_DB_EXECUTABLE, { "respaldar", catalog.path(), catalog.file("c.mdb") });
        if (commitAfterMs >= 0) {
            QTest::qWait(commitAfterMs);
            QCOMPARE(writer.exec("commit"), SQLITE_OK);
        }
        const Run result = finished(backup);
        QCOMPARE(result.code, 0);
        QVERIFY2(result.out.endsWith("La copia está en buen estado.\n"), qPrintable(result.out));
        QCOMPARE(keys(catalog.file("c.mdb")), copied);
        QCOMPARE(run({ "verificar", catalog.file("c.mdb") }).code, 0);
        if (commitAfterMs < 0) // the writer was never in the copy's way
            QCOMPARE(writer.exec("commit"), SQLITE_OK);
        QCOMPARE(keys(catalog.path()).size(), 8);
    }

    // A commit between two steps of the copy makes it start again, so the copy is
    // never half old, half new.
    void backupStartsAgainAfterACommit()
    {
        ScratchCatalog catalog;
        catalog.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                    "400) insert into datos_cd select i, 'CD ' || i, '', printf('%.200c', 'D') "
                    "from n; insert into canciones (id, cancion1) select id, 'S' from datos_cd");
        OtherProgram writer(catalog.path());
        int steps = 0;
        CopyPacing pacing { 2, [&] {
                               if (++steps == 3)
                                   writer.sql("delete from datos_cd where id = 1;"
                                              "delete from canciones where id = 1;"
                                              "update canciones set cancion20 = 'NUEVA'");
                           } };
        const BackupResult result
            = backupCatalog(catalog.path(), catalog.file("c.mdb"), m_quiet, pacing);
        QVERIFY(steps > 3);
        QCOMPARE(result.cds, 399);
        QCOMPARE(result.check.problems, QStringList());
        QCOMPARE(allRows(catalog.file("c.mdb")), allRows(catalog.path()));
    }

    // restaurar.

    void restore_data()
    {
        // The copy is a sound catalogue of CD 7; the catalogue holds CD 1.
        QTest::addColumn<QString>("copySql"); // run on the copy
        QTest::addColumn<QByteArray>("copyBytes"); // then its content, unless null; "half": cut
        QTest::addColumn<QByteArray>("hold"); // what another program holds on the catalogue
        QTest::addColumn<bool>("previousThere"); // RUTA.anterior exists beforehand
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message"); // part of the output

        QTest::newRow("sound copy put in place")
            << QString() << QByteArray() << QByteArray() << false << 0
            << "; el que había se conserva como %C.anterior.";
        QTest::newRow("copy with a CD without songs")
            << "delete from canciones" << QByteArray() << QByteArray() << false << 1
            << "PROBLEMA: 1 filas de datos_cd no tienen fila en canciones (claves 7)";
        QTest::newRow("copy that is not a database")
            << QString() << QByteArray(4096, 'x') << QByteArray() << false << 2
            << "no es una base de datos de catálogo válida";
        QTest::newRow("copy cut short")
            << QString() << QByteArray("half") << QByteArray() << false << 1 << "PROBLEMA: ";
        QTest::newRow("name for the old catalogue taken")
            << QString() << QByteArray() << QByteArray() << true << 2 << "Ya existe «%C.anterior»";
        QTest::newRow("catalogue being written")
            << QString() << QByteArray() << QByteArray("begin immediate") << false << 2
            << "El catálogo «%C» está en uso por otro programa";
        QTest::newRow("catalogue being read")
            << QString() << QByteArray() << QByteArray("begin; select count(*) from datos_cd")
            << false << 2 << "El catálogo «%C» está en uso por otro programa";
    }

    void restore()
    {
        QFETCH(QString, copySql);
        QFETCH(QByteArray, copyBytes);
        QFETCH(QByteArray, hold);
        QFETCH(bool, previousThere);
        QFETCH(int, code);
        QFETCH(QString, message);

        ScratchCatalog catalog;
        catalog.addCd(1, { "UNO", "", "D" });
        const QString copy = catalog.file("copia.mdb"), previous = catalog.path() + ".anterior";
        velmor::CatalogFile::create(copy);
        {
            sqlite3* db = nullptr;
            sqlite3_open_v2(copy.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            sqlRows(db,
                "insert into datos_cd values (7, 'SIETE', 'Ñ', 'D');"
                "insert into canciones (id, cancion1) values (7, 'S');"
                    + copySql);
            sqlite3_close_v2(db);
        }
        if (copyBytes == "half")
            writeFile(copy, readFile(copy).chopped(readFile(copy).size() / 2));
        else if (!copyBytes.isNull())
            writeFile(copy, copyBytes);
        if (previousThere)
            writeFile(previous, "guardado");
        const QByteArray before = readFile(catalog.path()), copied = readFile(copy);
        const QStringList files = entries(catalog.dir.path());
        std::unique_ptr<OtherProgram> other;
        if (!hold.isEmpty()) {
            other = std::make_unique<OtherProgram>(catalog.path());
            other->sql(QString::fromLatin1(hold));
        }

        const Run result = run({ "restaurar", copy, catalog.path() });
        QCOMPARE(result.code, code);
        message.replace("%C", catalog.path());
        QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
        QCOMPARE(readFile(copy), copied);
        if (code != 0) {
            QCOMPARE(readFile(catalog.path()), before);
            QCOMPARE(entries(catalog.dir.path()), files); // no temporary file left behind
            return;
        }
        QCOMPARE(readFile(previous), before);
        QCOMPARE(keys(catalog.path()), QStringList({ "datos_cd|7", "canciones|7" }));
        QCOMPARE(entries(catalog.dir.path()),
            QStringList({ "copia.mdb", "velmor.mdb", "velmor.mdb.anterior" }));
    }

    // importar --reemplazar.

    void replace_data()
    {
        QTest::addColumn<QList<QStringList>>("lines");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<int>("replaced");
        QTest::addColumn<QStringList>("rows"); // datos_cd rows, then canciones rows

        // The catalogue holds CD 5 with songs 1 and 20, CD 6, and the songs row of a
        // CD 8 whose datos_cd row is missing.
        const QStringList untouched { "5|VIEJO|A|D", "6|SEIS||D",
            songsRow("5", QStringList { "S1" } + QStringList(18) << "S20"), songsRow("6"),
            songsRow("8", { "HUÉRFANA" }) };
        QTest::newRow("stored CDs replaced whole, others added")
            << QList<QStringList> { fields("5", "nuevo", "b", "otra", { "", "dos" }),
                   fields("7", "siete", "", "d"), fields("8", "ocho", "", "d", { "uno" }) }
            << QStringList() << 2
            << QStringList { "5|NUEVO|B|OTRA", "6|SEIS||D", "7|SIETE||D", "8|OCHO||D",
                   songsRow("5", { "", "DOS" }), songsRow("6"), songsRow("7"),
                   songsRow("8", { "UNO" }) };
        QTest::newRow("one bad line stores nothing")
            << QList<QStringList> { fields("5", "nuevo", "", "d"), fields("7", "siete", "", "d"),
                   fields("9", "", "", "d") }
            << QStringList { "4: falta el nombre" } << 0 << untouched;
        QTest::newRow("key given twice refused, even to replace")
            << QList<QStringList> { fields("5", "nuevo", "", "d"), fields("5", "otro", "", "d") }
            << QStringList { "3: la clave 5 ya aparece en la línea 2" } << 0 << untouched;
    }

    void replace()
    {
        QFETCH(QList<QStringList>, lines);
        QFETCH(QStringList, refused);
        QFETCH(int, replaced);
        QFETCH(QStringList, rows);

        ScratchCatalog catalog;
        catalog.addCd(5, QStringList { "VIEJO", "A", "D", "S1" } + QStringList(18) << "S20");
        catalog.addCd(6, { "SEIS", "", "D" });
        catalog.sql("insert into canciones (id, cancion1) values (8, 'HUÉRFANA')");

        const ImportResult result
            = importCatalog(catalog.path(), csv(lines), m_quiet, ImportMode::Replace);
        QStringList listed;
        for (const RefusedLine& r : result.refused)
            listed << QStringLiteral("%1: %2").arg(r.line).arg(r.reason);
        QCOMPARE(listed, refused);
        QCOMPARE(result.cds, refused.isEmpty() ? qint64(lines.size()) : 0);
        QCOMPARE(result.replaced, replaced);
        QCOMPARE(catalog.sql("select * from datos_cd order by id")
                + catalog.sql("select * from canciones order by id"),
            rows);
    }

    // exportar --hoja.

    void spreadsheetRoundTrip()
    {
        ScratchCatalog source;
        source.addCd(1,
            { "PUNTO; Y COMA", "COMA, Y \"COMILLAS\"", "LÍNEA 1\nLÍNEA 2\r\nLÍNEA 3", "ÑANDÚ;", "",
                " 3 " });
        source.addCd(2, QStringList { "ÁÉÍÓÚ", "", "\r\n" } + QStringList(19) << "ÚLTIMA");

        QBuffer exported;
        exported.open(QIODevice::WriteOnly);
        QCOMPARE(exportCatalog(source.path(), exported, m_quiet, CsvForm::Spreadsheet).cds, 2);
        const QByteArray data = exported.data();
        QVERIFY(data.startsWith("\xEF\xBB\xBF" + csvHeader(';').toUtf8() + "\r\n"));
        QVERIFY2(data.contains("\r\n1;\"PUNTO; Y COMA\";\"COMA, Y \"\"COMILLAS\"\"\";\"LÍNEA "
                               "1\nLÍNEA 2\r\nLÍNEA 3\";\"ÑANDÚ;\";; 3 ;"),
            data.constData());
        QVERIFY(data.endsWith(";ÚLTIMA\r\n"));

        ScratchCatalog target;
        const ImportResult imported = importCatalog(target.path(), data, m_quiet);
        QCOMPARE(imported.refused.size(), 0);
        QCOMPARE(allRows(target.path()), allRows(source.path()));
    }

    // informe.

    void report_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("PDF") << "informe.pdf";
        QTest::newRow("HTML") << "informe.html";
    }

    void report()
    {
        QFETCH(QString, file);

        ScratchCatalog catalog;
        catalog.addCd(12, { "ÉXITOS", "ÑANDÚ", "PRIMERA LÍNEA\nSEGUNDA LÍNEA", "UNO", "", "TRES" });
        catalog.addCd(3, { "ZAGUÁN", "nacho", "D3" });
        catalog.addCd(40, { "ÁRBOL", "Ñandú", "D40", "ÚNICA" });
        catalog.addCd(5, { "CANCIÓN <B>", "ÁNGEL", "D5", "A & B" });
        catalog.addCd(6, { "SIN AUTOR", "", "D6" });

        const QString target = catalog.file(file);
        const Run result = run({ "informe", catalog.path(), target });
        QCOMPARE(result.code, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QVERIFY2(
            result.out.startsWith("Informe de 5 CD escrito en " + target), qPrintable(result.out));

        const QString text = reportText(target).simplified();
        for (const char* counts : { "5 CD", "3 artistas", "4 canciones" })
            QVERIFY2(text.contains(counts), qPrintable(text));
        // Empty artist first, then Spanish order that ignores case and accents.
        const QStringList order { "Catálogo de CD", "Sin artista", "SIN AUTOR clave 6", "D6",
            "ÁNGEL", "CANCIÓN <B> clave 5", "D5", "1. A & B", "NACHO", "ZAGUÁN clave 3", "ÑANDÚ",
            "ÁRBOL clave 40", "D40", "1. ÚNICA", "ÉXITOS clave 12", "PRIMERA LÍNEA SEGUNDA LÍNEA",
            "1. UNO 3. TRES" };
        qsizetype at = 0;
        for (const QString& piece : order) {
            const qsizetype found = text.indexOf(piece, at);
            QVERIFY2(found >= 0, qPrintable(piece + " missing after: " + text.mid(at)));
            at = found + piece.size();
        }
        QVERIFY2(!text.contains("Ñandú"), "one heading for an artist however it is written");

        if (file.endsWith(".pdf")) {
            QVERIFY2(text.contains("Página 2"), qPrintable(text));
            QProcess info;
            info.start("pdfinfo", { target });
            const QString details = finished(info).out;
            QVERIFY2(details.contains(QRegularExpression("Page size: .* \\(A4\\)")),
                qPrintable(details));
        }
    }

    // Usage and refusals on the command line.

    void commandLine_data()
    {
        // %C catalogue, %E an existing file, %N a new path in the catalogue's folder
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err"); // part of standard error

        using A = QStringList;
        for (const QString usage :
            { "respaldar RUTA DESTINO", "restaurar COPIA RUTA", "informe RUTA ARCHIVO.pdf",
                "importar --reemplazar RUTA ARCHIVO.csv", "exportar --hoja RUTA [ARCHIVO.csv]" }) {
            QTest::addRow("%s with too many arguments", qPrintable(usage.section(' ', 0, 0)))
                << A { usage.section(' ', 0, 0), "a", "b", "c" } << 2 << usage;
        }
        QTest::newRow("unknown option")
            << A { "exportar", "--hja", "%C" } << 2 << "Uso: velmor-db exportar RUTA [ARCHIVO.csv]";
        QTest::newRow("respaldar over an existing file") << A { "respaldar", "%C",
            "%E" } << 2 << "El archivo «%E» ya existe; no se sobrescribe.";
        QTest::newRow("respaldar a missing catalogue") << A { "respaldar", "%N",
            "%N.mdb" } << 2 << "No se encuentra el archivo del catálogo «%N».";
        QTest::newRow("respaldar a file that is no catalogue")
            << A { "respaldar", "%E", "%N" } << 2 << "no es una base de datos de catálogo válida";
        QTest::newRow("informe over an existing file")
            << A { "informe", "%C", "%E.pdf" } << 2 << "El archivo %E.pdf ya existe";
        QTest::newRow("informe of an unknown kind")
            << A { "informe", "%C", "%N.txt" } << 2 << "debe terminar en .pdf o .html";
        QTest::newRow("informe of a missing catalogue")
            << A { "informe", "%N", "%N.pdf" } << 2 << "No se encuentra el archivo del catálogo";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, err);

        ScratchCatalog catalog;
        catalog.addCd(1, { "UNO", "", "D" });
        writeFile(catalog.file("existe"), "no es un catálogo");
        writeFile(catalog.file("existe.pdf"), "tampoco");
        const auto place = [&](QString text) {
            return text.replace("%C", catalog.path())
                .replace("%E", catalog.file("existe"))
                .replace("%N", catalog.file("nuevo"));
        };
        for (QString& argument : arguments)
            argument = place(argument);
        const QStringList files = entries(catalog.dir.path());
        const QByteArray before = readFile(catalog.path());

        const Run result = run(arguments);
        QCOMPARE(result.code, code);
        QVERIFY2(result.out.isEmpty(), qPrintable(result.out));
        QVERIFY2(result.err.contains(place(err)), qPrintable(result.err));
        QCOMPARE(entries(catalog.dir.path()), files);
        QCOMPARE(readFile(catalog.path()), before);
        QCOMPARE(readFile(catalog.file("existe")), "no es un catálogo");
    }

    // Enough CDs for the progress indication, through the commands that copy or
    // lay out the whole catalogue.
    void progressOfLargeCatalogues()
    {
        ScratchCatalog catalog;
        catalog.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < "
                    "6000) insert into datos_cd select i, 'CD ' || i, 'ARTISTA ' || (i % 50), "
                    "printf('%.200c', 'D') from n; insert into canciones (id, cancion1) "
                    "select id, 'UNO' from datos_cd");
        const Run backup = run({ "respaldar", catalog.path(), catalog.file("copia.mdb") });
        QCOMPARE(backup.code, 0);
        QVERIFY2(backup.err.endsWith("respaldando: 100 %\n"), qPrintable(backup.err));
        const Run restored = run({ "restaurar", catalog.file("copia.mdb"), catalog.path() });
        QCOMPARE(restored.code, 0);
        QVERIFY2(restored.err.endsWith("restaurando: 100 %\n"), qPrintable(restored.err));
        const Run report = run({ "informe", catalog.path(), catalog.file("informe.html") });
        QCOMPARE(report.code, 0);
        QVERIFY2(report.err.endsWith("escribiendo el informe: 100 %\n"), qPrintable(report.err));
        QCOMPARE(reportText(catalog.file("informe.html")).count("1. UNO"), 6000);
    }
};

QTEST_MAIN(TestNewCommands)

#include "tst_newcommands.moc"
