#include "interruptedwrite.h"

#include "data/dataerror.h"

#include <QFileInfo>
#include <memory>
#include <sqlite3.h>

namespace velmor::tool {

namespace {
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
}

QString engineProblem(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("está en uso por otro programa");
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return QStringLiteral("no se puede escribir en él (archivo o carpeta de solo lectura)");
    case SQLITE_NOTADB:
        return QStringLiteral("no es un catálogo (no es una base de datos SQLite)");
    case SQLITE_CORRUPT:
        return QStringLiteral("está dañado");
    case SQLITE_CANTOPEN:
        return QStringLiteral("no se puede abrir");
    case SQLITE_IOERR:
        return QStringLiteral("no se puede leer del disco");
    case SQLITE_FULL:
        return QStringLiteral("el disco está lleno");
    case SQLITE_NOMEM:
        return QStringLiteral("no hay memoria suficiente para leerlo");
    default:
        return QStringLiteral("el motor de datos dio el error %1 (%2)")
            .arg(rc)
            .arg(QString::fromUtf8(sqlite3_errstr(rc)));
    }
}

void rollBackInterruptedWrite(const QString& path)
{
    const QFileInfo journal(path + QStringLiteral("-journal"));
    if (!journal.exists() || journal.size() == 0 || !QFileInfo(path).isFile())
        return;
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    const std::unique_ptr<sqlite3, Closer> db(raw);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(raw, 2000);
        sqlite3_stmt* statement = nullptr;
        // The first read of the schema finds the hot journal and plays it back.
        rc = sqlite3_prepare_v2(raw, "select count(*) from sqlite_schema", -1, &statement, nullptr);
        const std::unique_ptr<sqlite3_stmt, Closer> owned(statement);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(statement) == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(raw);
    }
    switch (rc & 0xff) {
    case SQLITE_OK:
        return;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        throw DataError(rc,
            QStringLiteral("El catálogo %1 tiene una escritura interrumpida que hay que deshacer, "
                           "y el archivo no se puede escribir; cópielo a un lugar donde se pueda "
                           "escribir, con su archivo %2, y use la copia.")
                .arg(path, journal.fileName()));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw DataError(rc,
            QStringLiteral("El catálogo %1 está en uso por otro programa.").arg(path));
    default:
        // Damage is for the caller's own check to describe.
        return;
    }
}

}
