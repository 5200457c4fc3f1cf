#include "catalogbackup.h"
#include "newfile.h"
#include "progress.h"
#include "toolfixture.h"

#include "data/collation.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>

using namespace velmor::tool;
using namespace toolfixture;

namespace {
const QString counts = "select count(*) from datos_cd union all select count(*) from canciones";

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

    // A commit between two steps of the copy makes it start again, so the copy is never half old,
    // half new; a writer that holds the file between two steps is waited for.
    void backupStartsAgainAfterACommit_data()
    {
        QTest::addColumn<bool>("holding"); // the writer commits only after the next step began
        QTest::newRow("a commit between two steps") << false;
        QTest::newRow("a writer holding the file between two steps") << true;
    }

    void backupStartsAgainAfterACommit()
    {
        QFETCH(bool, holding);
        ScratchCatalog catalog;
        catalog.sql("with recursive n(i) as (select 1 union all select i + 1 from n where i < 400) "
                    "insert into datos_cd select i, 'CD ' || i, '', printf('%.200c', 'D') from n; "
                    "insert into canciones (id, cancion1) select id, 'S' from datos_cd");
        Db writer(catalog.path());
        std::thread committer;
        int steps = 0;
        const CopyPacing pacing { 2, [&] {
                                     if (++steps != 3)
                                         return;
                                     if (holding)
                                         writer.exec("begin exclusive");
                                     writer.sql("delete from datos_cd where id = 1;"
                                                "delete from canciones where id = 1;"
                                                "update canciones set cancion20 = 'NUEVA'");
                                     if (holding)
                                         committer = std::thread([&writer] {
                                             QThread::msleep(300);
                                             writer.exec("commit");
                                         });
                                 } };
        const auto join = qScopeGuard([&] {
            if (committer.joinable())
                committer.join();
        });
        BackupResult result;
        try {
            result = backupCatalog(catalog.path(), catalog.file("c.mdb"), m_quiet, pacing);
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
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
        // Through a link, the linked catalogue is replaced and kept beside itself; the link stays.
        row("restaurar through a link", "link", { "restaurar", "%K", "%D/enlace.mdb" }, 0,
            "; el que había se conserva como %C.anterior.", { "enlace.mdb" });
        // An empty file becomes a database through a journal of its own, which must not
        // stay beside the restored catalogue.
        row("restaurar over an empty file", "empty", { "restaurar", "%K", "%D/velmor.mdb" }, 0,
            "restaurado", { "velmor.mdb", "velmor.mdb.anterior" });
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
        } else if (situation == "link") {
            QVERIFY(QFile::link(catalog.path(), folder + "/enlace.mdb"));
        } else if (situation == "empty") {
            QVERIFY(QFile(folder + "/velmor.mdb").open(QIODevice::WriteOnly));
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
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("order"); // pieces of the text, in this order
        // Empty artist first, then Spanish order that ignores case and accents; one heading
        // for an artist however it is written; songs numbered as stored.
        QTest::newRow("PDF") << "informe.pdf" << QStringList()
                             << QStringList { "Catálogo de CD", "5 CD · 3 artistas · 4 canciones",
                                    "Sin artista", "SIN AUTOR 6", "D6", "ÁNGEL",
                                    "CANCIÓN <B> 5", "D5", "1. A & B", "NACHO", "ZAGUÁN 3",
                                    "ÑANDÚ", "ÁRBOL 40", "D40", "1. ÚNICA", "ÉXITOS 12",
                                    "PRIMERA LÍNEA SEGUNDA LÍNEA", "1. UNO 3. TRES",
                                    "Página 1 de 2", "Índice de artistas", "Sin artista 1",
                                    "ÁNGEL 1", "NACHO 1", "ÑANDÚ 1", "Página 2 de 2" };
        QTest::newRow("HTML")
            << "informe.html" << QStringList()
            << QStringList { "<h1>Catálogo de CD</h1>", "5 CD · 3 artistas · 4 canciones",
                   "<h2 id=\"a1\">Sin artista</h2>", "<span>SIN AUTOR</span><span class=\"clave\">6",
                   "<h2 id=\"a2\">ÁNGEL</h2>", "<span>CANCIÓN &lt;B&gt;</span>",
                   "<li value=\"1\">A &amp; B</li>", "<h2 id=\"a3\">NACHO</h2>",
                   "<h2 id=\"a4\">ÑANDÚ</h2>", "<span>ÁRBOL</span>", "<span>ÉXITOS</span>",
                   "<p>PRIMERA LÍNEA<br>SEGUNDA LÍNEA</p>",
                   "<li value=\"1\">UNO</li><li value=\"3\">TRES</li>", "Índice de artistas",
                   "<a href=\"#a1\">Sin artista</a>", "<a href=\"#a4\">ÑANDÚ</a>" };
        QTest::newRow("HTML by key")
            << "informe.html" << QStringList { "--por-clave" }
            << QStringList { "<div class=\"cd\" id=\"a1\">", "<span>ZAGUÁN</span>", "NACHO",
                   "<div class=\"cd\" id=\"a2\">", "<span>CANCIÓN &lt;B&gt;</span>",
                   "<div class=\"cd\" id=\"a3\">", "<span>SIN AUTOR</span>",
                   "<div class=\"cd\" id=\"a4\">", "<span>ÉXITOS</span>", "<div class=\"cd\">",
                   "<span>ÁRBOL</span>", "<a href=\"#a3\">Sin artista</a>",
                   "<a href=\"#a2\">ÁNGEL</a>", "<a href=\"#a1\">NACHO</a>",
                   "<a href=\"#a4\">ÑANDÚ</a>" };
        QTest::newRow("PDF list")
            << "informe.pdf" << QStringList { "--lista" }
            << QStringList { "Clave Nombre Artista Canciones", "6 SIN AUTOR 0",
                   "5 CANCIÓN <B> ÁNGEL 1", "3 ZAGUÁN nacho 0", "40 ÁRBOL Ñandú 1",
                   "12 ÉXITOS ÑANDÚ 2", "Página 1 de 1" };
        QTest::newRow("HTML list by key")
            << "informe.html" << QStringList { "--lista", "--por-clave" }
            << QStringList { "<th>Nombre</th>", "<td class=\"n\">3</td><td>ZAGUÁN</td><td>nacho</td>",
                   "<td>CANCIÓN &lt;B&gt;</td><td>ÁNGEL</td><td class=\"n\">1</td>",
                   "<td>SIN AUTOR</td><td></td>", "<td>ÉXITOS</td><td>ÑANDÚ</td><td class=\"n\">2</td>",
                   "<td>ÁRBOL</td><td>Ñandú</td>" };
    }

    void report()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        QFETCH(QStringList, order);

        ScratchCatalog catalog;
        catalog.addCd(12, { "ÉXITOS", "ÑANDÚ", "PRIMERA LÍNEA\nSEGUNDA LÍNEA", "UNO", "", "TRES" });
        catalog.addCd(3, { "ZAGUÁN", "nacho", "D3" });
        catalog.addCd(40, { "ÁRBOL", "Ñandú", "D40", "ÚNICA" });
        catalog.addCd(5, { "CANCIÓN <B>", "ÁNGEL", "D5", "A & B" });
        catalog.addCd(6, { "SIN AUTOR", "", "D6" });

        const QString target = catalog.file(file);
        const Run result = run(QStringList { "informe" } + options + QStringList { catalog.path(), target });
        QCOMPARE(result.code, 0);
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QVERIFY2(
            result.out.startsWith("Informe de 5 CD escrito en " + target), qPrintable(result.out));

        const bool pdf = file.endsWith(".pdf");
        const QString text = pdf ? run({ "-raw", target, "-" }, "pdftotext").out.simplified()
                                 : QString::fromUtf8(readFile(target));
        qsizetype at = 0;
        for (const QString& piece : order) {
            const qsizetype found = text.indexOf(piece, at);
            QVERIFY2(found >= 0, qPrintable(piece + " missing after: " + text.mid(at)));
            at = found + piece.size();
        }
        if (!options.contains("--lista"))
            QVERIFY2(!text.contains("Ñandú"), "one heading for an artist however it is written");

        if (pdf) {
            const QString details = run({ target }, "pdfinfo").out;
            QVERIFY2(details.contains(QRegularExpression("Page size: .* \\(A4\\)")),
                qPrintable(details));
            // Every font embedded, and one of those installed with the program.
            const QStringList fonts = run({ target }, "pdffonts").out.split('\n').mid(2);
            for (const QString& font : fonts) {
                if (!font.isEmpty()) {
                    QVERIFY2(font.contains(QRegularExpression("^(Liberation|DejaVu)\\S* .* yes ")),
                        qPrintable(font));
                }
            }
        }
    }

