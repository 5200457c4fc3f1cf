#include "data/catalogfile.h"
#include "recordsourcehelpers.h"
#include "scratchdb.h"
#include "testcatalog.h"

#include <QHash>
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
using namespace recordsourcehelpers;

namespace {

// Makes a file or folder unwritable for this process, root included (root ignores
// permission bits but not the immutable flag); undone on destruction.
struct Unwritable {
    explicit Unwritable(const QString& file)
        : path(QFile::encodeName(file))
        , done(set(true))
    {
    }
    ~Unwritable()
    {
        if (done)
            set(false);
    }
    bool set(bool on) const
    {
        struct stat st { };
        if (geteuid() != 0)
            return ::stat(path, &st) == 0
                && ::chmod(path, on ? st.st_mode & 07555 : st.st_mode | 0200) == 0;
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK);
        int flags = 0;
        bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    }
    const QByteArray path;
    bool done;
};

// A child process starts a large write into datos_cd and is killed before it
// commits, leaving the file half-written with its rollback journal beside it.
void killMidWrite(const QString& path)
{
    // A small page cache makes the engine write pages into the file itself before the commit.
    QVERIFY(scratch::killedRun([&] {
        scratch::Db db(path);
        db.exec("pragma cache_size = 8; begin; with recursive n(i) as (select 1000 union all "
            "select i + 1 from n where i < 20999) insert into datos_cd select i, 'NOMBRE ' || i, "
            "'', hex(zeroblob(150)) from n");
        ::raise(SIGKILL);
    }));
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
            QCOMPARE(errorOf([&] { c->exec("delete from datos_cd"); }), ErrorNumber::ReadOnly);
        } else if (entry == "media") {
            Unwritable file(cat.path()), dir(QFileInfo(cat.path()).absolutePath());
            if (!file.done || !dir.done)
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

    // The file is untrusted: the connection keeps it from reaching into the engine, and
    // even the program's own statements, which may read anything, never reach the
    // engine functions that take pointers or load code.
    void connectionGuards()
    {
        TestCatalog cat;
        const auto c = Connection::open(cat.path());
        for (const auto& [option, wanted] : { std::pair { SQLITE_DBCONFIG_DEFENSIVE, 1 },
                 { SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0 }, { SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0 },
                 { SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0 } }) {
            int value = -1;
            sqlite3_db_config(c->handle(), option, -1, &value);
            QVERIFY2(value == wanted, qPrintable(QStringLiteral("option %1").arg(option)));
        }
        Connection::OwnStatements own(*c);
        for (const char* sql :
            { "select fts3_tokenizer('simple')", "select load_extension('libc.so.6')" }) {
            sqlite3_stmt* st = nullptr;
            const int rc = sqlite3_prepare_v2(c->handle(), sql, -1, &st, nullptr);
            sqlite3_finalize(st);
            const QByteArray message = sqlite3_errmsg(c->handle());
            QVERIFY2(rc != SQLITE_OK && message.contains("not authorized"), sql);
        }
        // Pages are read, never mapped: a file shortened by another program gives an error.
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(c->handle(), "pragma mmap_size", -1, &st, nullptr);
        QCOMPARE(sqlite3_step(st), SQLITE_ROW);
        const int mapped = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        QCOMPARE(mapped, 0);
    }

    // Record sources and criteria read the catalogue's tables only; triggers and views
    // stored in the file may check, but not write or call on the program's behalf.
    void refusedStatements_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("source"); // empty: a save such as the form makes
        QTest::addColumn<QString>("criterion"); // run with FindFirst on the set when given
        QTest::addColumn<int>("number"); // below 256: the engine's primary code
        QTest::addColumn<QString>("mentions");
        const char* other = "create table otra (x); insert into otra values ('secreto')";
        const char* writesOther = "create table otra (x); create trigger t after insert on "
                                  "datos_cd begin insert into otra values (1); end";
        const char* deletes = "create trigger t after insert on canciones begin delete from "
                              "datos_cd; end";
        const char* raises = "create trigger t before insert on canciones begin select "
                             "raise(abort, 'sin canciones'); end";
        const char* view = "create view v as select * from datos_cd";
        const int no = ErrorNumber::NotAllowed;
        const struct {
            const char *row, *setup, *source, *criterion;
            int number;
            const char* mentions;
        } rows[] = {
            { "other table", other, "select * from otra", "", no, "«otra»" },
            { "view", view, "select * from v", "", no, "«v»" },
            { "other function", "", "select randomblob(8)", "", no, "«randomblob»" },
            { "trigger writing another table", writesOther, "", "", no, "«t»" },
            { "trigger deleting from a catalogue table", deletes, "", "", no, "«t»" },
            { "trigger raising an error", raises, "", "", SQLITE_CONSTRAINT, "«t»" },
            { "unique index on a text column",
                "create unique index descripciones on datos_cd(descripcion collate binary)", "", "",
                SQLITE_CONSTRAINT, "«descripciones»" },
            { "unclosed quote in criterion", "", "datos_cd", "nombre='DON'T'", SQLITE_ERROR, "" },
            { "two statements", "", "select * from datos_cd; delete from datos_cd", "", no, "" },
            { "not a select", "", "delete from datos_cd", "", no, "" },
            { "missing table", "", "discos", "", ErrorNumber::TableNotFound, "" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.setup) << QString(r.source) << QString(r.criterion)
                                 << r.number << QString::fromUtf8(r.mentions);
    }

    void refusedStatements()
    {
        QFETCH(QString, setup);
        QFETCH(QString, source);
        QFETCH(QString, criterion);
        QFETCH(int, number);
        QFETCH(QString, mentions);
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
        QVERIFY2((number < 256 ? f.number & 0xff : f.number) == number,
            qPrintable(QString::number(f.number) + f.description));
        QVERIFY2(!f.description.isEmpty() && f.description.contains(mentions),
            qPrintable(f.description));
        // Nothing of the refused statement or save is left.
        QCOMPARE(cat.column("select group_concat(id) from datos_cd"), QStringList { "1" });
        QCOMPARE(cat.column("select group_concat(id) from canciones"), QStringList { "1" });
        if (source.isEmpty()) {
            QCOMPARE(rs.Recordset().RecordCount(), 1);
            if (setup.contains("otra"))
                QCOMPARE(cat.count("otra"), 0);
        }
    }

    // Every failure names the file and says what is wrong in Spanish; a refused file
    // is left as it was, a refused save leaves nothing behind.
    void badCatalogues_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("at"); // check, refresh, both or save
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("mentions");
        const char* inUse = "está en uso por otro programa";
        const char* notFile = "no es un archivo normal";
        const struct {
            const char *row, *fault, *at;
            int number;
            const char* mentions;
        } rows[] = {
            { "missing", "missing", "both", ErrorNumber::FileNotFound, "No se encuentra" },
            { "text file", "text", "both", ErrorNumber::NotSqlite, "no es" },
            { "empty file", "empty", "both", ErrorNumber::NotSqlite, "no es" },
            { "jet file", "jet", "both", ErrorNumber::UnrecognizedFormat, "velmor-db convertir" },
            { "ace file", "ace", "both", ErrorNumber::UnrecognizedFormat, "Access" },
            { "missing table", "sql: drop table canciones", "both", ErrorNumber::TableNotFound,
                "canciones" },
            { "missing column", "sql: alter table datos_cd drop column artista", "both",
                ErrorNumber::BadSchema, "artista" },
            { "missing last column", "sql: alter table canciones drop column cancion20", "both",
                ErrorNumber::BadSchema, "cancion20" },
            { "datos_cd is a view",
                "sql: alter table datos_cd rename to d2; create view datos_cd as select * from d2",
                "both", ErrorNumber::BadSchema, "vista" },
            { "canciones is a virtual table",
                "sql: drop table canciones; create virtual table canciones using fts4(id)", "both",
                ErrorNumber::BadSchema, "virtual" },
            { "named pipe", "fifo", "both", ErrorNumber::NotSqlite, notFile },
            { "folder", "folder", "both", ErrorNumber::NotSqlite, notFile },
            { "device", "device", "both", ErrorNumber::NotSqlite, notFile },
            { "in use at open", "exclusive", "refresh", ErrorNumber::InUse, inUse },
            { "in use at save", "exclusive", "save", ErrorNumber::InUse, inUse },
            { "read-only file", "unwritable file", "save", ErrorNumber::ReadOnly, "solo lectura" },
            { "read-only folder", "unwritable folder", "save", ErrorNumber::ReadOnly, "carpeta" },
            { "disk full", "full", "save", ErrorNumber::DiskFull, "lleno" },
            { "damaged", "damaged", "refresh", ErrorNumber::Damaged, "dañado" },
            { "shortened while open", "shortened", "check", ErrorNumber::Damaged, "dañado" },
            { "not a catalogue", "header", "refresh", ErrorNumber::NotSqlite, "no es" },
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << QString(r.fault) << QString(r.at) << r.number
                                 << QString::fromUtf8(r.mentions);
    }

    void badCatalogues()
    {
        QFETCH(QString, fault);
        QFETCH(QString, at);
        QFETCH(int, number);
        QFETCH(QString, mentions);
        TestCatalog cat;
        const QString path = cat.path();
        const QByteArray native = QFile::encodeName(path);
        // Enough rows that most of them lie beyond the pages a shortened file keeps.
        cat.exec(QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                "where i < %1) insert into datos_cd select i, 'CD', '', "
                                "hex(zeroblob(150)) from n; insert into canciones (id) select id "
                                "from datos_cd")
                     .arg(fault == "shortened" ? 8000 : 3));
        // Made unwritable before the file is opened, as a file found so.
        std::optional<Unwritable> unwritable;
        if (fault.startsWith("unwritable")) {
            unwritable.emplace(fault.endsWith("file") ? path : QFileInfo(path).absolutePath());
            if (!unwritable->done)
                QSKIP("this file system cannot make a file unwritable");
        }
        RecordSource datcd, datcan;
        if (at == "save")
            bind(datcd, path, "datos_cd");
        if (at == "save" || fault == "shortened")
            bind(datcan, path, "canciones");
        const QHash<QString, QByteArray> written { { "text", "hola" }, { "empty", "" },
            { "jet", QByteArray("\0\1\0\0Standard Jet DB\0\0\0\0", 23) },
            { "ace", QByteArray("\0\1\0\0Standard ACE DB\0\0\0\0", 23) } };
        std::optional<scratch::Db> other;
        QString big = "D";
        if (fault.startsWith("sql: ")) {
            cat.exec(fault.mid(5));
        } else if (written.contains(fault) || fault == "missing" || fault == "fifo"
            || fault == "folder" || fault == "device") {
            QVERIFY(QFile::remove(path));
            QFile f(path);
            QVERIFY(!written.contains(fault)
                || (f.open(QIODevice::WriteOnly) && f.write(written[fault]) >= 0));
            QVERIFY(fault != "fifo" || ::mkfifo(native, 0600) == 0);
            QVERIFY(fault != "folder" || ::mkdir(native, 0700) == 0);
            QVERIFY(fault != "device" || ::symlink("/dev/zero", native) == 0);
        } else if (fault == "exclusive") {
            QCOMPARE(other.emplace(path).exec("begin exclusive"), SQLITE_OK);
        } else if (fault == "full") {
            Connection::OwnStatements own(*datcd.connection());
            datcd.connection()->exec("pragma max_page_count = 1");
            big = QString(200000, QLatin1Char('X'));
        } else if (!unwritable) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(fault == "shortened" ? f.resize(3 * 4096)
                                         : f.seek(fault == "header" ? 16 : 4096)
                        && f.write(QByteArray(4096, '\x5a')) == 4096);
        }
        const QByteArray before = contents(path);
        QList<Failure> failures;
        if (at == "save")
            failures << failureOf([&] { saveCd(datcd, datcan, 9999, "N", big); });
        if (at == "check" || at == "both")
            failures << failureOf([&] { CatalogFile::check(path); });
        if (at == "refresh" || at == "both")
            failures << failureOf([&] { bind(datcd, path, "datos_cd"); });
        other.reset();
        for (const Failure& f : failures) {
            QVERIFY2(f.number == number, qPrintable(QString::number(f.number) + f.description));
            QVERIFY2(f.description.contains(mentions) && f.description.contains(path),
                qPrintable(f.description));
            QVERIFY2(!f.description.contains(engineEnglish), qPrintable(f.description));
        }
        unwritable.reset();
        if (at == "save")
            QCOMPARE(
                cat.column("select count(*) from datos_cd where id = 9999"), QStringList { "0" });
        else
            QCOMPARE(contents(path), before);
    }

    void replacedCatalogueGetsNoSave_data()
    {
        QTest::addColumn<bool>("replaced"); // false: removed
        QTest::newRow("another file renamed over it") << true;
        QTest::newRow("removed") << false;
    }

    void replacedCatalogueGetsNoSave()
    {
        QFETCH(bool, replaced);
        TestCatalog cat;
        cat.addCd(1, "ANTIGUO", "", "D");
        RecordSource datcd, datcan;
        bind(datcd, cat.path(), "datos_cd");
        bind(datcan, cat.path(), "canciones");
        const QString old = cat.path() + ".antiguo", fresh = cat.path() + ".nuevo";
        QVERIFY(::link(QFile::encodeName(cat.path()), QFile::encodeName(old)) == 0);
        if (replaced)
            CatalogFile::create(fresh);
        QVERIFY(replaced ? ::rename(QFile::encodeName(fresh), QFile::encodeName(cat.path())) == 0
                         : QFile::remove(cat.path()));
        QCOMPARE(errorOf([&] { saveCd(datcd, datcan, 2); }), ErrorNumber::FileNotFound);
        QCOMPARE(
            TestCatalog::column(old, "select group_concat(id) from datos_cd"), QStringList { "1" });
        if (!replaced) {
            QCOMPARE(errorOf([&] { datcd.Refresh(); }), ErrorNumber::FileNotFound);
            return;
        }
        // Once refreshed, the sources work on the file now at the path.
        bind(datcd, cat.path(), "datos_cd");
        bind(datcan, cat.path(), "canciones");
        saveCd(datcd, datcan, 2);
        QCOMPARE(cat.column("select group_concat(id) from datos_cd"), QStringList { "2" });
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "tst_files.moc"
