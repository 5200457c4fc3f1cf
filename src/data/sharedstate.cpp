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
    const auto it = sharedState().find(&c);
    return (quint64(fileVersion) << 32) ^ (it == sharedState().end() ? 0 : it->second.writes);
}

}
