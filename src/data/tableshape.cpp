#include "tableshape.h"

#include "connection.h"
#include "dataerror.h"
#include "statementhandle.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace velmor::detail {

QString quotedName(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

bool isTableName(const QString& text)
{
    static const QRegularExpression identifier(QStringLiteral("^\\s*[A-Za-z_][A-Za-z0-9_]*\\s*$"));
    return identifier.match(text).hasMatch();
}

qsizetype indexOfName(const QStringList& names, const QString& name)
{
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TableShape tableShape(const Connection& c, const QString& table)
{
    TableShape shape;
    sqlite3_stmt* raw = nullptr;
    const QByteArray all = ("select * from " + quotedName(table)).toUtf8();
    if (sqlite3_prepare_v2(c.handle(), all.constData(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        throw DataError(ErrorNumber::TableNotFound,
            QStringLiteral("No se encuentra la tabla «%1» en el catálogo «%2».")
                .arg(table, c.path()));
    }
    Statement st(raw);
    const QByteArray tableUtf8 = table.toUtf8();
    for (int i = 0; i < sqlite3_column_count(raw); ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(raw, i));
        shape.columns << name;
        const char* type = nullptr;
        int primaryKey = 0;
        const QByteArray origin = sqlite3_column_origin_name(raw, i)
            ? QByteArray(sqlite3_column_origin_name(raw, i))
            : name.toUtf8();
        if (sqlite3_table_column_metadata(c.handle(), "main", tableUtf8.constData(),
                origin.constData(), &type, nullptr, nullptr, &primaryKey, nullptr)
            != SQLITE_OK) {
            shape.indexable.push_back(false);
            continue;
        }
        if (primaryKey)
            shape.primaryKey.push_back(i);
        // Columns that keep texts as given (text affinity, or none) are compared
        // in the catalogue's text order whatever the file declares for them.
        const QByteArray t = QByteArray(type ? type : "").toUpper();
        const bool textOrNone = !t.contains("INT")
            && (t.contains("CHAR") || t.contains("CLOB") || t.contains("TEXT") || t.contains("BLOB")
                || t.isEmpty());
        shape.indexable.push_back(textOrNone);
    }
    // A column may be named like the row id; another of its names then reads it.
    for (const char* name : { "rowid", "_rowid_", "oid" }) {
        if (indexOfName(shape.columns, QLatin1String(name)) >= 0)
            continue;
        const QByteArray sql
            = ("select " + QLatin1String(name) + " from " + quotedName(table)).toUtf8();
        sqlite3_stmt* probe = nullptr;
        if (sqlite3_prepare_v2(c.handle(), sql.constData(), -1, &probe, nullptr) == SQLITE_OK) {
            shape.rowId = QLatin1String(name);
            const char* alias = sqlite3_column_origin_name(probe, 0);
            if (alias)
                shape.rowIdAlias = int(indexOfName(shape.columns, QString::fromUtf8(alias)));
        }
        sqlite3_finalize(probe);
        break;
    }
    if (shape.rowIdAlias >= 0)
        shape.indexable[size_t(shape.rowIdAlias)] = false;
    return shape;
}

}
