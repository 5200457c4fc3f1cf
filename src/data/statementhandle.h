#pragma once

// The owning handle of a prepared statement, finalized when it goes. Record sets
// keep such handles as members, so this is seen wherever a set is; everything that
// prepares statements is in preparedstatement.h, for the data layer alone.

#include <memory>

struct sqlite3_stmt;

namespace velmor::detail {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* st) const;
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

}
