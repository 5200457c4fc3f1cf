// How a set answers FindFirst: a criterion that compares a text column with one
// text from the column's look-up index (textindex.h), finished first if need be,
// where the index can tell; any other criterion, and those the index leaves open,
// judged by the engine and taken in set order. Also the idle preparation of the
// indexes, and the indexes' place among what the sets of a connection share.

#include "recordset.h"

#include "collation.h"
#include "connection.h"
#include "dataerror.h"
#include "preparedstatement.h"
#include "sharedstate.h"
#include "tableshape.h"
#include "textindex.h"
#include "values.h"

#include <QDeadlineTimer>
#include <QSet>
#include <algorithm>
#include <sqlite3.h>
#include <unordered_set>

namespace velmor {

namespace {

    using detail::bindValue;
    using detail::contentVersion;
    using detail::identity;
    using detail::indexOfName;
    using detail::prepareSelect;
    using detail::quotedName;
    using detail::rowValues;
    using detail::sharedState;
    using detail::Statement;

    // The name under which criteria are judged with each row's id beside its columns.
    const QString rowIdColumn = QStringLiteral("velmor_fila_");

}

void Recordset::FindFirst(const QString& criterion)
{
    if (m_kind == Kind::TableIds && findByTextIndex(criterion))
        return;
    if (m_kind != Kind::Values)
        findByIds(criterion);
    else if (!m_table.isEmpty() && !m_primaryKey.empty())
        findByPrimaryKey(criterion);
    else
        findByValues(criterion);
}

std::shared_ptr<detail::TextIndex> Recordset::textIndex(int column, const QDeadlineTimer& deadline)
{
    auto& shared = sharedState()[m_connection.get()];
    detail::checkIndexes(*m_connection, shared);
    auto& slot = shared.indexes[detail::indexKey(m_table, m_columns[column])];
    if (slot && slot->finished())
        return slot;
    if (!slot)
        // Room for as many rows as the highest id: only what is used takes memory.
        slot = std::make_shared<detail::TextIndex>(
            size_t(std::clamp<qint64>(m_lastId, 0, qint64(1) << 22)));
    // The slot is kept: the checks below may drop every index.
    const std::shared_ptr<detail::TextIndex> index = slot;
    if (!index->scanned()) {
        index->readSome(*m_connection, m_table, m_rowId, m_columns[column], deadline);
        if (!index->usable())
            return index;
        // Rows another program wrote meanwhile may have been read or not.
        detail::checkIndexes(*m_connection, shared);
        if (shared.indexes.empty())
            return nullptr;
    }
    index->chainSome(deadline);
    return index;
}

bool Recordset::prepareLookUp(const QString& column, std::chrono::milliseconds budget)
{
    // The coarse clock moves in steps of several milliseconds, as long as a step of
    // idle work should take.
    const QDeadlineTimer deadline(budget, Qt::PreciseTimer);
    if (m_kind != Kind::TableIds || !m_idsAscending || !detail::TextIndex::available())
        return true;
    const qsizetype i = indexOfName(m_columns, column);
    if (i < 0 || !m_indexable[size_t(i)])
        return true;
    const auto index = textIndex(int(i), deadline);
    return index && index->finished();
}

bool Recordset::findByTextIndex(const QString& criterion)
{
    const auto simple = detail::simpleTextCriterion(criterion);
    if (!simple || !detail::TextIndex::available() || !m_idsAscending)
        return false;
    const qsizetype column = indexOfName(m_columns, simple->first);
    if (column < 0 || !m_indexable[size_t(column)])
        return false;
    const auto index = textIndex(int(column), QDeadlineTimer(QDeadlineTimer::Forever));
    if (!index || !index->usable() || !index->finished())
        return false;
    const std::string typed = simple->second.toStdString();
    // The index holds the table's rows as they are now; the set holds some of them.
    // Its rows in id order come first, then those added through it, in the order they
    // were added: the first of the key's rows in that order whose text equals the
    // typed one is the row found.
    constexpr int mostCompared = 64;
    int compared = 0;
    bool found = false;
    std::optional<qint64> addedMatch;
    // Reading rows may complete the set, which then takes these rows in.
    const std::vector<qint64> appended = m_complete ? std::vector<qint64>() : m_appended;
    auto addedRank = appended.end();
    const qsizetype saved = m_position;
    const bool savedDeleted = m_currentDeleted;
    const std::optional<qint64> savedDetached = m_detached;
    const auto matches = [&](qint64 id) {
        if (!placeAt(id))
            return false; // not in the set
        const QVariant stored = currentRow()[size_t(column)];
        return stored.typeId() == QMetaType::QString
            && compareCatalogText(stored.toString().toStdString(), typed) == 0;
    };
    const bool keyed = index->forEachCandidate(typed, [&](qint64 id) {
        if (++compared > mostCompared)
            return false;
        try {
            const auto rank = std::find(appended.begin(), appended.end(), id);
            if (rank == appended.end()) {
                found = matches(id);
                return !found;
            }
            if (rank < addedRank && matches(id)) {
                addedRank = rank;
                addedMatch = id;
            }
            return true;
        } catch (const DataError&) {
            // Gone from the file although the index holds it: the engine decides.
            compared = mostCompared + 1;
            return false;
        }
    });
    if (!found && addedMatch && compared <= mostCompared)
        found = placeAt(*addedMatch);
    if (found) {
        m_noMatch = false;
        return true;
    }
    m_position = saved;
    m_currentDeleted = savedDeleted;
    m_detached = savedDetached;
    if (!keyed || compared > mostCompared)
        return false;
    makeCurrent(-1);
    return true;
}

QString Recordset::judgedRows() const
{
    QStringList columns;
    if (!m_rowId.isEmpty())
        columns << m_rowId + QStringLiteral(" as ") + rowIdColumn;
    for (int i = 0; i < m_columns.size(); ++i)
        columns << (m_indexable[size_t(i)] ? quotedName(m_columns[i])
                    + QStringLiteral(" collate nocase as ") + quotedName(m_columns[i])
                                           : quotedName(m_columns[i]));
    return "(select " + columns.join(QLatin1String(", ")) + " from " + quotedName(m_table) + ")";
}

void Recordset::findByIds(const QString& criterion)
{
    Statement st = prepareSelect(*m_connection,
        "select " + rowIdColumn + " from " + judgedRows() + " where (" + criterion + "\n)");
    std::unordered_set<qint64> matches;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
        matches.insert(sqlite3_column_int64(st.get(), 0));
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    if (matches.empty()) {
        makeCurrent(-1);
        return;
    }
    qsizetype found = -1;
    if (m_idsAscending) {
        for (qint64 id : matches) {
            const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), id);
            if (it != m_ids.end() && *it == id && (found < 0 || it - m_ids.begin() < found))
                found = it - m_ids.begin();
        }
    }
    if (found < 0 && m_kind == Kind::TableIds && !m_complete) {
        // Then the rows not read yet, in id order, and last the rows added here.
        std::optional<qint64> first;
        for (qint64 id : matches)
            if (id >= m_nextId && id <= m_lastId && !m_excluded.count(id)
                && (!first || id < *first))
                first = id;
        for (auto it = m_appended.begin(); !first && it != m_appended.end(); ++it)
            if (matches.count(*it))
                first = *it;
        m_noMatch = !first || !placeAt(*first);
        return;
    }
    for (qsizetype from = m_idsAscending ? rowCount() : 0; found < 0;) {
        for (qsizetype i = from; i < rowCount(); ++i)
            if (matches.count(m_ids[size_t(i)])) {
                found = i;
                break;
            }
        from = rowCount();
        if (found >= 0 || !readMore())
            break;
    }
    makeCurrent(found);
}

