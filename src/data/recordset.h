#pragma once

// A record set: the rows of a table or of one SELECT statement, with a current
// record, moves, finds and writes, as the forms use them through RecordSource. It
// is made in recordset.cpp (reading and moves), recordsetfind.cpp and
// recordsetwrite.cpp, on the data layer's own headers (tableshape.h, values.h,
// textindex.h, preparedstatement.h, sharedstate.h), which nothing outside src/data
// includes.

#include "statementhandle.h"
#include "valuetext.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QDeadlineTimer;

namespace velmor {
namespace detail {
    class TextIndex;
}

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

// The result set of a record source, with a current record.
//
// The rows of a set are those of the moment of its Refresh: rows written through
// another record source join it only at the next Refresh. A row added through this
// set joins it at once (at its end); a deleted row leaves it.
//
// A set of a table's rows learns its rows as it is used: Refresh reads at most its
// first rows, and MoveLast reads them all, or only counts them while nothing has been
// written to the file since the Refresh; rows written since its Refresh are kept
// out by their ids. A set over any other statement reads all its rows at Refresh,
// so that no statement of it stays open (and keeps the file locked) afterwards.
//
// Sets of rows of a table that has row ids keep each row's id and read values by
// it; other sets (a table without row ids, or a statement whose rows cannot be
// traced to row ids) keep the values themselves.
class Recordset {
public:
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset();

    // Makes the first row (in set order) that satisfies the criterion current.
    // The criterion is judged by the engine; a malformed one throws its error.
    void FindFirst(const QString& criterion);
    bool NoMatch() const { return m_noMatch; }
    // Works for about `budget` on what makes FindFirst answer criteria that compare
    // this text column with one text without reading the table; later calls go on
    // where it stopped. True when nothing is left to do (also when such criteria
    // are left to the engine). The results of FindFirst do not depend on it.
    bool prepareLookUp(const QString& column, std::chrono::milliseconds budget);

    void MoveFirst();
    void MoveLast();
    // From the last row: no failure, and no current record afterwards.
    void MoveNext();
    bool hasCurrent() const;

    // 0 for an empty set; the rows read so far otherwise, all of them from MoveLast on.
    qsizetype RecordCount() const;

    // Hands the named columns of the rows from the current one on, in set order and
    // at most `limit` of them (all when negative), to `row`, reading them in one
    // pass, or none when the set read them at its Refresh (see
    // RecordSource::setListedColumns) and the file has not changed since.
    // Afterwards the row after the last one handed over is current, as after as many
    // MoveNext. Returns how many rows were handed over: fewer than `limit` when the set
    // ran out. A row deleted from the file since the Refresh fails as Fields would,
    // after the rows before it.
    qsizetype readOnward(const QStringList& names, qsizetype limit,
        const std::function<void(const QVariant* values)>& row);
    // The same, handing the values as the set holds them, with no copy made of them:
    // for listings of many rows.
    qsizetype readOnwardViews(const QStringList& names, qsizetype limit,
        const std::function<void(const ValueView* values)>& row);

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
    Recordset(
        std::shared_ptr<Connection> connection, const QString& source, const QStringList& listed);

    enum class Kind {
        TableIds, // every row of a table with row ids, read by id in id order
        StatementIds, // a statement's rows, traced to the row ids of their table
        Values, // a statement's rows, or a table without row ids, kept as values
    };

    void openTable(const QString& table);
    void openStatement(const QString& source, const QStringList& listed);
    void inspectTable(const QString& table);
    qsizetype rowCount() const;
    // Reads rows until more than `count` are known or the set is complete.
    bool knows(qsizetype count) const;
    bool readMore() const;
    void readAll() const;
    // TableIds, nothing written since the Refresh: counts the unread rows and makes
    // the last one current without reading their ids. False when it does not apply.
    bool countToLast();
    // Before a write: the file must still be the one opened, and look-up indexes
    // built before it no longer hold.
    void writing();
    // After a write: sets of the table's rows keep out a row added since their
    // Refresh and keep a row deleted since.
    void written(qint64 id, bool added);
    // After a write: the look-up indexes of the table follow the row with this id,
    // stored with these values, or deleted when there are none.
    void indexWritten(qint64 id, const std::vector<QVariant>* stored);
    // Makes the row with this id current, in a set of a table's rows; false when
    // the set does not hold it.
    bool placeAt(qint64 id);
    // A current row found beyond the rows read so far gets its position.
    void attach() const;

