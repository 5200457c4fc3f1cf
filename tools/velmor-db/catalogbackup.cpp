#include "catalogbackup.h"

#include "progress.h"
#include "sqlitehandle.h"

#include "data/catalogfile.h"
#include "data/connection.h"
#include "data/dataerror.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

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

    // Copies every page of the source into the destination. When another connection
    // commits between two steps, the engine starts the copy again, so the result is
    // always one committed state of the source.
    void copyPages(sqlite3* from, sqlite3* to, const QString& source, Progress& progress,
        qint64 cds, const CopyPacing& pacing)
    {
        SqliteBackup backup(sqlite3_backup_init(to, "main", from, "main"));
        if (!backup)
            throw engineError(
                sqlite3_extended_errcode(to), source, QString::fromUtf8(sqlite3_errmsg(to)));
        for (;;) {
            const int rc = sqlite3_backup_step(backup.get(), pacing.pagesPerStep);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_OK)
                throw engineError(rc, source, QString::fromUtf8(sqlite3_errstr(rc)));
            const int pages = sqlite3_backup_pagecount(backup.get());
            progress.update(pages - sqlite3_backup_remaining(backup.get()), pages, cds);
            if (pacing.betweenSteps)
                pacing.betweenSteps();
        }
        const int rc = sqlite3_backup_finish(backup.release());
        if (rc != SQLITE_OK)
            throw engineError(rc, source, QString::fromUtf8(sqlite3_errmsg(to)));
        progress.finish();
    }

    // The engine syncs what it commits, but whether it does depends on its settings;
    // a copy is renamed into place only once its bytes are surely on disk.
    void syncToDisk(const QString& path, bool directory)
    {
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(path).constData(),
            O_RDONLY | O_CLOEXEC | (directory ? O_DIRECTORY : 0));
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
#else
        Q_UNUSED(path);
        Q_UNUSED(directory);
#endif
    }

    std::filesystem::path fsPath(const QString& path)
    {
        return QFileInfo(path).filesystemFilePath();
    }

    // A new file beside target, removed again unless it was renamed into place.
    class SiblingFile {
    public:
        SiblingFile(const QString& target, QFileDevice::Permissions permissions)
            : m_file(target + QStringLiteral(".XXXXXX"))
        {
            if (!m_file.open()) {
                throw DataError(ErrorNumber::NotAllowed,
                    QStringLiteral("No se puede escribir junto a «%1»: %2")
                        .arg(target, m_file.errorString()));
            }
            m_file.close();
            m_file.setPermissions(permissions);
        }
        QString path() const { return m_file.fileName(); }
        void placed() { m_file.setAutoRemove(false); }

    private:
        QTemporaryFile m_file;
    };

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
        run("begin exclusive");
        return db;
    }

    // Keeps the file at path also under the name previous, failing when that
    // name is taken.
    void keepPrevious(const QString& path, const QString& previous)
    {
        std::error_code error;
        std::filesystem::create_hard_link(fsPath(path), fsPath(previous), error);
        if (error && !QFileInfo::exists(previous)) {
            // Where the file system has no hard links, a copy does the same job.
            error.clear();
            std::filesystem::copy_file(
                fsPath(path), fsPath(previous), std::filesystem::copy_options::none, error);
            if (!error)
                syncToDisk(previous, false);
        }
        if (error) {
            throw DataError(ErrorNumber::NotAllowed,
                QStringLiteral("No se puede guardar «%1» como «%2»: %3")
                    .arg(path, previous, QString::fromLocal8Bit(error.message())));
        }
    }

    QString directoryOf(const QString& path) { return QFileInfo(path).absolutePath(); }
}

void copyCatalog(const QString& source, sqlite3* to, Progress& progress, const CopyPacing& pacing)
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
    copyPages(from.get(), to, source, progress, countCds(from.get()), pacing);
}

QString previousCatalogPath(const QString& path) { return path + QStringLiteral(".anterior"); }

BackupResult backupCatalog(
    const QString& source, const QString& destination, Progress& progress, const CopyPacing& pacing)
{
    CatalogFile::check(source);
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink()) {
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El archivo «%1» ya existe; no se sobrescribe.").arg(destination));
    }

    BackupResult result;
    SiblingFile copy(destination, QFile::permissions(source));
    {
        const SqliteDatabase to = openDatabase(copy.path(), SQLITE_OPEN_READWRITE);
        copyCatalog(source, to.get(), progress, pacing);
        result.cds = countCds(to.get());
    }
    syncToDisk(copy.path(), false);

    // QFile::rename never replaces an existing file, even one made meanwhile.
    if (!QFile::rename(copy.path(), destination)) {
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("No se puede escribir «%1»: %2")
                .arg(destination,
                    QFileInfo::exists(destination) ? QStringLiteral("el archivo ya existe")
                                                   : QStringLiteral("no se pudo renombrar")));
    }
    copy.placed();
    syncToDisk(directoryOf(destination), true);
    result.check = checkCatalog(destination);
    return result;
}

RestoreResult restoreCatalog(const QString& copyPath, const QString& given, Progress& progress)
{
    RestoreResult result;
    result.check = checkCatalog(copyPath);
    if (result.check.outcome != CheckReport::Outcome::Sound)
        return result;

    // Through a link, the file it points to is the catalogue that gets replaced.
    const QFileInfo info(given);
    const QString path
        = info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.filePath();
    const bool replacing = QFileInfo::exists(path);
    if (replacing && !QFileInfo(path).isFile()) {
        throw DataError(
            ErrorNumber::NotAllowed, QStringLiteral("«%1» no es un archivo.").arg(path));
    }
    const QString previous = previousCatalogPath(path);
    if (replacing && (QFileInfo::exists(previous) || QFileInfo(previous).isSymLink())) {
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("Ya existe «%1», que guarda el catálogo de una restauración anterior; "
                           "muévalo o bórrelo antes de restaurar.")
                .arg(previous));
    }

    SiblingFile copy(path, QFile::permissions(replacing ? path : copyPath));
    copyCatalog(copyPath, openDatabase(copy.path(), SQLITE_OPEN_READWRITE).get(), progress);
    syncToDisk(copy.path(), false);

    // Held until the new file is in place, so that no program reads or writes the
    // old one half-way through the change.
    SqliteDatabase lock;
    if (replacing) {
        lock = lockCatalog(path);
        keepPrevious(path, previous);
    }
    std::error_code error;
    std::filesystem::rename(fsPath(copy.path()), fsPath(path), error);
    if (error) {
        if (replacing)
            QFile::remove(previous);
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("No se puede poner la copia en lugar de «%1»: %2")
                .arg(path, QString::fromLocal8Bit(error.message())));
    }
    copy.placed();
    lock.reset();
    syncToDisk(directoryOf(path), true);
    result.restored = true;
    if (replacing)
        result.previous = previous;
    return result;
}

}
