#include "catalogcheck.h"

#include "checkguard.h"

#include "data/catalogfile.h"
#include "data/catalogobstacles.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/valuerules.h"

#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace velmor::tool {

namespace {
    constexpr int keysNamed = 10;

    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Database = std::unique_ptr<sqlite3, Closer>;
    using Statement = std::unique_ptr<sqlite3_stmt, Closer>;

    // Thrown when the engine cannot read the file at all (as opposed to finding damage).
    struct Unreadable {
        QString reason;
    };
    // Thrown when a query fails on a file the engine can read: damage to report.
    struct Failure {
        QString reason;
    };
    // Thrown when the check ran out of its time.
    struct TimeUp { };

    class Checker {
    public:
        Checker(sqlite3* db, const QString& path, CheckReport& report)
            : m_db(db)
            , m_path(path)
            , m_report(report)
        {
        }

        void integrity();
        bool table(const char* name, const QStringList& expected);
        void nulls(const char* table, const QStringList& columns);
        void uniqueKeys(const char* table);
        void pairs(const char* from, const char* partner);
        bool declaration(const char* table);
        void types(const char* table, const QStringList& columns);
        void caseInsensitiveIndexes();
        void keyRange(const char* table);
        void textValues(const char* table, const QStringList& columns);
        void obstacles();

    private:
        // The columns asked for that the table has.
        QStringList present(const char* table, const QStringList& columns);
        Statement prepare(const QByteArray& sql);
        QStringList values(const QByteArray& sql);
        qint64 count(const QByteArray& sql);
        // Every line names the file, so that reports of several files can be merged.
        void good(const QString& text) { m_report.lines << m_path + QStringLiteral(": ") + text; }
        void problem(const QString& text)
        {
            m_report.lines << m_path + QStringLiteral(": PROBLEMA: ") + text;
            m_report.problems << text;
        }

        sqlite3* m_db;
        QString m_path;
        CheckReport& m_report;
    };

    // Column names, like the engine's, are the same in any letter case.
    bool sameNames(const QStringList& a, const QStringList& b)
    {
        return a.size() == b.size()
            && std::equal(a.cbegin(), a.cend(), b.cbegin(), [](const QString& x, const QString& y) {
                   return x.compare(y, Qt::CaseInsensitive) == 0;
               });
    }

    QString keyList(const QStringList& keys, qint64 total)
    {
        QString text = keys.mid(0, keysNamed).join(QStringLiteral(", "));
        if (total > keysNamed)
            text += QStringLiteral(" y %1 más").arg(total - keysNamed);
        return text;
    }

    // A file the engine cannot read at all, or one another program holds, is no
    // finding about the catalogue: the check stops there.
    bool stopsTheCheck(int rc)
    {
        switch (rc & 0xff) {
        case SQLITE_NOTADB:
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR:
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_NOMEM:
            return true;
        }
        return false;
    }

    QString failureText(sqlite3* db, const QString& path, int rc)
    {
        return engineError(rc, path, QString::fromUtf8(sqlite3_errmsg(db))).description;
    }

