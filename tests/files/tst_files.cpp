#include "data/catalogfile.h"
#include "data/collation.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/recordsource.h"
#include "testcatalog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmor;

namespace {

struct Failure {
    int number = 0;
    QString description;
};

template <typename F> Failure failureOf(F&& f)
{
    try {
        f();
    } catch (const DataError& e) {
        return { e.number, e.description };
    }
    return {};
}

void bind(RecordSource& source, const QString& path, const QString& text)
{
    source.setDatabaseName(path);
    source.setRecordSource(text);
    source.Refresh();
}

// A save as the catalogue form makes it: both rows in one transaction.
void saveCd(RecordSource& datcd, RecordSource& datcan, qint64 id, const QString& text = "D")
{
    TransactionGuard tx(datcd, &datcan);
    Recordset& d = datcd.Recordset();
    d.AddNew();
    d.Collect("id", id);
    d.Collect("nombre", "N");
    d.Collect("artista", "");
    d.Collect("descripcion", text);
    d.Update();
    Recordset& c = datcan.Recordset();
    c.AddNew();
    c.Collect("id", id);
    c.Update();
    tx.commit();
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("-");
}

// Makes a file or folder unwritable for this process, root included (root ignores
// permission bits but not the immutable flag); undone on destruction.
class Unwritable {
public:
    explicit Unwritable(const QString& path)
        : m_path(QFile::encodeName(path))
    {
        m_done = set(true);
    }
    ~Unwritable()
    {
        if (m_done)
            set(false);
    }
    bool done() const { return m_done; }

private:
    bool set(bool on)
    {
        if (geteuid() != 0) {
            struct stat st { };
            if (on && ::stat(m_path, &st) == 0)
                m_mode = st.st_mode & 07777;
            return m_mode && ::chmod(m_path, on ? m_mode & ~0222 : m_mode) == 0;
        }
        const int fd = ::open(m_path, O_RDONLY | O_NONBLOCK);
        int flags = 0;
        bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    QByteArray m_path;
    mode_t m_mode = 0;
    bool m_done = false;
};

// A child process starts a large write into datos_cd and is killed before it
// commits, leaving the file half-written with its rollback journal beside it.
void killMidWrite(const QString& path)
{
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        // A small page cache makes the engine write pages into the file itself
        // before the commit.
        sqlite3_exec(db,
            "pragma cache_size = 8; begin; with recursive n(i) as (select 1000 union all "
            "select i + 1 from n where i < 20999) insert into datos_cd select i, 'NOMBRE ' || i, "
            "'', hex(zeroblob(150)) from n",
            nullptr, nullptr, nullptr);
        ::raise(SIGKILL);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
}

const QRegularExpression engineEnglish(
    QStringLiteral("database|attempt|locked|disk I/O|malformed|readonly|unable|not authorized"));

}

class FilesTest : public QObject {
    Q_OBJECT
private slots:
    void interruptedWriteIsRolledBack_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("record source") << "source";
        QTest::newRow("file check, then record source") << "check";
        QTest::newRow("read-only connection") << "readonly";
        // Refused while it cannot be undone, untouched; undone once the media is writable.
        QTest::newRow("read-only media") << "media";
    }

