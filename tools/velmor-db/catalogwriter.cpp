#include "catalogwriter.h"

#include "data/connection.h"
#include "data/dataerror.h"

#include <cstring>
#include <sqlite3.h>

namespace velmor::tool {

void CatalogWriter::Finalizer::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

CatalogWriter::CatalogWriter(const QString& path)
    : m_connection(Connection::open(path))
{
    m_connection->exec("begin immediate");
    m_open = true;
    m_findKey = prepare("select 1 from datos_cd where id = ?1 "
                        "union all select 1 from canciones where id = ?1");
    QByteArray read = "select d.nombre, d.artista, d.descripcion";
    for (int i = 1; i <= songCount; ++i)
        read += ", c.cancion" + QByteArray::number(i);
    read += " from datos_cd d join canciones c on c.id = d.id where d.id = ?1 limit 2";
    m_readCd = prepare(read.constData());
    m_addDatos = prepare(
        "insert into datos_cd (id, nombre, artista, descripcion) values (?1, ?2, ?3, ?4)");
    QByteArray songs = "insert into canciones (id";
    for (int i = 1; i <= songCount; ++i)
        songs += ", cancion" + QByteArray::number(i);
    songs += ") values (?1";
    for (int i = 2; i <= songCount + 1; ++i)
        songs += ", ?" + QByteArray::number(i);
    songs += ')';
    m_addCanciones = prepare(songs.constData());
    m_removeDatos = prepare("delete from datos_cd where id = ?1");
    m_removeCanciones = prepare("delete from canciones where id = ?1");
}

CatalogWriter::~CatalogWriter()
{
    m_findKey.reset();
    m_readCd.reset();
    m_addDatos.reset();
    m_addCanciones.reset();
    m_removeDatos.reset();
    m_removeCanciones.reset();
    if (m_open)
        sqlite3_exec(m_connection->handle(), "rollback", nullptr, nullptr, nullptr);
}

CatalogWriter::Statement CatalogWriter::prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(m_connection->handle(), sql, -1, &statement, nullptr);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    return Statement(statement);
}

void CatalogWriter::bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    m_utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, m_utf8.constData(), int(m_utf8.size()), SQLITE_TRANSIENT);
}

void CatalogWriter::run(sqlite3_stmt* statement)
{
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    sqlite3_reset(statement);
}

bool CatalogWriter::keyStored(qint64 id)
{
    sqlite3_stmt* statement = m_findKey.get();
    sqlite3_bind_int64(statement, 1, id);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        m_connection->fail(rc);
    sqlite3_reset(statement);
    return rc == SQLITE_ROW;
}

bool CatalogWriter::storedAs(const CdRecord& cd)
{
    sqlite3_stmt* statement = m_readCd.get();
    sqlite3_bind_int64(statement, 1, cd.id);
    const auto same = [statement](int column, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_column_type(statement, column) == SQLITE_TEXT
            && sqlite3_column_bytes(statement, column) == utf8.size()
            && std::memcmp(
                   sqlite3_column_text(statement, column), utf8.constData(), size_t(utf8.size()))
            == 0;
    };
    int rc = sqlite3_step(statement);
    bool equal
        = rc == SQLITE_ROW && same(0, cd.nombre) && same(1, cd.artista) && same(2, cd.descripcion);
    for (int i = 0; equal && i < songCount; ++i)
        equal = same(3 + i, cd.canciones[size_t(i)]);
    if (rc == SQLITE_ROW)
        rc = sqlite3_step(statement); // a second row: a damaged file repeats the key
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        m_connection->fail(rc);
    if (rc == SQLITE_ROW)
        return false;
    // Rows of one table without the other are not found by the join above.
    return equal && rc == SQLITE_DONE;
}

void CatalogWriter::add(const CdRecord& cd)
{
    sqlite3_stmt* datos = m_addDatos.get();
    sqlite3_bind_int64(datos, 1, cd.id);
    bindText(datos, 2, cd.nombre);
    bindText(datos, 3, cd.artista);
    bindText(datos, 4, cd.descripcion);
    run(datos);

    sqlite3_stmt* canciones = m_addCanciones.get();
    sqlite3_bind_int64(canciones, 1, cd.id);
    for (int i = 0; i < songCount; ++i)
        bindText(canciones, i + 2, cd.canciones[size_t(i)]);
    run(canciones);
}

void CatalogWriter::remove(qint64 id)
{
    for (sqlite3_stmt* statement : { m_removeDatos.get(), m_removeCanciones.get() }) {
        sqlite3_bind_int64(statement, 1, id);
        run(statement);
    }
}

void CatalogWriter::commit()
{
    m_connection->exec("commit");
    m_open = false;
}

}
