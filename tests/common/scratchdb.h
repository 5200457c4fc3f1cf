#pragma once

// What every suite needs to arrange or damage a catalogue file independently of the code under
// test: a connection of its own, as another program would hold one, a file's bytes, and a process
// killed while it has its files open.

#include <QFile>
#include <QStringList>
#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace scratch {

class Db {
public:
    explicit Db(const QString& path, int flags = SQLITE_OPEN_READWRITE, int busyMs = 5000)
    {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
        sqlite3_busy_timeout(m_db, busyMs);
    }
    ~Db() { sqlite3_close_v2(m_db); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    int exec(const char* statements)
    {
        return sqlite3_exec(m_db, statements, nullptr, nullptr, nullptr);
    }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    // Every result row with its columns joined by '|', or its first column only; null as
    // "<null>". Aborts the test program when a statement fails.
    QStringList sql(const QString& statements, bool firstColumn = false)
    {
        struct Rows {
            QStringList rows;
            bool first;
        } out { {}, firstColumn };
        const auto collect = [](void* rows, int count, char** values, char**) {
            auto* into = static_cast<Rows*>(rows);
            QStringList columns;
            for (int i = 0; i < (into->first ? 1 : count); ++i)
                columns << (values[i] ? QString::fromUtf8(values[i]) : QStringLiteral("<null>"));
            into->rows.append(columns.join('|'));
            return 0;
        };
        char* message = nullptr;
        if (sqlite3_exec(m_db, statements.toUtf8().constData(), collect, &out, &message)
            != SQLITE_OK)
            qFatal("%s: %s", qPrintable(statements), message ? message : sqlite3_errmsg(m_db));
        return out.rows;
    }

    // One statement with the key as its first parameter and the texts after it, bound as they
    // are, whatever characters they hold.
    void insert(const QString& statement, qint64 id, const QStringList& texts)
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(m_db, statement.toUtf8().constData(), -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, id);
        for (int i = 0; i < texts.size(); ++i) {
            const QByteArray text = texts[i].toUtf8();
            sqlite3_bind_text(st, i + 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(st) != SQLITE_DONE)
            qFatal("%s: %s", qPrintable(statement), sqlite3_errmsg(m_db));
        sqlite3_finalize(st);
    }

private:
    sqlite3* m_db = nullptr;
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

}
