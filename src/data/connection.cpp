#include "connection.h"

#include "catalogfile.h"
#include "collation.h"
#include "dataerror.h"
#include "recordsource.h"

#include <QDir>
#include <map>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace velmor {

namespace {

    std::map<QString, std::weak_ptr<Connection>>& openConnections()
    {
        static std::map<QString, std::weak_ptr<Connection>> connections;
        return connections;
    }

    QString spanishDescription(int rc)
    {
        switch (rc & 0xff) {
        case SQLITE_ERROR:
            return QStringLiteral("Error en la instrucción SQL");
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return QStringLiteral("El catálogo está bloqueado por otro proceso");
        case SQLITE_READONLY:
            return QStringLiteral("El catálogo es de solo lectura");
        case SQLITE_IOERR:
            return QStringLiteral("Error de lectura o escritura en el disco");
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return QStringLiteral("El archivo del catálogo está dañado");
        case SQLITE_FULL:
            return QStringLiteral("El disco está lleno");
        case SQLITE_CANTOPEN:
            return QStringLiteral("No se puede abrir el archivo del catálogo");
        case SQLITE_CONSTRAINT:
            return QStringLiteral("Los datos no cumplen una restricción del catálogo");
        case SQLITE_MISMATCH:
            return QStringLiteral("Tipo de dato no válido");
        case SQLITE_TOOBIG:
            return QStringLiteral("El dato es demasiado grande");
        default:
            return QStringLiteral("Error del motor de datos");
        }
    }

}

DataError engineError(int rc, const QString& message)
{
    return DataError(rc, spanishDescription(rc) + QStringLiteral(": ") + message);
}

Connection::Connection(QString path, sqlite3* db)
    : m_path(std::move(path))
    , m_db(db)
{
#ifdef Q_OS_UNIX
    struct stat st { };
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0) {
        m_device = quint64(st.st_dev);
        m_inode = quint64(st.st_ino);
    }
#endif
}

void Connection::ensurePresent() const
{
    bool present = QFileInfo::exists(m_path);
#ifdef Q_OS_UNIX
    struct stat st { };
    present = ::stat(QFile::encodeName(m_path).constData(), &st) == 0
        && quint64(st.st_dev) == m_device && quint64(st.st_ino) == m_inode;
#endif
    if (!present)
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("El archivo del catálogo «%1» ya no está donde se abrió.").arg(m_path));
}

Connection::~Connection()
{
    sqlite3_close_v2(m_db);
    auto& open = openConnections();
    auto it = open.find(m_path);
    if (it != open.end() && it->second.expired())
        open.erase(it);
}

std::shared_ptr<Connection> Connection::open(const QString& path)
{
    auto& open = openConnections();
    if (auto it = open.find(path); it != open.end()) {
        if (auto existing = it->second.lock()) {
            try {
                existing->ensurePresent();
                return existing;
            } catch (const DataError&) {
                // The file was replaced or removed: check and open what is there now.
            }
        }
    }

    CatalogFile::check(path);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
        // One thread uses a connection: the engine's own locking per call is not needed.
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db))
                                   : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw DataError(rc,
            QStringLiteral("No se puede abrir el archivo del catálogo «%1»: %2").arg(path, message));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 3000);
    // Reading pages straight from the mapped file halves the cost of a full pass
    // over a large catalogue (every Refresh of a table makes one).
    sqlite3_exec(db, "pragma mmap_size = 1073741824", nullptr, nullptr, nullptr);
    installCatalogCollation(db);
    std::shared_ptr<Connection> connection(new Connection(path, db));
    open[path] = connection;
    return connection;
}

void Connection::fail(int rc) const
{
    throw engineError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void Connection::exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
}

bool Connection::inTransaction() const { return !sqlite3_get_autocommit(m_db); }

TransactionGuard::TransactionGuard(RecordSource& first, RecordSource* second)
    : m_connection(first.connection())
    , m_first(&first)
    , m_second(second)
{
    if (!m_connection)
        throw noCurrentRecord();
    if (second && second->connection() != m_connection)
        throw DataError(ErrorNumber::InvalidOperation,
            QStringLiteral("Los dos orígenes de datos deben usar el mismo archivo."));
    m_connection->exec("begin immediate");
}

TransactionGuard::~TransactionGuard()
{
    if (m_done)
        return;
    sqlite3_exec(m_connection->handle(), "rollback", nullptr, nullptr, nullptr);
    for (RecordSource* source : { m_first, m_second }) {
        if (!source)
            continue;
        try {
            source->Refresh();
        } catch (const DataError&) {
            // The set keeps its rows; the next successful Refresh replaces them.
        }
    }
}

void TransactionGuard::commit()
{
    m_connection->ensurePresent();
    m_connection->exec("commit");
    m_done = true;
}

}
