#include "catalogobstacles.h"

#include <QStringList>
#include <memory>
#include <sqlite3.h>

namespace velmor {

namespace {

    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    // Rows of a query as lists of texts; none when it cannot be run.
    QList<QStringList> rows(sqlite3* db, const char* sql, const QString& argument = {})
    {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
            return {};
        const Statement statement(raw);
        const QByteArray bound = argument.toUtf8();
        if (!argument.isNull())
            sqlite3_bind_text(raw, 1, bound.constData(), int(bound.size()), SQLITE_STATIC);
        QList<QStringList> out;
        while (sqlite3_step(raw) == SQLITE_ROW) {
            QStringList row;
            for (int i = 0; i < sqlite3_column_count(raw); ++i)
                row << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(raw, i)));
            out << row;
        }
        return out;
    }

    // The words of an SQL text as the engine reads them: identifiers without their
    // quotes, string literals apart, comments left out.
    struct Token {
        enum Kind { Word, Quoted, Literal, Symbol } kind;
        QString text;
    };

    std::vector<Token> tokens(const QString& sql)
    {
        std::vector<Token> out;
        const qsizetype n = sql.size();
        for (qsizetype i = 0; i < n;) {
            const QChar c = sql[i];
            if (c.isSpace()) {
                ++i;
            } else if (sql.mid(i, 2) == QLatin1String("--")) {
                while (i < n && sql[i] != u'\n')
                    ++i;
            } else if (sql.mid(i, 2) == QLatin1String("/*")) {
                const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
                i = end < 0 ? n : end + 2;
            } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
                const QChar close = c == u'[' ? QChar(u']') : c;
                QString text;
                for (++i; i < n; ++i) {
                    if (sql[i] == close) {
                        if (close != u']' && i + 1 < n && sql[i + 1] == close) {
                            text += close;
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    text += sql[i];
                }
                out.push_back({ c == u'\'' ? Token::Literal : Token::Quoted, text });
            } else if (c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() > 0x7f) {
                const qsizetype start = i;
                while (i < n
                    && (sql[i].isLetterOrNumber() || sql[i] == u'_' || sql[i] == u'$'
                        || sql[i].unicode() > 0x7f))
                    ++i;
                out.push_back({ Token::Word, sql.mid(start, i - start) });
            } else {
                out.push_back({ Token::Symbol, QString(c) });
                ++i;
            }
        }
        return out;
    }

    bool isWord(const std::vector<Token>& t, size_t i, const char* word)
    {
        return i < t.size() && t[i].kind == Token::Word
            && t[i].text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    bool isSymbol(const std::vector<Token>& t, size_t i, char symbol)
    {
        return i < t.size() && t[i].kind == Token::Symbol && t[i].text == QLatin1Char(symbol);
    }

    bool isName(const std::vector<Token>& t, size_t i)
    {
        return i < t.size() && (t[i].kind == Token::Word || t[i].kind == Token::Quoted);
    }

    // A trigger matters when it runs as a CD is added or deleted (the program never
    // updates a row) and its body writes or raises an error.
    bool triggerActs(const std::vector<Token>& t)
    {
        size_t i = 0;
        while (i < t.size() && !isWord(t, i, "INSERT") && !isWord(t, i, "DELETE")
            && !isWord(t, i, "UPDATE"))
            ++i;
        if (i == t.size() || isWord(t, i, "UPDATE"))
            return false;
        while (i < t.size() && !isWord(t, i, "BEGIN"))
            ++i;
        for (; i < t.size(); ++i)
            if (isWord(t, i, "INSERT") || isWord(t, i, "UPDATE") || isWord(t, i, "DELETE")
                || isWord(t, i, "REPLACE") || (isWord(t, i, "RAISE") && isSymbol(t, i + 1, '(')))
                return true;
        return false;
    }

    QString kindName(const QString& type, const QString& name, const QString& table)
    {
        if (type == QLatin1String("table"))
            return QStringLiteral("la tabla %1").arg(table);
        if (type == QLatin1String("index"))
            return QStringLiteral("el índice «%1» de la tabla %2").arg(name, table);
        return QStringLiteral("el disparador «%1» de la tabla %2").arg(name, table);
    }

}

std::vector<CatalogObstacle> catalogObstacles(sqlite3* db)
{
    using Kind = CatalogObstacle::Kind;
    std::vector<CatalogObstacle> found;
    const auto schema = rows(db,
        "select type, name, lower(tbl_name), coalesce(sql, '') from sqlite_schema where "
        "lower(tbl_name) in ('datos_cd', 'canciones') and type in ('table', 'index', 'trigger') "
        "order by lower(tbl_name) desc, type, name");
    for (const QStringList& entry : schema) {
        const QString &type = entry[0], &name = entry[1], &table = entry[2];
        const std::vector<Token> t = tokens(entry[3]);
        const QString object = kindName(type, name, table);
        if (type == QLatin1String("trigger") && triggerActs(t))
            found.push_back({ Kind::Trigger, object,
                QStringLiteral("escribe o da un error al añadir o eliminar un CD, y el programa "
                               "no puede asegurar que se guarde: bórrelo") });
        for (size_t i = 0; i < t.size(); ++i) {
            if (type == QLatin1String("table") && isWord(t, i, "CHECK")
                && isSymbol(t, i + 1, '(')) {
                const QString condition = i >= 2 && isWord(t, i - 2, "CONSTRAINT")
                    ? QStringLiteral("la condición CHECK «%1» de la tabla %2")
                          .arg(t[i - 1].text, table)
                    : QStringLiteral("una condición CHECK de la tabla %1").arg(table);
                found.push_back({ Kind::Check, condition,
                    QStringLiteral("puede impedir que se guarde un CD: quítela") });
            }
            if (isWord(t, i, "COLLATE") && isName(t, i + 1)) {
                const QString collation = t[i + 1].text.toUpper();
                if (collation != QLatin1String("BINARY") && collation != QLatin1String("NOCASE")
                    && collation != QLatin1String("RTRIM"))
                    found.push_back({ Kind::Collation, object,
                        QStringLiteral("usa la ordenación «%1», que el programa no tiene: no "
                                       "puede guardar ni buscar con ella; cámbiela por NOCASE "
                                       "o BINARY")
                            .arg(t[i + 1].text) });
            }
        }
    }
    for (const char* table : { "datos_cd", "canciones" }) {
        const auto indexes = rows(db,
            "select name, origin from pragma_index_list(?1) where \"unique\" order by name",
            QString::fromLatin1(table));
        for (const QStringList& index : indexes) {
            QStringList columns;
            bool key = false;
            for (const QStringList& column : rows(db,
                     "select coalesce(name, '(expresión)') from pragma_index_xinfo(?1) where key "
                     "order by seqno",
                     index[0])) {
                columns << column[0];
                key = key || column[0].compare(QLatin1String("id"), Qt::CaseInsensitive) == 0;
            }
            if (key)
                continue;
            const QString object = index[1] == QLatin1String("c")
                ? QStringLiteral("el índice único «%1» de la tabla %2")
                      .arg(index[0], QLatin1String(table))
                : QStringLiteral("la condición UNIQUE de la tabla %1").arg(QLatin1String(table));
            found.push_back({ Kind::UniqueIndex,
                object + QStringLiteral(" (%1)").arg(columns.join(QStringLiteral(", "))),
                QStringLiteral("impide guardar dos CDs con el mismo valor: bórrelo") });
        }
    }
    return found;
}

}
