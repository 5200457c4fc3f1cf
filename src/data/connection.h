#pragma once

#include <QString>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace velmor {

class RecordSource;

// One open catalogue file. Record sources on the same path share one connection,
// so that a CD record can be written to both tables in one transaction. Text
// comparison uses Spanish order that ignores letter case but not accents.
class Connection {
public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class Access {
        // Shared by every record source on the path; writes allowed.
        ReadWrite,
        // A connection of its own that refuses every write. It still rolls back a
        // write that was interrupted half-way, which needs the file to be writable.
        ReadOnly,
    };

    // Checks the file and opens it (never creating it), or returns the open
    // read-write connection for that path. A write that was interrupted half-way
    // (a hot journal) is rolled back here, so the catalogue reads as it was before
    // it; where the file cannot be written, that is reported as InterruptedWrite.
    // Every failure is a DataError with a Spanish description naming the file.
    static std::shared_ptr<Connection> open(const QString& path, Access access = Access::ReadWrite);

    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }

    // Throws the DataError for the connection's last failure (rc is the result code).
    [[noreturn]] void fail(int rc) const;
    // Runs a statement without results; throws DataError on failure.
    void exec(const char* sql);

    bool inTransaction() const;

    // What the engine tells of the file's changes, for what the program keeps of its
    // contents: the version of the file as other connections (of this program or
    // another) left it, which this connection's own commits leave as it is; the
    // transactions this connection has rolled back, by a statement or by the engine
    // itself after an error; and the rows it has added, changed or deleted.
    quint64 othersVersion();
    quint64 rollbacks() const { return m_rollbacks; }
    qint64 ownChanges() const;

    // Throws when the file at the path is gone or has been replaced since it was
    // opened: writes would otherwise land in a file nobody can see any more.
    void ensurePresent() const;

    // Every statement on the connection is vetted when it is prepared: it may read
    // only datos_cd and canciones, add and delete rows there, run transactions and
    // a few plain functions; views and triggers stored in the file may do nothing
    // but raise an error. While an OwnStatements lives, statements the program
    // writes itself (schema reads, checks, pragmas) are allowed too. Attaching other
    // files and the functions that reach into the engine stay refused throughout.
    class OwnStatements {
    public:
        explicit OwnStatements(const Connection& connection);
        ~OwnStatements();
        OwnStatements(const OwnStatements&) = delete;
        OwnStatements& operator=(const OwnStatements&) = delete;

    private:
        const Connection& m_connection;
    };

    // While a NoWaiting lives, a statement that meets another program's lock fails
    // at once (as "in use") instead of waiting for the lock to go: for work nobody
    // is waiting for, such as preparing look-ups while the program is idle.
    class NoWaiting {
    public:
        explicit NoWaiting(Connection& connection);
        ~NoWaiting();
        NoWaiting(const NoWaiting&) = delete;
        NoWaiting& operator=(const NoWaiting&) = delete;

    private:
        Connection& m_connection;
    };

private:
    Connection(QString path, sqlite3* db);
    void configure();
    static int authorizeCallback(void* self, int action, const char* first, const char* second,
        const char* database, const char* inner);
    int authorize(
        int action, const char* first, const char* second, const char* database, const char* inner);

    QString m_path;
    sqlite3* m_db;
    quint64 m_device = 0;
    quint64 m_inode = 0;
    mutable int m_ownStatements = 0;
    mutable QString m_refused; // why the authorizer last refused a statement
    sqlite3_stmt* m_dataVersion = nullptr;
    quint64 m_rollbacks = 0;
};

// Opens a write transaction on construction and rolls it back on destruction
// unless commit() ran. Record sources named on construction are refreshed after a
// rollback so that their sets forget rows that were never stored.
class TransactionGuard {
public:
    explicit TransactionGuard(RecordSource& first, RecordSource* second = nullptr);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;

    void commit();

private:
    std::shared_ptr<Connection> m_connection;
    RecordSource* m_first;
    RecordSource* m_second;
    bool m_done = false;
};

// Builds the DataError for an engine result code on the catalogue at path, in
// Spanish. The engine's own text is added only where it says something the code
// does not (a statement's syntax error, a constraint or an unknown code).
struct DataError;
DataError engineError(int rc, const QString& path, const QString& engineText);

}
