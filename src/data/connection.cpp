#include "connection.h"

#include "catalogfile.h"
#include "catalogobstacles.h"
#include "collation.h"
#include "dataerror.h"
#include "recordsource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <map>
#include <sqlite3.h>
#include <utility>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmor {

namespace {

    // Long enough to ride out another program's short write, short enough that a
    // file held for good is reported as in use without a long freeze.
    constexpr int busyWaitMs = 2000;

    std::map<QString, std::weak_ptr<Connection>>& openConnections()
    {
        static std::map<QString, std::weak_ptr<Connection>> connections;
        return connections;
    }

    bool writable(const QString& path)
    {
#ifdef Q_OS_UNIX
        // access() also answers for read-only mounts and immutable files.
        return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
#else
        return QFileInfo(path).isWritable();
#endif
    }

    QString folderOf(const QString& path)
    {
        return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    }

    DataError readOnlyError(const QString& path)
    {
        if (QFileInfo::exists(path) && !writable(path))
            return DataError(ErrorNumber::ReadOnly,
                QStringLiteral("El archivo del catálogo «%1» es de solo lectura: no se pueden "
                               "guardar cambios en él.")
                    .arg(path));
        if (!writable(QFileInfo(path).absolutePath()))
            return DataError(ErrorNumber::ReadOnly,
                QStringLiteral("No se puede escribir en la carpeta «%1», donde está el catálogo "
                               "«%2»: no se pueden guardar cambios.")
                    .arg(folderOf(path), path));
        return DataError(ErrorNumber::ReadOnly,
            QStringLiteral("El catálogo «%1» es de solo lectura: no se pueden guardar cambios.")
                .arg(path));
    }

    bool isOurTable(const char* name)
    {
        return name
            && (sqlite3_stricmp(name, "datos_cd") == 0 || sqlite3_stricmp(name, "canciones") == 0);
    }

    bool isMain(const char* database) { return !database || std::strcmp(database, "main") == 0; }

    // Plain functions a criterion or an own statement may call: none of them
    // reaches outside the values it is given.
    bool isPlainFunction(const char* name)
    {
        static const char* const names[] = { "abs", "avg", "coalesce", "count", "glob", "ifnull",
            "iif", "instr", "length", "like", "lower", "ltrim", "max", "min", "nullif", "replace",
            "round", "rtrim", "substr", "substring", "sum", "total", "trim", "typeof", "upper" };
        for (const char* n : names)
            if (sqlite3_stricmp(name, n) == 0)
                return true;
        return false;
    }

    // Functions that hand out or take engine pointers or load code.
    bool isEngineFunction(const char* name)
    {
        return sqlite3_stricmp(name, "fts3_tokenizer") == 0
            || sqlite3_stricmp(name, "load_extension") == 0;
    }

    QString name(const char* text) { return QString::fromUtf8(text ? text : ""); }

}

DataError engineError(int rc, const QString& path, const QString& engineText)
{
    switch (rc) {
    case SQLITE_READONLY_ROLLBACK:
        return DataError(ErrorNumber::InterruptedWrite,
            QStringLiteral(
                "El catálogo «%1» tiene una escritura interrumpida que hay que deshacer, "
                "y aquí no se puede escribir en él. Cópielo a una carpeta en la que se "
                "pueda escribir y ábralo desde allí.")
                .arg(path));
    case SQLITE_READONLY_DBMOVED:
        return DataError(ErrorNumber::FileNotFound,
            QStringLiteral("El archivo del catálogo «%1» ya no está donde se abrió.").arg(path));
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DataError(ErrorNumber::InUse,
            QStringLiteral("El catálogo «%1» está en uso por otro programa. Ciérrelo y vuelva a "
                           "intentarlo.")
                .arg(path));
    case SQLITE_READONLY:
        return readOnlyError(path);
    case SQLITE_CANTOPEN:
        // Writing needs a journal beside the file; a folder that refuses it says so here.
        if (QFileInfo::exists(path) && !writable(QFileInfo(path).absolutePath()))
            return readOnlyError(path);
        return DataError(ErrorNumber::CannotOpen,
            QStringLiteral("No se puede abrir el archivo del catálogo «%1».").arg(path));
    case SQLITE_FULL:
        return DataError(ErrorNumber::DiskFull,
            QStringLiteral("El disco donde está el catálogo «%1» está lleno: no se ha podido "
                           "guardar.")
                .arg(path));
    case SQLITE_CORRUPT:
        return DataError(ErrorNumber::Damaged,
            QStringLiteral("El archivo del catálogo «%1» está dañado.").arg(path));
    case SQLITE_NOTADB:
        return DataError(ErrorNumber::NotSqlite,
            QStringLiteral("El archivo «%1» no es una base de datos de catálogo válida.")
                .arg(path));
    case SQLITE_IOERR:
        if ((rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_FSYNC || rc == SQLITE_IOERR_TRUNCATE
                || rc == SQLITE_IOERR_DELETE)
            && QFileInfo::exists(path) && !writable(path))
            return readOnlyError(path);
        return DataError(ErrorNumber::Damaged,
            QStringLiteral("Error de lectura o escritura en el disco con el catálogo «%1».")
                .arg(path));
    case SQLITE_NOMEM:
        return DataError(rc, QStringLiteral("No hay memoria suficiente para leer el catálogo."));
    case SQLITE_AUTH:
        return DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El catálogo «%1» no admite esta instrucción: %2.")
                .arg(path, engineText));
    case SQLITE_ERROR:
        return DataError(rc, QStringLiteral("Error en la instrucción SQL: ") + engineText);
    case SQLITE_CONSTRAINT:
        // The text a trigger raises, or a CHECK condition, comes from the file and is not
        // the program's to show (Connection::fail names the object instead).
        if (rc == SQLITE_CONSTRAINT_TRIGGER || rc == SQLITE_CONSTRAINT_CHECK)
            return DataError(rc,
                QStringLiteral("Los datos no cumplen una restricción del catálogo «%1».")
                    .arg(path));
        return DataError(
            rc, QStringLiteral("Los datos no cumplen una restricción del catálogo: ") + engineText);
    case SQLITE_MISMATCH:
        return DataError(rc, QStringLiteral("Tipo de dato no válido."));
    case SQLITE_TOOBIG:
        return DataError(rc, QStringLiteral("El dato es demasiado grande."));
    default:
        return DataError(rc, QStringLiteral("Error del motor de datos: ") + engineText);
    }
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
    sqlite3_finalize(m_dataVersion);
    sqlite3_close_v2(m_db);
    auto& open = openConnections();
    auto it = open.find(m_path);
    if (it != open.end() && it->second.expired())
        open.erase(it);
}

