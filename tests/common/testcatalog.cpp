#include "testcatalog.h"

#include "data/catalogfile.h"

#include <QTest>
#include <sqlite3.h>

namespace {

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const QString& path, int flags = SQLITE_OPEN_READWRITE)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK)
            qFatal("cannot open test catalogue %s", qPrintable(path));
        sqlite3_busy_timeout(db, 2000);
        // Arranging rows for a test needs no durability.
        sqlite3_exec(db, "pragma synchronous=off", nullptr, nullptr, nullptr);
    }
    ~Db() { sqlite3_close_v2(db); }

    void exec(const QString& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
            qFatal("test SQL failed: %s: %s", qPrintable(sql), message);
    }

    // One statement with the id as its first parameter and the texts after it.
    void insert(const QString& sql, qint64 id, const QStringList& texts)
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, id);
        for (int i = 0; i < texts.size(); ++i) {
            const QByteArray text = texts[i].toUtf8();
            sqlite3_bind_text(st, i + 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(st) != SQLITE_DONE)
            qFatal("addCd: %s", sqlite3_errmsg(db));
        sqlite3_finalize(st);
    }
};

}

TestCatalog::TestCatalog(const QString& schema)
{
    m_path = m_dir.filePath(QStringLiteral("velmor.mdb"));
    if (schema.isEmpty())
        velmor::CatalogFile::create(m_path);
    else
        Db(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).exec(schema);
    velmor::CatalogFile::setPathOverride(m_path);
}

TestCatalog::~TestCatalog() { velmor::CatalogFile::setPathOverride(QString()); }

void TestCatalog::exec(const QString& sql) { Db(m_path).exec(sql); }

void TestCatalog::addCd(qint64 id, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& canciones, bool songsRow)
{
    Db d(m_path);
    d.insert("insert into datos_cd(id, nombre, artista, descripcion) values (?1, ?2, ?3, ?4)", id,
        { nombre, artista, descripcion });
    if (!songsRow)
        return;
    QStringList songs = canciones;
    songs.resize(20);
    d.insert("insert into canciones values (?1" + QString(", ?").repeated(20) + ")", id, songs);
}

QStringList TestCatalog::column(const QString& path, const QString& sql)
{
    Db d(path);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        qFatal("column: %s", sqlite3_errmsg(d.db));
    QStringList out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            out << QStringLiteral("<null>");
        else
            out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    return out;
}

int TestCatalog::count(const QString& table)
{
    return column(QStringLiteral("select count(*) from ") + table).value(0).toInt();
}
