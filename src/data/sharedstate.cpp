#include "sharedstate.h"

#include "connection.h"

#include <sqlite3.h>

namespace velmor::detail {

std::map<const Connection*, Shared>& sharedState()
{
    static std::map<const Connection*, Shared> state;
    return state;
}

quint64 contentVersion(const Connection& c)
{
    unsigned int fileVersion = 0;
    sqlite3_file_control(c.handle(), "main", SQLITE_FCNTL_DATA_VERSION, &fileVersion);
    // The file's version moves with commits only: inside a transaction, the sets' writes,
    // the connection's own statements and its rollbacks change what it reads too. These
    // counters only grow, so their sum changes whenever one of them does.
    const auto it = sharedState().find(&c);
    const quint64 own = (it == sharedState().end() ? 0 : it->second.writes) + c.rollbacks()
        + quint64(c.ownChanges());
    return (quint64(fileVersion) << 32) ^ own;
}

}

namespace velmor::detail {

QString indexKey(const QString& table, const QString& column)
{
    // Names of tables and columns are the same in any letter case.
    return table.toLower() + QLatin1Char('\n') + column.toLower();
}

void checkIndexes(Connection& c, Shared& shared)
{
    const Shared::Known now { c.othersVersion(), c.rollbacks(), c.ownChanges() };
    if (!shared.known || shared.known->othersVersion != now.othersVersion
        || shared.known->rollbacks != now.rollbacks || shared.known->ownChanges != now.ownChanges)
        shared.indexes.clear();
    shared.known = now;
}

void indexesFollowed(const Connection& c, Shared& shared)
{
    if (shared.known)
        shared.known->ownChanges = c.ownChanges();
}

}
