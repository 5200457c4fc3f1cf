// A set's writes: a new row (AddNew, Collect, Update) and Delete, each one
// statement of the engine, and what every open set of the same table learns of them
// so that its rows stay those of its Refresh.

#include "recordset.h"

#include "connection.h"
#include "dataerror.h"
#include "preparedstatement.h"
#include "sharedstate.h"
#include "tableshape.h"
#include "textindex.h"
#include "values.h"

#include <QStringList>
#include <algorithm>
#include <sqlite3.h>

namespace velmor {

namespace {

    using detail::bindValue;
    using detail::prepare;
    using detail::quotedName;
    using detail::rowValues;
    using detail::sharedState;
    using detail::Statement;

}

void Recordset::writing()
{
    m_connection->ensurePresent();
    auto& shared = sharedState()[m_connection.get()];
    // The indexes are to follow this write: they must hold the file as it is before it.
    if (!shared.indexes.empty())
        detail::checkIndexes(*m_connection, shared);
    ++shared.writes;
    m_changed = true;
}

void Recordset::indexWritten(qint64 id, const std::vector<QVariant>* stored)
{
    auto& shared = sharedState()[m_connection.get()];
    for (int c = 0; c < m_columns.size(); ++c) {
        if (!m_indexable[size_t(c)])
            continue;
        const auto index = shared.indexes.find(detail::indexKey(m_table, m_columns[c]));
        if (index == shared.indexes.end())
            continue;
        // Only texts are indexed; a row without one is no candidate.
        const QVariant* value = stored ? &(*stored)[size_t(c)] : nullptr;
        const bool follows = value && value->typeId() == QMetaType::QString
            ? index->second->added(id, value->toString().toStdString())
            : index->second->removed(id);
        if (!follows)
            shared.indexes.erase(index);
    }
}

void Recordset::written(qint64 id, bool added)
{
    for (Recordset* set : sharedState()[m_connection.get()].sets) {
        if (set->m_kind != Kind::TableIds
            || set->m_table.compare(m_table, Qt::CaseInsensitive) != 0)
            continue;
        const bool unread = !set->m_complete && id >= set->m_nextId && id <= set->m_lastId;
        if (set == this && added) {
            if (unread)
                m_excluded.insert(id);
            if (m_complete) {
                if (!m_ids.empty() && id <= m_ids.back())
                    m_idsAscending = false;
                m_ids.push_back(id);
            } else {
                m_appended.push_back(id);
            }
        } else if (set == this) {
            // A row of the set not read yet leaves the count of unread rows.
            if (unread && m_excluded.insert(id).second && m_unread)
                --*m_unread;
            m_appended.erase(
                std::remove(m_appended.begin(), m_appended.end(), id), m_appended.end());
        } else if (unread && added) {
            set->m_excluded.insert(id);
        } else if (unread && !set->m_excluded.count(id)) {
            set->m_kept.insert(std::upper_bound(set->m_kept.begin(), set->m_kept.end(), id), id);
        }
    }
}

void Recordset::requireTable(const char* operation) const
{
    if (m_table.isEmpty() || (m_kind == Kind::Values && m_primaryKey.empty()))
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("Este conjunto de registros no admite la operación %1.")
                .arg(QLatin1String(operation)));
}

void Recordset::AddNew()
{
    requireTable("AddNew");
    m_newRow.emplace(size_t(m_columns.size()));
    m_collected.assign(size_t(m_columns.size()), false);
}

void Recordset::Collect(const QString& name, const QVariant& value)
{
    if (!m_newRow)
        throw DataError(ErrorNumber::InvalidOperation,
            QStringLiteral("No hay ningún registro nuevo en curso (falta AddNew)."));
    const int i = columnIndex(name);
    (*m_newRow)[size_t(i)] = value;
    m_collected[size_t(i)] = true;
}

