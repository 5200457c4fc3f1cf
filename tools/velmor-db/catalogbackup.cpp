#include "catalogbackup.h"

#include "newfile.h"
#include "progress.h"
#include "sqlitehandle.h"

#include "data/catalogfile.h"
#include "data/connection.h"
#include "data/dataerror.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace velmor::tool {

namespace {
    // How long a copy waits for a program that is writing the catalogue to finish,
    // and how long a restore waits before calling the catalogue in use.
    constexpr int copyWaitMs = 10000;
    constexpr int lockWaitMs = 1000;

    bool isDamaged(int rc) { return (rc & 0xff) == SQLITE_NOTADB || (rc & 0xff) == SQLITE_CORRUPT; }

    SqliteDatabase openDatabase(const QString& path, int flags)
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, flags, nullptr);
        SqliteDatabase db(raw);
        if (rc != SQLITE_OK)
            throw engineError(
                rc, path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
        sqlite3_extended_result_codes(raw, 1);
        return db;
    }

    // A failing query gives -1; the count only sizes the progress line and the report.
    qint64 countCds(sqlite3* db)
    {
        sqlite3_stmt* statement = nullptr;
        qint64 count = -1;
        if (sqlite3_prepare_v2(db, "select count(*) from datos_cd", -1, &statement, nullptr)
                == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            count = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return count;
    }

    // Failures that come from writing the copy rather than reading the catalogue.
    bool isWriteFailure(int rc)
    {
        switch (rc & 0xff) {
        case SQLITE_FULL:
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
            return true;
        case SQLITE_IOERR:
            return rc != SQLITE_IOERR_READ && rc != SQLITE_IOERR_SHORT_READ;
        default:
            return false;
        }
    }

    // Names the file being written when the failure is the copy's, the catalogue
    // otherwise.
    [[noreturn]] void copyFailed(
        int rc, sqlite3* to, const QString& source, const QString& destination, sqlite3* from)
    {
        if (!destination.isEmpty() && isWriteFailure(rc)) {
            const int errnum = sqlite3_system_errno(to);
            throw cannotWrite(
                destination, (rc & 0xff) == SQLITE_FULL || errnum == 0 ? ENOSPC : errnum);
        }
        throw engineError(
            rc, source, QString::fromUtf8(from ? sqlite3_errmsg(from) : sqlite3_errstr(rc)));
    }

    // Copies every page of the source into the destination. When another connection
    // commits between two steps, the engine starts the copy again, so the result is
    // always one committed state of the source.
    void copyPages(sqlite3* from, sqlite3* to, const QString& source, const QString& destination,
        Progress& progress, qint64 cds, const CopyPacing& pacing)
    {
        SqliteBackup backup(sqlite3_backup_init(to, "main", from, "main"));
        if (!backup)
            copyFailed(sqlite3_extended_errcode(to), to, source, destination, to);
        for (;;) {
            const int rc = sqlite3_backup_step(backup.get(), pacing.pagesPerStep);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_OK)
                copyFailed(rc, to, source, destination, nullptr);
            const int pages = sqlite3_backup_pagecount(backup.get());
            progress.update(pages - sqlite3_backup_remaining(backup.get()), pages, cds);
            if (pacing.betweenSteps)
                pacing.betweenSteps();
        }
        const int rc = sqlite3_backup_finish(backup.release());
        if (rc != SQLITE_OK)
            copyFailed(rc, to, source, destination, to);
        progress.finish();
    }

    void copyInto(const QString& source, sqlite3* to, const QString& destination,
        Progress& progress, const CopyPacing& pacing)
    {
        const SqliteDatabase from = openDatabase(source, SQLITE_OPEN_READONLY);
        sqlite3_busy_timeout(from.get(), copyWaitMs);
        // A copy into memory needs the source's page size, which an empty database
        // still accepts.
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(from.get(), "pragma page_size", -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW) {
            const QByteArray sql
                = "pragma page_size = " + QByteArray::number(sqlite3_column_int(statement, 0));
            sqlite3_exec(to, sql.constData(), nullptr, nullptr, nullptr);
        }
        sqlite3_finalize(statement);
        copyPages(from.get(), to, source, destination, progress, countCds(from.get()), pacing);
    }

    // Copies the catalogue into the new file and returns the number of CDs copied.
    // The copy keeps its journal beside it only while written, whatever mode the
    // catalogue uses: a copy in write-ahead-log mode would make every reader leave
    // two more files beside it.
    qint64 copyIntoFile(
        const QString& source, NewFile& file, Progress& progress, const CopyPacing& pacing)
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(QFile::encodeName(file.temporaryPath()).constData(), &raw,
            SQLITE_OPEN_READWRITE, nullptr);
        const SqliteDatabase to(raw);
        if (rc != SQLITE_OK)
            copyFailed(rc, raw, source, file.target(), raw);
        sqlite3_extended_result_codes(raw, 1);
        copyInto(source, raw, file.target(), progress, pacing);
        const int mode
            = sqlite3_exec(raw, "pragma journal_mode = delete", nullptr, nullptr, nullptr);
        if (mode != SQLITE_OK)
            copyFailed(sqlite3_extended_errcode(raw), raw, source, file.target(), raw);
        return countCds(raw);
    }

    // Takes the engine's exclusive lock on the catalogue, which no other program
    // can hold at the same time as a read or a write of its own. A file the engine
    // cannot read as a database is no one's catalogue and gets no lock.
    SqliteDatabase lockCatalog(const QString& path)
    {
        SqliteDatabase db = openDatabase(path, SQLITE_OPEN_READWRITE);
        sqlite3_busy_timeout(db.get(), lockWaitMs);
        const auto run = [&db, &path](const char* sql) {
            const int rc = sqlite3_exec(db.get(), sql, nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK || isDamaged(rc))
                return rc == SQLITE_OK;
            throw engineError(rc, path, QString::fromUtf8(sqlite3_errmsg(db.get())));
        };
        // A write-ahead log beside the file would outlive the rename and be read into
        // the new catalogue; leaving that mode folds it back, and needs every other
        // connection closed.
        if (!run("pragma journal_mode = delete"))
            return db;
        // An empty file becomes a database at the first write lock, which writes its
        // first page through a journal: that journal would then lie beside the new
        // catalogue. A read lock keeps other programs' writes out all the same.
        if (QFileInfo(path).size() == 0) {
            run("begin");
            run("select count(*) from sqlite_schema");
            return db;
        }
        run("begin exclusive");
        return db;
    }

    // Restoring replaces only a catalogue the user may change: a file of another
    // kind, or one made read-only, is left as it is. An empty file holds nothing.
    void checkReplaceable(const QString& path)
    {
        const QFileInfo info(path);
        if (!info.isFile()) {
            throw DataError(
                ErrorNumber::NotAllowed, QStringLiteral("«%1» no es un archivo.").arg(path));
        }
        QFile file(path);
        const QByteArray header = file.open(QIODevice::ReadOnly) ? file.read(16) : QByteArray();
        if (info.size() > 0 && header != QByteArray("SQLite format 3\0", 16)) {
            throw DataError(ErrorNumber::NotAllowed,
                QStringLiteral("«%1» no es un catálogo, y restaurar solo pone la copia en lugar "
                               "de un catálogo o donde no hay ningún archivo; no se ha tocado "
                               "nada.")
                    .arg(path));
        }
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0) {
            throw DataError(ErrorNumber::ReadOnly,
                errno == EROFS
                    ? QStringLiteral("El catálogo «%1» está en un disco de solo lectura; no se "
                                     "ha tocado nada.")
                          .arg(path)
                    : QStringLiteral("El catálogo «%1» es de solo lectura, así que no se "
                                     "reemplaza. Si quiere reemplazarlo, dele permiso de "
                                     "escritura (chmod u+w) y vuelva a restaurar.")
                          .arg(path));
        }
    }
}

