#pragma once

#include <memory>
#include <sqlite3.h>

namespace velmor::tool {

// Engine handles that close, finalize or finish themselves.
struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    void operator()(sqlite3_backup* backup) const { sqlite3_backup_finish(backup); }
};
using SqliteDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteCloser>;
using SqliteBackup = std::unique_ptr<sqlite3_backup, SqliteCloser>;

}
