#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct sqlite3_stmt;

namespace velmor::detail {
struct StatementFinalizer {
    void operator()(sqlite3_stmt* st) const;
};
}

namespace velmor {

class Connection;
class RecordSource;

// A column value of the current record.
class Field {
public:
    explicit Field(QVariant value)
        : m_value(std::move(value))
    {
    }
    const QVariant& Value() const { return m_value; }
    // Text form: a whole number as its digits, text as stored, a null as empty text.
    QString text() const;

private:
    QVariant m_value;
};

// Text form of any column value (see Field::text).
QString valueText(const QVariant& value);

// The result set of a record source, with a current record.
//
// The rows of a set are fixed when the record source is refreshed: rows written
// through another record source join it only at the next Refresh. A row added
// through this set joins it at once (at its end); a deleted row leaves it.
// When the set's rows come straight from one table, the set keeps each row's key
// and reads the values when they are asked for; otherwise it keeps the values.
class Recordset {
public:
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    // Makes the first row (in set order) that satisfies the criterion current.
    // The criterion is judged by the engine; a malformed one throws its error.
    void FindFirst(const QString& criterion);
    bool NoMatch() const { return m_noMatch; }

    void MoveFirst();
    void MoveLast();
    // From the last row: no failure, and no current record afterwards.
    void MoveNext();
    bool hasCurrent() const;

    qsizetype RecordCount() const;

    Field Fields(const QString& name) const;
    Field Fields(int position) const;
    int FieldsCount() const { return int(m_columns.size()); }
    const QStringList& columnNames() const { return m_columns; }

    void AddNew();
    void Collect(const QString& name, const QVariant& value);
    void Update();
    // Deletes the current row from its table at once.
    void Delete();

private:
    friend class RecordSource;
    Recordset(std::shared_ptr<Connection> connection, const QString& source);

    void load(const QString& source);
    int columnIndex(const QString& name) const;
    const std::vector<QVariant>& currentRow() const;
    void fetchAround(qsizetype position) const;
    void requireTable(const char* operation) const;

    std::shared_ptr<Connection> m_connection;
    QStringList m_columns;
    QString m_table; // set when the rows come from this one table
    int m_keyColumn = -1; // position of the table's key column in the set
    bool m_keyed = false;
    std::vector<qint64> m_keys; // keyed sets: one key per row, in set order
    std::vector<std::vector<QVariant>> m_rows; // other sets: the values
    bool m_keysSorted = true;
    qsizetype m_position = -1; // -1: no current record
    bool m_currentDeleted = false; // the row at m_position follows a deleted one
    bool m_noMatch = false;

    // Values of keyed rows read so far, for a window of positions.
    mutable std::unordered_map<qint64, std::vector<QVariant>> m_cache;
    mutable qsizetype m_cacheEnd = -1;
    mutable std::unique_ptr<sqlite3_stmt, detail::StatementFinalizer> m_singleRead;
    mutable std::unique_ptr<sqlite3_stmt, detail::StatementFinalizer> m_rangeRead;

    std::optional<std::vector<QVariant>> m_newRow;
    std::vector<bool> m_collected;
};

// The binding of a record source: a database file and a record-source text (a
// table name or a SELECT statement), refreshed into a Recordset.
class RecordSource {
public:
    RecordSource();
    ~RecordSource();
    RecordSource(const RecordSource&) = delete;
    RecordSource& operator=(const RecordSource&) = delete;

    const QString& DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& path);
    const QString& recordSourceText() const { return m_recordSource; }
    // Takes effect at the next Refresh.
    void setRecordSource(const QString& text);

    // Runs the record-source text again; the first row, if any, becomes current.
    // On failure the previous set stays.
    void Refresh();
    bool isOpen() const { return bool(m_set); }

    // The current set; throws 3021-like DataError when never refreshed.
    velmor::Recordset& Recordset();

    std::shared_ptr<Connection> connection() const;

private:
    QString m_databaseName;
    QString m_recordSource;
    std::shared_ptr<Connection> m_connection;
    std::unique_ptr<velmor::Recordset> m_set;
};

}