void Connection::configure()
{
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, busyWaitMs);
    // The file is untrusted: no writes to the schema or its pages through SQL, no
    // functions from its views and triggers beyond the harmless ones, no code or
    // engine pointers reachable from a statement, no second file.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_limit(m_db, SQLITE_LIMIT_ATTACHED, 0);
    // Pages are read, never mapped: a file shortened by another program while it is
    // read then gives a read error instead of a bus error. 16 MB of page cache hold
    // the CD table of a catalogue of about 100,000 CDs, so that a search's count of
    // its rows does not read it again from the file; a larger cache only adds to
    // the memory of a full listing of a larger catalogue, which reads more pages
    // than any cache would keep.
    sqlite3_exec(
        m_db, "pragma mmap_size = 0; pragma cache_size = -16384", nullptr, nullptr, nullptr);
    installCatalogCollation(m_db);
    sqlite3_set_authorizer(m_db, &Connection::authorizeCallback, this);
    sqlite3_rollback_hook(
        m_db, [](void* self) { ++static_cast<Connection*>(self)->m_rollbacks; }, this);
}

std::shared_ptr<Connection> Connection::open(const QString& path, Access access)
{
    auto& open = openConnections();
    if (access == Access::ReadWrite) {
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
    }

    CatalogFile::checkFileKind(path);
    sqlite3* db = nullptr;
    // Read-write even for reading: only such a connection can roll back a write
    // interrupted half-way. On a file that cannot be written the engine opens it
    // for reading instead.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
        // One thread uses a connection: the engine's own locking per call is not needed.
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (!db)
        throw engineError(rc, path, QString::fromUtf8(sqlite3_errstr(rc)));
    std::shared_ptr<Connection> connection(new Connection(path, db));
    if (rc != SQLITE_OK)
        connection->fail(sqlite3_extended_errcode(db));
    connection->configure();
    try {
        OwnStatements own(*connection);
        // The first read rolls back an interrupted write.
        CatalogFile::checkTables(*connection);
        // The first read of pragma_table_info on a connection sets it up with reads
        // of the schema table that record sources may not make themselves.
        connection->exec("select 1 from pragma_table_info('datos_cd') limit 0");
        if (access == Access::ReadOnly)
            connection->exec("pragma query_only = 1");
    } catch (const DataError& error) {
        // A journal left beside the file that could not be rolled back and removed.
        if (error.number != ErrorNumber::InUse
            && QFileInfo::exists(path + QLatin1String("-journal"))
            && (!writable(path) || !writable(QFileInfo(path).absolutePath())))
            throw engineError(SQLITE_READONLY_ROLLBACK, path, QString());
        throw;
    }
    if (access == Access::ReadWrite)
        open[path] = connection;
    return connection;
}

Connection::OwnStatements::OwnStatements(const Connection& connection)
    : m_connection(connection)
{
    ++m_connection.m_ownStatements;
}

Connection::OwnStatements::~OwnStatements() { --m_connection.m_ownStatements; }

Connection::NoWaiting::NoWaiting(Connection& connection)
    : m_connection(connection)
{
    sqlite3_busy_timeout(m_connection.m_db, 0);
}

