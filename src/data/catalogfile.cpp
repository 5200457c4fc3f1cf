#include "catalogfile.h"

#include "connection.h"
#include "dataerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmor::CatalogFile {

namespace {

    QString& overridePath()
    {
        static QString path;
        return path;
    }

    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    using DbHandle = std::unique_ptr<sqlite3, Closer>;

    QString schemaSql()
    {
        QString sql = QStringLiteral("create table datos_cd ("
                                     "id integer primary key, "
                                     "nombre text collate nocase not null default '', "
                                     "artista text collate nocase not null default '', "
                                     "descripcion text collate nocase not null default '');"
                                     "create table canciones (id integer primary key");
        for (int i = 1; i <= 20; ++i)
            sql += QStringLiteral(", cancion%1 text collate nocase not null default ''").arg(i);
        sql += QStringLiteral(");");
        return sql;
    }

    struct Finalizer {
        void operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    QStringList tableColumns(Connection& connection, const char* table)
    {
        QStringList names;
        sqlite3_stmt* raw = nullptr;
        const QByteArray sql = QByteArray("pragma table_info(") + table + ")";
        if (sqlite3_prepare_v2(connection.handle(), sql.constData(), -1, &raw, nullptr)
            != SQLITE_OK)
            connection.fail(sqlite3_extended_errcode(connection.handle()));
        Statement st(raw);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(raw, 1)));
        if (rc != SQLITE_DONE)
            connection.fail(rc);
        return names;
    }

}

QString path()
{
    if (!overridePath().isEmpty())
        return overridePath();
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(fileName);
}

void setPathOverride(const QString& p) { overridePath() = p; }

const QStringList& datosCdColumns()
{
    static const QStringList columns { "id", "nombre", "artista", "descripcion" };
    return columns;
}

const QStringList& cancionesColumns()
{
    static const QStringList columns = [] {
        QStringList c { "id" };
        for (int i = 1; i <= 20; ++i)
            c << QStringLiteral("cancion%1").arg(i);
        return c;
    }();
    return columns;
}

bool looksLikeAccess(const QByteArray& header)
{
    return header.size() >= 19
        && (header.mid(4, 15) == "Standard Jet DB" || header.mid(4, 15) == "Standard ACE DB");
}

void create(const QString& p)
{
    if (QFileInfo::exists(p))
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El archivo «%1» ya existe; no se sobrescribe.").arg(p));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(p.toUtf8().constData(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE, nullptr);
    DbHandle db(raw);
    char* message = nullptr;
    if (rc != SQLITE_OK
        || sqlite3_exec(db.get(), ("begin;" + schemaSql() + "commit;").toUtf8().constData(),
               nullptr, nullptr, &message)
            != SQLITE_OK) {
        const QString why
            = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errmsg(db.get()));
        sqlite3_free(message);
        db.reset();
        QFile::remove(p);
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("No se pudo crear el archivo «%1»: %2").arg(p, why));
    }
}

void checkFileKind(const QString& p)
{
    if (!QFileInfo::exists(p))
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se encuentra el archivo del catálogo «%1».").arg(p));
    QByteArray header;
#ifdef Q_OS_UNIX
    // Opened without waiting, so that a named pipe or a device at the path is
    // looked at instead of blocking the program or being read without end.
    const int fd = ::open(QFile::encodeName(p).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw DataError(ErrorNumber::CannotOpen,
            QStringLiteral("No se puede leer el archivo del catálogo «%1».").arg(p));
    struct stat st { };
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular) {
        header.resize(100);
        const ssize_t n = ::read(fd, header.data(), size_t(header.size()));
        header.resize(n > 0 ? qsizetype(n) : 0);
    }
    ::close(fd);
    if (!regular)
        throw DataError(ErrorNumber::NotSqlite,
            QStringLiteral("«%1» no es un archivo normal (es una carpeta, una tubería o un "
                           "dispositivo), así que no puede ser el catálogo.")
                .arg(p));
#else
    if (!QFileInfo(p).isFile())
        throw DataError(ErrorNumber::NotSqlite, QStringLiteral("«%1» no es un archivo.").arg(p));
    QFile file(p);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(ErrorNumber::CannotOpen,
            QStringLiteral("No se puede leer el archivo del catálogo «%1».").arg(p));
    header = file.read(100);
#endif
    if (looksLikeAccess(header))
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("El archivo «%1» es una base de datos de Access (Jet), no un catálogo "
                           "de este programa. Conviértalo con la orden: velmor-db convertir "
                           "«%1» NUEVO.mdb")
                .arg(p));
    if (!header.startsWith(QByteArray("SQLite format 3\0", 16)))
        throw DataError(ErrorNumber::NotSqlite,
            QStringLiteral("El archivo «%1» no es una base de datos de catálogo válida.").arg(p));
}

void checkTables(Connection& connection)
{
    Connection::OwnStatements own(connection);
    sqlite3* db = connection.handle();
    const QString& p = connection.path();
    const std::pair<const char*, const QStringList*> tables[] = {
        { "datos_cd", &datosCdColumns() },
        { "canciones", &cancionesColumns() },
    };
    for (const auto& [table, expected] : tables) {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db,
            "select type, rootpage from sqlite_schema where lower(name) = ?1", -1, &raw, nullptr);
        Statement st(raw);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
            rc = sqlite3_step(raw);
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            connection.fail(sqlite3_extended_errcode(db));
        if (rc == SQLITE_DONE)
            throw DataError(ErrorNumber::TableNotFound,
                QStringLiteral("Falta la tabla «%1» en el archivo del catálogo «%2».")
                    .arg(QLatin1String(table), p));
        const QByteArray type = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        // Views and virtual tables have no pages of their own.
        if (type != "table" || sqlite3_column_int64(raw, 1) <= 0)
            throw DataError(ErrorNumber::BadSchema,
                QStringLiteral(
                    "«%1» en el archivo del catálogo «%2» no es una tabla normal (es %3).")
                    .arg(QLatin1String(table), p,
                        type == "view" ? QStringLiteral("una vista")
                                       : QStringLiteral("una tabla virtual")));
        st.reset();
        const QStringList found = tableColumns(connection, table);
        for (int i = 0; i < expected->size(); ++i) {
            if (i >= found.size() || found[i].compare(expected->at(i), Qt::CaseInsensitive) != 0)
                throw DataError(ErrorNumber::BadSchema,
                    QStringLiteral("La tabla «%1» del archivo del catálogo «%2» no tiene la "
                                   "columna «%3» en su lugar.")
                        .arg(QLatin1String(table), p, expected->at(i)));
        }
    }
}

void check(const QString& p) { Connection::open(p, Connection::Access::ReadOnly); }

}