    // The layout of a realistic catalogue read back page by page: 300 CDs, each with a name, one
    // of 60 artists, a 90-character description and 8 to 14 songs, the last one "ÚLTIMA n".
    void reportPages_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("most"); // pages at most
        QTest::addColumn<bool>("longCd"); // with a CD whose description is longer than a page
        QTest::newRow("grouped by artist") << QStringList() << 20 << false;
        QTest::newRow("by key") << QStringList { "--por-clave" } << 20 << false;
        QTest::newRow("with a CD longer than a page") << QStringList() << 21 << true;
        QTest::newRow("list") << QStringList { "--lista" } << 7 << false;
    }

    void reportPages()
    {
        QFETCH(QStringList, options);
        QFETCH(int, most);
        QFETCH(bool, longCd);
        const bool byKey = options.contains("--por-clave"), list = options.contains("--lista");

        const QStringList words { "AMOR", "NOCHE", "LUNA", "MAR", "CIELO", "FUEGO", "CAMINO",
            "CORAZÓN", "SUEÑO", "VIENTO", "ŁÓDŹ", "ΑΘΗΝΑ", "МОСКВА", "ŐRSÉG", "ÑANDÚ", "RÍO" };
        std::mt19937 random(19);
        const auto textOf = [&](int length) {
            QString text;
            while (text.size() < length)
                text += (text.isEmpty() ? "" : " ") + words[random() % words.size()];
            return text.left(length).trimmed();
        };
        QStringList artists;
        for (int i = 0; i < 60; ++i)
            artists << textOf(8 + int(random() % 17));
        struct Cd {
            qint64 key;
            QString nombre, artista;
        };
        QList<Cd> cds;
        ScratchCatalog catalog;
        for (int i = 0; i < 300 + (longCd ? 1 : 0); ++i) {
            const qint64 key = 3000000 + (i * 7919) % 300007;
            QStringList texts { textOf(10 + int(random() % 21)), artists[random() % 60],
                textOf(90).leftJustified(90, 'X') };
            const int songs = 8 + int(random() % 7);
            for (int s = 1; s < songs; ++s)
                texts << textOf(8 + int(random() % 23));
            texts << QStringLiteral("ÚLTIMA %1").arg(i);
            if (i == 300) {
                texts[2].clear();
                for (int line = 1; line <= 200; ++line)
                    texts[2] += QStringLiteral("%1RENGLÓN %2").arg(line > 1 ? "\n" : "").arg(line);
            }
            catalog.addCd(key, texts);
            cds.append({ key, texts[0], texts[1] });
        }
        std::sort(cds.begin(), cds.end(), [byKey](const Cd& a, const Cd& b) {
            const auto compare = [](const QString& x, const QString& y) {
                return velmor::compareCatalogText(x.toStdString(), y.toStdString());
            };
            if (byKey)
                return a.key < b.key;
            if (const int c = compare(a.artista, b.artista); c != 0)
                return c < 0;
            if (const int c = compare(a.nombre, b.nombre); c != 0)
                return c < 0;
            return a.key < b.key;
        });

        const QString target = catalog.file("informe.pdf");
        const Run result
            = run(QStringList { "informe" } + options + QStringList { catalog.path(), target });
        QCOMPARE(result.code, 0);
        const int pages = QRegularExpression("Pages: +(\\d+)")
                              .match(run({ target }, "pdfinfo").out)
                              .captured(1)
                              .toInt();
        QVERIFY2(pages > 0 && pages <= most, qPrintable(QString::number(pages)));
        QVERIFY2(result.out.endsWith(QStringLiteral("(%1 páginas).\n").arg(pages)),
            qPrintable(result.out));

        QStringList text; // of each page, as drawn
        QHash<qint64, int> pageOf; // of each key, and of each "ÚLTIMA n" as -1 - n
        QList<qint64> keys;
        const QRegularExpression keyPattern("\\b3\\d{6}\\b"), last("ÚLTIMA (\\d+)\\b");
        for (int page = 1; page <= pages; ++page) {
            const QString number = QString::number(page);
            text << run({ "-raw", "-f", number, "-l", number, target, "-" }, "pdftotext").out;
            QVERIFY2(text.last().contains(QStringLiteral("Página %1 de %2").arg(page).arg(pages)),
                qPrintable(text.last()));
            for (const auto& match : keyPattern.globalMatch(text.last()))
                pageOf.insert(keys.emplaceBack(match.captured().toLongLong()), page);
            for (const auto& match : last.globalMatch(text.last()))
                pageOf.insert(-1 - match.captured(1).toLongLong(), page);
        }
        QList<qint64> expected;
        for (const Cd& cd : cds)
            expected << cd.key;
        QCOMPARE(keys, expected);
        if (list)
            return;
        // A CD is never split, except the one longer than a page.
        for (int i = 0; i < 300; ++i)
            QCOMPARE(pageOf.value(-1 - i), pageOf.value(3000000 + (i * 7919) % 300007));
        const auto pageWith = [&](const QString& piece) {
            for (int page = 1; page <= pages; ++page) {
                if (text[page - 1].contains(piece))
                    return page;
            }
            return 0;
        };
        if (longCd)
            QVERIFY(
                pageWith("RENGLÓN 1\n") > 0 && pageWith("RENGLÓN 200\n") > pageWith("RENGLÓN 1\n"));

        // A page that goes on with an artist starts by repeating its name.
        int continuing = 0;
        for (int page = 2; page <= pages && !byKey; ++page) {
            const QString first = keyPattern.match(text[page - 1]).captured();
            if (first.isEmpty())
                break; // the index
            const qsizetype at = std::find_if(cds.cbegin(), cds.cend(),
                                     [&](const Cd& c) { return c.key == first.toLongLong(); })
                - cds.cbegin();
            const bool goesOn = at > 0 && cds[at - 1].artista == cds[at].artista;
            continuing += goesOn ? 1 : 0;
            QVERIFY2(text[page - 1].startsWith(cds[at].artista + " (continúa)\n") == goesOn,
                qPrintable(text[page - 1].left(200)));
        }
        QVERIFY(byKey || continuing > 0);

        // The index gives the page where each artist is first shown.
        const qsizetype index = std::find_if(text.cbegin(), text.cend(),
                                    [](const QString& t) { return t.startsWith("Índice de artistas\n"); })
            - text.cbegin();
        QVERIFY(index > 0 && index < pages);
        int listed = 0;
        const QRegularExpression entry("^(.+) (\\d+)$", QRegularExpression::MultilineOption);
        for (qsizetype page = index; page < pages; ++page) {
            for (const auto& match : entry.globalMatch(text[page])) {
                const QString artist = match.captured(1);
                if (artist.startsWith("Página"))
                    continue;
                const auto cd = std::find_if(cds.cbegin(), cds.cend(),
                    [&](const Cd& c) { return c.artista == artist; });
                QVERIFY2(cd != cds.cend(), qPrintable(artist));
                QCOMPARE(match.captured(2).toInt(), pageOf.value(cd->key));
                ++listed;
            }
        }
        QCOMPARE(listed, QSet<QString>(artists.cbegin(), artists.cend()).size());
    }

    // exportar to a .ods name, the file saved again by a spreadsheet program or not, then
    // importar: every value comes back as it was, none taken for a number, date or formula.
    void spreadsheet_data()
    {
        QTest::addColumn<QStringList>("conversions"); // formats LibreOffice saves it in, in turn
        QTest::newRow("read back as written") << QStringList();
        QTest::newRow("saved again by LibreOffice") << QStringList { "ods" };
        QTest::newRow("through LibreOffice's xlsx") << QStringList { "xlsx", "ods" };
    }

    void spreadsheet()
    {
        QFETCH(QStringList, conversions);
        const QString soffice = QStandardPaths::findExecutable("soffice");
        if (!conversions.isEmpty() && soffice.isEmpty())
            QSKIP("soffice (LibreOffice) is not installed: apt-get install libreoffice-calc-nogui");

        ScratchCatalog source;
        source.addCd(1234567890123456, // more digits than a spreadsheet's number keeps
            { "=HYPERLINK(\"HTTP://X\";\"Y\")", "007", "LÍNEA 1\n\nLÍNEA 3\n", "1E5", "3/4",
                "12:30", "0,5", "VERDADERO", "TRUE", "+1", "-1", "@SUMA(A1)", "50%", "1.000",
                "'COMILLA", "  DOS  ESPACIOS ", "", "ÚLTIMA" });
        source.addCd(123456789012345, { "ÑANDÚ ŁÓDŹ ΑΘΗΝΑ", "МОСКВА ŐRSÉG", "<B> & \"C\"" });
        source.addCd(-5, { "NEGATIVA", "", "D" });
        source.addCd(0, { "CERO", "2026-12-07", "=1+1" });
        const QString exported = source.file("catalogo.ods");
        QCOMPARE(run({ "exportar", "--hoja", source.path(), exported }).out,
            "Exportados 4 CD a " + exported + ".\n");

        QString file = exported;
        for (const QString& format : conversions) {
            const QString folder = source.file(format + QString::number(file.size()));
            const Run converted = run({ "-env:UserInstallation=file://" + source.file("perfil"),
                                          "--headless", "--convert-to", format, "--outdir",
                                          folder, file },
                soffice);
            file = folder + "/catalogo." + format;
            QVERIFY2(converted.code == 0 && QFile::exists(file),
                qPrintable(converted.out + converted.err));
        }
        const QString target = source.file("nuevo.mdb");
        velmor::CatalogFile::create(target);
        const Run imported = run({ "importar", target, file });
        QCOMPARE(imported.out, "Importados 4 CD en " + target + ".\n");
        QCOMPARE(allRows(target), allRows(source.path()));
        QCOMPARE(run({ "importar", "--reemplazar", source.path(), file }).out,
            source.path() + ": 0 cambiados, 0 añadidos, 4 sin cambios.\n");
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
            // Not on a terminal: a line at each tenth, up to 100 %.
            return result.code == 0 && result.err.endsWith(activity + ": 100 %\n")
                && QRegularExpression("^(" + activity + ": (100|[1-9]?0) %\n)+$")
                       .match(result.err)
                       .hasMatch();
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
        QCOMPARE(readFile(source.file("informe.html")).count("<li value=\"1\">UNO</li>"), 5999);
    }
};

QTEST_MAIN(TestNewCommands)

#include "tst_newcommands.moc"
