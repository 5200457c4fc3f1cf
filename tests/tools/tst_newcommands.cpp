#include "catalogbackup.h"
#include "newfile.h"
#include "progress.h"
#include "toolfixture.h"

#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

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

// Runs the child in a process of its own, which it ends with SIGKILL while it still has its files
// open, as a crash or a power cut would stop it.
bool killedRun(const std::function<void()>& child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(1);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFSIGNALED(status);
}

// Another catalogue's journal, or its write-ahead log and shared memory, left at target by a
// writer killed half-way, the catalogue itself gone.
bool leaveJournal(const QString& other, const QString& target, bool wal)
{
    velmor::CatalogFile::create(other);
    const char* const rows = "with recursive n(i) as (select 1 union all select i + 1 from n "
                             "where i < 3000) insert into datos_cd select i, printf('%.200c', "
                             "'X'), '', 'D' from n";
    const bool killed = killedRun([&] {
        Db db(other);
        db.exec(wal ? "pragma journal_mode = wal; pragma wal_autocheckpoint = 0"
                    : "pragma cache_size = 2; begin");
        db.exec(rows);
        raise(SIGKILL);
    });
    QFile::remove(other);
    bool left = false;
    for (const char* suffix : { "-journal", "-wal", "-shm" })
        left = QFile::rename(other + suffix, target + suffix) || left;
    return killed && left;
}

