#include "recordsource.h"

#include "connection.h"
#include "dataerror.h"
#include "valuerules.h"

#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>
#include <unordered_set>

namespace velmor {

void detail::StatementFinalizer::operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }

namespace {

    using Statement = std::unique_ptr<sqlite3_stmt, detail::StatementFinalizer>;

    // Rows of a keyed set read in one go when it is walked in order.
    constexpr qsizetype fetchWindow = 256;
    constexpr size_t cacheLimit = 8192;

    const QString onlySelect = QStringLiteral(
        "El origen de registros debe ser el nombre de una tabla o una sola instrucción SELECT.");

    bool isBlank(const char* text)
    {
        for (; text && *text; ++text)
            if (!std::isspace(static_cast<unsigned char>(*text)) && *text != ';')
                return false;
        return true;
    }

    // Prepares exactly one read-only statement; anything else is refused.
    Statement prepareSelect(Connection& connection, const QString& sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* raw = nullptr;
        const char* tail = nullptr;
        const int rc = sqlite3_prepare_v2(
            connection.handle(), utf8.constData(), int(utf8.size()), &raw, &tail);
        Statement st(raw);
        if (rc != SQLITE_OK)
            connection.fail(rc);
        if (!st || !isBlank(tail) || !sqlite3_stmt_readonly(st.get())
            || sqlite3_column_count(st.get()) == 0)
            throw DataError(ErrorNumber::NotAllowed, onlySelect);
        return st;
    }

    QVariant columnValue(sqlite3_stmt* st, int i)
    {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return QVariant::fromValue<qint64>(sqlite3_column_int64(st, i));
        case SQLITE_FLOAT:
            return sqlite3_column_double(st, i);
        case SQLITE_TEXT:
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                sqlite3_column_bytes(st, i));
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)),
                sqlite3_column_bytes(st, i));
        default:
            return {};
        }
    }

    int bindValue(sqlite3_stmt* st, int index, const QVariant& value)
    {
        if (!value.isValid() || value.isNull())
            return sqlite3_bind_null(st, index);
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            return sqlite3_bind_int64(st, index, value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            if (isWholeKey(d))
                return sqlite3_bind_int64(st, index, qint64(d));
            return sqlite3_bind_double(st, index, d);
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return sqlite3_bind_blob(st, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            return sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        }
    }

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

    struct TableShape {
        QStringList columns;
        int keyColumn = -1; // the column that is the table's row key, or -1
    };

    TableShape tableShape(Connection& connection, const QString& table)
    {
        TableShape shape;
        Statement st = prepareSelect(
            connection, QStringLiteral("select name, type, pk from pragma_table_info(%1)")
                            .arg(QLatin1Char('\'') + QString(table).replace('\'', "''") + '\''));
        int pkColumns = 0;
        int candidate = -1;
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
            shape.columns << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
            const QString type = QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
            if (sqlite3_column_int(st.get(), 2) > 0) {
                ++pkColumns;
                if (type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)
                    candidate = int(shape.columns.size()) - 1;
            }
        }
        if (pkColumns == 1 && candidate >= 0) {
            // A table without row keys refuses this; its sets then keep their values.
            sqlite3_stmt* probe = nullptr;
            const QByteArray sql = ("select rowid from " + quotedName(table) + " limit 0").toUtf8();
            if (sqlite3_prepare_v2(connection.handle(), sql.constData(), -1, &probe, nullptr)
                == SQLITE_OK)
                shape.keyColumn = candidate;
            sqlite3_finalize(probe);
        }
        return shape;
    }

}

QString valueText(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        return numberText(value.toDouble());
    default:
        return value.toString();
    }
}

QString Field::text() const { return valueText(m_value); }

Recordset::Recordset(std::shared_ptr<Connection> connection, const QString& source)
    : m_connection(std::move(connection))
{
    load(source);
}

Recordset::~Recordset() = default;

