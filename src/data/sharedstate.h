#pragma once

// What the open record sets of one connection share: the sets themselves, a count
// of the writes made through them, the look-up indexes of their columns and the
// row counts of their tables; the version of the file's contents that tells
// whether what a set read still holds; and what tells whether the indexes still
// hold. It may use SQLite and the connection.

#include <QString>
#include <QtGlobal>
#include <map>
#include <memory>
#include <optional>
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
    // The look-up indexes of the file as it is now, by indexKey. The sets' own writes
    // keep them in step; any other change of the file drops them (see checkIndexes).
    std::map<QString, std::shared_ptr<TextIndex>> indexes;
    // The connection's state when the indexes were last known to hold.
    struct Known {
        quint64 othersVersion = 0;
        quint64 rollbacks = 0;
        qint64 ownChanges = 0;
    };
    std::optional<Known> known;
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

// The name of the look-up index of a table's column among Shared::indexes.
QString indexKey(const QString& table, const QString& column);

// Drops the connection's look-up indexes when the file has changed in a way their
// upkeep did not follow: another connection committed a change, this one rolled a
// transaction back (undoing writes they followed), or it changed rows with
// statements of its own rather than through the sets. Fails with the engine's
// error when the file cannot be read.
void checkIndexes(Connection& c, Shared& shared);
// After a write through a set, which kept the indexes in step: the changes this
// connection has made so far are all known.
void indexesFollowed(const Connection& c, Shared& shared);
}