// Runs velmor-db on a file system of 256 KiB mounted at folder, filled so that the first writes
// go through and a later one fails; the folder's entries are listed after "@@". Mounting takes
// root, or else a namespace of one's own; code -2 when neither can be had.
Run onFullDisk(const QString& folder, const QStringList& arguments)
{
    const QString script = "d=$1; shift; mount -t tmpfs -o size=256k tmpfs \"$d\" || exit 99; "
                           "head -c 200000 /dev/zero > \"$d/relleno\"; \"$@\"; code=$?; echo @@; "
                           "ls -A \"$d\"; umount \"$d\"; exit $code";
    const QStringList shell
        = QStringList { "sh", "-c", script, "sh", folder, VELMOR_DB_EXECUTABLE } + arguments;
    Run result = run(shell.mid(1), "sh");
    if (result.code == 99)
        result = run(QStringList { "-rm" } + shell, "unshare");
    if (result.code == 99 || result.err.startsWith("unshare:"))
        return { -2, QString(), result.err };
    return result;
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

    // Files put in place for real beside what a crash, a full disk or another user left.
    void placing_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("arguments"); // %C 600 CDs, %K a copy of it, %D a folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message"); // a part of the output
        QTest::addColumn<QStringList>("entries"); // of %D afterwards, random letters as '?'

        const auto row = [](const char* name, const char* situation, const QStringList& arguments,
                             int code, const QString& message, const QStringList& entries) {
            QTest::newRow(name) << situation << arguments << code << message << entries;
        };
        const QString aside = "«%D/nuevo.mdb%1», que no era de este catálogo, se ha apartado "
                              "como «%D/nuevo.mdb%1.apartado».";
        row("restaurar beside another catalogue's journal", "journal",
            { "restaurar", "%K", "%D/nuevo.mdb" }, 0, aside.arg("-journal"),
            { "nuevo.mdb", "nuevo.mdb-journal.apartado" });
        row("respaldar beside another catalogue's journal", "journal",
            { "respaldar", "%C", "%D/nuevo.mdb" }, 0, aside.arg("-journal"),
            { "nuevo.mdb", "nuevo.mdb-journal.apartado" });
        row("restaurar beside another catalogue's write-ahead log", "log",
            { "restaurar", "%K", "%D/nuevo.mdb" }, 0, aside.arg("-wal"),
            { "nuevo.mdb", "nuevo.mdb-shm.apartado", "nuevo.mdb-wal.apartado" });
        row("respaldar of a catalogue in write-ahead-log mode", "log mode",
            { "respaldar", "%C", "%D/copia.mdb" }, 0, "La copia está en buen estado.",
            { "copia.mdb" });
        const QString full = "velmor-db: No se puede escribir «%D/%1»: el disco está lleno.\n";
        for (const QStringList& arguments : { QStringList { "exportar", "%C", "%D/x.csv" },
                 { "exportar", "--hoja", "%C", "%D/x.csv" }, { "informe", "%C", "%D/x.html" },
                 { "informe", "%C", "%D/x.pdf" }, { "respaldar", "%C", "%D/x.mdb" },
                 { "restaurar", "%K", "%D/x.mdb" } }) {
            QTest::addRow("%s on a full disk", qPrintable(arguments.join(' ')))
                << "full" << arguments << 2 << full.arg(arguments.last().mid(3))
                << QStringList { "relleno" };
        }
        row("restaurar over a read-only catalogue", "read-only",
            { "restaurar", "%K", "%D/velmor.mdb" }, 2,
            "velmor-db: El catálogo «%D/velmor.mdb» es de solo lectura", { "velmor.mdb" });
        row("respaldar of a read-only catalogue", "read-only",
            { "respaldar", "%D/velmor.mdb", "%D/copia.mdb" }, 0, "La copia está en buen estado.",
            { "copia.mdb", "velmor.mdb" });
        row("what a killed run left removed, a running one's kept", "killed",
            { "exportar", "%C", "%D/x.csv" }, 0, "Exportados 600 CD",
            { "vivo.csv.velmor-db-temporal-?", "x.csv" });
    }

    void placing()
    {
        QFETCH(QString, situation);
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        QFETCH(QStringList, entries);

        ScratchCatalog catalog;
        catalog.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < 600) "
                    "insert into datos_cd select i, 'CD ' || i, 'ÑANDÚ', printf('%.250c', 'D') "
                    "from n; insert into canciones (id, cancion1) select id, 'UNO' from datos_cd");
        const QString folder = catalog.file("d");
        QVERIFY(QDir().mkdir(folder) && QFile::copy(catalog.path(), catalog.file("copia.mdb")));
        const auto place = [&](QString text) {
            return text.replace("%C", catalog.path())
                .replace("%K", catalog.file("copia.mdb"))
                .replace("%D", folder);
        };
        for (QString& argument : arguments)
            argument = place(argument);

        QProcess process;
        std::unique_ptr<NewFile> running;
        if (situation == "journal" || situation == "log") {
            QVERIFY(
                leaveJournal(catalog.file("otro.mdb"), folder + "/nuevo.mdb", situation == "log"));
        } else if (situation == "log mode") {
            catalog.sql("pragma journal_mode = wal");
        } else if (situation == "read-only") {
            // As root, permissions hold only for another user.
            const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
            QVERIFY(QFile::copy(catalog.path(), folder + "/velmor.mdb")
                && QFile::setPermissions(
                    folder + "/velmor.mdb", QFile::ReadOwner | QFile::ReadOther)
                && QFile::setPermissions(catalog.dir.path(), everyone)
                && QFile::setPermissions(folder, everyone));
            process.setChildProcessModifier([] {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                    _exit(97);
            });
        } else if (situation == "killed") {
            running = std::make_unique<NewFile>(folder + "/vivo.csv");
            QVERIFY(killedRun([&] {
                NewFile left(folder + "/muerto.csv");
                left.device().write(QByteArray(1 << 20, 'x'));
                raise(SIGKILL);
            }));
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
        }

        Run result;
        QStringList found;
        if (situation == "full") {
            result = onFullDisk(folder, arguments);
            if (result.code == -2)
                QSKIP(qPrintable("no file system could be mounted: " + result.err));
            found = result.out.section("@@\n", 1).split('\n', Qt::SkipEmptyParts);
            result.out = result.out.section("@@\n", 0, 0);
        } else {
            process.start(VELMOR_DB_EXECUTABLE, arguments);
            result = finished(process);
            found = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        }
        QCOMPARE(result.code, code);
        QVERIFY2((result.out + result.err).contains(place(message)),
            qPrintable(result.out + result.err));
        static const QRegularExpression random("(velmor-db-temporal-)[A-Za-z0-9]{6}");
        QCOMPARE(found.replaceInStrings(random, "\\1?"), entries);
        if (code == 0 && arguments[0].startsWith("res")) { // respaldar, restaurar
            QCOMPARE(allRows(arguments[2]), allRows(arguments[1]));
            QCOMPARE(QFile::permissions(arguments[2]), QFile::permissions(arguments[1]));
        }
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
        source.sql("delete from datos_cd where id = 1; delete from canciones where id = 1");
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
        // Restoring the catalogue kept undoes the restore, keeping the other one under the next
        // free name.
        const QByteArray put = readFile(source.path());
        const Run undone = run({ "restaurar", source.path() + ".anterior", source.path() });
        QVERIFY2(undone.out.endsWith(
                     "; el que había se conserva como " + source.path() + ".anterior.1.\n"),
            qPrintable(undone.out + undone.err));
        QCOMPARE(readFile(source.path() + ".anterior.1"), put);
        QCOMPARE(source.sql("select count(*) from datos_cd"), QStringList { "5999" });
        QCOMPARE(source.entries(),
            QStringList({ "copia.csv", "copia.mdb", "otra.csv", "respaldo.mdb", "velmor.mdb",
                "velmor.mdb.anterior", "velmor.mdb.anterior.1" }));
        const Run report = run({ "informe", source.path(), source.file("informe.html") });
        QVERIFY2(progressed(report, "escribiendo el informe"), qPrintable(report.err));
        QCOMPARE(reportText(source.file("informe.html")).count("1. UNO"), 5999);
    }
};

QTEST_MAIN(TestNewCommands)

#include "tst_newcommands.moc"