    void interruptedWriteIsRolledBack()
    {
        QFETCH(QString, entry);
        TestCatalog cat;
        for (int id : { 1, 2, 3 })
            cat.addCd(id, "CD", "", "D");
        const QByteArray before = contents(cat.path());
        killMidWrite(cat.path());
        QVERIFY(QFile::exists(cat.path() + "-journal"));
        const QByteArray halfWritten = contents(cat.path());
        QVERIFY(halfWritten != before); // the write reached the file itself

        if (entry == "readonly") {
            const auto c = Connection::open(cat.path(), Connection::Access::ReadOnly);
            QCOMPARE(
                failureOf([&] { c->exec("delete from datos_cd"); }).number, ErrorNumber::ReadOnly);
        } else if (entry == "check") {
            CatalogFile::check(cat.path());
        } else if (entry == "media") {
            Unwritable file(cat.path()), dir(QFileInfo(cat.path()).absolutePath());
            if (!file.done() || !dir.done())
                QSKIP("this file system cannot make a file unwritable");
            RecordSource datcd;
            const Failure f = failureOf([&] { bind(datcd, cat.path(), "datos_cd"); });
            QCOMPARE(f.number, ErrorNumber::InterruptedWrite);
            QVERIFY2(f.description.contains(cat.path()), qPrintable(f.description));
            QCOMPARE(contents(cat.path()), halfWritten);
        }
        RecordSource datcd;
        bind(datcd, cat.path(), "datos_cd");
        QCOMPARE(datcd.Recordset().RecordCount(), 3);
        QCOMPARE(cat.column("select group_concat(id) from datos_cd"), QStringList { "1,2,3" });
        QVERIFY(!QFile::exists(cat.path() + "-journal"));
    }