    Statement Checker::prepare(const QByteArray& sql)
    {
        sqlite3_stmt* statement = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr);
        Statement owned(statement);
        if (rc == SQLITE_INTERRUPT)
            throw TimeUp {};
        if (stopsTheCheck(rc))
            throw Unreadable { failureText(m_db, m_path, rc) };
        if (rc != SQLITE_OK)
            throw Failure { failureText(m_db, m_path, rc) };
        return owned;
    }

    QStringList Checker::values(const QByteArray& sql)
    {
        const Statement statement = prepare(sql);
        QStringList out;
        int rc;
        while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
            const auto* text
                = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
            out << (text ? QString::fromUtf8(text) : QStringLiteral("(nula)"));
        }
        if (rc == SQLITE_INTERRUPT)
            throw TimeUp {};
        if (stopsTheCheck(rc))
            throw Unreadable { failureText(m_db, m_path, rc) };
        if (rc != SQLITE_DONE)
            throw Failure { failureText(m_db, m_path, rc) };
        return out;
    }

    qint64 Checker::count(const QByteArray& sql) { return values(sql).value(0).toLongLong(); }

    void Checker::integrity()
    {
        QStringList found;
        try {
            found = values("pragma integrity_check(20)");
        } catch (const Failure& error) {
            problem(QStringLiteral("la comprobación de integridad falló: %1").arg(error.reason));
            return;
        }
        if (found == QStringList { QStringLiteral("ok") }) {
            good(QStringLiteral("Integridad del archivo: correcta"));
            return;
        }
        for (const QString& line : found)
            problem(QStringLiteral("integridad: %1").arg(line));
    }

    bool Checker::table(const char* name, const QStringList& expected)
    {
        const QString table = QString::fromLatin1(name);
        // Generated columns too, which the plain list leaves out: the declaration
        // check names them.
        const QStringList columns = values(
            QByteArray("select name from pragma_table_xinfo('") + name + "') order by cid");
        if (columns.isEmpty()) {
            problem(QStringLiteral("falta la tabla %1").arg(table));
            return false;
        }
        if (sameNames(columns, expected)) {
            good(QStringLiteral("Tabla %1: columnas correctas").arg(table));
            return true;
        }
        bool complete = true;
        for (const QString& column : expected) {
            if (!columns.contains(column, Qt::CaseInsensitive)) {
                problem(QStringLiteral("a la tabla %1 le falta la columna %2").arg(table, column));
                complete = false;
            }
        }
        if (complete) {
            problem(QStringLiteral("las columnas de la tabla %1 no son las esperadas o no están "
                                   "en orden: %2")
                        .arg(table, columns.join(QStringLiteral(", "))));
        }
        return columns.contains(QStringLiteral("id"), Qt::CaseInsensitive);
    }

    QStringList Checker::present(const char* table, const QStringList& columns)
    {
        const QStringList declared = values(
            QByteArray("select name from pragma_table_info('") + table + "') order by cid");
        QStringList found;
        for (const QString& column : columns) {
            if (declared.contains(column, Qt::CaseInsensitive))
                found << column;
        }
        return found;
    }

    void Checker::nulls(const char* table, const QStringList& columns)
    {
        bool any = false;
        for (const QString& column : present(table, columns)) {
            const QByteArray where
                = " from " + QByteArray(table) + " where \"" + column.toUtf8() + "\" is null";
            const qint64 total = count("select count(*)" + where);
            if (total == 0)
                continue;
            any = true;
            const QStringList keys = column == QLatin1String("id")
                ? QStringList()
                : values(
                    "select id" + where + " order by id limit " + QByteArray::number(keysNamed));
            problem(QStringLiteral("%1.%2 tiene %3 valores nulos%4")
                        .arg(QString::fromLatin1(table), column)
                        .arg(total)
                        .arg(keys.isEmpty()
                                ? QString()
                                : QStringLiteral(" (claves %1)").arg(keyList(keys, total))));
        }
        if (!any)
            good(QStringLiteral("Tabla %1: sin valores nulos").arg(QString::fromLatin1(table)));
    }

    void Checker::uniqueKeys(const char* table)
    {
        const QByteArray repeated = QByteArray(" from (select id from ") + table
            + " where id is not null group by id having count(*) > 1)";
        const qint64 total = count("select count(*)" + repeated);
        if (total == 0) {
            good(QStringLiteral("Tabla %1: claves únicas").arg(QString::fromLatin1(table)));
            return;
        }
        const QStringList keys = values(
            "select id" + repeated + " order by id limit " + QByteArray::number(keysNamed));
        problem(QStringLiteral("la tabla %1 repite %2 claves: %3")
                    .arg(QString::fromLatin1(table))
                    .arg(total)
                    .arg(keyList(keys, total)));
    }

    void Checker::pairs(const char* from, const char* partner)
    {
        const QByteArray alone = QByteArray(" from ") + from
            + " where id is not null and id not in " + "(select id from " + partner
            + " where id is not null)";
        const qint64 total = count("select count(*)" + alone);
        const QString fromName = QString::fromLatin1(from),
                      partnerName = QString::fromLatin1(partner);
        if (total == 0) {
            good(QStringLiteral("Cada fila de %1 tiene su fila en %2").arg(fromName, partnerName));
            return;
        }
        const QStringList keys
            = values("select id" + alone + " order by id limit " + QByteArray::number(keysNamed));
        problem(QStringLiteral("%1 filas de %2 no tienen fila en %3 (claves %4)")
                    .arg(total)
                    .arg(fromName, partnerName, keyList(keys, total)));
    }

    enum class Affinity { Integer, Text, Blob, Real, Numeric };

    // The engine's rule for the affinity of a declared column type.
    Affinity affinityOf(const QString& declared)
    {
        const QString type = declared.toUpper();
        if (type.contains(QLatin1String("INT")))
            return Affinity::Integer;
        if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB"))
            || type.contains(QLatin1String("TEXT")))
            return Affinity::Text;
        if (type.isEmpty() || type.contains(QLatin1String("BLOB")))
            return Affinity::Blob;
        if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA"))
            || type.contains(QLatin1String("DOUB")))
            return Affinity::Real;
        return Affinity::Numeric;
    }

    // The program reads and writes any table whose key column holds numbers as
    // numbers (any key declaration, with or without rowid) and whose text columns
    // keep texts as given. Anything else is named with the reason.
    bool Checker::declaration(const char* name)
    {
        const QString table = QString::fromLatin1(name);
        const QStringList kind = values(
            QByteArray("select type || '|' || coalesce(sql, '') from sqlite_schema where name = '")
            + name + "' collate nocase");
        const QString entry = kind.value(0);
        if (entry.startsWith(QLatin1String("view|"))) {
            problem(QStringLiteral("%1 es una vista, no una tabla; el programa no escribe en "
                                   "vistas")
                        .arg(table));
            return false;
        }
        if (entry.section(QLatin1Char('|'), 1)
                .simplified()
                .startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive)) {
            problem(QStringLiteral("%1 es una tabla virtual; el programa solo usa tablas "
                                   "normales")
                        .arg(table));
            return false;
        }
        bool sound = true;
        const QStringList columns = values(QByteArray("select name || '|' || type || '|' || "
                                                      "hidden from pragma_table_xinfo('")
            + name + "') order by cid");
        for (const QString& column : columns) {
            const QString columnName = column.section(QLatin1Char('|'), 0, 0);
            const QString declared = column.section(QLatin1Char('|'), 1, 1);
            const bool generated = column.section(QLatin1Char('|'), 2, 2).toInt() >= 2;
            const Affinity affinity = affinityOf(declared);
            if (generated) {
                problem(QStringLiteral("la columna %1.%2 es calculada; el programa no puede "
                                       "escribir en ella")
                            .arg(table, columnName));
                sound = false;
            } else if (columnName.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0) {
                if (affinity == Affinity::Text) {
                    problem(QStringLiteral("la clave %1.id se declara como texto (%2); debe ser "
                                           "numérica o sin tipo")
                                .arg(table, declared));
                    sound = false;
                }
            } else if (affinity != Affinity::Text && affinity != Affinity::Blob) {
                problem(QStringLiteral("la columna %1.%2 se declara numérica (%3): guardaría "
                                       "como número un texto como «007»")
                            .arg(table, columnName, declared));
                sound = false;
            }
        }
        if (sound)
            good(QStringLiteral("Tabla %1: declaración aceptada").arg(table));
        return true;
    }

    void Checker::types(const char* table, const QStringList& columns)
    {
        bool any = false;
        for (const QString& column : present(table, columns)) {
            const bool key = column == QLatin1String("id");
            const QByteArray quotedColumn = '"' + column.toUtf8() + '"';
            const QByteArray where = " from " + QByteArray(table) + " where " + quotedColumn
                + " is not null and "
                + (key ? "(typeof(id) not in ('integer', 'real') or id <> cast(id as integer))"
                       : "typeof(" + quotedColumn + ") <> 'text'");
            const qint64 total = count("select count(*)" + where);
            if (total == 0)
                continue;
            any = true;
            const QStringList examples = values("select " + QByteArray(key ? "quote(id)" : "id")
                + where + " order by id limit " + QByteArray::number(keysNamed));
            problem(key ? QStringLiteral("%1 tiene %2 claves que no son números enteros: %3")
                              .arg(QString::fromLatin1(table))
                              .arg(total)
                              .arg(keyList(examples, total))
                        : QStringLiteral("%1.%2 tiene %3 valores que no son texto (claves %4)")
                              .arg(QString::fromLatin1(table), column)
                              .arg(total)
                              .arg(keyList(examples, total)));
        }
        if (!any)
            good(QStringLiteral("Tabla %1: tipos de los valores correctos")
                     .arg(QString::fromLatin1(table)));
    }

    // The program compares text with its own case-insensitive order under the
    // name NOCASE; an index kept in that order is out of order for every other
    // tool that writes the file, and the other way round.
    void Checker::caseInsensitiveIndexes()
    {
        const QStringList indexes
            = values("select s.name || '|' || s.tbl_name || '|' || x.name from sqlite_schema s, "
                     "pragma_index_xinfo(s.name) x where s.type = 'index' and s.tbl_name in "
                     "('datos_cd', 'canciones') and x.key = 1 and x.cid >= 0 and "
                     "upper(x.coll) = 'NOCASE' order by s.name, x.seqno");
        for (const QString& index : indexes) {
            const QStringList parts = index.split(QLatin1Char('|'));
            problem(QStringLiteral("el índice %1 de %2 ordena %3 sin distinguir mayúsculas "
                                   "(NOCASE), orden que otros programas calculan distinto: "
                                   "queda desordenado; bórrelo o créelo con COLLATE BINARY")
                        .arg(parts.value(0), parts.value(1), parts.value(2)));
        }
        if (indexes.isEmpty())
            good(QStringLiteral("Sin índices de texto sin distinción de mayúsculas"));
    }

    // Keys beyond what a double holds exactly: the key box, the look-up by key and the
    // search by key would name a neighbouring key.
    void Checker::keyRange(const char* table)
    {
        const QByteArray where = QByteArray(" from ") + table
            + " where typeof(id) in ('integer', 'real') and (id > " + QByteArray::number(largestKey)
            + " or id < " + QByteArray::number(-largestKey) + ")";
        const qint64 total = count("select count(*)" + where);
        if (total == 0)
            return;
        const QStringList keys
            = values("select id" + where + " order by id limit " + QByteArray::number(keysNamed));
        problem(QStringLiteral("%1 tiene %2 claves fuera de las que el programa maneja exactas "
                               "(de %3 a %4): %5")
                    .arg(QString::fromLatin1(table))
                    .arg(total)
                    .arg(-largestKey)
                    .arg(largestKey)
                    .arg(keyList(keys, total)));
    }

    // Every text value by the rules the form saves with: what this finds, importar
    // would refuse.
    void Checker::textValues(const char* table, const QStringList& columns)
    {
        const QStringList texts = present(table, columns.mid(1));
        if (texts.isEmpty() || present(table, { QStringLiteral("id") }).isEmpty())
            return;
        QByteArray sql = "select id";
        for (const QString& column : texts)
            sql += ", \"" + column.toUtf8() + '"';
        const Statement statement = prepare(sql + " from " + table + " order by id");
        sqlite3_stmt* row = statement.get();
        std::vector<QStringList> found(size_t(texts.size()));
        std::vector<qint64> totals(size_t(texts.size()), 0);
        int rc;
        while ((rc = sqlite3_step(row)) == SQLITE_ROW) {
            for (int i = 0; i < int(texts.size()); ++i) {
                if (sqlite3_column_type(row, i + 1) != SQLITE_TEXT)
                    continue; // nulls and values of other types are named by their own checks
                const TextColumn column = texts[i] == QLatin1String("nombre") ? TextColumn::Nombre
                    : texts[i] == QLatin1String("artista")                    ? TextColumn::Artista
                    : texts[i] == QLatin1String("descripcion") ? TextColumn::Descripcion
                                                               : TextColumn::Cancion;
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, i + 1));
                const qsizetype bytes = sqlite3_column_bytes(row, i + 1);
                const QString why = bytes == 0 && isRequired(column)
                    ? QStringLiteral("está vacío")
                    : storedTextProblem(column, QByteArrayView(text, bytes));
                if (why.isEmpty())
                    continue;
                if (++totals[size_t(i)] <= keysNamed)
                    found[size_t(i)] << QStringLiteral("clave %1: %2")
                                            .arg(QString::fromUtf8(reinterpret_cast<const char*>(
                                                     sqlite3_column_text(row, 0))),
                                                why);
            }
        }
        if (stopsTheCheck(rc))
            throw Unreadable { failureText(m_db, m_path, rc) };
        if (rc != SQLITE_DONE)
            throw Failure { failureText(m_db, m_path, rc) };
        bool any = false;
        for (size_t i = 0; i < found.size(); ++i) {
            if (!totals[i])
                continue;
            any = true;
            QString examples = found[i].join(QStringLiteral("; "));
            if (totals[i] > keysNamed)
                examples += QStringLiteral("; y %1 más").arg(totals[i] - keysNamed);
            problem(QStringLiteral("%1.%2 tiene %3 valores que el programa no guardaría (%4)")
                        .arg(QString::fromLatin1(table), texts[qsizetype(i)])
                        .arg(totals[i])
                        .arg(examples));
        }
        if (!any)
            good(QStringLiteral("Tabla %1: textos válidos").arg(QString::fromLatin1(table)));
    }

    // Objects in the file that make the program's saves fail, named rather than quoted.
    void Checker::obstacles()
    {
        const std::vector<CatalogObstacle> found = catalogObstacles(m_db);
        for (const CatalogObstacle& obstacle : found)
            problem(obstacle.object + QLatin1Char(' ') + obstacle.effect);
        if (found.empty())
            good(QStringLiteral("Nada en el archivo impide grabar CDs"));
    }
}

