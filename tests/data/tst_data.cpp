#include "data/catalogfile.h"
#include "data/collation.h"
#include "data/statements.h"
#include "data/valuerules.h"
#include "recordsourcehelpers.h"
#include "scratchdb.h"
#include "testcatalog.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <optional>
#include <sqlite3.h>

using namespace velmor;
using namespace recordsourcehelpers;

namespace {

const QString catalogueText = QStringLiteral("text collate nocase not null default ''");

// The statements that make both tables with the given declaration of the key, table
// options and declaration of the text columns.
QString handMadeSchema(
    const QString& key, const QString& options = {}, const QString& text = catalogueText)
{
    QString sql = "create table datos_cd (id " + key;
    for (const char* c : { "nombre", "artista", "descripcion" })
        sql += QStringLiteral(", %1 %2").arg(QLatin1String(c), text);
    sql += ")" + options + "; create table canciones (id " + key;
    for (int i = 1; i <= 20; ++i)
        sql += QStringLiteral(", cancion%1 %2").arg(i).arg(text);
    return sql + ")" + options + ";";
}

// Ids of every row, walking from the first; a row deleted since the set was read
// shows as "-".
QStringList walk(Recordset& set)
{
    QStringList out;
    if (set.RecordCount() == 0)
        return out;
    for (set.MoveFirst(); set.hasCurrent(); set.MoveNext()) {
        QString id;
        const int error = errorOf([&] { id = set.Fields("id").text(); });
        out << (error == ErrorNumber::RecordDeleted ? QStringLiteral("-")
                   : error                          ? QStringLiteral("error %1").arg(error)
                                                    : id);
    }
    return out;
}

QString foundId(Recordset& set, const QString& criterion)
{
    set.FindFirst(criterion);
    return set.NoMatch() ? QStringLiteral("none") : set.Fields("id").text();
}

// One write in the tables' words: "own add 603" (named "CD 603"), "other add 1 N7"
// (named "N7"), "other delete 600", or "own delete" for the current row; "own" writes
// through the set, "other" through another source.
void applyWrite(Recordset& own, Recordset& other, const QString& step)
{
    const QStringList words = step.split(' ');
    Recordset& writer = words[0] == "own" ? own : other;
    if (words[1] == "add") {
        writer.AddNew();
        writer.Collect("id", words[2].toInt());
        writer.Collect("nombre", words.size() > 3 ? words[3] : "CD " + words[2]);
        writer.Update();
        return;
    }
    if (words.size() > 2)
        QCOMPARE(foundId(writer, "id=" + words[2]), words[2]);
    writer.Delete();
}

// A set over CDs with the keys 2, 4, … (named "CD 2", … unless told), and another
// source on the same file.
struct EvenKeys {
    explicit EvenKeys(const QString& source, const QString& schema = {}, int rows = 300,
        const QString& name = "'CD ' || (2 * i)")
        : cat(schema)
    {
        cat.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                "where i < %1) insert into datos_cd select 2 * i, %2, '', 'D' "
                                "from n")
                     .arg(rows)
                     .arg(name));
        bind(set, cat.path(), source);
        bind(other, cat.path(), "datos_cd");
    }
    Recordset& rs() { return set.Recordset(); }
    // Writes of applyWrite separated by ", "; also "refresh" of the set, "program: SQL"
    // run by another program, "connection: SQL" run on the sets' own connection, and
    // "begin", "commit" and "rollback" of a transaction of both sources.
    void write(const QString& steps)
    {
        for (const QString& step : steps.split(", ", Qt::SkipEmptyParts)) {
            if (step == "refresh")
                set.Refresh();
            else if (step.startsWith("program: "))
                cat.exec(step.mid(9));
            else if (step.startsWith("connection: "))
                set.connection()->exec(step.mid(12).toUtf8().constData());
            else if (step == "begin")
                transaction.emplace(set, &other);
            else if (step == "commit" || step == "rollback") {
                if (step == "commit")
                    transaction->commit();
                transaction.reset();
            } else
                applyWrite(rs(), other.Recordset(), step);
        }
    }
    TestCatalog cat;
    RecordSource set, other;
    std::optional<TransactionGuard> transaction;
};

// How often the engine went round a loop in the statements `f` ran on the source's
// connection: about once for each row read. A look-up answered from an index goes
// round a few times; one that reads a table, at least once per row.
template <typename F> int engineRounds(RecordSource& source, F&& f)
{
    int rounds = 0;
    sqlite3* db = source.connection()->handle();
    sqlite3_progress_handler(
        db, 1, [](void* count) { return ++*static_cast<int*>(count), 0; }, &rounds);
    f();
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    return rounds;
}

