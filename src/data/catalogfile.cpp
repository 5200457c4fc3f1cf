#include "catalogfile.h"

#include "dataerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>

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
        QString sql = QStringLiteral(
            "create table datos_cd ("
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

    QStringList tableColumns(sqlite3* db, const char* table)
    {
        QStringList names;
        sqlite3_stmt* st = nullptr;
        const QByteArray sql = QByteArray("pragma table_info(") + table + ")";
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            return names;
        while (sqlite3_step(st) == SQLITE_ROW)
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
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
        const QString why = message ? QString::fromUtf8(message)
                                    : QString::fromUtf8(sqlite3_errmsg(db.get()));
        sqlite3_free(message);
        db.reset();
        QFile::remove(p);
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("No se pudo crear el archivo «%1»: %2").arg(p, why));
    }
}

void check(const QString& p)
{
    QFileInfo info(p);
    if (!info.exists())
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se encuentra el archivo del catálogo «%1».").arg(p));
    if (!info.isFile())
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("«%1» no es un archivo.").arg(p));
    QFile file(p);
    if (!file.open(QIODevice::ReadOnly))
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se puede leer el archivo del catálogo «%1».").arg(p));
    const QByteArray header = file.read(100);
    file.close();
    if (looksLikeAccess(header))
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("El archivo «%1» es una base de datos de Access (Jet), no un catálogo "
                           "de este programa. Conviértalo con la orden: velmor-db convertir "
                           "«%1» NUEVO.mdb")
                .arg(p));
    if (!header.startsWith(QByteArray("SQLite format 3\0", 16)))
        throw DataError(ErrorNumber::NotSqlite,
            QStringLiteral("El archivo «%1» no es una base de datos de catálogo válida.").arg(p));

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(p.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK)
        throw DataError(rc,
            QStringLiteral("No se puede abrir el archivo del catálogo «%1»: %2")
                .arg(p, QString::fromUtf8(sqlite3_errstr(rc))));
    sqlite3_busy_timeout(db.get(), 2000);
    const std::pair<const char*, const QStringList*> tables[] = {
        { "datos_cd", &datosCdColumns() },
        { "canciones", &cancionesColumns() },
    };
    for (const auto& [table, expected] : tables) {
        const QStringList found = tableColumns(db.get(), table);
        if (found.isEmpty()) {
            sqlite3_stmt* st = nullptr;
            const int prc = sqlite3_prepare_v2(db.get(), "select 1 from sqlite_schema", -1, &st, nullptr);
            sqlite3_finalize(st);
            if (prc != SQLITE_OK)
                throw DataError(prc,
                    QStringLiteral("El archivo del catálogo «%1» está dañado o no se puede leer: %2")
                        .arg(p, QString::fromUtf8(sqlite3_errmsg(db.get()))));
            throw DataError(ErrorNumber::TableNotFound,
                QStringLiteral("Falta la tabla «%1» en el archivo del catálogo «%2».")
                    .arg(QLatin1String(table), p));
        }
        for (int i = 0; i < expected->size(); ++i) {
            if (i >= found.size() || found[i].compare(expected->at(i), Qt::CaseInsensitive) != 0)
                throw DataError(ErrorNumber::BadSchema,
                    QStringLiteral("La tabla «%1» del archivo del catálogo «%2» no tiene la "
                                   "columna «%3» en su lugar.")
                        .arg(QLatin1String(table), p, expected->at(i)));
        }
    }
}

}