void Recordset::load(const QString& source)
{
    Connection& c = *m_connection;
    if (isTableName(source)) {
        m_table = source.trimmed();
        TableShape shape = tableShape(c, m_table);
        if (shape.columns.isEmpty())
            throw DataError(ErrorNumber::TableNotFound,
                QStringLiteral("No se encuentra la tabla «%1» en el catálogo «%2».")
                    .arg(m_table, c.path()));
        m_columns = shape.columns;
        m_keyColumn = shape.keyColumn;
        if (m_keyColumn >= 0) {
            m_keyed = true;
            Statement st
                = prepareSelect(c, "select rowid from " + quotedName(m_table) + " order by rowid");
            int rc;
            while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
                m_keys.push_back(sqlite3_column_int64(st.get(), 0));
            if (rc != SQLITE_DONE)
                c.fail(rc);
        } else {
            load(QStringLiteral("select * from ") + quotedName(m_table));
        }
        m_position = RecordCount() > 0 ? 0 : -1;
        return;
    }

    Statement st = prepareSelect(c, source);
    sqlite3_stmt* s = st.get();
    const int n = sqlite3_column_count(s);
    for (int i = 0; i < n; ++i)
        m_columns << QString::fromUtf8(sqlite3_column_name(s, i));

    // Rows that come unchanged from one table are kept by key and read on demand.
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
            TableShape shape = tableShape(c, tableName);
            bool whole = shape.keyColumn >= 0 && shape.columns.size() == n;
            for (int i = 0; i < n && whole; ++i)
                whole = shape.columns[i] == QString::fromUtf8(sqlite3_column_origin_name(s, i));
            if (whole) {
                m_table = tableName;
                m_keyColumn = shape.keyColumn;
                m_keyed = true;
            } else {
                m_table = tableName;
            }
        }
    }

    if (m_keyed) {
        // Only the keys are kept, so only the key column is asked for: the engine
        // runs the same statement but leaves the other columns unread.
        QString inner = source;
        while (!inner.isEmpty() && (inner.back().isSpace() || inner.back() == u';'))
            inner.chop(1);
        st = prepareSelect(
            c, "select " + quotedName(m_columns[m_keyColumn]) + " from (" + inner + "\n)");
        s = st.get();
    }
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        if (m_keyed) {
            m_keys.push_back(sqlite3_column_int64(s, 0));
        } else {
            std::vector<QVariant> row;
            row.reserve(size_t(n));
            for (int i = 0; i < n; ++i)
                row.push_back(columnValue(s, i));
            m_rows.push_back(std::move(row));
        }
    }
    if (rc != SQLITE_DONE)
        c.fail(rc);
    m_keysSorted = std::is_sorted(m_keys.begin(), m_keys.end());
    // A set made of whole table rows but not all of them keyed stays read-only.
    if (!m_keyed)
        m_table.clear();
    m_position = RecordCount() > 0 ? 0 : -1;
}

qsizetype Recordset::RecordCount() const
{
    return m_keyed ? qsizetype(m_keys.size()) : qsizetype(m_rows.size());
}

bool Recordset::hasCurrent() const
{
    return !m_currentDeleted && m_position >= 0 && m_position < RecordCount();
}

void Recordset::MoveFirst()
{
    if (RecordCount() == 0)
        throw noCurrentRecord();
    m_position = 0;
    m_currentDeleted = false;
}

void Recordset::MoveLast()
{
    if (RecordCount() == 0)
        throw noCurrentRecord();
    m_position = RecordCount() - 1;
    m_currentDeleted = false;
}

void Recordset::MoveNext()
{
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
    const qsizetype end = std::min(RecordCount(), position + count);
    if (m_cache.size() > cacheLimit)
        m_cache.clear();
    const qint64 first = m_keys[size_t(position)];
    const qint64 last = m_keys[size_t(end - 1)];
    // A window of ascending keys close together is read in one range; scattered
    // keys are read one by one.
    const bool range = end - position > 1 && last > first && last - first < 4 * (end - position)
        && std::is_sorted(m_keys.begin() + position, m_keys.begin() + end);
    Statement& st = range ? m_rangeRead : m_singleRead;
    if (!st) {
        const QString sql = QStringLiteral("select * from ") + quotedName(m_table)
            + (range ? QStringLiteral(" where rowid between ?1 and ?2")
                     : QStringLiteral(" where rowid = ?1"));
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(m_connection->handle(), utf8.constData(), -1, &raw, nullptr);
        st.reset(raw);
        if (rc != SQLITE_OK)
            m_connection->fail(rc);
    }
    const int n = int(m_columns.size());
    auto readRows = [&] {
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
            std::vector<QVariant> row;
            row.reserve(size_t(n));
            for (int i = 0; i < n; ++i)
                row.push_back(columnValue(st.get(), i));
            m_cache[sqlite3_column_int64(st.get(), m_keyColumn)] = std::move(row);
        }
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
            sqlite3_bind_int64(st.get(), 1, m_keys[size_t(i)]);
            readRows();
        }
    }
    m_cacheEnd = end;
}