    bool findByTextIndex(const QString& criterion);
    // The table's rows with text columns in the catalogue's text order, for criteria.
    QString judgedRows() const;
    void findByIds(const QString& criterion);
    void findByPrimaryKey(const QString& criterion);
    void findByValues(const QString& criterion);
    void makeCurrent(qsizetype position);
    // Builds the look-up index of a text column until it is complete or the deadline
    // passes; null when the file has changed since this set was read.
    std::shared_ptr<detail::TextIndex> textIndex(int column, const QDeadlineTimer& deadline);

    // readOnwardViews from the values read at Refresh; false when it cannot be.
    bool handListed(const std::vector<int>& columns, qsizetype end, std::vector<ValueView>& values,
        const std::function<void(const ValueView* values)>& row);
    void releaseListed();

    int columnIndex(const QString& name) const;
    const std::vector<QVariant>& currentRow() const;
    void fetchAround(qsizetype position) const;
    void fetchOne(qint64 id) const;
    void requireTable(const char* operation) const;

    std::shared_ptr<Connection> m_connection;
    Kind m_kind = Kind::Values;
    QStringList m_columns;
    QString m_table; // set when rows can be added to and deleted from this table
    QString m_rowId; // the name that reads the table's row id
    std::vector<int> m_primaryKey; // columns that identify a row of a table without row ids
    std::vector<bool> m_indexable; // columns that hold texts, compared in catalogue order

    mutable std::vector<qint64> m_ids; // id kinds: one row id per row, in set order
    mutable std::vector<std::vector<QVariant>> m_rows; // Values: the rows
    mutable bool m_complete = false;
    mutable bool m_idsAscending = true;
    mutable detail::Statement m_cursor; // statement kinds: the rows not read yet
    mutable detail::Statement m_nextIds; // TableIds: the next ids up to m_lastId
    mutable qint64 m_lastId = 0; // TableIds: the highest id at Refresh
    mutable qint64 m_nextId = std::numeric_limits<qint64>::min(); // TableIds: first id not read
    mutable std::unordered_set<qint64> m_excluded; // TableIds: written since, not read yet
    mutable std::vector<qint64> m_kept; // TableIds: deleted since, not read yet (sorted)
    mutable std::vector<qint64> m_appended; // TableIds: added through this set, not read yet
    mutable qsizetype m_batch = 16;
    // TableIds: how many rows up to m_lastId belong to the set but are not read
    // yet, once counted (by MoveLast on a set nothing was written to since).
    mutable std::optional<qsizetype> m_unread;

    quint64 m_version = 0; // the file's contents at Refresh
    bool m_changed = false; // rows were added or deleted through this set
    mutable qsizetype m_position = -1; // -1: no current record
    // TableIds: the current row, when it lies beyond the ids read so far.
    mutable std::optional<qint64> m_detached;
    bool m_currentDeleted = false; // the row at m_position follows a deleted one
    bool m_noMatch = false;

    // Values of rows read by id so far, for a window of positions.
    mutable std::unordered_map<qint64, std::vector<QVariant>> m_cache;
    mutable qsizetype m_cacheEnd = -1;
    mutable detail::Statement m_singleRead;
    mutable detail::Statement m_rangeRead;

    std::optional<std::vector<QVariant>> m_newRow;
    std::vector<bool> m_collected;

    // StatementIds: the columns read with each row's id at Refresh, for a listing that
    // then reads no row again, and their values row by row, until they are handed out:
    // a number itself, or where its bytes are among m_listedBytes.
    struct KeptValue {
        ValueView::Kind kind;
        quint32 size;
        quint64 at;
    };
    std::vector<int> m_listed;
    mutable std::vector<KeptValue> m_listedValues;
    mutable std::string m_listedBytes;
};

}
