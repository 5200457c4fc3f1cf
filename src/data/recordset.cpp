// A set's rows and current record: what a set is made of at its Refresh, how it
// learns its rows as it is moved through, the moves themselves, and the values of
// the current row read by id when first asked for. Finds are in recordsetfind.cpp,
// writes in recordsetwrite.cpp.

#include "recordset.h"

#include "connection.h"
#include "dataerror.h"
#include "preparedstatement.h"
#include "sharedstate.h"
#include "tableshape.h"
#include "values.h"

#include <QRegularExpression>
#include <algorithm>
#include <bit>
#include <limits>
#include <sqlite3.h>

namespace velmor {

namespace {

    using detail::columnValue;
    using detail::contentVersion;
    using detail::indexOfName;
    using detail::isTableName;
    using detail::prepare;
    using detail::prepareSelect;
    using detail::quotedName;
    using detail::rowValues;
    using detail::sharedState;
    using detail::Statement;
    using detail::TableShape;
    using detail::tableShape;

    // Rows of a set read by id in one go when it is walked in order.
    constexpr qsizetype fetchWindow = 256;
    constexpr size_t cacheLimit = 8192;
    constexpr qsizetype largestBatch = 8192;

}

QString Field::text() const { return valueText(m_value); }

Recordset::Recordset(
    std::shared_ptr<Connection> connection, const QString& source, const QStringList& listed)
    : m_connection(std::move(connection))
{
    // Every row of one table, in its own order: the same set as the table's name.
    static const QRegularExpression wholeTable(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)\\s*;?\\s*\\z"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch whole = wholeTable.match(source);
    if (isTableName(source)) {
        openTable(source.trimmed());
    } else if (whole.hasMatch()) {
        prepareSelect(*m_connection, source); // the engine's verdict on the text itself
        openTable(whole.captured(1));
    } else {
        openStatement(source, listed);
    }
    m_version = contentVersion(*m_connection);
    m_position = knows(0) ? 0 : -1;
    // A statement not read to its end keeps the file locked against other programs'
    // writes for as long as the set lives; sets of a table's rows read by id need
    // none between calls, any other set reads its rows now.
    if (m_cursor)
        readAll();
    sharedState()[m_connection.get()].sets.push_back(this);
}

Recordset::~Recordset()
{
    auto& state = sharedState();
    const auto it = state.find(m_connection.get());
    if (it == state.end())
        return;
    auto& sets = it->second.sets;
    sets.erase(std::remove(sets.begin(), sets.end(), this), sets.end());
    if (sets.empty())
        state.erase(it);
}

void Recordset::openTable(const QString& table)
{
    TableShape shape = tableShape(*m_connection, table);
    m_columns = shape.columns;
    m_indexable = shape.indexable;
    m_table = table;
    if (!shape.rowId.isEmpty()) {
        m_kind = Kind::TableIds;
        m_rowId = shape.rowId;
        Statement last
            = prepare(*m_connection, "select max(" + m_rowId + ") from " + quotedName(m_table));
        const int rc = sqlite3_step(last.get());
        if (rc != SQLITE_ROW)
            m_connection->fail(rc);
        m_complete = sqlite3_column_type(last.get(), 0) == SQLITE_NULL;
        m_lastId = sqlite3_column_int64(last.get(), 0);
        return;
    }
    m_kind = Kind::Values;
    m_primaryKey = shape.primaryKey;
    m_cursor = prepareSelect(*m_connection, "select * from " + quotedName(m_table));
}

void Recordset::openStatement(const QString& source, const QStringList& listed)
{
    Statement st = prepareSelect(*m_connection, source);
    sqlite3_stmt* s = st.get();
    const int n = sqlite3_column_count(s);
    for (int i = 0; i < n; ++i)
        m_columns << QString::fromUtf8(sqlite3_column_name(s, i));
    m_kind = Kind::Values;

    // Rows made of every column of one table, in order, are traced to their row ids
    // when the table keeps the row id in a column: the statement then gives the ids.
    const char* table = sqlite3_column_table_name(s, 0);
    if (table) {
        const QString tableName = QString::fromUtf8(table);
        bool sameTable = true;
        for (int i = 0; i < n && sameTable; ++i) {
            const char* t = sqlite3_column_table_name(s, i);
            const char* d = sqlite3_column_database_name(s, i);
            sameTable = t && d && tableName == QString::fromUtf8(t) && qstrcmp(d, "main") == 0;
        }
        if (sameTable) {
            const TableShape shape = tableShape(*m_connection, tableName);
            bool whole = shape.rowIdAlias >= 0 && shape.columns.size() == n;
            for (int i = 0; i < n && whole; ++i)
                whole = shape.columns[i] == QString::fromUtf8(sqlite3_column_origin_name(s, i));
            if (whole) {
                m_kind = Kind::StatementIds;
                m_table = tableName;
                m_rowId = shape.rowId;
                m_indexable = shape.indexable;
                QString inner = source;
                while (!inner.isEmpty() && (inner.back().isSpace() || inner.back() == u';'))
                    inner.chop(1);
                // The engine runs the same statement but leaves the other columns unread,
                // but for those a listing will read.
                QString read = quotedName(m_columns[shape.rowIdAlias]);
                for (const QString& name : listed) {
                    const qsizetype column = indexOfName(m_columns, name);
                    if (column < 0) {
                        m_listed.clear();
                        break;
                    }
                    m_listed.push_back(int(column));
                }
                for (int column : m_listed)
                    read += QStringLiteral(", ") + quotedName(m_columns[column]);
                m_cursor
                    = prepareSelect(*m_connection, "select " + read + " from (" + inner + "\n)");
                return;
            }
        }
    }
    m_cursor = std::move(st);
}

qsizetype Recordset::rowCount() const
{
    return m_kind == Kind::Values ? qsizetype(m_rows.size()) : qsizetype(m_ids.size());
}

bool Recordset::readMore() const
{
    if (m_complete)
        return false;
    const qsizetype before = rowCount();
    if (m_kind == Kind::TableIds) {
        if (!m_nextIds)
            m_nextIds = prepare(*m_connection,
                "select " + m_rowId + " from " + quotedName(m_table) + " where " + m_rowId
                    + " >= ?1 and " + m_rowId + " <= ?2 order by " + m_rowId + " limit ?3");
        sqlite3_stmt* s = m_nextIds.get();
        sqlite3_bind_int64(s, 1, m_nextId);
        sqlite3_bind_int64(s, 2, m_lastId);
        sqlite3_bind_int64(s, 3, m_batch);
        std::vector<qint64> read;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            read.push_back(sqlite3_column_int64(s, 0));
        sqlite3_reset(s);
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        const bool last = qsizetype(read.size()) < m_batch || read.back() >= m_lastId;
        const qint64 upTo = last ? m_lastId : read.back();
        // Rows deleted since the Refresh still belong to the set; rows added since
        // do not.
        const auto keptEnd = std::upper_bound(m_kept.begin(), m_kept.end(), upTo);
        std::vector<qint64> merged;
        std::set_union(read.begin(), read.end(), m_kept.begin(), keptEnd, std::back_inserter(merged));
        m_kept.erase(m_kept.begin(), keptEnd);
        for (qint64 id : merged)
            if (!m_excluded.count(id)) {
                m_ids.push_back(id);
                if (m_unread)
                    --*m_unread;
            }
        if (!last) {
            m_nextId = read.back() + 1;
        } else {
            m_complete = true;
            m_nextIds.reset();
            m_excluded.clear();
            for (qint64 id : m_appended) {
                if (!m_ids.empty() && id <= m_ids.back())
                    m_idsAscending = false;
                m_ids.push_back(id);
            }
            m_appended.clear();
            m_unread.reset();
        }
    } else {
        sqlite3_stmt* s = m_cursor.get();
        const int n = int(m_columns.size());
        int rc = SQLITE_DONE;
        for (qsizetype i = 0; i < m_batch && (rc = sqlite3_step(s)) == SQLITE_ROW; ++i) {
            if (m_kind == Kind::StatementIds) {
                const qint64 id = sqlite3_column_int64(s, 0);
                if (!m_ids.empty() && id <= m_ids.back())
                    m_idsAscending = false;
                m_ids.push_back(id);
                for (size_t k = 0; k < m_listed.size(); ++k) {
                    const ValueView v = detail::columnView(s, int(k) + 1);
                    KeptValue kept { v.kind, quint32(v.bytes.size()), quint64(v.integer) };
                    if (v.kind == ValueView::Kind::Real)
                        kept.at = std::bit_cast<quint64>(v.real);
                    else if (v.kind == ValueView::Kind::Text || v.kind == ValueView::Kind::Blob) {
                        kept.at = m_listedBytes.size();
                        m_listedBytes.append(v.bytes.data(), size_t(v.bytes.size()));
                    }
                    m_listedValues.push_back(kept);
                }
            } else {
                m_rows.push_back(rowValues(s, 0, n));
            }
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_connection->fail(rc);
        if (rc == SQLITE_DONE) {
            m_complete = true;
            m_cursor.reset();
        }
    }
    m_batch = std::min(m_batch * 4, largestBatch);
    return rowCount() > before || !m_complete;
}

bool Recordset::knows(qsizetype position) const
{
    while (rowCount() <= position && readMore()) { }
    return position >= 0 && rowCount() > position;
}

void Recordset::readAll() const
{
    while (readMore()) { }
}

qsizetype Recordset::RecordCount() const
{
    if (m_unread && !m_complete)
        return rowCount() + *m_unread + qsizetype(m_appended.size());
    return rowCount();
}

bool Recordset::hasCurrent() const
{
    return !m_currentDeleted && (m_detached || knows(m_position));
}

void Recordset::attach() const
{
    if (!m_detached)
        return;
    const qint64 id = *m_detached;
    m_detached.reset();
    const bool appended = std::find(m_appended.begin(), m_appended.end(), id) != m_appended.end();
    while (!m_complete && (m_nextId <= id || appended) && readMore()) { }
    auto at = m_idsAscending ? std::lower_bound(m_ids.begin(), m_ids.end(), id)
                             : std::find(m_ids.begin(), m_ids.end(), id);
    // A row deleted through this set leaves its place to the row after it. The
    // table's rows come first and in key order, before those added through the set
    // (Delete places those).
    if (at == m_ids.end() && !m_idsAscending)
        at = std::lower_bound(m_ids.begin(), std::is_sorted_until(m_ids.begin(), m_ids.end()), id);
    m_position = at - m_ids.begin();
}

bool Recordset::placeAt(qint64 id)
{
    // The rows not read yet are the table's rows up to the highest id of the
    // Refresh, but for those written since, and then the rows added here.
    const bool unread
        = !m_complete && id >= m_nextId && id <= m_lastId && !m_excluded.count(id);
    if (unread
        || (!m_complete
            && std::find(m_appended.begin(), m_appended.end(), id) != m_appended.end())) {
        m_detached = id;
        m_currentDeleted = false;
        return true;
    }
    const auto at = m_idsAscending ? std::lower_bound(m_ids.begin(), m_ids.end(), id)
                                   : std::find(m_ids.begin(), m_ids.end(), id);
    if (at == m_ids.end() || *at != id)
        return false;
    makeCurrent(at - m_ids.begin());
    return true;
}

void Recordset::MoveFirst()
{
    if (!knows(0))
        throw noCurrentRecord();
    m_detached.reset();
    m_position = 0;
    m_currentDeleted = false;
}

bool Recordset::countToLast()
{
    if (m_kind != Kind::TableIds || m_complete || m_unread)
        return false;
    // Counting walks the whole table: a count made in the same contents of the file
    // is used again. The version is read inside a read of the file, so that a write
    // by another program before it shows; the count is made inside the same read.
    Statement highest = prepare(
        *m_connection, "select max(" + m_rowId + ") from " + quotedName(m_table));
    int rc = sqlite3_step(highest.get());
    if (rc != SQLITE_ROW)
        m_connection->fail(rc);
    if (contentVersion(*m_connection) != m_version)
        return false;
    auto& counted = sharedState()[m_connection.get()].counts[m_table];
    if (counted.version != m_version || counted.rows < 0) {
        Statement count = prepare(*m_connection, "select count(*) from " + quotedName(m_table));
        rc = sqlite3_step(count.get());
        if (rc != SQLITE_ROW)
            m_connection->fail(rc);
        counted = { m_version, sqlite3_column_int64(count.get(), 0) };
    }
    // The table is as at the Refresh: its rows are the set's, the highest id the last.
    const qsizetype unread = counted.rows - rowCount();
    if (unread <= 0)
        return false;
    m_unread = unread;
    m_detached = m_lastId;
    m_position = rowCount() + unread - 1;
    m_currentDeleted = false;
    return true;
}

void Recordset::MoveLast()
{
    if (countToLast())
        return;
    readAll();
    if (rowCount() == 0)
        throw noCurrentRecord();
    m_detached.reset();
    m_position = rowCount() - 1;
    m_currentDeleted = false;
}

void Recordset::MoveNext()
{
    attach();
    if (m_currentDeleted && m_position >= 0) {
        // The row after a deleted one already stands at the deleted row's place.
        m_currentDeleted = false;
        return;
    }
    if (!hasCurrent())
        throw noCurrentRecord();
    ++m_position;
}

void Recordset::fetchAround(qsizetype position) const
{
    const qsizetype count = position == m_cacheEnd ? fetchWindow : 1;
    knows(position + count - 1);
    const qsizetype end = std::min(rowCount(), position + count);
    if (m_cache.size() > cacheLimit)
        m_cache.clear();
    const qint64 first = m_ids[size_t(position)];
    const qint64 last = m_ids[size_t(end - 1)];
    // A window of ascending ids close together is read in one range; scattered
    // ids are read one by one.
    const bool range = end - position > 1 && last > first && last - first < 4 * (end - position)
        && std::is_sorted(m_ids.begin() + position, m_ids.begin() + end);
    Statement& st = range ? m_rangeRead : m_singleRead;
    if (!st)
        st = prepare(*m_connection,
            "select " + m_rowId + ", * from " + quotedName(m_table) + " where " + m_rowId
                + (range ? QStringLiteral(" between ?1 and ?2") : QStringLiteral(" = ?1")));
    const int n = int(m_columns.size());
    auto readRows = [&] {
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            m_cache[sqlite3_column_int64(st.get(), 0)] = rowValues(st.get(), 1, n);
        sqlite3_reset(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
    };
    if (range) {
        sqlite3_bind_int64(st.get(), 1, first);
        sqlite3_bind_int64(st.get(), 2, last);
        readRows();
    } else {
        for (qsizetype i = position; i < end; ++i) {
            sqlite3_bind_int64(st.get(), 1, m_ids[size_t(i)]);
            readRows();
        }
    }
    m_cacheEnd = end;
}

void Recordset::fetchOne(qint64 id) const
{
    if (!m_singleRead)
        m_singleRead = prepare(*m_connection,
            "select " + m_rowId + ", * from " + quotedName(m_table) + " where " + m_rowId + " = ?1");
    sqlite3_stmt* st = m_singleRead.get();
    sqlite3_bind_int64(st, 1, id);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        m_cache[id] = rowValues(st, 1, int(m_columns.size()));
    sqlite3_reset(st);
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
}

const std::vector<QVariant>& Recordset::currentRow() const
{
    if (!hasCurrent())
        throw noCurrentRecord();
    if (m_kind == Kind::Values)
        return m_rows[size_t(m_position)];
    const qint64 id = m_detached ? *m_detached : m_ids[size_t(m_position)];
    auto it = m_cache.find(id);
    if (it == m_cache.end()) {
        if (m_cache.size() > cacheLimit)
            m_cache.clear();
        if (m_detached)
            fetchOne(id);
        else
            fetchAround(m_position);
        it = m_cache.find(id);
        if (it == m_cache.end())
            throw DataError(ErrorNumber::RecordDeleted,
                QStringLiteral("El registro ya no existe: se ha eliminado."));
    }
    return it->second;
}

int Recordset::columnIndex(const QString& name) const
{
    const qsizetype exact = m_columns.indexOf(name);
    if (exact >= 0)
        return int(exact);
    const qsizetype other = indexOfName(m_columns, name);
    if (other >= 0)
        return int(other);
    throw DataError(ErrorNumber::ItemNotFound,
        QStringLiteral("No se encontró el campo «%1» en esta colección.").arg(name));
}

Field Recordset::Fields(const QString& name) const
{
    const int i = columnIndex(name);
    return Field(currentRow()[size_t(i)]);
}

Field Recordset::Fields(int position) const
{
    if (position < 0 || position >= m_columns.size())
        throw DataError(ErrorNumber::ItemNotFound,
            QStringLiteral("No existe el campo número %1 en esta colección.").arg(position));
    return Field(currentRow()[size_t(position)]);
}

void Recordset::makeCurrent(qsizetype position)
{
    m_noMatch = position < 0;
    if (!m_noMatch) {
        m_detached.reset();
        m_position = position;
        m_currentDeleted = false;
    }
}

bool Recordset::handListed(const std::vector<int>& columns, qsizetype end,
    std::vector<ValueView>& values, const std::function<void(const ValueView* values)>& row)
{
    if (m_listedValues.empty())
        return false;
    // Another program's write shows in the version once the file is read again.
    m_connection->othersVersion();
    if (contentVersion(*m_connection) != m_version) {
        releaseListed();
        return false;
    }
    std::vector<size_t> at;
    for (int c : columns) {
        const auto listed = std::find(m_listed.begin(), m_listed.end(), c);
        if (listed == m_listed.end())
            return false;
        at.push_back(size_t(listed - m_listed.begin()));
    }
    const size_t width = m_listed.size();
    for (; m_position < end; ++m_position) {
        for (size_t k = 0; k < at.size(); ++k) {
            const KeptValue& kept = m_listedValues[size_t(m_position) * width + at[k]];
            ValueView& v = values[k];
            v.kind = kept.kind;
            v.integer = qint64(kept.at);
            v.real = std::bit_cast<double>(kept.at);
            v.bytes = kept.kind == ValueView::Kind::Text || kept.kind == ValueView::Kind::Blob
                ? QByteArrayView(m_listedBytes.data() + kept.at, kept.size)
                : QByteArrayView();
        }
        row(values.data());
    }
    // Handed out once: a set read again reads its rows by id.
    if (m_position >= rowCount())
        releaseListed();
    return true;
}

void Recordset::releaseListed()
{
    std::vector<KeptValue>().swap(m_listedValues);
    std::string().swap(m_listedBytes);
}

qsizetype Recordset::readOnward(const QStringList& names, qsizetype limit,
    const std::function<void(const QVariant* values)>& row)
{
    std::vector<QVariant> values(size_t(names.size()));
    return readOnwardViews(names, limit, [&](const ValueView* views) {
        for (size_t k = 0; k < values.size(); ++k)
            values[k] = views[k].toVariant();
        row(values.data());
    });
}

qsizetype Recordset::readOnwardViews(const QStringList& names, qsizetype limit,
    const std::function<void(const ValueView* values)>& row)
{
    std::vector<int> columns;
    for (const QString& name : names)
        columns.push_back(columnIndex(name));
    attach();
    if (limit == 0 || !hasCurrent())
        return 0;
    // A table's rows untouched since the Refresh are the table's own: the pass reads
    // their ids as it goes instead of reading every id first.
    const bool streaming = m_kind == Kind::TableIds && !m_complete && m_kept.empty()
        && m_excluded.empty() && m_appended.empty();
    if (!streaming)
        readAll();
    const qsizetype first = m_position;
    const qsizetype whole = streaming ? std::numeric_limits<qsizetype>::max() : rowCount();
    const qsizetype end = limit < 0 ? whole : std::min(whole, first + limit);
    std::vector<ValueView> values(columns.size());
    if (handListed(columns, end, values, row))
        return end - first;
    if (m_kind == Kind::Values) {
        for (; m_position < end; ++m_position) {
            for (size_t k = 0; k < columns.size(); ++k)
                values[k].variant = &m_rows[size_t(m_position)][size_t(columns[k])];
            row(values.data());
        }
        return end - first;
    }

    // The set's ids ascend but where rows were added through it, so one statement
    // walks the table by row id and skips the rows the set does not hold; a long
    // gap or a step back costs a new seek instead.
    QString read = "select " + m_rowId;
    for (int c : columns)
        read += QStringLiteral(", ") + quotedName(m_columns[c]);
    Statement st = prepare(*m_connection,
        read + " from " + quotedName(m_table) + " where " + m_rowId + " >= ?1 order by " + m_rowId);
    sqlite3_stmt* s = st.get();
    constexpr int longestGap = 32;
    int rc = SQLITE_DONE;
    qint64 at = 0;
    bool seeked = false;
    const auto step = [&] {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            at = sqlite3_column_int64(s, 0);
        else if (rc != SQLITE_DONE)
            m_connection->fail(rc);
    };
    const auto seek = [&](qint64 id) {
        sqlite3_reset(s);
        sqlite3_bind_int64(s, 1, id);
        seeked = true;
        step();
    };
    for (; m_position < end; ++m_position) {
        if (streaming && m_position >= rowCount()) {
            if (!seeked || rc != SQLITE_ROW || at < m_nextId)
                seek(m_nextId);
            if (rc != SQLITE_ROW || at > m_lastId) {
                m_complete = true;
                m_nextIds.reset();
                m_unread.reset();
                break;
            }
            m_ids.push_back(at);
            m_nextId = at + 1;
            if (m_unread)
                --*m_unread;
        }
        const qint64 wanted = m_ids[size_t(m_position)];
        if (!seeked || rc != SQLITE_ROW || at > wanted)
            seek(wanted);
        for (int gap = 0; rc == SQLITE_ROW && at < wanted;) {
            if (++gap > longestGap)
                seek(wanted);
            else
                step();
        }
        if (rc != SQLITE_ROW || at != wanted)
            throw DataError(ErrorNumber::RecordDeleted,
                QStringLiteral("El registro ya no existe: se ha eliminado."));
        for (size_t k = 0; k < columns.size(); ++k)
            values[k] = detail::columnView(s, int(k) + 1);
        row(values.data());
        step();
    }
    return m_position - first;
}

}
