#include "catalogcheck.h"

#include "data/catalogfile.h"

#include <QFile>
#include <QFileInfo>
#include <memory>
#include <sqlite3.h>

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

    class Checker {
    public:
        Checker(sqlite3* db, CheckReport& report)
            : m_db(db)
            , m_report(report)
        {
        }

        void integrity();
        bool table(const char* name, const QStringList& expected);
        void nulls(const char* table, const QStringList& columns);
        void uniqueKeys(const char* table);
        void pairs(const char* from, const char* partner);

    private:
        Statement prepare(const QByteArray& sql);
        QStringList values(const QByteArray& sql);
        qint64 count(const QByteArray& sql);
        void good(const QString& text) { m_report.lines << text; }
        void problem(const QString& text)
        {
            m_report.lines << QStringLiteral("PROBLEMA: ") + text;
            m_report.problems << text;
        }

        sqlite3* m_db;
        CheckReport& m_report;
    };

    QString keyList(const QStringList& keys, qint64 total)
    {
        QString text = keys.mid(0, keysNamed).join(QStringLiteral(", "));
        if (total > keysNamed)
            text += QStringLiteral(" y %1 más").arg(total - keysNamed);
        return text;
    }

    Statement Checker::prepare(const QByteArray& sql)
    {
        sqlite3_stmt* statement = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr);
        Statement owned(statement);
        if (rc == SQLITE_NOTADB || rc == SQLITE_CANTOPEN || rc == SQLITE_IOERR)
            throw Unreadable { QString::fromUtf8(sqlite3_errmsg(m_db)) };
        if (rc != SQLITE_OK)
            throw Failure { QString::fromUtf8(sqlite3_errmsg(m_db)) };
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
        if (rc == SQLITE_NOTADB || rc == SQLITE_IOERR)
            throw Unreadable { QString::fromUtf8(sqlite3_errmsg(m_db)) };
        if (rc != SQLITE_DONE)
            throw Failure { QString::fromUtf8(sqlite3_errmsg(m_db)) };
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
        const QStringList columns
            = values(QByteArray("select name from pragma_table_info('") + name + "') order by cid");
        if (columns.isEmpty()) {
            problem(QStringLiteral("falta la tabla %1").arg(table));
            return false;
        }
        if (columns == expected) {
            good(QStringLiteral("Tabla %1: columnas correctas").arg(table));
            return true;
        }
        bool complete = true;
        for (const QString& column : expected) {
            if (!columns.contains(column)) {
                problem(QStringLiteral("a la tabla %1 le falta la columna %2").arg(table, column));
                complete = false;
            }
        }
        if (complete) {
            problem(QStringLiteral("las columnas de la tabla %1 no son las esperadas o no están "
                                   "en orden: %2")
                        .arg(table, columns.join(QStringLiteral(", "))));
        }
        return columns.contains(QStringLiteral("id"));
    }

    void Checker::nulls(const char* table, const QStringList& columns)
    {
        const QStringList present = values(
            QByteArray("select name from pragma_table_info('") + table + "') order by cid");
        bool any = false;
        for (const QString& column : columns) {
            if (!present.contains(column))
                continue;
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

    bool looksLikeSqlite(const QByteArray& header)
    {
        return header.size() >= 100 && header.startsWith(QByteArrayView("SQLite format 3\0", 16));
    }
}

CheckReport checkCatalog(const QString& path)
{
    CheckReport report;
    const auto unreadable = [&report, &path](const QString& reason) {
        report.outcome = CheckReport::Outcome::Unreadable;
        report.lines << QStringLiteral("No se puede leer %1: %2").arg(path, reason);
        report.problems << reason;
        return report;
    };

    QFile file(path);
    if (!QFileInfo::exists(path))
        return unreadable(QStringLiteral("el archivo no existe"));
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    const QByteArray header = file.read(100);
    file.close();
    if (CatalogFile::looksLikeAccess(header)) {
        return unreadable(QStringLiteral(
            "es un archivo de Access/Jet, no un catálogo; conviértalo con «velmor-db convertir»"));
    }
    if (!looksLikeSqlite(header))
        return unreadable(QStringLiteral("no es un archivo de base de datos SQLite"));

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const Database db(raw);
    if (rc != SQLITE_OK)
        return unreadable(QString::fromUtf8(sqlite3_errmsg(raw)));
    sqlite3_busy_timeout(raw, 2000);

    report.lines << QStringLiteral("Catálogo %1").arg(path);
    Checker checker(raw, report);
    try {
        checker.integrity();
        const bool datos = checker.table("datos_cd", CatalogFile::datosCdColumns());
        const bool canciones = checker.table("canciones", CatalogFile::cancionesColumns());
        if (datos) {
            checker.nulls("datos_cd", CatalogFile::datosCdColumns());
            checker.uniqueKeys("datos_cd");
        }
        if (canciones) {
            checker.nulls("canciones", CatalogFile::cancionesColumns());
            checker.uniqueKeys("canciones");
        }
        if (datos && canciones) {
            checker.pairs("datos_cd", "canciones");
            checker.pairs("canciones", "datos_cd");
        }
    } catch (const Unreadable& error) {
        return unreadable(error.reason);
    } catch (const Failure& error) {
        report.lines << QStringLiteral("PROBLEMA: ") + error.reason;
        report.problems << error.reason;
    }

    if (report.problems.isEmpty()) {
        report.lines << QStringLiteral("Resultado: el catálogo está en buen estado.");
    } else {
        report.outcome = CheckReport::Outcome::Problems;
        report.lines << QStringLiteral("Resultado: %1 problema(s) encontrado(s).")
                            .arg(report.problems.size());
    }
    return report;
}

}
