// The statement and criterion builders on arbitrary typed values: whatever is
// typed, each text is one well-formed statement that the engine accepts, so a
// value can never add SQL of its own.
#include "data/statements.h"
#include "data/valuerules.h"
#include "require.h"

#include <QLocale>
#include <cstdint>
#include <sqlite3.h>

namespace {
sqlite3* database()
{
    static sqlite3* db = [] {
        sqlite3* d = nullptr;
        QByteArray schema = "create table datos_cd (id integer primary key, nombre text, "
                            "artista text, descripcion text); create table canciones (id "
                            "integer primary key";
        for (int i = 1; i <= 20; ++i)
            schema += ", cancion" + QByteArray::number(i) + " text";
        schema += ");";
        if (sqlite3_open(":memory:", &d) != SQLITE_OK
            || sqlite3_exec(d, schema.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        return d;
    }();
    return db;
}

void requireOneStatement(const QString& sql)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(database(), utf8.constData(), int(utf8.size()), &statement, &tail);
    sqlite3_finalize(statement);
    require(rc == SQLITE_OK);
    require(tail == utf8.constData() + utf8.size());
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto op = velmor::Operador(data[0] % 6);
    const QString value = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    requireOneStatement(velmor::consultaPorId(op, value));
    requireOneStatement(velmor::consultaPorNombre(op, value));
    requireOneStatement(velmor::consultaPorArtista(op, value));
    requireOneStatement(velmor::consultaPorCancion(op, value));
    const QString where = QStringLiteral("select * from datos_cd where ");
    requireOneStatement(where + velmor::criterioNombre(value));
    requireOneStatement(where + velmor::criterioArtista(value));
    requireOneStatement(where + velmor::keyCriterion(value));
    return 0;
}
