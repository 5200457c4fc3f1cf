#include "testcatalog.h"

#include "data/catalogfile.h"

#include <QTest>
#include <memory>
#include <sqlite3.h>

namespace {

struct Db {
    sqlite3* db = nullptr;
    explicit Db(const QString& path)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK)
            qFatal("cannot open test catalogue %s", qPrintable(path));
        sqlite3_busy_timeout(db, 2000);
        // Arranging rows for a test needs no durability.
        sqlite3_exec(db, "pragma synchronous=off", nullptr, nullptr, nullptr);
    }
    ~Db() { sqlite3_close_v2(db); }
};

}

TestCatalog::TestCatalog()
{
    m_path = m_dir.filePath(QStringLiteral("velmor.mdb"));
    velmor::CatalogFile::create(m_path);
    velmor::CatalogFile::setPathOverride(m_path);
}

TestCatalog::TestCatalog(const QString& schema)
{
    m_path = m_dir.filePath(QStringLiteral("velmor.mdb"));
    sqlite3* db = nullptr;
    sqlite3_open_v2(m_path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
        nullptr);
    char* message = nullptr;
    if (sqlite3_exec(db, schema.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
        qFatal("test schema failed: %s", message);
    sqlite3_close_v2(db);
    velmor::CatalogFile::setPathOverride(m_path);
}

TestCatalog::~TestCatalog() { velmor::CatalogFile::setPathOverride(QString()); }

void TestCatalog::exec(const QString& sql)
{
    Db d(m_path);
    char* message = nullptr;
    if (sqlite3_exec(d.db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        qFatal("test SQL failed: %s: %s", qPrintable(sql), qPrintable(text));
    }
}

void TestCatalog::addCd(qint64 id, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& canciones, bool songsRow)
{
    Db d(m_path);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(d.db,
        "insert into datos_cd(id, nombre, artista, descripcion) values (?1, ?2, ?3, ?4)", -1,
        &st, nullptr);
    sqlite3_bind_int64(st, 1, id);
    const QByteArray n = nombre.toUtf8(), a = artista.toUtf8(), de = descripcion.toUtf8();
    sqlite3_bind_text(st, 2, n.constData(), int(n.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, a.constData(), int(a.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, de.constData(), int(de.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE)
        qFatal("addCd: %s", sqlite3_errmsg(d.db));
    sqlite3_finalize(st);
    if (!songsRow)
        return;
    QString sql = QStringLiteral("insert into canciones values (?1");
    for (int i = 2; i <= 21; ++i)
        sql += QStringLiteral(", ?%1").arg(i);
    sql += QLatin1Char(')');
    sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &st, nullptr);
    sqlite3_bind_int64(st, 1, id);
    for (int i = 0; i < 20; ++i) {
        const QByteArray s = i < canciones.size() ? canciones[i].toUtf8() : QByteArray("");
        sqlite3_bind_text(st, i + 2, s.constData(), int(s.size()), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(st) != SQLITE_DONE)
        qFatal("addCd songs: %s", sqlite3_errmsg(d.db));
    sqlite3_finalize(st);
}

QStringList TestCatalog::column(const QString& sql)
{
    Db d(m_path);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(d.db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        qFatal("column: %s", sqlite3_errmsg(d.db));
    QStringList out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (sqlite3_column_type(st, 0) == SQLITE_NULL)
            out << QStringLiteral("<null>");
        else
            out << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    return out;
}

int TestCatalog::count(const QString& table)
{
    return column(QStringLiteral("select count(*) from ") + table).value(0).toInt();
}
