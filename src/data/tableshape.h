#pragma once

// What a record set needs to know of a table before it reads a row, and how the
// names of tables and columns are written into statements. It may use SQLite and
// the connection; it knows nothing of record sets or of the values in a table.

#include <QString>
#include <QStringList>
#include <vector>

namespace velmor {
class Connection;
}

namespace velmor::detail {

// What a set needs to know of a table: its columns as "select *" gives them,
// how to read its row ids, and which columns identify a row without them.
struct TableShape {
    QStringList columns;
    QString rowId; // empty: the table has no row ids
    int rowIdAlias = -1; // the column that holds the row id itself, or -1
    std::vector<int> primaryKey;
    std::vector<bool> indexable;
};

// The shape of the table, as read from the file; a table that is not there fails
// with its own error naming the catalogue.
TableShape tableShape(const Connection& c, const QString& table);

// A name between double quotes, with every double quote in it doubled.
QString quotedName(const QString& name);
// A text that is only a plain name (letters, digits, underscores), blanks around it.
bool isTableName(const QString& text);
// The position of a name in the list, letter case aside; -1 when it is not there.
qsizetype indexOfName(const QStringList& names, const QString& name);

}
