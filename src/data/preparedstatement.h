#pragma once

// Statements of the record sets: the one read-only statement a record-source text
// may be, and statements of the data layer's own making. It may use SQLite and the
// connection.

#include "statementhandle.h"

#include <QString>

namespace velmor {
class Connection;
}

namespace velmor::detail {

// The refusal of a record-source text that is neither a table's name nor one SELECT.
QString onlySelect();

// Prepares exactly one read-only statement; anything else is refused.
Statement prepareSelect(const Connection& connection, const QString& sql);
// Prepares a statement of our own making.
Statement prepare(const Connection& connection, const QString& sql);

}