void Recordset::Update()
{
    if (!m_newRow)
        throw DataError(ErrorNumber::InvalidOperation,
            QStringLiteral("No hay ningún registro nuevo en curso (falta AddNew)."));
    std::vector<QVariant> row = std::move(*m_newRow);
    m_newRow.reset();
    writing();
    QString names, marks;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (!m_collected[size_t(i)])
            continue;
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + quotedName(m_columns[i]);
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    QString sql = names.isEmpty()
        ? "insert into " + quotedName(m_table) + " default values"
        : "insert into " + quotedName(m_table) + " (" + names + ") values (" + marks + ")";
    // The row as stored, defaults included: a set of values keeps it, the look-up
    // indexes take its texts.
    sql += m_kind == Kind::Values ? QStringLiteral(" returning *")
                                  : " returning " + m_rowId + ", *";
    Statement st = prepare(*m_connection, sql);
    int bind = 1;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_collected[size_t(i)])
            bindValue(st.get(), bind++, row[size_t(i)]);
    int rc = sqlite3_step(st.get());
    if (m_kind == Kind::Values) {
        if (rc != SQLITE_ROW)
            m_connection->fail(rc);
        std::vector<QVariant> stored = rowValues(st.get(), 0, int(m_columns.size()));
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        m_rows.push_back(std::move(stored));
        detail::indexesFollowed(*m_connection, sharedState()[m_connection.get()]);
    } else {
        if (rc != SQLITE_ROW)
            m_connection->fail(rc);
        const qint64 id = sqlite3_column_int64(st.get(), 0);
        const std::vector<QVariant> stored = rowValues(st.get(), 1, int(m_columns.size()));
        rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        // Once the row is stored for good, and the engine has counted the change.
        indexWritten(id, &stored);
        detail::indexesFollowed(*m_connection, sharedState()[m_connection.get()]);
        if (m_kind == Kind::TableIds) {
            written(id, true);
        } else {
            if (!m_ids.empty() && id <= m_ids.back())
                m_idsAscending = false;
            m_ids.push_back(id);
        }
    }
    if (m_position < 0)
        m_position = 0;
}

void Recordset::Delete()
{
    requireTable("Delete");
    if (!hasCurrent())
        throw noCurrentRecord();
    writing();
    if (!hasCurrent())
        throw noCurrentRecord();
    if (m_kind == Kind::Values) {
        QStringList where;
        for (int c : m_primaryKey)
            where << quotedName(m_columns[c]) + QStringLiteral(" = ?");
        Statement st = prepare(*m_connection,
            "delete from " + quotedName(m_table) + " where " + where.join(QLatin1String(" and ")));
        int bind = 1;
        for (int c : m_primaryKey)
            bindValue(st.get(), bind++, m_rows[size_t(m_position)][size_t(c)]);
        const int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        m_rows.erase(m_rows.begin() + m_position);
        detail::indexesFollowed(*m_connection, sharedState()[m_connection.get()]);
    } else {
        Statement st = prepare(
            *m_connection, "delete from " + quotedName(m_table) + " where " + m_rowId + " = ?");
        const qint64 id = m_detached ? *m_detached : m_ids[size_t(m_position)];
        sqlite3_bind_int64(st.get(), 1, id);
        const int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        indexWritten(id, nullptr);
        detail::indexesFollowed(*m_connection, sharedState()[m_connection.get()]);
        if (!m_detached)
            m_ids.erase(m_ids.begin() + m_position);
        // A row added here and not placed yet leaves its place to the next one added,
        // or to none: the rows added come last.
        const auto added = std::find(m_appended.begin(), m_appended.end(), id);
        if (m_detached && added != m_appended.end()) {
            m_detached.reset();
            if (added + 1 != m_appended.end())
                m_detached = *(added + 1);
            else
                m_position = std::numeric_limits<qsizetype>::max();
        }
        if (m_kind == Kind::TableIds)
            written(id, false);
        m_cache.erase(id);
    }
    m_cacheEnd = -1;
    m_currentDeleted = true;
}

}
