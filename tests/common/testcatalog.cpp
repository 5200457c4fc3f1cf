#include "testcatalog.h"

#include "data/catalogfile.h"
#include "scratchdb.h"

using scratch::Db;

namespace {
// Arranging rows for a test needs no durability.
struct FastDb : Db {
    explicit FastDb(const QString& path)
        : Db(path, SQLITE_OPEN_READWRITE, 2000)
    {
        exec("pragma synchronous=off");
    }
};
}

TestCatalog::TestCatalog(const QString& schema)
{
    m_path = m_dir.filePath(QStringLiteral("velmor.mdb"));
    if (schema.isEmpty())
        velmor::CatalogFile::create(m_path);
    else
        Db(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE).sql(schema);
    velmor::CatalogFile::setPathOverride(m_path);
}

TestCatalog::~TestCatalog() { velmor::CatalogFile::setPathOverride(QString()); }

void TestCatalog::exec(const QString& sql) { FastDb(m_path).sql(sql); }

void TestCatalog::addCd(qint64 id, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& canciones, bool songsRow)
{
    FastDb d(m_path);
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
    return FastDb(path).sql(sql, true);
}

int TestCatalog::count(const QString& table)
{
    return column(QStringLiteral("select count(*) from ") + table).value(0).toInt();
}