const std::vector<QVariant>& Recordset::currentRow() const
{
    if (!hasCurrent())
        throw noCurrentRecord();
    if (!m_keyed)
        return m_rows[size_t(m_position)];
    const qint64 key = m_keys[size_t(m_position)];
    auto it = m_cache.find(key);
    if (it == m_cache.end()) {
        fetchAround(m_position);
        it = m_cache.find(key);
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
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
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

void Recordset::FindFirst(const QString& criterion)
{
    Connection& c = *m_connection;
    if (m_keyed) {
        Statement st = prepareSelect(c,
            "select rowid from " + quotedName(m_table) + " where (" + criterion + "\n)");
        std::unordered_set<qint64> matches;
        int rc;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            matches.insert(sqlite3_column_int64(st.get(), 0));
        if (rc != SQLITE_DONE)
            c.fail(rc);
        qsizetype found = -1;
        if (!matches.empty() && m_keysSorted) {
            for (qint64 key : matches) {
                auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key);
                if (it != m_keys.end() && *it == key) {
                    const qsizetype p = it - m_keys.begin();
                    if (found < 0 || p < found)
                        found = p;
                }
            }
        } else if (!matches.empty()) {
            for (size_t i = 0; i < m_keys.size(); ++i)
                if (matches.count(m_keys[i])) {
                    found = qsizetype(i);
                    break;
                }
        }
        m_noMatch = found < 0;
        if (!m_noMatch) {
            m_position = found;
            m_currentDeleted = false;
        }
        return;
    }

    // Values kept in the set: let the engine judge each row against the criterion,
    // with text compared as the catalogue's columns compare it.
    QString columns;
    for (int i = 0; i < m_columns.size(); ++i)
        columns += QStringLiteral("%1?%2 collate nocase as %3")
                       .arg(i ? QStringLiteral(", ") : QString())
                       .arg(i + 1)
                       .arg(quotedName(m_columns[i]));
    Statement st = prepareSelect(
        c, "select 1 from (select " + columns + ") where (" + criterion + "\n)");
    m_noMatch = true;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        sqlite3_reset(st.get());
        for (int i = 0; i < m_columns.size(); ++i)
            bindValue(st.get(), i + 1, m_rows[r][size_t(i)]);
        const int rc = sqlite3_step(st.get());
        if (rc == SQLITE_ROW) {
            m_noMatch = false;
            m_position = qsizetype(r);
            m_currentDeleted = false;
            return;
        }
        if (rc != SQLITE_DONE)
            c.fail(rc);
    }
}

void Recordset::requireTable(const char* operation) const
{
    if (!m_keyed)
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
    m_connection->ensurePresent();
    QString names, marks;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (!m_collected[size_t(i)])
            continue;
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + quotedName(m_columns[i]);
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    const QString sql = names.isEmpty()
        ? "insert into " + quotedName(m_table) + " default values"
        : "insert into " + quotedName(m_table) + " (" + names + ") values (" + marks + ")";
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_connection->handle(), utf8.constData(), -1, &raw, nullptr);
    Statement st(raw);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    int bind = 1;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_collected[size_t(i)])
            bindValue(st.get(), bind++, row[size_t(i)]);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    const qint64 key = sqlite3_last_insert_rowid(m_connection->handle());
    if (!m_keys.empty() && key <= m_keys.back())
        m_keysSorted = false;
    m_keys.push_back(key);
    if (m_position < 0)
        m_position = 0;
}

void Recordset::Delete()
{
    requireTable("Delete");
    if (!hasCurrent())
        throw noCurrentRecord();
    m_connection->ensurePresent();
    const QByteArray sql = ("delete from " + quotedName(m_table) + " where rowid = ?").toUtf8();
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_connection->handle(), sql.constData(), -1, &raw, nullptr);
    Statement st(raw);
    if (rc != SQLITE_OK)
        m_connection->fail(rc);
    const qint64 key = m_keys[size_t(m_position)];
    sqlite3_bind_int64(st.get(), 1, key);
    rc = sqlite3_step(st.get());
    if (rc != SQLITE_DONE)
        m_connection->fail(rc);
    m_keys.erase(m_keys.begin() + m_position);
    m_cache.erase(key);
    m_cacheEnd = -1;
    m_currentDeleted = true;
}

RecordSource::RecordSource() = default;
RecordSource::~RecordSource() = default;

void RecordSource::setDatabaseName(const QString& path)
{
    if (path != m_databaseName)
        m_connection.reset();
    m_databaseName = path;
}

void RecordSource::setRecordSource(const QString& text) { m_recordSource = text; }

void RecordSource::Refresh()
{
    if (m_databaseName.isEmpty())
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se ha indicado el archivo del catálogo."));
    if (m_recordSource.trimmed().isEmpty())
        throw DataError(ErrorNumber::NotAllowed, onlySelect);
    if (!m_connection) {
        m_connection = Connection::open(m_databaseName);
    } else {
        try {
            m_connection->ensurePresent();
        } catch (const DataError&) {
            m_connection = Connection::open(m_databaseName);
        }
    }
    m_set.reset(new velmor::Recordset(m_connection, m_recordSource));
}

velmor::Recordset& RecordSource::Recordset()
{
    if (!m_set)
        throw noCurrentRecord();
    return *m_set;
}

std::shared_ptr<Connection> RecordSource::connection() const { return m_connection; }

}
