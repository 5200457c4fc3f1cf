#include "checkguard.h"

#include "progress.h"
#include "sqlitehandle.h"

#include <QFileInfo>
#include <algorithm>
#include <sqlite3.h>

namespace velmor::tool {

namespace {
    // Rows of a query on the schema, columns joined by '|'. A query that fails
    // gives what it read: the checks that follow report a damaged schema.
    QList<QStringList> rows(sqlite3* db, const char* sql)
    {
        QList<QStringList> out;
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
            return out;
        const SqliteStatement statement(raw);
        while (sqlite3_step(raw) == SQLITE_ROW) {
            QStringList columns;
            for (int i = 0; i < sqlite3_column_count(raw); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, i));
                columns << QString::fromUtf8(text ? text : "");
            }
            out << columns;
        }
        return out;
    }

    bool isWordStart(QChar c) { return c.isLetter() || c == QLatin1Char('_'); }
    bool isWordPart(QChar c)
    {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
    }

    // Whether a table's declaration holds the keyword CHECK, outside quoted names,
    // strings and comments.
    bool declaresCheck(const QString& sql)
    {
        const qsizetype n = sql.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = sql[i];
            const auto skipTo = [&](QChar close) {
                const qsizetype end = sql.indexOf(close, i + 1);
                i = end < 0 ? n : end + 1;
            };
            if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
                skipTo(c); // a doubled quote inside reads as two quoted runs, which is the same
            } else if (c == QLatin1Char('[')) {
                skipTo(QLatin1Char(']'));
            } else if (sql.mid(i, 2) == QLatin1String("--")) {
                skipTo(QLatin1Char('\n'));
            } else if (sql.mid(i, 2) == QLatin1String("/*")) {
                const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
                i = end < 0 ? n : end + 2;
            } else if (isWordStart(c)) {
                const qsizetype start = i;
                while (i < n && isWordPart(sql[i]))
                    ++i;
                if (QStringView(sql)
                        .sliced(start, i - start)
                        .compare(QLatin1String("check"), Qt::CaseInsensitive)
                    == 0)
                    return true;
            } else {
                ++i;
            }
        }
        return false;
    }

    bool isCatalogTable(const QString& name)
    {
        return name.compare(QLatin1String("datos_cd"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("canciones"), Qt::CaseInsensitive) == 0;
    }

    // How many times the whole check reads the file's pages, about: the integrity
    // check once, then a query or two for each column (measured on a million CDs).
    constexpr qint64 readsOfEachPage = 14;
}

SchemaCode codeInSchema(sqlite3* db)
{
    SchemaCode found;
    const QString evaluated
        = QStringLiteral("que la verificación tendría que evaluar en cada fila");
    for (const QStringList& index : rows(db,
             "select s.name, s.tbl_name, exists (select 1 from pragma_index_xinfo(s.name) x "
             "where x.cid = -2), exists (select 1 from pragma_index_list(s.tbl_name) l where "
             "l.name = s.name and l.partial) from sqlite_schema s where s.type = 'index' "
             "order by s.name")) {
        if (index.value(2) == QLatin1String("1")) {
            found.problems << QStringLiteral("el índice %1 de %2 se calcula con una expresión, %3; "
                                             "el programa no crea índices así: bórrelo (DROP "
                                             "INDEX) y vuelva a verificar")
                                  .arg(index[0], index[1], evaluated);
        } else if (index.value(3) == QLatin1String("1")) {
            found.problems << QStringLiteral("el índice %1 de %2 lleva una condición (WHERE), %3; "
                                             "el programa no crea índices así: bórrelo (DROP "
                                             "INDEX) y vuelva a verificar")
                                  .arg(index[0], index[1], evaluated);
        }
    }
    for (const QStringList& table : rows(db,
             "select name, sql from sqlite_schema where type = 'table' and rootpage > 0 "
             "order by name")) {
        if (!declaresCheck(table.value(1)))
            continue;
        if (isCatalogTable(table.value(0))) {
            found.checksInCatalogTables = true;
        } else {
            found.problems << QStringLiteral("la tabla %1 tiene restricciones CHECK, expresiones "
                                             "%2; el programa no las usa: pase sus filas a una "
                                             "tabla sin ellas")
                                  .arg(table[0], evaluated);
        }
    }
    const QList<QStringList> computed = rows(db,
        "select m.name, x.name from sqlite_schema m, pragma_table_xinfo(m.name) x where "
        "m.type = 'table' and m.rootpage > 0 and x.hidden in (2, 3) order by m.name, x.cid");
    for (const QStringList& column : computed) {
        // The declaration check names those of the catalogue's own tables.
        if (isCatalogTable(column.value(0))) {
            found.inCatalogTables = true;
        } else {
            found.problems << QStringLiteral("la columna %1.%2 es calculada, con una expresión "
                                             "%3; el programa no la usa: quítela")
                                  .arg(column[0], column.value(1), evaluated);
        }
    }
    return found;
}

std::chrono::milliseconds CheckWatch::limitFor(const QString& path)
{
    const qint64 megabytes = QFileInfo(path).size() / (1024 * 1024);
    return std::chrono::seconds(60) + std::chrono::milliseconds(megabytes * 250);
}

CheckWatch::CheckWatch(
    sqlite3* db, Progress* progress, bool countCds, std::chrono::milliseconds limit)
    : m_db(db)
    , m_progress(progress)
    , m_limit(limit)
    , m_deadline(std::chrono::steady_clock::now() + limit)
{
    sqlite3_progress_handler(db, 1000, &CheckWatch::tick, this);
    m_pages = rows(db, "pragma page_count").value(0).value(0).toLongLong();
    if (countCds)
        m_cds = rows(db, "select count(*) from datos_cd").value(0).value(0).toLongLong();
}

CheckWatch::~CheckWatch()
{
    sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
    if (m_progress)
        m_progress->finish();
}

int CheckWatch::tick(void* self)
{
    auto* watch = static_cast<CheckWatch*>(self);
    if (std::chrono::steady_clock::now() > watch->m_deadline) {
        watch->m_timeUp = true;
        return 1;
    }
    if (watch->m_progress && watch->m_pages > 0) {
        int read = 0, highest = 0;
        sqlite3_db_status(watch->m_db, SQLITE_DBSTATUS_CACHE_MISS, &read, &highest, 0);
        const qint64 total = watch->m_pages * readsOfEachPage;
        watch->m_progress->update(std::min<qint64>(read, total - 1), total, watch->m_cds);
    }
    return 0;
}

}
