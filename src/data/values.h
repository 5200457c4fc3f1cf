#pragma once

// Values between the engine and Qt: a column read into a QVariant, a QVariant bound
// to a parameter, and a text that tells stored values apart. It may use SQLite and
// the value rules. The text form of a value that the forms show is made here too,
// and declared apart in valuetext.h.

#include "valuetext.h"

#include <QString>
#include <QVariant>
#include <vector>

struct sqlite3_stmt;

namespace velmor::detail {

// A column of the statement's current row: an integer as qint64, a real as double,
// text as QString, a blob as QByteArray, a null as a null QVariant.
QVariant columnValue(sqlite3_stmt* st, int i);
// The same, as the statement holds it until its next step.
ValueView columnView(sqlite3_stmt* st, int i);
// `count` columns of the current row from column `first` on.
std::vector<QVariant> rowValues(sqlite3_stmt* st, int first, int count);
// Binds a value as the engine keeps it: a whole double as an integer. Returns the
// engine's result code.
int bindValue(sqlite3_stmt* st, int index, const QVariant& value);
// One text per distinct stored value, telling types apart.
QString identity(const std::vector<QVariant>& values);

}
