#pragma once

#include <QString>
#include <QStringList>
#include <chrono>

struct sqlite3;

namespace velmor::tool {

class Progress;

// What keeps verificar from running code that a file brings with it, and from
// running without end.

// The schema objects whose expressions the engine's integrity check evaluates
// on every row: indexes on an expression or with a WHERE condition, CHECK
// constraints and computed columns, of any table. Read from the schema alone,
// without evaluating any of them.
struct SchemaCode {
    QStringList problems; // one per object, computed columns of the catalogue's tables aside
    bool inCatalogTables = false; // those: every query on the table would compute them
    // CHECK conditions of the catalogue's tables: the check of what makes a save fail
    // names each of them, and only the integrity check would evaluate them.
    bool checksInCatalogTables = false;
    bool any() const { return inCatalogTables || checksInCatalogTables || !problems.isEmpty(); }
};
SchemaCode codeInSchema(sqlite3* db);

// While it lives, interrupts every statement on db once the time is up, and
// reports the progress of the check, measured in pages read against the file's.
class CheckWatch {
public:
    // A minute, and a second more for every 4 MB of the file: a catalogue of a
    // million CDs (220 MB) is checked in a few seconds.
    static std::chrono::milliseconds limitFor(const QString& path);

    // The CDs are counted, for the progress, only where the catalogue's tables were
    // found to be real tables.
    CheckWatch(sqlite3* db, Progress* progress, bool countCds, std::chrono::milliseconds limit);
    ~CheckWatch();
    CheckWatch(const CheckWatch&) = delete;
    CheckWatch& operator=(const CheckWatch&) = delete;

    bool timeUp() const { return m_timeUp; }
    std::chrono::milliseconds limit() const { return m_limit; }

private:
    static int tick(void* self);

    sqlite3* m_db;
    Progress* m_progress;
    qint64 m_cds = 0;
    qint64 m_pages = 0;
    std::chrono::milliseconds m_limit;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_timeUp = false;
};

}