// How many statements that read datos_cd `f` ran on the source's connection.
template <typename F> int readsOfTheTable(RecordSource& source, F&& f)
{
    int reads = 0;
    sqlite3* db = source.connection()->handle();
    sqlite3_trace_v2(
        db, SQLITE_TRACE_STMT,
        [](unsigned, void* count, void* statement, void*) {
            if (std::strstr(sqlite3_sql(static_cast<sqlite3_stmt*>(statement)), "datos_cd"))
                ++*static_cast<int*>(count);
            return 0;
        },
        &reads);
    f();
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    return reads;
}
}

class DataTest : public QObject {
    Q_OBJECT
private slots:
    void movesAndWrites()
    {
        TestCatalog cat;
        RecordSource datcd, values, unbound;
        bind(datcd, cat.path(), "datos_cd");
        Recordset& empty = datcd.Recordset();
        QCOMPARE(empty.RecordCount(), 0);
        QCOMPARE(errorOf([&] { empty.MoveFirst(); }), ErrorNumber::NoCurrentRecord);
        QCOMPARE(errorOf([&] { empty.MoveLast(); }), ErrorNumber::NoCurrentRecord);
        QCOMPARE(errorOf([&] { empty.Delete(); }), ErrorNumber::NoCurrentRecord);
        QCOMPARE(errorOf([&] { empty.Update(); }), ErrorNumber::InvalidOperation);
        QCOMPARE(errorOf([&] { unbound.Recordset(); }), ErrorNumber::NoCurrentRecord);

        for (int i = 1; i <= 3; ++i)
            cat.addCd(i, "N", "A", "D");
        datcd.Refresh();
        auto& rs = datcd.Recordset();
        QCOMPARE(rs.Fields("NOMBRE").text(), "N");
        QCOMPARE(errorOf([&] { rs.Fields("cancion1"); }), ErrorNumber::ItemNotFound);
        QCOMPARE(errorOf([&] { rs.Fields(4); }), ErrorNumber::ItemNotFound);
        rs.AddNew();
        rs.Collect("id", 7.0); // a whole number of any type makes a key
        rs.Collect("nombre", "LUNA");
        QCOMPARE(cat.count("datos_cd"), 3);
        rs.Update();
        QCOMPARE(cat.column("select nombre || '|' || artista from datos_cd where id = 7"),
            QStringList({ "LUNA|" }));
        QCOMPARE(foundId(rs, "nombre='luna'"), "7");
        // A refused row leaves the set as it was.
        rs.AddNew();
        rs.Collect("id", 7);
        QVERIFY(errorOf([&] { rs.Update(); }) != 0);
        QCOMPARE(rs.RecordCount(), 4);

        rs.MoveLast();
        rs.MoveNext();
        QCOMPARE(errorOf([&] { rs.Fields("id"); }), ErrorNumber::NoCurrentRecord);
        QCOMPARE(errorOf([&] { rs.MoveNext(); }), ErrorNumber::NoCurrentRecord);
        // A null reads as null, shown as empty text.
        bind(values, cat.path(), "select id, null as nada from datos_cd");
        QVERIFY(values.Recordset().Fields("nada").Value().isNull());
        QCOMPARE(values.Recordset().Fields("nada").text(), QString());
    }