    void connectionSettings_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("wanted");
        QTest::newRow("defensive") << SQLITE_DBCONFIG_DEFENSIVE << 1;
        QTest::newRow("schema not trusted") << SQLITE_DBCONFIG_TRUSTED_SCHEMA << 0;
        QTest::newRow("no tokenizer pointers") << SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER << 0;
        QTest::newRow("no extensions") << SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION << 0;
        QTest::newRow("no memory map") << -1 << 0;
    }

    void connectionSettings()
    {
        QFETCH(int, option);
        QFETCH(int, wanted);
        TestCatalog cat;
        const auto c = Connection::open(cat.path());
        int value = -1;
        if (option >= 0) {
            sqlite3_db_config(c->handle(), option, -1, &value);
        } else {
            Connection::OwnStatements own(*c);
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(c->handle(), "pragma mmap_size", -1, &st, nullptr);
            if (sqlite3_step(st) == SQLITE_ROW)
                value = sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
        }
        QCOMPARE(value, wanted);
    }

    // The program's own statements may read anything, but never reach the engine
    // functions that take pointers or load code.
    void ownStatementsNeverCallEngineFunctions_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("tokenizer pointer") << QByteArray("select fts3_tokenizer('simple')");
        QTest::newRow("extension") << QByteArray("select load_extension('libc.so.6')");
    }

    void ownStatementsNeverCallEngineFunctions()
    {
        QFETCH(QByteArray, sql);
        TestCatalog cat;
        const auto c = Connection::open(cat.path());
        Connection::OwnStatements own(*c);
        sqlite3_stmt* st = nullptr;
        const int rc = sqlite3_prepare_v2(c->handle(), sql.constData(), -1, &st, nullptr);
        const QByteArray message = sqlite3_errmsg(c->handle());
        sqlite3_finalize(st);
        QVERIFY2(rc != SQLITE_OK && message.contains("not authorized"), message.constData());
    }

    void statementsReadOnlyCatalogueTables_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("source"); // empty: a save such as the form makes
        QTest::addColumn<QString>("criterion"); // run with FindFirst on the set when given
        QTest::addColumn<QString>("named"); // what the refusal names; "-" when allowed
        const char* other = "create table otra (x); insert into otra values ('secreto')";
        // Triggers in the file: they may check, but not write or call on our behalf.
        const char* copies = "create table otra (x); create trigger t after insert on "
                             "datos_cd begin insert into otra values (new.id); end";
        const char* deletes = "create trigger t after insert on canciones begin delete from "
                              "datos_cd; end";
        const char* calls = "create trigger t before insert on datos_cd begin select "
                            "fts3_tokenizer('simple'); end";
        const char* fts = "create virtual table otra using fts4(x)";
        const char* view = "create view v as select * from datos_cd";
        const struct {
            const char *row, *setup, *source, *criterion, *named;
        } rows[] = {
            { "catalogue table", other, "select * from datos_cd where nombre = 'A'", "", "-" },
            { "criterion on catalogue", other, "datos_cd", "nombre='A' or id=2", "-" },
            { "other table", other, "select * from otra", "", "otra" },
            { "other table in a criterion", other, "datos_cd", "id in (select x from otra)",
                "otra" },
            { "view", view, "select * from v", "", "v" },
            { "schema table", "", "select * from sqlite_schema", "", "sqlite_master" },
            { "virtual table", fts, "select * from otra", "", "" },
            { "pragma function", "", "select * from pragma_database_list", "", "" },
            { "tokenizer pointer", "", "select fts3_tokenizer('simple')", "", "fts3_tokenizer" },
            { "extension", "", "select load_extension('libc.so.6')", "", "load_extension" },
            { "other function", "", "select randomblob(8)", "", "randomblob" },
            { "trigger writing another table", copies, "", "", "t" },
            { "trigger deleting from a catalogue table", deletes, "", "", "t" },
            { "trigger calling a function", calls, "", "", "t" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.setup) << QString(r.source) << QString(r.criterion)
                                 << QString(r.named);
    }

    void statementsReadOnlyCatalogueTables()
    {
        QFETCH(QString, setup);
        QFETCH(QString, source);
        QFETCH(QString, criterion);
        QFETCH(QString, named);
        TestCatalog cat;
        cat.addCd(1, "A", "", "D");
        if (!setup.isEmpty())
            cat.exec(setup);
        RecordSource rs, datcan;
        const Failure f = failureOf([&] {
            bind(rs, cat.path(), source.isEmpty() ? "datos_cd" : source);
            if (!criterion.isEmpty())
                rs.Recordset().FindFirst(criterion);
            if (source.isEmpty()) {
                bind(datcan, cat.path(), "canciones");
                saveCd(rs, datcan, 2);
            }
        });
        if (named == "-") {
            QVERIFY2(f.number == 0, qPrintable(f.description));
            QCOMPARE(rs.Recordset().Fields("id").text(), QString("1"));
            return;
        }
        QVERIFY2(f.number == ErrorNumber::NotAllowed, qPrintable(f.description));
        QVERIFY2(named.isEmpty() || f.description.contains("«" + named + "»"),
            qPrintable(f.description));
        if (source.isEmpty()) { // nothing of the refused save is left
            QCOMPARE(cat.column("select group_concat(id) from datos_cd"), QStringList { "1" });
            QCOMPARE(cat.column("select group_concat(id) from canciones"), QStringList { "1" });
            QCOMPARE(rs.Recordset().RecordCount(), 1);
            if (setup.contains("otra"))
                QCOMPARE(cat.count("otra"), 0);
        }
    }

    void refusedAtCheck_data()
    {
        QTest::addColumn<QString>("make"); // SQL on the catalogue, or a kind of path
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("datos_cd is a view")
            << "alter table datos_cd rename to d2; create view datos_cd as select * from d2"
            << ErrorNumber::BadSchema << "vista";
        QString fts = "drop table canciones; create virtual table canciones using fts4(id";
        for (int i = 1; i <= 20; ++i)
            fts += QStringLiteral(", cancion%1").arg(i);
        QTest::newRow("canciones is a virtual table")
            << fts + ")" << ErrorNumber::BadSchema << "virtual";
        QTest::newRow("named pipe")
            << "fifo" << ErrorNumber::NotSqlite << "no es un archivo normal";
        QTest::newRow("folder") << "folder" << ErrorNumber::NotSqlite << "no es un archivo normal";
        QTest::newRow("device") << "device" << ErrorNumber::NotSqlite << "no es un archivo normal";
    }

    void refusedAtCheck()
    {
        QFETCH(QString, make);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        TestCatalog cat;
        const QByteArray path = QFile::encodeName(cat.path());
        if (make == "fifo" || make == "folder" || make == "device") {
            QVERIFY(QFile::remove(cat.path()));
            QVERIFY(make == "fifo"     ? ::mkfifo(path, 0600) == 0
                    : make == "folder" ? ::mkdir(path, 0700) == 0
                                       : ::symlink("/dev/zero", path) == 0);
        } else {
            cat.exec(make);
        }
        for (const Failure& f :
            { failureOf([&] { CatalogFile::check(cat.path()); }), failureOf([&] {
                 RecordSource rs;
                 bind(rs, cat.path(), "datos_cd");
             }) }) {
            QCOMPARE(f.number, number);
            QVERIFY2(f.description.contains(mentions) && f.description.contains(cat.path()),
                qPrintable(f.description));
        }
    }

    void engineFailuresInSpanish_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("atSave"); // else at the first Refresh
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        const char* inUse = "está en uso por otro programa";
        const struct {
            const char *row, *fault;
            bool atSave;
            int number;
            const char* mentions;
        } rows[] = {
            { "in use at open", "exclusive", false, ErrorNumber::InUse, inUse },
            { "in use at save", "exclusive", true, ErrorNumber::InUse, inUse },
            { "read-only file", "file", true, ErrorNumber::ReadOnly, "solo lectura" },
            { "read-only folder", "folder", true, ErrorNumber::ReadOnly, "carpeta" },
            { "disk full", "full", true, ErrorNumber::DiskFull, "lleno" },
            { "damaged", "damaged", false, ErrorNumber::Damaged, "dañado" },
            { "shortened while open", "shortened", false, ErrorNumber::Damaged, "dañado" },
            { "not a catalogue", "header", false, ErrorNumber::NotSqlite, "no es" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.fault) << r.atSave << r.number << QString(r.mentions);
    }

    void engineFailuresInSpanish()
    {
        QFETCH(QString, fault);
        QFETCH(bool, atSave);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        TestCatalog cat;
        // Enough rows that most of them lie beyond the pages a shortened file keeps.
        cat.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                "where i < %1) insert into datos_cd select i, 'CD', '', "
                                "hex(zeroblob(150)) from n; insert into canciones (id) select id "
                                "from datos_cd")
                     .arg(fault == "shortened" ? 8000 : 3));
        std::optional<Unwritable> unwritable;
        if (fault == "file" || fault == "folder") {
            unwritable.emplace(fault == "file" ? cat.path() : QFileInfo(cat.path()).absolutePath());
            if (!unwritable->done())
                QSKIP("this file system cannot make a file unwritable");
        }
        RecordSource datcd, datcan;
        if (atSave)
            bind(datcd, cat.path(), "datos_cd");
        if (atSave || fault == "shortened")
            bind(datcan, cat.path(), "canciones");
        sqlite3* other = nullptr;
        QString big;
        if (fault == "exclusive") {
            sqlite3_open_v2(
                cat.path().toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
            QCOMPARE(sqlite3_exec(other, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
        } else if (fault == "full") {
            Connection::OwnStatements own(*datcd.connection());
            datcd.connection()->exec("pragma max_page_count = 1");
            big = QString(200000, QLatin1Char('X'));
        } else if (fault == "damaged" || fault == "header" || fault == "shortened") {
            QFile f(cat.path());
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (fault == "shortened") {
                QVERIFY(f.resize(3 * 4096));
            } else {
                f.seek(fault == "header" ? 16 : 4096);
                f.write(QByteArray(4096, '\x5a'));
            }
        }
        const Failure f = failureOf([&] {
            if (atSave)
                saveCd(datcd, datcan, 9999, big.isEmpty() ? QString("D") : big);
            else if (fault == "shortened")
                CatalogFile::check(cat.path());
            else
                bind(datcd, cat.path(), "datos_cd");
        });
        sqlite3_close_v2(other);
        QVERIFY2(f.number == number, qPrintable(QString::number(f.number) + f.description));
        QVERIFY2(f.description.contains(mentions) && f.description.contains(cat.path()),
            qPrintable(f.description));
        QVERIFY2(!f.description.contains(engineEnglish), qPrintable(f.description));
        unwritable.reset();
        if (atSave)
            QCOMPARE(
                cat.column("select count(*) from datos_cd where id = 9999"), QStringList { "0" });
    }

    void lookUpMatchesStoredUpperCase_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: stored as the form stores typed text
        QTest::addColumn<bool>("found");
        const struct {
            const char *row, *typed, *stored;
            bool found;
        } rows[] = {
            { "sharp s", "straße", "", true },
            { "capital sharp s", "STRAẞE", "STRASSE", true },
            { "sharp s kept in stored text", "strasse", "STRAßE", true },
            { "dotless i", "kırmızı", "", true },
            { "apostrophe n", "ŉ", "", true },
            { "long s", "ſol", "SOL", true },
            { "single s is not double", "strase", "STRASSE", false },
            { "accent counts", "canción", "CANCION", false },
            { "tilde counts", "ñandu", "NANDU", false },
            { "dotted capital I keeps its dot", "i", "İ", false },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.typed) << QString(r.stored) << r.found;
    }

    void lookUpMatchesStoredUpperCase()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, found);
        if (stored.isEmpty())
            stored = typed.toUpper();
        TestCatalog cat;
        cat.addCd(1, "OTRO", "", "D");
        cat.addCd(2, stored, "", "D");
        const auto sign = [](int c) { return (c > 0) - (c < 0); };
        const std::string a = typed.toStdString(), b = stored.toStdString();
        QCOMPARE(sign(compareCatalogText(a, b)), sign(compareCatalogTextSlow(a, b)));
        QCOMPARE(compareCatalogText(a, b) == 0, found);

        RecordSource datcd;
        bind(datcd, cat.path(), "datos_cd");
        datcd.Recordset().FindFirst("nombre='" + typed + "'");
        QCOMPARE(datcd.Recordset().NoMatch(), !found);
        if (found)
            QCOMPARE(datcd.Recordset().Fields("id").text(), QString("2"));
        bind(datcd, cat.path(), "select * from datos_cd where nombre ='" + typed + "'");
        QCOMPARE(datcd.Recordset().RecordCount(), found ? 1 : 0);
    }

    void replacedCatalogueGetsNoSave_data()
    {
        QTest::addColumn<bool>("renamedOver"); // else removed, then made again
        QTest::newRow("another file renamed over it") << true;
        QTest::newRow("removed and made again") << false;
    }

    void replacedCatalogueGetsNoSave()
    {
        QFETCH(bool, renamedOver);
        TestCatalog cat;
        cat.addCd(1, "ANTIGUO", "", "D");
        RecordSource datcd, datcan;
        bind(datcd, cat.path(), "datos_cd");
        bind(datcan, cat.path(), "canciones");
        const QString old = cat.path() + ".antiguo", fresh = cat.path() + ".nuevo";
        QVERIFY(::link(QFile::encodeName(cat.path()), QFile::encodeName(old)) == 0);
        if (renamedOver) {
            CatalogFile::create(fresh);
            QVERIFY(::rename(QFile::encodeName(fresh), QFile::encodeName(cat.path())) == 0);
        } else {
            QVERIFY(QFile::remove(cat.path()));
            CatalogFile::create(cat.path());
        }
        QCOMPARE(failureOf([&] { saveCd(datcd, datcan, 2); }).number, ErrorNumber::FileNotFound);
        const QStringList oldIds
            = TestCatalog::column(old, "select group_concat(id) from datos_cd");
        QCOMPARE(oldIds, QStringList { "1" });
        QCOMPARE(cat.count("datos_cd"), 0);
        // Once refreshed, the sources work on the file now at the path.
        bind(datcd, cat.path(), "datos_cd");
        bind(datcan, cat.path(), "canciones");
        saveCd(datcd, datcan, 2);
        QCOMPARE(cat.column("select group_concat(id) from datos_cd"), QStringList { "2" });
        QCOMPARE(TestCatalog::column(old, "select group_concat(id) from datos_cd"), oldIds);
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "tst_files.moc"
