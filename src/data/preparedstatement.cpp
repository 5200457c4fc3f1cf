#include "preparedstatement.h"

#include "connection.h"
#include "dataerror.h"

#include <cctype>
#include <sqlite3.h>

namespace velmor::detail {

void StatementFinalizer::operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }

QString onlySelect()
{
    return QStringLiteral(
        "El origen de registros debe ser el nombre de una tabla o una sola instrucción SELECT.");
}

namespace {

    bool isBlank(const char* text)
    {
        for (; text && *text; ++text)
            if (!std::isspace(static_cast<unsigned char>(*text)) && *text != ';')
                return false;
        return true;
    }

}

Statement prepareSelect(const Connection& connection, const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc
        = sqlite3_prepare_v2(connection.handle(), utf8.constData(), int(utf8.size()), &raw, &tail);
    Statement st(raw);
    if (rc != SQLITE_OK)
        connection.fail(rc);
    if (!st || !isBlank(tail) || !sqlite3_stmt_readonly(st.get())
        || sqlite3_column_count(st.get()) == 0)
        throw DataError(ErrorNumber::NotAllowed, onlySelect());
    return st;
}

Statement prepare(const Connection& connection, const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(connection.handle(), utf8.constData(), -1, &raw, nullptr);
    Statement st(raw);
    if (rc != SQLITE_OK)
        connection.fail(rc);
    return st;
}

}