void Recordset::findByPrimaryKey(const QString& criterion)
{
    QStringList names;
    for (int i : m_primaryKey)
        names << quotedName(m_columns[i]);
    Statement st = prepareSelect(*m_connection,
        "select " + names.join(QLatin1String(", ")) + " from " + judgedRows() + " where ("
            + criterion + "\n)");
    QSet<QString> matches;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
        matches.insert(identity(rowValues(st.get(), 0, int(m_primaryKey.size()))));
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    qsizetype found = -1;
    for (qsizetype i = 0; found < 0 && !matches.isEmpty() && knows(i); ++i) {
        std::vector<QVariant> key;
        for (int c : m_primaryKey)
            key.push_back(m_rows[size_t(i)][size_t(c)]);
        if (matches.contains(identity(key)))
            found = i;
    }
    makeCurrent(found);
}

void Recordset::findByValues(const QString& criterion)
{
    // Values kept in the set: let the engine judge each row against the criterion,
    // with text compared as the catalogue's columns compare it.
    QString columns;
    for (int i = 0; i < m_columns.size(); ++i)
        columns += QStringLiteral("%1?%2 collate nocase as %3")
                       .arg(i ? QStringLiteral(", ") : QString())
                       .arg(i + 1)
                       .arg(quotedName(m_columns[i]));
    Statement st = prepareSelect(
        *m_connection, "select 1 from (select " + columns + ") where (" + criterion + "\n)");
    for (qsizetype r = 0; knows(r); ++r) {
        sqlite3_reset(st.get());
        for (int i = 0; i < m_columns.size(); ++i)
            bindValue(st.get(), i + 1, m_rows[size_t(r)][size_t(i)]);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW) {
            makeCurrent(r);
            return;
        }
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
    }
    makeCurrent(-1);
}

}
