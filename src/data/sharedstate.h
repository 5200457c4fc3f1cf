#pragma once

// What the open record sets of one connection share: the sets themselves, a count
// of the writes made through them, the look-up indexes of their columns and the
// row counts of their tables; and the version of the file's contents that tells
// whether what a set read still holds. It may use SQLite and the connection.

#include <QString>
#include <QtGlobal>
#include <map>
#include <memory>
#include <vector>

namespace velmor {
class Connection;
class Recordset;
}

namespace velmor::detail {

class TextIndex;

// Every open set, and what the sets of one connection share.
struct Shared {
    std::vector<Recordset*> sets;
    quint64 writes = 0;
    std::map<QString, std::shared_ptr<TextIndex>> indexes; // "table\ncolumn"
    struct Count {
        quint64 version = 0; // the file's contents it was counted in
        qint64 rows = -1;
    };
    std::map<QString, Count> counts; // by table
};

// By connection, while it has open sets.
std::map<const Connection*, Shared>& sharedState();

// Changes whenever the file's contents change, through this connection or any other.
quint64 contentVersion(const Connection& c);

}