void copyCatalog(const QString& source, sqlite3* to, Progress& progress, const CopyPacing& pacing)
{
    copyInto(source, to, QString(), progress, pacing);
}

QString previousCatalogPath(const QString& path) { return path + QStringLiteral(".anterior"); }

BackupResult backupCatalog(
    const QString& source, const QString& destination, Progress& progress, const CopyPacing& pacing)
{
    CatalogFile::check(source);
    NewFile copy(destination, NewFile::Placing::New, NewFile::Content::Catalog);
    BackupResult result;
    result.cds = copyIntoFile(source, copy, progress, pacing);
    copy.setPermissions(QFile::permissions(source));
    copy.place();
    result.setAside = copy.setAside();
    result.check = checkCatalog(destination);
    return result;
}

RestoreResult restoreCatalog(const QString& copyPath, const QString& given, Progress& progress)
{
    // Through a link, the file it points to is the catalogue that gets replaced.
    const QFileInfo info(given);
    const QString path
        = info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.filePath();
    const bool replacing = QFileInfo::exists(path);
    if (replacing)
        checkReplaceable(path);

    RestoreResult result;
    result.check = checkCatalog(copyPath);
    if (result.check.outcome != CheckReport::Outcome::Sound)
        return result;

    NewFile copy(path, replacing ? NewFile::Placing::Replacing : NewFile::Placing::New,
        NewFile::Content::Catalog);
    copyIntoFile(copyPath, copy, progress, {});
    copy.setPermissions(QFile::permissions(replacing ? path : copyPath));

    // Held until the new file is in place, so that no program reads or writes the
    // old one half-way through the change.
    SqliteDatabase lock;
    if (replacing) {
        lock = lockCatalog(path);
        result.previous = NewFile::keepUnderFreeName(path, previousCatalogPath(path));
    }
    try {
        copy.place();
    } catch (...) {
        if (replacing)
            QFile::remove(result.previous);
        throw;
    }
    lock.reset();
    result.restored = true;
    result.setAside = copy.setAside();
    return result;
}

}
