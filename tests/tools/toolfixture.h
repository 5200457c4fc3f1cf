#pragma once

// What the tool's tests share: scratch catalogues with direct SQL access, so that a test can set up
// or damage a file independently of the code under test, and runs of the velmor-db executable.

#include "cdrecord.h"

#include "data/catalogfile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace toolfixture {

using velmor::tool::songCount;

// A connection of its own to a catalogue file, as another program would hold one.
class Db {
public:
    explicit Db(const QString& path, int flags = SQLITE_OPEN_READWRITE)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Db() { sqlite3_close_v2(m_db); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    int exec(const char* statements)
    {
        return sqlite3_exec(m_db, statements, nullptr, nullptr, nullptr);
    }
    // Every result row with its columns joined by '|', null as "<null>". Aborts the test program
    // when a statement fails.
    QStringList sql(const QString& statements)
    {
        const auto collect = [](void* rows, int count, char** values, char**) {
            QStringList columns;
            for (int i = 0; i < count; ++i)
                columns << (values[i] ? QString::fromUtf8(values[i]) : QStringLiteral("<null>"));
            static_cast<QStringList*>(rows)->append(columns.join('|'));
            return 0;
        };
        QStringList rows;
        char* error = nullptr;
        if (sqlite3_exec(m_db, statements.toUtf8().constData(), collect, &rows, &error)
            != SQLITE_OK)
            qFatal("%s: %s", qPrintable(statements), error ? error : sqlite3_errmsg(m_db));
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
};

// Every row of both tables of a catalogue file, each table ordered by key.
inline QStringList allRows(const QString& path)
{
    return Db(path, SQLITE_OPEN_READONLY)
        .sql("select 'datos_cd', * from datos_cd order by id;select 'canciones', * from canciones "
             "order by id");
}

// An empty catalogue made by the tool's own code in a directory of its own.
struct ScratchCatalog {
    QTemporaryDir dir;

    ScratchCatalog() { velmor::CatalogFile::create(path()); }
    QString path() const { return dir.filePath("velmor.mdb"); }
    QString file(const QString& name) const { return dir.filePath(name); }
    QStringList sql(const QString& statements) const { return Db(path()).sql(statements); }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    void addCd(qint64 id, const QStringList& texts) const // nombre, artista, descripcion, songs…
    {
        QStringList quoted;
        for (int i = 0; i < 3 + songCount; ++i)
            quoted << "'" + QString(texts.value(i)).replace("'", "''") + "'";
        sql(QStringLiteral(
            "insert into datos_cd values (%1, %2); insert into canciones values (%1, %3)")
                .arg(id)
                .arg(quoted.mid(0, 3).join(','), quoted.mid(3).join(',')));
    }
};

inline QByteArray readFile(const QString& path) // empty when the file cannot be read
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The CSV header row, written out here rather than taken from the tool.
inline QString csvHeader(QChar separator = ',')
{
    QString header = QStringList { "id", "nombre", "artista", "descripcion" }.join(separator);
    for (int i = 1; i <= songCount; ++i)
        header += separator + QStringLiteral("cancion%1").arg(i);
    return header;
}

// 24 fields: key, name, artist, description, then the given songs and empty ones.
inline QStringList fields(const QString& key, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& songs = {})
{
    QStringList out { key, nombre, artista, descripcion };
    for (int i = 0; i < songCount; ++i)
        out << songs.value(i);
    return out;
}

// A CSV text of the lines, after the header unless header is false.
inline QByteArray csv(const QList<QStringList>& lines, bool header = true)
{
    QString text = header ? csvHeader() + '\n' : QString();
    for (const QStringList& line : lines)
        text += line.join(',') + '\n';
    return text.toUtf8();
}

// Runs the child in a process of its own, which it ends with SIGKILL while it still has its files
// open, as a crash or a power cut would stop it.
inline bool killedRun(const std::function<void()>& child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(1);
    }
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFSIGNALED(status);
}

struct Run {
    int code = -1;
    QString out, err;
};

inline Run finished(QProcess& process)
{
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}

inline Run run(const QStringList& arguments, const QString& program = VELMOR_DB_EXECUTABLE)
{
    QProcess process;
    process.start(program, arguments);
    return finished(process);
}

}