CheckReport checkCatalog(const QString& path, Progress* progress)
{
    return checkCatalog(path, progress, CheckWatch::limitFor(path));
}

CheckReport checkCatalog(const QString& path, Progress* progress, std::chrono::milliseconds limit)
{
    CheckReport report;
    // The description names the file, as every other line of the report does.
    const auto unreadable = [&report](const QString& description) {
        report.outcome = CheckReport::Outcome::Unreadable;
        report.lines << description;
        report.problems << description;
        return report;
    };

    bool tables = true;
    try {
        // Checks what kind of file it is and rolls back a write interrupted half-way,
        // as the program does on opening.
        Connection::open(path, Connection::Access::ReadOnly);
    } catch (const DataError& error) {
        tables = false;
        switch (error.number) {
        case ErrorNumber::FileNotFound:
        case ErrorNumber::CannotOpen:
        case ErrorNumber::NotSqlite:
        case ErrorNumber::UnrecognizedFormat:
        case ErrorNumber::InUse:
        case ErrorNumber::ReadOnly:
        case ErrorNumber::InterruptedWrite:
        case SQLITE_NOMEM:
            return unreadable(error.description);
        default:
            // Damage and a wrong schema are findings the check below describes.
            break;
        }
    }

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Database db(raw);
    if (rc != SQLITE_OK)
        return unreadable(engineError(rc, path, QString::fromUtf8(sqlite3_errstr(rc))).description);
    sqlite3_busy_timeout(raw, 2000);

    const CheckWatch watch(raw, progress, tables, limit);
    Checker checker(raw, path, report);
    try {
        // Before anything is evaluated: the integrity check would run what those
        // objects compute on every row.
        const SchemaCode code = codeInSchema(raw);
        for (const QString& text : code.problems) {
            report.lines << path + QStringLiteral(": PROBLEMA: ") + text;
            report.problems << text;
        }
        if (code.any()) {
            report.lines << path
                    + QStringLiteral(": Integridad del archivo: sin comprobar, para no evaluar "
                                     "esas expresiones");
        } else {
            checker.integrity();
        }
        const bool datos = checker.table("datos_cd", CatalogFile::datosCdColumns())
            && checker.declaration("datos_cd") && !code.inCatalogTables;
        const bool canciones = checker.table("canciones", CatalogFile::cancionesColumns())
            && checker.declaration("canciones") && !code.inCatalogTables;
        if (datos) {
            checker.nulls("datos_cd", CatalogFile::datosCdColumns());
            checker.types("datos_cd", CatalogFile::datosCdColumns());
            checker.uniqueKeys("datos_cd");
            checker.keyRange("datos_cd");
            checker.textValues("datos_cd", CatalogFile::datosCdColumns());
        }
        if (canciones) {
            checker.nulls("canciones", CatalogFile::cancionesColumns());
            checker.types("canciones", CatalogFile::cancionesColumns());
            checker.uniqueKeys("canciones");
            checker.keyRange("canciones");
            checker.textValues("canciones", CatalogFile::cancionesColumns());
        }
        checker.caseInsensitiveIndexes();
        checker.obstacles();
        if (datos && canciones) {
            checker.pairs("datos_cd", "canciones");
            checker.pairs("canciones", "datos_cd");
        }
    } catch (const TimeUp&) {
        const QString text
            = QStringLiteral("la verificación pasó de %1 s y se ha detenido: algo "
                             "en el archivo la hace demasiado lenta")
                  .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
        report.lines << path + QStringLiteral(": PROBLEMA: ") + text;
        report.problems << text;
    } catch (const Unreadable& error) {
        report.lines.clear();
        report.problems.clear();
        return unreadable(error.reason);
    } catch (const Failure& error) {
        report.lines << path + QStringLiteral(": PROBLEMA: ") + error.reason;
        report.problems << error.reason;
    }

    if (report.problems.isEmpty()) {
        report.lines << path + QStringLiteral(": el catálogo está en buen estado.");
    } else {
        report.outcome = CheckReport::Outcome::Problems;
        report.lines << path
                + QStringLiteral(": %1 problema(s) encontrado(s).").arg(report.problems.size());
    }
    return report;
}

}
