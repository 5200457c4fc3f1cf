#pragma once

#include <QString>
#include <memory>

struct sqlite3;

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

    // Checks the file and opens it read-write (never creating it), or returns the
    // open connection for that path.
    static std::shared_ptr<Connection> open(const QString& path);

    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }

    // Throws the DataError for the connection's last failure (rc is the result code).
    [[noreturn]] void fail(int rc) const;
    // Runs a statement without results; throws DataError on failure.
    void exec(const char* sql);

    bool inTransaction() const;

    // Throws when the file at the path is gone or has been replaced since it was
    // opened: writes would otherwise land in a file nobody can see any more.
    void ensurePresent() const;

private:
    Connection(QString path, sqlite3* db);
    QString m_path;
    sqlite3* m_db;
    quint64 m_device = 0;
    quint64 m_inode = 0;
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

// Builds a DataError from an engine result code and message.
struct DataError;
DataError engineError(int rc, const QString& message);

}