Connection::NoWaiting::~NoWaiting() { sqlite3_busy_timeout(m_connection.m_db, busyWaitMs); }

int Connection::authorizeCallback(void* self, int action, const char* first, const char* second,
    const char* database, const char* inner)
{
    return static_cast<Connection*>(self)->authorize(action, first, second, database, inner);
}

int Connection::authorize(
    int action, const char* first, const char* second, const char* database, const char* inner)
{
    const auto refuse = [this](const QString& why) {
        m_refused = why;
        return SQLITE_DENY;
    };
    if (action == SQLITE_ATTACH || action == SQLITE_DETACH)
        return refuse(QStringLiteral("no se pueden abrir otros archivos desde una instrucción"));
    if (inner) {
        // A view or trigger stored in the file: it may check and raise an error, but
        // it reads and writes nothing and calls nothing on our behalf.
        if (action == SQLITE_SELECT)
            return SQLITE_OK;
        return refuse(QStringLiteral("la vista o el disparador «%1» del archivo usa «%2», y eso "
                                     "no está permitido")
                          .arg(name(inner), name(first ? first : second)));
    }
    if (action == SQLITE_FUNCTION && isEngineFunction(second))
        return refuse(QStringLiteral("la función «%1» no está permitida").arg(name(second)));
    const bool own = m_ownStatements > 0;
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
        return SQLITE_OK;
    case SQLITE_READ:
        // pragma_table_info only describes columns; record sources ask it for their shape.
        if ((isOurTable(first) && isMain(database))
            || sqlite3_stricmp(first, "pragma_table_info") == 0 || own)
            return SQLITE_OK;
        return refuse(
            QStringLiteral("lee «%1», que no es una tabla del catálogo").arg(name(first)));
    case SQLITE_PRAGMA:
        if (own || sqlite3_stricmp(first, "table_info") == 0)
            return SQLITE_OK;
        return refuse(QStringLiteral("la orden pragma «%1» no está permitida").arg(name(first)));
    case SQLITE_FUNCTION:
        if (own || isPlainFunction(second))
            return SQLITE_OK;
        return refuse(QStringLiteral("la función «%1» no está permitida").arg(name(second)));
    case SQLITE_INSERT:
    case SQLITE_DELETE:
        if (isOurTable(first) && isMain(database))
            return SQLITE_OK;
        return refuse(
            QStringLiteral("escribe en «%1», que no es una tabla del catálogo").arg(name(first)));
    default:
        if (own)
            return SQLITE_OK;
        return refuse(QStringLiteral("la operación sobre «%1» no está permitida")
                          .arg(name(first ? first : second)));
    }
}

void Connection::fail(int rc) const
{
    // A refusal of the authorizer may come back as a plain error, also from inside
    // a virtual table that could not set itself up.
    if ((rc & 0xff) == SQLITE_AUTH || ((rc & 0xff) == SQLITE_ERROR && !m_refused.isEmpty())) {
        const QString why = std::exchange(m_refused, QString());
        throw engineError(SQLITE_AUTH, m_path, why);
    }
    const QString engineText = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (rc == SQLITE_CONSTRAINT_TRIGGER || rc == SQLITE_CONSTRAINT_CHECK
        || rc == SQLITE_CONSTRAINT_UNIQUE) {
        const auto kind = rc == SQLITE_CONSTRAINT_TRIGGER ? CatalogObstacle::Kind::Trigger
            : rc == SQLITE_CONSTRAINT_CHECK               ? CatalogObstacle::Kind::Check
                                                          : CatalogObstacle::Kind::UniqueIndex;
        QStringList objects;
        {
            const OwnStatements own(*this);
            for (const CatalogObstacle& obstacle : catalogObstacles(m_db))
                if (obstacle.kind == kind)
                    objects << obstacle.object;
        }
        if (!objects.isEmpty())
            throw DataError(rc,
                QStringLiteral("El catálogo «%1» no admite el cambio: lo impide %2.")
                    .arg(m_path, objects.join(QStringLiteral(" o "))));
    }
    throw engineError(rc, m_path, engineText);
}

void Connection::exec(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(sqlite3_extended_errcode(m_db));
}

bool Connection::inTransaction() const { return !sqlite3_get_autocommit(m_db); }

quint64 Connection::othersVersion()
{
    const OwnStatements own(*this);
    if (!m_dataVersion) {
        const int rc = sqlite3_prepare_v3(
            m_db, "pragma data_version", -1, SQLITE_PREPARE_PERSISTENT, &m_dataVersion, nullptr);
        if (rc != SQLITE_OK)
            fail(rc);
    }
    const int rc = sqlite3_step(m_dataVersion);
    const quint64 version = quint64(sqlite3_column_int64(m_dataVersion, 0));
    sqlite3_reset(m_dataVersion);
    if (rc != SQLITE_ROW)
        fail(rc);
    return version;
}

qint64 Connection::ownChanges() const { return sqlite3_total_changes64(m_db); }

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