    void handMadeTables_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::newRow("as made by the tool") << QString();
        QTest::newRow("id integer") << handMadeSchema("integer");
        QTest::newRow("id int primary key") << handMadeSchema("int primary key");
        QTest::newRow("id numeric") << handMadeSchema("numeric");
        QTest::newRow("id integer primary key desc") << handMadeSchema("integer primary key desc");
        QTest::newRow("without rowid") << handMadeSchema("integer primary key", " without rowid");
        QTest::newRow("no types") << handMadeSchema("", "", "");
    }

    // Reads, searches, a save and a delete as the forms make them, whatever the
    // tables' declarations.
    void handMadeTables()
    {
        QFETCH(QString, schema);
        TestCatalog cat(schema);
        cat.addCd(3, "MAR", QString::fromUtf8("RÍO"), "D3", { "S3" });
        cat.addCd(7, "LUNA", "NUBE", "D7", { "S7", "OTRA" });
        cat.addCd(10, "LUNA", "SOL", "D10", { "S10" });
        cat.addCd(20, "LARGA", "", QString(70000, u'ñ'));
        RecordSource datcd, datcan, search;
        bind(datcd, cat.path(), "datos_cd");
        bind(datcan, cat.path(), "canciones");
        Recordset& cd = datcd.Recordset();
        Recordset& can = datcan.Recordset();
        QCOMPARE(cd.columnNames(), CatalogFile::datosCdColumns());
        QCOMPARE(can.columnNames(), CatalogFile::cancionesColumns());
        QCOMPARE(can.Fields(1).text(), "S3");
        QCOMPARE(can.Fields(20).text(), "");
        QCOMPARE(foundId(cd, keyCriterion("10")), "10");
        QCOMPARE(foundId(can, keyCriterion("0010")), "10");
        QCOMPARE(foundId(cd, keyCriterion("4")), "none");
        QCOMPARE(foundId(cd, criterioArtista(QString::fromUtf8("río"))), "3");
        QCOMPARE(foundId(cd, criterioArtista("rio")), "none");
        QCOMPARE(foundId(cd, criterioNombre("luna")), "7");
        QCOMPARE(foundId(can, criterioId(*storedNumber(cd.Fields("id").Value()))), "7");
        QCOMPARE(can.Fields("cancion2").text(), "OTRA");
        // A text far longer than anything shown is read one character beyond it.
        QCOMPARE(foundId(cd, keyCriterion("20")), "20");
        QCOMPARE(cd.Fields("descripcion").text(), QString(65537, u'ñ'));
        bind(search, cat.path(), consultaPorNombre(Operador::Igual, "luna"));
        QCOMPARE(walk(search.Recordset()), QStringList({ "7", "10" }));
        bind(search, cat.path(), consultaPorCancion(Operador::Igual, "otra"));
        QCOMPARE(walk(search.Recordset()), QStringList({ "7" }));
        bind(search, cat.path(), cancionesDelCd(qint64(7)));
        QCOMPARE(search.Recordset().Fields(2).text(), "OTRA");

        // Saved while CD 10 exists: it joins both sets at once, after their rows.
        saveCd(datcd, datcan, 5, "ESTRELLA", "D5", { "S5" });
        QCOMPARE(cat.column("select nombre || '|' || artista || '|' || descripcion || '|' || "
                            "cancion1 || cancion20 from datos_cd join canciones using (id) "
                            "where id = 5"),
            QStringList { "ESTRELLA||D5|S5" });
        QCOMPARE(foundId(can, keyCriterion("5")), "5");
        QCOMPARE(can.Fields(1).text(), "S5");
        QCOMPARE(foundId(cd, criterioNombre("estrella")), "5");
        QCOMPARE(foundId(cd, keyCriterion("7")), "7");
        cd.Delete();
        QCOMPARE(foundId(can, keyCriterion("7")), "7");
        can.Delete();
        QCOMPARE(cat.column("select group_concat(id) from (select id from datos_cd union all "
                            "select id from canciones order by 1)"),
            QStringList { "3,3,5,5,10,10,20,20" });
        QCOMPARE(foundId(cd, criterioNombre("luna")), "10");
        QCOMPARE(walk(cd), QStringList({ "3", "10", "20", "5" }));
    }

    void setFollowsWrites_data()
    {
        QTest::addColumn<QString>("schema");
        QTest::addColumn<int>("seed");
        const QString withoutRowid = handMadeSchema("integer primary key", " without rowid");
        // 35 once found a fault.
        for (int seed : { 1, 2, 3, 4, 5, 6, 7, 8, 35 }) {
            QTest::addRow("table, %d", seed) << QString() << seed;
            QTest::addRow("without rowid, %d", seed) << withoutRowid << seed;
        }
    }

    // Random writes through the set, through another source and by another program,
    // with Refresh, moves, finds and listings, against what the set must hold: the rows
    // of its Refresh in key order, then those it added itself, less those it deleted.
    // A row deleted through the other source stays in it and reads as deleted, or as
    // read before. Once it has been moved to its last row its count is exact.
    void setFollowsWrites()
    {
        QFETCH(QString, schema);
        QFETCH(int, seed);
        const bool keepsValues = !schema.isEmpty(); // read whole at Refresh
        EvenKeys k("datos_cd", schema, 300, "'N' || (2 * i % 7)");
        // A set of a table's rows has read only its first rows until it is moved.
        QCOMPARE(k.rs().RecordCount() < 300, !keepsValues);
        const auto name = [](qint64 id) { return "N" + QString::number(id % 7); };
        QList<qint64> file, rows; // the keys in the file; the set's, in set order
        for (qint64 id = 2; id <= 600; id += 2)
            file << id;
        rows = file;
        QList<qint64> added; // through the set since its Refresh
        QSet<qint64> gone; // in the set, deleted through the other source
        bool counted = false; // moved to its last row since the Refresh
        QRandomGenerator dice { quint32(seed) };
        const auto pick
            = [&](const QList<qint64>& from) { return from[dice.bounded(from.size())]; };
        qint64 past = 601;
        // A key not used yet, among the others or past them.
        const auto freshKey = [&] {
            const qint64 id = 2 * dice.bounded(1, 300) + 1;
            return dice.bounded(2) || file.contains(id) || rows.contains(id) ? past++ : id;
        };
        const auto shows = [&](qint64 id, const QString& read) {
            return read == QString::number(id) || (gone.contains(id) && read == "-");
        };
        const auto current = [&] {
            QString id;
            return errorOf([&] { id = k.rs().Fields("id").text(); }) ? QString("-") : id;
        };
        const auto refresh = [&] {
            k.write("refresh");
            rows = file;
            std::sort(rows.begin(), rows.end());
            added.clear();
            gone.clear();
            counted = false;
        };
        for (int step = 0; step < 120; ++step) {
            const int what = dice.bounded(10);
            if (what <= 1) {
                const qint64 id = freshKey();
                k.other.Refresh();
                k.write(QStringLiteral("%1 add %2 %3")
                            .arg(what ? "other" : "own")
                            .arg(id)
                            .arg(name(id)));
                file << id;
                if (!what) {
                    rows << id;
                    added << id;
                }
            } else if (what == 2 && !rows.isEmpty()) {
                const qint64 id = pick(dice.bounded(2) && !added.isEmpty() ? added : rows);
                if (gone.contains(id))
                    continue;
                added.removeOne(id);
                k.write(QStringLiteral("own delete %1").arg(id));
                file.removeOne(id);
                const qsizetype at = rows.indexOf(id);
                rows.removeAt(at);
                // Deleted: no current row until moved on to the one after it.
                QCOMPARE(current(), "-");
                if (at < rows.size()) {
                    k.rs().MoveNext();
                    QVERIFY(shows(rows[at], current()));
                }
            } else if (what == 3 && !file.isEmpty()) {
                const qint64 id = pick(file);
                k.other.Refresh();
                k.write(QStringLiteral("other delete %1").arg(id));
                file.removeOne(id);
                if (rows.contains(id))
                    gone << id;
            } else if (what == 4) {
                // Another program's write shows after a Refresh.
                const qint64 id = dice.bounded(2) && !file.isEmpty() ? pick(file) : freshKey();
                if (file.removeOne(id)) {
                    k.cat.exec(QStringLiteral("delete from datos_cd where id = %1").arg(id));
                } else {
                    k.cat.exec(QStringLiteral("insert into datos_cd (id, nombre) values (%1, '%2')")
                                   .arg(id)
                                   .arg(name(id)));
                    file << id;
                }
                refresh();
            } else if (what == 5 && !rows.isEmpty()) {
                k.rs().MoveLast();
                counted = true;
                QVERIFY(shows(rows.last(), current()));
                // The last row, counted and perhaps not read, deleted through the set.
                if (dice.bounded(3) == 0 && !gone.contains(rows.last())) {
                    k.write("own delete");
                    added.removeOne(rows.last());
                    file.removeOne(rows.takeLast());
                }
            } else if (what == 6) {
                const qint64 id = pick(file + rows + QList<qint64> { past });
                const bool held = rows.contains(id) && !gone.contains(id);
                QCOMPARE(foundId(k.rs(), QStringLiteral("id=%1").arg(id)),
                    held ? QString::number(id) : "none");
                // Moving on from it, though it may lie beyond the rows read, goes on from there.
                const qsizetype at = rows.indexOf(id);
                if (held && at + 1 < rows.size()) {
                    k.rs().MoveNext();
                    QVERIFY(shows(rows[at + 1], current()));
                }
            } else if (what == 7) {
                // The index answers the plain shape, the engine any other.
                const QString typed = name(dice.bounded(7));
                const auto first = std::find_if(rows.begin(), rows.end(),
                    [&](qint64 id) { return !gone.contains(id) && name(id) == typed; });
                QCOMPARE(foundId(k.rs(),
                             (dice.bounded(2) ? "nombre='" : "nombre = '") + typed.toLower() + "'"),
                    first == rows.end() ? "none" : QString::number(*first));
            } else if (what == 8 && !rows.isEmpty()) {
                // From the first row, values as stored, up to a row deleted elsewhere
                // unless the set keeps values.
                const int limit = dice.bounded(2) ? -1 : dice.bounded(int(rows.size()) + 2);
                QStringList expected, handed;
                int error = 0;
                for (qint64 id : rows.mid(0, limit)) {
                    if (gone.contains(id) && !keepsValues) {
                        error = ErrorNumber::RecordDeleted;
                        break;
                    }
                    expected << name(id) + ":" + QString::number(id);
                }
                k.rs().MoveFirst();
                QCOMPARE(errorOf([&] {
                    k.rs().readOnward({ "nombre", "id" }, limit, [&](const QVariant* v) {
                        handed << valueText(v[0]) + ":" + valueText(v[1]);
                    });
                }),
                    error);
                QCOMPARE(handed, expected);
            } else if (what == 9) {
                refresh();
            }
            if (counted)
                QCOMPARE(k.rs().RecordCount(), rows.size());
        }
        const QStringList walked = walk(k.rs());
        QCOMPARE(walked.size(), rows.size());
        for (int i = 0; i < rows.size(); ++i)
            QVERIFY2(shows(rows[i], walked[i]), qPrintable(walked[i]));
    }

    // Inside a transaction the file keeps its version until the commit: a count made
    // before a write of the set or of the connection, or before a rollback, is not used
    // again.
    void countsInsideATransaction()
    {
        EvenKeys k("datos_cd");
        k.write("begin");
        k.rs().MoveLast();
        QCOMPARE(k.rs().RecordCount(), 300);
        k.write("own add 1 NUEVO, refresh");
        k.rs().MoveLast();
        QCOMPARE(k.rs().RecordCount(), 301);
        k.write("rollback, refresh");
        k.rs().MoveLast();
        QCOMPARE(k.rs().RecordCount(), 300);
        k.write("begin, refresh");
        k.rs().MoveLast();
        k.write("connection: insert into datos_cd (id) values (1), refresh");
        k.rs().MoveLast();
        QCOMPARE(k.rs().RecordCount(), 301);
    }

    void listingsHandValuesAsStored_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("listed"); // the listing's columns named before the Refresh
        QTest::addColumn<QString>("program"); // run by another program before the listing
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("fromRefresh"); // the listing reads no row again
        const QString statement = "select * from datos_cd where id > 1";
        const QStringList all = { "2.5:2", ":3", "ABC:4", "-9223372036854775808:5", "seis:6" };
        QTest::newRow("table") << "datos_cd" << true << "" << QStringList { "uno:1" } + all
                               << false;
        QTest::newRow("statement, listed") << statement << true << "" << all << true;
        QTest::newRow("statement, listed, another program renames")
            << statement << true << "update datos_cd set nombre = 'otro' where id = 6"
            << all.mid(0, 4) + QStringList { "otro:6" } << false;
        QTest::newRow("values of a join")
            << "select d.id, d.nombre from datos_cd d join datos_cd e on e.id = d.id where d.id > 1"
            << false << "" << all << true;
    }

    // A listing hands every value as Fields would give it, read when the listing asks
    // or, for the columns named beforehand, with the rows at the Refresh while the file
    // stays as it was.
    void listingsHandValuesAsStored()
    {
        QFETCH(QString, source);
        QFETCH(bool, listed);
        QFETCH(QString, program);
        QFETCH(QStringList, rows);
        QFETCH(bool, fromRefresh);
        TestCatalog cat(handMadeSchema("integer primary key", {}, ""));
        cat.exec("insert into datos_cd (id, nombre) values (1, 'uno'), (2, 2.5), (3, null), "
                 "(4, x'414243'), (5, -9223372036854775808), (6, 'seis')");
        RecordSource set;
        if (listed)
            set.setListedColumns({ "id", "nombre" });
        bind(set, cat.path(), source);
        set.Recordset().MoveLast();
        if (!program.isEmpty())
            cat.exec(program);
        set.Recordset().MoveFirst();
        QStringList handed, asText;
        const int reads = readsOfTheTable(set, [&] {
            set.Recordset().readOnwardViews({ "nombre", "id" }, -1, [&](const ValueView* v) {
                QByteArray scratch;
                handed << valueText(v[0].toVariant()) + ":" + valueText(v[1].toVariant());
                asText << QString::fromUtf8(valueTextUtf8(v[0], scratch)) + ":"
                        + QString::fromUtf8(valueTextUtf8(v[1], scratch));
            });
        });
        QCOMPARE(handed, rows);
        QCOMPARE(asText, rows);
        QCOMPARE(reads == 0, fromRefresh);
    }

    void lookUpsFollowWrites_data()
    {
        QTest::addColumn<bool>("inSteps"); // the writes come between the index's first step
                                           // and the rest, rather than once it is built
        QTest::addColumn<QString>("writes");
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<QString>("found");
        QTest::addColumn<bool>("fromIndex"); // without reading the table again
        // Keys 2, 4, … 4000; "N300" is the name of 600, 2000 and 3400; no artist.
        const struct {
            const char* row;
            bool inSteps;
            const char *writes, *criterion, *found;
            bool fromIndex;
        } rows[] = {
            { "own save", false, "begin, own add 1 NUEVO, commit", "nombre='nuevo'", "1", true },
            // Shares the key of 600, 2000 and 3400 but not their text: the index must chain it.
            { "own add of another text of a key", false, "own add 4001 Ń300", "nombre='ń300'",
                "4001", true },
            { "own delete, empty artist", false, "own delete 2", "artista=''", "4", true },
            { "another program renames", false,
                "program: update datos_cd set nombre = 'NUEVO' where id = 1398", "nombre='nuevo'",
                "1398", false },
            { "own statement on the connection", false,
                "connection: insert into datos_cd (id,nombre) values (1,'NUEVO'), refresh",
                "nombre='nuevo'", "1", false },
            { "own delete rolled back", false, "begin, own delete 600, rollback", "nombre='n300'",
                "600", false },
            { "in steps", true, "", "nombre='n300'", "600", true },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << r.inSteps << QString(r.writes) << QString::fromUtf8(r.criterion)
                                 << QString(r.found) << r.fromIndex;
    }

    // The look-up indexes are built in steps, follow the program's own writes, and are
    // built again only when the file changed otherwise.
    void lookUpsFollowWrites()
    {
        QFETCH(bool, inSteps);
        QFETCH(QString, writes);
        QFETCH(QString, criterion);
        QFETCH(QString, found);
        QFETCH(bool, fromIndex);
        EvenKeys k("datos_cd", {}, 2000, "'N' || (i % 700)");
        if (inSteps) {
            // Steps with no time to spare still get on, a few hundred rows at a time.
            QVERIFY(!k.rs().prepareLookUp("nombre", std::chrono::milliseconds(0)));
            k.write(writes);
            int steps = 1;
            while (!k.rs().prepareLookUp("nombre", std::chrono::milliseconds(0)))
                QVERIFY(++steps < 100);
        } else {
            foundId(k.rs(), criterion); // builds the column's index
            k.write(writes);
        }
        QString id;
        const int rounds = engineRounds(k.set, [&] { id = foundId(k.rs(), criterion); });
        QCOMPARE(id, found);
        if (fromIndex)
            QCOMPARE_LT(rounds, 100);
    }
    void criteria_data()
    {
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<QString>("extra"); // stored as CD 8 when given
        QTest::addColumn<QStringList>("expected");
        // Stored: 1 CANCIÓN, 2 ÁRBOL, 3 ARBOL, 4 ÑANDÚ, 5 NZ, 6 O, 7 DON'T STOP
        const struct {
            const char *row, *criterion, *extra;
            QStringList expected;
        } rows[] = {
            { "lower case accented", "nombre='canción'", "", { "1" } },
            { "accent counts", "nombre='cancion'", "", {} },
            { "accent kept apart", "nombre='árbol'", "", { "2" } },
            { "no accent", "nombre='arbol'", "", { "3" } },
            { "tilde counts", "nombre='ñandu'", "NANDU", {} },
            { "enye after n", "nombre > 'NZ' and nombre < 'O'", "", { "4" } },
            // Letters whose upper case is another letter or two match what was stored from them.
            { "sharp s kept in stored text", "nombre='strasse'", "STRAßE", { "8" } },
            { "sharp s", "nombre='straße'", "STRASSE", { "8" } },
            { "dotless i", "nombre='fın'", "FIN", { "8" } },
            { "decomposed accent", "nombre='cancio\u0301n'", "", { "1" } },
            { "dotted capital I keeps its dot", "nombre='i'", "İ", {} },
            // Ordinal indicators differ from their letters as letter case does.
            { "masculine ordinal as o", "nombre='no 5'", "Nº 5", { "8" } },
            { "feminine ordinal as a", "nombre='1ª'", "1A", { "8" } },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString::fromUtf8(r.criterion) << QString::fromUtf8(r.extra)
                                 << r.expected;
        QTest::newRow("doubled quote") << criterioNombre("don't stop") << "" << QStringList { "7" };
    }

    void criteria()
    {
        QFETCH(QString, criterion);
        QFETCH(QString, extra);
        QFETCH(QStringList, expected);
        TestCatalog cat;
        const char* names[] = { "CANCIÓN", "ÁRBOL", "ARBOL", "ÑANDÚ", "NZ", "O", "DON'T STOP" };
        for (int i = 0; i < 7; ++i)
            cat.addCd(i + 1, QString::fromUtf8(names[i]), "", "D");
        if (!extra.isEmpty())
            cat.addCd(8, extra, "", "D");
        // The same criterion judged by FindFirst on a keyed set, on a set of values,
        // and in a statement.
        const QString first = expected.isEmpty() ? "none" : expected.first();
        RecordSource table, values, statement;
        bind(table, cat.path(), "datos_cd");
        QCOMPARE(foundId(table.Recordset(), criterion), first);
        bind(values, cat.path(), "select id, nombre from datos_cd");
        QCOMPARE(foundId(values.Recordset(), criterion), first);
        bind(statement, cat.path(), "select * from datos_cd where " + criterion);
        QCOMPARE(walk(statement.Recordset()), expected);
    }

    void idleSetsLeaveFileWritable_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("rows");
        QTest::newRow("table") << "datos_cd" << 40;
        QTest::newRow("rows of a table, with a condition")
            << consultaPorNombre(Operador::Igual, "luna") << 30;
    }

    void idleSetsLeaveFileWritable()
    {
        QFETCH(QString, source);
        QFETCH(int, rows);
        TestCatalog cat;
        for (int id = 1; id <= 40; ++id)
            cat.addCd(id, id <= 30 ? "LUNA" : "SOL", "ANA", "D", { "S" });
        RecordSource set;
        bind(set, cat.path(), source);
        Recordset& rs = set.Recordset();
        rs.MoveNext();
        QVERIFY(rs.hasCurrent());

        // Another program writes while the set sits idle; it must not find the file busy.
        scratch::Db other(cat.path(), SQLITE_OPEN_READWRITE, 0);
        QVERIFY2(other.exec("begin immediate; insert into datos_cd (id, nombre) values (100, "
                            "'LUNA'); insert into canciones (id) values (100); commit;")
                == SQLITE_OK,
            qPrintable(other.error()));

        // The set keeps the rows of its Refresh.
        rs.MoveLast();
        QCOMPARE(rs.RecordCount(), rows);
    }

    void quickOrderAgreesWithCollator()
    {
        // Every pair of one- and two-character texts over blanks, punctuation, digits
        // and letters, then longer texts that share beginnings.
        QList<QByteArray> alphabet, texts { "" };
        for (char c : QByteArray(" \t\n!\"#'()*+,-./09:;<=>?@AZaz[\\]^_`{|}~\x01"))
            alphabet << QByteArray(1, c);
        for (const QString& c : QString("ÁáÑñÉéÜüÇçÿ").split(QString(), Qt::SkipEmptyParts))
            alphabet << c.toUtf8();
        alphabet << "n\xcc\x83" << "\xc3\x9f"; // n and a combining tilde, sharp s
        for (const QByteArray& a : alphabet) {
            texts << a;
            for (const QByteArray& b : alphabet)
                texts << a + b;
        }
        texts << "CANCION 1" << "cancion 10" << "CANCIÓN 1" << "canción 1" << "CANCION-1"
              << "CANCION1" << "ab c" << "abc" << "a-b" << "Ab" << "NANDU" << "ÑANDU" << "OSO";
        const auto sign = [](int c) { return (c > 0) - (c < 0); };
        for (const QByteArray& a : texts)
            for (const QByteArray& b : texts) {
                const int fast = compareCatalogText(a.toStdString(), b.toStdString());
                const int slow = compareCatalogTextSlow(a.toStdString(), b.toStdString());
                if (sign(fast) != sign(slow))
                    QFAIL(qPrintable(QStringLiteral("'%1' vs '%2': %3 against %4")
                                         .arg(QString::fromUtf8(a), QString::fromUtf8(b))
                                         .arg(fast)
                                         .arg(slow)));
            }
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("letter first") << "abc12" << 0.0;
        QTest::newRow("blanks inside") << " 1 2\t3\n4" << 1234.0;
        QTest::newRow("sign then blank") << "- 7" << -7.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("comma stops") << "1,5" << 1.0;
        QTest::newRow("exponent D") << "2d2" << 200.0;
        QTest::newRow("exponent sign") << "5E-1" << 0.5;
        QTest::newRow("exponent without digits") << "3E" << 3.0;
        QTest::newRow("hexadecimal lower") << "&hff" << 255.0;
        QTest::newRow("octal stops at 8") << "&O78" << 7.0;
        QTest::newRow("point digits") << ".5" << 0.5;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(velmor::leadingNumber(text), value);
    }

    void numericText_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<QString>("criterion");
        QTest::addColumn<QString>("key"); // the key read, or why there is none
        const struct {
            const char *row, *locale, *text;
            bool numeric;
            const char *criterion, *key;
        } rows[] = {
            { "empty", "C", "", false, "id=0", "falta la clave" },
            { "surrounding blanks", "C", " 12 ", true, "id=12", "12" },
            { "letters", "C", "12abc", false, "id=12", "la clave «12abc» no es un número" },
            { "fraction C", "C", "2.5", true, "id=2.5", "la clave «2.5» no es un número entero" },
            { "fraction es", "es_ES", "2,5", true, "id=2", "la clave «2,5» se guardaría como 2" },
            { "full stop es", "es_ES", "2.5", false, "id=2.5", "la clave «2.5» no es un número" },
            { "group es", "es_ES", "10.000", true, "id=10",
                "la clave «10.000» se guardaría como 10" },
            { "largest key", "C", "-9007199254740992", true, "id=-9007199254740992",
                "-9007199254740992" },
            // A double holds 2^53 + 1 as 2^53: the text names a key it would not store.
            { "beyond a double's whole numbers", "C", "9007199254740993", true,
                "id=9007199254740992",
                "la clave «9007199254740993» no se puede guardar exacta (el máximo es "
                "9007199254740992)" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.locale) << QString(r.text) << r.numeric
                                 << QString(r.criterion) << QString::fromUtf8(r.key);
    }

    void numericText()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(QString, criterion);
        QFETCH(QString, key);
        const QLocale saved;
        QLocale::setDefault(QLocale(locale));
        const bool result = isNumericText(text);
        const QString formed = keyCriterion(text);
        const KeyReading read = readKey(text);
        QLocale::setDefault(saved);
        QCOMPARE(result, numeric);
        QCOMPARE(formed, criterion);
        QCOMPARE(read.problem == KeyReading::Problem::None ? QString::number(read.key)
                                                           : read.reason(text),
            key);
    }

    void upperCase_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("upper");
        const struct {
            const char* row;
            QString locale, text, upper;
        } rows[] = {
            { "accents and eñe", "es_ES", "canción ñandú", "CANCIÓN ÑANDÚ" },
            // Letters whose upper case is longer stay, so the text keeps its length.
            { "sharp s", "es_ES", "Große Straße der Weißen Flößen",
                "GROßE STRAßE DER WEIßEN FLÖßEN" },
            { "ligatures and apostrophe n", "es_ES", "ﬁn ﬄ ŉ", "ﬁN ﬄ ŉ" },
            { "Turkish dotted i", "tr_TR", "istanbul", "İSTANBUL" },
            { "letters beyond the basic plane", "es_ES", "𐐨𐐩x", "𐐀𐐁X" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << r.locale << r.text << r.upper;
    }

    void upperCase()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QString, upper);
        const QLocale saved;
        QLocale::setDefault(QLocale(locale));
        const QString result = upperCaseForm(text);
        QLocale::setDefault(saved);
        QCOMPARE(result, upper);
    }

    void textRules_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept"); // what the boxes let through
        QTest::addColumn<QString>("problem"); // with the typed text as a stored value
        const int nombre = int(TextColumn::Nombre), descripcion = int(TextColumn::Descripcion),
                  cancion = int(TextColumn::Cancion);
        const QString control = "tiene un carácter de control (U+%1)",
                      tooLong = "tiene %1 caracteres (máximo 30)",
                      earlier = "GROSSE STRASSE DER WEISSEN FLÖSSEN";
        // A letter beyond the basic plane takes two characters, as in the boxes.
        const QString pairs = QString(15, 'x') + QString("𐐀").repeated(8);
        const struct {
            const char* row;
            int column;
            QString typed, kept, problem;
        } rows[] = {
            { "tab and line breaks in one line", cancion, "a\tb\r\nc\nd\re", "a b c d e",
                control.arg("0009") },
            { "line breaks in the description", descripcion, "a\r\nb\rc\u2028d\te", "a\nb\nc\nd e",
                control.arg("000D") },
            { "CR LF kept in a stored description", descripcion, "a\r\nb", "a\nb", "" },
            { "other controls left out, next line a blank", nombre,
                QString("a") + QChar(0) + "b\x1b\u007f\u0085\u009fc", "ab c", control.arg("0000") },
            { "paragraph separator", nombre, "a\u2029b", "a b",
                "tiene un separador de líneas (U+2029)" },
            { "half a surrogate pair", cancion, QChar(0xDC00) + QString("a𐐀"), "a𐐀",
                "tiene medio carácter suelto (U+DC00)" },
            { "codes reserved as no characters", nombre, "a\uFDD0b\uFFFF", "ab",
                "tiene un código reservado, que no es un carácter (U+FDD0)" },
            { "at the limit", nombre, QString(30, 'x'), QString(30, 'x'), "" },
            { "past the limit", nombre, QString(31, 'x'), QString(31, 'x'), tooLong.arg(31) },
            { "pairs count twice", cancion, pairs, pairs, tooLong.arg(31) },
            // Earlier versions stored "ß" as "SS": such a text counts as typed.
            { "earlier upper case of sharp s", nombre, earlier, earlier, "" },
            { "earlier upper case past the limit", nombre, earlier + " XYZ", earlier + " XYZ",
                tooLong.arg(38) },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << r.column << r.typed << r.kept << r.problem;
    }

    void textRules()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(QString, problem);
        const auto c = TextColumn(column);
        QCOMPARE(boxText(c, typed), kept);
        QCOMPARE(characterProblem(c, boxText(c, typed)), QString());
        QCOMPARE(textProblem(c, typed), problem);
        if (typed.isValidUtf16())
            QCOMPARE(storedTextProblem(c, typed.toUtf8()), problem);
    }
};

QTEST_GUILESS_MAIN(DataTest)
#include "tst_data.moc"
