#include "catalogbackup.h"
#include "progress.h"
#include "toolfixture.h"

#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <memory>

using namespace velmor::tool;
using namespace toolfixture;

namespace {
const QString counts = "select count(*) from datos_cd union all select count(*) from canciones";

// The text of a report as a reader sees it, whichever its format.
QString reportText(const QString& path)
{
    if (path.endsWith(".pdf"))
        return run({ "-layout", path, "-" }, "pdftotext").out;
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
        QTest::addColumn<QStringList>("copied"); // CDs and songs rows

        // A write transaction that has not committed leaves the file as it was: the copy goes ahead
        // with what was committed.
        QTest::newRow("uncommitted rows left out")
            << QByteArray("begin immediate") << -1 << QStringList { "3", "3" };
        // A writer that holds the file exclusively, as at its commit, is waited for.
        QTest::newRow("exclusive writer waited for")
            << QByteArray("begin exclusive") << 1500 << QStringList { "4", "4" };
    }

    void backupWhileAnotherProgramWrites()
    {
        QFETCH(QByteArray, begin);
        QFETCH(int, commitAfterMs);
        QFETCH(QStringList, copied);

        ScratchCatalog catalog;
        for (qint64 id = 1; id <= 3; ++id)
            catalog.addCd(id, { "CD", "", "D", "S" });
        Db writer(catalog.path());
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
        QCOMPARE(Db(catalog.file("c.mdb")).sql(counts), copied);
        if (commitAfterMs < 0) // the writer was never in the copy's way
            QCOMPARE(writer.exec("commit"), SQLITE_OK);
        QCOMPARE(catalog.sql(counts), QStringList({ "4", "4" }));
    }

    // A commit between two steps of the copy makes it start again, so the copy is never half old,
    // half new.
    void backupStartsAgainAfterACommit()
    {
        ScratchCatalog catalog;
        catalog.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < 400) "
                    "insert into datos_cd select i, 'CD ' || i, '', printf('%.200c', 'D') from n; "
                    "insert into canciones (id, cancion1) select id, 'S' from datos_cd");
        Db writer(catalog.path());
        int steps = 0;
        const CopyPacing pacing { 2, [&] {
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
        for (const char* total : { "5 CD", "3 artistas", "4 canciones" })
            QVERIFY2(text.contains(total), qPrintable(text));
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
            const QString details = run({ target }, "pdfinfo").out;
            QVERIFY2(details.contains(QRegularExpression("Page size: .* \\(A4\\)")),
                qPrintable(details));
        }
    }

    // Enough CDs for the progress indication, through every command that moves or lays out the
    // whole catalogue, and for the CSV to be written in several pieces.
    void largeCatalogue()
    {
        ScratchCatalog source;
        source.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < 6000) "
                   "insert into datos_cd select i, 'CD ' || i, 'ÑANDÚ ' || (i % 50), "
                   "printf('%.200c', 'D') || ', \"' || i || '\"' from n; insert into canciones "
                   "(id, cancion1, cancion20) select id, 'UNO', 'VEINTE' from datos_cd");
        const auto progressed = [](const Run& result, const QString& activity) {
            return result.code == 0 && result.err.endsWith(activity + ": 100 %\n");
        };
        const Run exported = run({ "exportar", source.path() });
        QVERIFY2(progressed(exported, "exportando"), qPrintable(exported.err));
        QCOMPARE(exported.out.count("\r\n"), 6001);

        const QString csv = source.file("copia.csv"), target = source.file("copia.mdb"),
                      again = source.file("otra.csv");
        writeFile(csv, exported.out.toUtf8());
        QCOMPARE(run({ "crear", target }).out, "Catálogo vacío creado en " + target + ".\n");
        const Run imported = run({ "importar", target, csv });
        QVERIFY2(progressed(imported, "importando"), qPrintable(imported.err));
        QCOMPARE(imported.out, "Importados 6000 CD en " + target + ".\n");
        QCOMPARE(run({ "verificar", target }).code, 0);
        QCOMPARE(run({ "exportar", target, again }).out, "Exportados 6000 CD a " + again + ".\n");
        QCOMPARE(readFile(again), exported.out.toUtf8());

        const Run backup = run({ "respaldar", source.path(), source.file("respaldo.mdb") });
        QVERIFY2(progressed(backup, "respaldando"), qPrintable(backup.err));
        // The catalogue changed after the copy is put aside whole, and the copy takes its place.
        source.sql("delete from datos_cd where id = 1");
        const QByteArray changed = readFile(source.path()),
                         copied = readFile(source.file("respaldo.mdb"));
        const Run restored = run({ "restaurar", source.file("respaldo.mdb"), source.path() });
        QVERIFY2(progressed(restored, "restaurando"), qPrintable(restored.err));
        QVERIFY2(restored.out.endsWith(
                     "; el que había se conserva como " + source.path() + ".anterior.\n"),
            qPrintable(restored.out));
        QCOMPARE(readFile(source.path() + ".anterior"), changed);
        QCOMPARE(readFile(source.file("respaldo.mdb")), copied);
        QCOMPARE(source.sql("select count(*) from datos_cd"), QStringList { "6000" });
        QCOMPARE(source.entries(),
            QStringList({ "copia.csv", "copia.mdb", "otra.csv", "respaldo.mdb", "velmor.mdb",
                "velmor.mdb.anterior" }));
        const Run report = run({ "informe", source.path(), source.file("informe.html") });
        QVERIFY2(progressed(report, "escribiendo el informe"), qPrintable(report.err));
        QCOMPARE(reportText(source.file("informe.html")).count("1. UNO"), 6000);
    }
};

QTEST_MAIN(TestNewCommands)

#include "tst_newcommands.moc"
