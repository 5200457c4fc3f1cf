#include "recordsource.h"

#include "collation.h"
#include "connection.h"
#include "dataerror.h"
#include "valuerules.h"

#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unordered_set>

namespace velmor {

void detail::StatementFinalizer::operator()(sqlite3_stmt* st) const { sqlite3_finalize(st); }

// The rows of a table by a text column's key (see TextKeys): rows whose texts are
// equal in catalogue order share a key, and the rows of one key are chained in
// row id order. It is built in steps that may stop at a deadline and go on later:
// the rows are read in id order, then chained from the last one back.
struct detail::TextIndex {
    static constexpr uint32_t noRow = std::numeric_limits<uint32_t>::max();

    quint64 version = 0; // the file's contents it was built from
    bool usable = true; // false when a value could not be keyed
    std::vector<qint64> ids; // row ids, ascending
    std::vector<quint64> keys; // the key of each row
    std::vector<uint32_t> next; // the next row of the same key, or noRow
    std::vector<uint32_t> heads; // open addressing by key: a key's first row + 1, or 0
    int shift = 64;
    qint64 lastRead = std::numeric_limits<qint64>::min(); // the highest id read so far
    bool scanned = false; // every row is read
    size_t unchained = 0; // rows at the front not chained yet, once chaining began
    bool chaining = false;

    // Nothing is left to build: the index answers look-ups, or it cannot.
    bool finished() const { return !usable || (chaining && unchained == 0); }

    size_t slotOf(quint64 key) const
    {
        return shift >= 64 ? 0 : size_t((key * 0x9e3779b97f4a7c15ULL) >> shift);
    }

    // Sizes the table for the rows read; false when there are too many of them.
    bool beginChain()
    {
        if (ids.size() >= noRow)
            return false;
        size_t capacity = 16;
        shift = 60;
        while (capacity < 2 * ids.size()) {
            capacity *= 2;
            --shift;
        }
        heads.assign(capacity, 0);
        next.resize(ids.size());
        unchained = ids.size();
        chaining = true;
        return true;
    }

    // Chains rows until all are chained or the deadline passes: each key's rows
    // in the order they were read, by putting rows in front of their chain from
    // the last one back.
    void chainSome(const QDeadlineTimer& deadline)
    {
        const size_t mask = heads.size() - 1;
        while (unchained > 0) {
            if (unchained % 4096 == 0 && deadline.hasExpired())
                return;
            const auto row = uint32_t(--unchained);
            size_t s = slotOf(keys[row]);
            while (heads[s] != 0 && keys[heads[s] - 1] != keys[row])
                s = (s + 1) & mask;
            next[row] = heads[s] == 0 ? noRow : heads[s] - 1;
            heads[s] = row + 1;
        }
    }

    uint32_t first(quint64 key) const
    {
        if (heads.empty())
            return noRow;
        for (size_t s = slotOf(key);; s = (s + 1) & (heads.size() - 1)) {
            if (heads[s] == 0)
                return noRow;
            if (keys[heads[s] - 1] == key)
                return heads[s] - 1;
        }
    }
};

namespace {

    using detail::Statement;

    // Rows of a set read by id in one go when it is walked in order.
    constexpr qsizetype fetchWindow = 256;
    constexpr size_t cacheLimit = 8192;
    constexpr qsizetype largestBatch = 8192;
    // The name under which criteria are judged with each row's id beside its columns.
    const QString rowIdColumn = QStringLiteral("velmor_fila_");

    const QString onlySelect = QStringLiteral(
        "El origen de registros debe ser el nombre de una tabla o una sola instrucción SELECT.");

    // Every open set, and what the sets of one connection share.
    struct Shared {
        std::vector<Recordset*> sets;
        quint64 writes = 0;
        std::map<QString, std::shared_ptr<detail::TextIndex>> indexes; // "table\ncolumn"
        struct Count {
            quint64 version = 0; // the file's contents it was counted in
            qint64 rows = -1;
        };
        std::map<QString, Count> counts; // by table
    };

    std::map<const Connection*, Shared>& sharedState()
    {
        static std::map<const Connection*, Shared> state;
        return state;
    }

    // Changes whenever the file's contents change, through this connection or any other.
    quint64 contentVersion(const Connection& c)
    {
        unsigned int fileVersion = 0;
        sqlite3_file_control(c.handle(), "main", SQLITE_FCNTL_DATA_VERSION, &fileVersion);
        const auto it = sharedState().find(&c);
        return (quint64(fileVersion) << 32) ^ (it == sharedState().end() ? 0 : it->second.writes);
    }

    // A hash of the primary collation weights of a text's comparison form (see
    // catalogComparisonForm): texts equal in catalogue order (letter case and
    // accents aside, ß and SS, and more) have equal hashes. Candidates are then compared in full,
    // so unequal texts may share one.
    class TextKeys {
    public:
        TextKeys()
            : m_collator(catalogCollator())
        {
            if (!m_collator)
                return;
            // Latin-1 characters outside every contraction weigh the same alone and
            // in any text made of them, so their weights are worked out once.
            m_count.fill(notAlone);
            std::array<bool, 0x100> alone {};
            alone.fill(true);
            UErrorCode status = U_ZERO_ERROR;
            USet* contractions = uset_openEmpty();
            ucol_getContractionsAndExpansions(m_collator, contractions, nullptr, true, &status);
            for (int32_t i = 0; U_SUCCESS(status) && i < uset_getItemCount(contractions); ++i) {
                UChar32 start = 0, end = 0;
                std::array<UChar, 64> text {};
                const int32_t length = uset_getItem(contractions, i, &start, &end, text.data(),
                    int32_t(text.size()), &status);
                // Only contractions made of Latin-1 characters alone can occur in
                // the texts weighed character by character, and none can without
                // the characters after its first.
                const bool latin1 = U_SUCCESS(status) && length > 0
                    && std::all_of(text.begin(), text.begin() + length,
                        [](UChar c) { return c < 0x100; });
                for (int32_t k = 1; latin1 && k < length; ++k)
                    alone[text[size_t(k)]] = false;
                for (UChar32 c = start; length == 0 && c <= end && c < 0x100; ++c)
                    alone[size_t(c)] = false;
            }
            uset_close(contractions);
            if (U_FAILURE(status))
                return;
            // Each character counts as its comparison form (ß as SS); one whose form
            // leaves Latin-1 is left to the slow path with the whole text.
            for (unsigned c = 0; c < 0x100; ++c) {
                const QByteArray utf8 = QString(QChar(c)).toUtf8();
                std::u16string form;
                if (!catalogComparisonForm(std::string_view(utf8.constData(), size_t(utf8.size())),
                        &form)
                    || !std::all_of(form.begin(), form.end(),
                        [&](char16_t f) { return f < 0x100 && alone[f]; }))
                    continue;
                const std::vector<uint32_t> weights = primaries(form.data(), int32_t(form.size()));
                if (weights.size() > m_weights[c].size())
                    continue;
                std::copy(weights.begin(), weights.end(), m_weights[c].begin());
                m_count[c] = uint8_t(weights.size());
            }
        }
        TextKeys(const TextKeys&) = delete;
        TextKeys& operator=(const TextKeys&) = delete;

        bool available() const { return m_collator != nullptr; }

        // False when the bytes are not UTF-8.
        bool key(std::string_view utf8, quint64* key) const
        {
            quint64 h = seed;
            const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
            const auto* end = p + utf8.size();
            while (p != end) {
                unsigned c = *p++;
                if (c >= 0x80) {
                    // Two-byte forms of U+0080 to U+00FF only.
                    if ((c != 0xc2 && c != 0xc3) || p == end || (*p & 0xc0) != 0x80)
                        return slowKey(utf8, key);
                    c = ((c & 0x1f) << 6) | (*p++ & 0x3f);
                }
                const uint8_t count = m_count[c];
                if (count == notAlone)
                    return slowKey(utf8, key);
                for (uint8_t k = 0; k < count; ++k)
                    h = mix(h, m_weights[c][k]);
            }
            *key = h;
            return true;
        }

    private:
        static constexpr quint64 seed = 0xcbf29ce484222325ULL;
        static constexpr uint8_t notAlone = 0xff;
        static quint64 mix(quint64 h, uint32_t weight) { return (h ^ weight) * 0x100000001b3ULL; }

        std::vector<uint32_t> primaries(const UChar* text, int32_t length) const
        {
            std::vector<uint32_t> out;
            UErrorCode status = U_ZERO_ERROR;
            UCollationElements* elements = ucol_openElements(m_collator, text, length, &status);
            if (U_FAILURE(status))
                return out;
            for (int32_t ce; (ce = ucol_next(elements, &status)) != UCOL_NULLORDER
                 && U_SUCCESS(status);)
                if (const uint32_t p = ucol_primaryOrder(ce))
                    out.push_back(p);
            ucol_closeElements(elements);
            return out;
        }

        bool slowKey(std::string_view utf8, quint64* key) const
        {
            std::u16string form;
            if (!QByteArrayView(utf8.data(), qsizetype(utf8.size())).isValidUtf8()
                || !catalogComparisonForm(utf8, &form))
                return false;
            quint64 h = seed;
            for (uint32_t w : primaries(form.data(), int32_t(form.size())))
                h = mix(h, w);
            *key = h;
            return true;
        }

        const UCollator* m_collator = nullptr;
        std::array<uint8_t, 0x100> m_count {}; // weights of each character, or notAlone
        std::array<std::array<uint32_t, 3>, 0x100> m_weights {};
    };

    const TextKeys& textKeys()
    {
        static const TextKeys keys;
        return keys;
    }

    bool isBlank(const char* text)
    {
        for (; text && *text; ++text)
            if (!std::isspace(static_cast<unsigned char>(*text)) && *text != ';')
                return false;
        return true;
    }

    // Prepares exactly one read-only statement; anything else is refused.
    Statement prepareSelect(const Connection& connection, const QString& sql)
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

    // Prepares a statement of our own making.
    Statement prepare(const Connection& connection, const QString& sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(connection.handle(), utf8.constData(), -1, &raw, nullptr);
        Statement st(raw);
        if (rc != SQLITE_OK)
            connection.fail(rc);
        return st;
    }

    QVariant columnValue(sqlite3_stmt* st, int i)
    {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return QVariant::fromValue<qint64>(sqlite3_column_int64(st, i));
        case SQLITE_FLOAT:
            return sqlite3_column_double(st, i);
        case SQLITE_TEXT: {
            // A text made by another program may run to hundreds of megabytes; no reader
            // shows more than shownTextLimit characters, and one more tells it was cut.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            const qsizetype bytes = sqlite3_column_bytes(st, i);
            if (bytes <= shownTextLimit + 1)
                return QString::fromUtf8(text, bytes);
            // No character takes more than four bytes; a cut falls between characters.
            qsizetype read = std::min(bytes, 4 * (shownTextLimit + 1));
            while (read < bytes && (text[read] & 0xC0) == 0x80)
                --read;
            return QString::fromUtf8(text, read).left(shownTextLimit + 1);
        }
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)),
                sqlite3_column_bytes(st, i));
        default:
            return {};
        }
    }

    std::vector<QVariant> rowValues(sqlite3_stmt* st, int first, int count)
    {
        std::vector<QVariant> row;
        row.reserve(size_t(count));
        for (int i = 0; i < count; ++i)
            row.push_back(columnValue(st, first + i));
        return row;
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

    // One text per distinct stored value, telling types apart.
    QString identity(const std::vector<QVariant>& values)
    {
        QString out;
        for (const QVariant& v : values)
            out += QString::number(v.isNull() ? -1 : v.typeId()) + QLatin1Char(':')
                + (v.typeId() == QMetaType::QByteArray ? QString::fromLatin1(v.toByteArray().toHex())
                                                        : valueText(v))
                + QChar(0);
        return out;
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

    qsizetype indexOfName(const QStringList& names, const QString& name)
    {
        for (qsizetype i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    // What a set needs to know of a table: its columns as "select *" gives them,
    // how to read its row ids, and which columns identify a row without them.
    struct TableShape {
        QStringList columns;
        QString rowId; // empty: the table has no row ids
        int rowIdAlias = -1; // the column that holds the row id itself, or -1
        std::vector<int> primaryKey;
        std::vector<bool> indexable;
    };

    TableShape tableShape(const Connection& c, const QString& table)
    {
        TableShape shape;
        sqlite3_stmt* raw = nullptr;
        const QByteArray all = ("select * from " + quotedName(table)).toUtf8();
        if (sqlite3_prepare_v2(c.handle(), all.constData(), -1, &raw, nullptr) != SQLITE_OK) {
            sqlite3_finalize(raw);
            throw DataError(ErrorNumber::TableNotFound,
                QStringLiteral("No se encuentra la tabla «%1» en el catálogo «%2».")
                    .arg(table, c.path()));
        }
        Statement st(raw);
        const QByteArray tableUtf8 = table.toUtf8();
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const QString name = QString::fromUtf8(sqlite3_column_name(raw, i));
            shape.columns << name;
            const char* type = nullptr;
            int primaryKey = 0;
            const QByteArray origin = sqlite3_column_origin_name(raw, i)
                ? QByteArray(sqlite3_column_origin_name(raw, i))
                : name.toUtf8();
            if (sqlite3_table_column_metadata(c.handle(), "main", tableUtf8.constData(),
                    origin.constData(), &type, nullptr, nullptr, &primaryKey, nullptr)
                != SQLITE_OK) {
                shape.indexable.push_back(false);
                continue;
            }
            if (primaryKey)
                shape.primaryKey.push_back(i);
            // Columns that keep texts as given (text affinity, or none) are compared
            // in the catalogue's text order whatever the file declares for them.
            const QByteArray t = QByteArray(type ? type : "").toUpper();
            const bool textOrNone = !t.contains("INT")
                && (t.contains("CHAR") || t.contains("CLOB") || t.contains("TEXT")
                    || t.contains("BLOB") || t.isEmpty());
            shape.indexable.push_back(textOrNone);
        }
        // A column may be named like the row id; another of its names then reads it.
        for (const char* name : { "rowid", "_rowid_", "oid" }) {
            if (indexOfName(shape.columns, QLatin1String(name)) >= 0)
                continue;
            const QByteArray sql
                = ("select " + QLatin1String(name) + " from " + quotedName(table)).toUtf8();
            sqlite3_stmt* probe = nullptr;
            if (sqlite3_prepare_v2(c.handle(), sql.constData(), -1, &probe, nullptr) == SQLITE_OK) {
                shape.rowId = QLatin1String(name);
                const char* alias = sqlite3_column_origin_name(probe, 0);
                if (alias)
                    shape.rowIdAlias = int(indexOfName(shape.columns, QString::fromUtf8(alias)));
            }
            sqlite3_finalize(probe);
            break;
        }
        if (shape.rowIdAlias >= 0)
            shape.indexable[size_t(shape.rowIdAlias)] = false;
        return shape;
    }

    // "column='text'" with the text's single quotes doubled, as the look-ups by name
    // and artist write it: the column and the text, or nothing for any other shape.
    std::optional<std::pair<QString, QString>> simpleTextCriterion(const QString& criterion)
    {
        static const QRegularExpression shape(
            QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)='((?:[^']|'')*)'\\z"));
        const QRegularExpressionMatch m = shape.match(criterion);
        if (!m.hasMatch())
            return std::nullopt;
        QString text = m.captured(2);
        // The engine stops reading at a NUL; it judges such texts itself.
        if (text.contains(QChar(0)) || !text.isValidUtf16())
            return std::nullopt;
        text.replace(QLatin1String("''"), QLatin1String("'"));
        return std::pair { m.captured(1), text };
    }

}

QString valueText(const QVariant& value)
{
    // Texts, most values of a listing, skip the general conversion.
    if (value.metaType() == QMetaType::fromType<QString>())
        return *static_cast<const QString*>(value.constData());
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int: {
        // Every id of a listing comes this way; plain digits need no locale.
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, value.toLongLong()).ptr;
        return QString::fromLatin1(digits, end - digits);
    }
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
        openStatement(source);
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

void Recordset::openStatement(const QString& source)
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
                // The engine runs the same statement but leaves the other columns unread.
                m_cursor = prepareSelect(*m_connection,
                    "select " + quotedName(m_columns[shape.rowIdAlias]) + " from (" + inner + "\n)");
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

void Recordset::writing()
{
    m_connection->ensurePresent();
    ++sharedState()[m_connection.get()].writes;
    m_changed = true;
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

void Recordset::written(qint64 id, bool added)
{
    for (Recordset* set : sharedState()[m_connection.get()].sets) {
        if (set->m_kind != Kind::TableIds || set->m_table.compare(m_table, Qt::CaseInsensitive) != 0)
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
            m_appended.erase(std::remove(m_appended.begin(), m_appended.end(), id), m_appended.end());
        } else if (unread && added) {
            set->m_excluded.insert(id);
        } else if (unread && !set->m_excluded.count(id)) {
            set->m_kept.insert(std::upper_bound(set->m_kept.begin(), set->m_kept.end(), id), id);
        }
    }
}

void Recordset::attach() const
{
    if (!m_detached)
        return;
    const qint64 id = *m_detached;
    m_detached.reset();
    const bool appended = std::find(m_appended.begin(), m_appended.end(), id) != m_appended.end();
    while (!m_complete && (m_nextId <= id || appended) && readMore()) { }
    const auto at = m_idsAscending ? std::lower_bound(m_ids.begin(), m_ids.end(), id)
                                   : std::find(m_ids.begin(), m_ids.end(), id);
    // A row deleted through this set leaves its place to the row after it.
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
    auto& slot = sharedState()[m_connection.get()].indexes[m_table + QLatin1Char('\n')
        + m_columns[column]];
    if (slot && slot->version == m_version && slot->finished())
        return slot;
    if (contentVersion(*m_connection) != m_version)
        return nullptr; // the table has changed since this set was read
    if (!slot || slot->version != m_version) {
        auto index = std::make_shared<detail::TextIndex>();
        index->version = m_version;
        if (slot) {
            index->ids.reserve(slot->ids.size());
            index->keys.reserve(slot->ids.size());
        }
        slot = index;
    }
    detail::TextIndex& index = *slot;
    if (!index.scanned) {
        // Each step reads on from the last id read with a statement of its own, so
        // that no statement stays open (and keeps the file locked) between steps.
        Statement st = prepare(*m_connection,
            "select " + m_rowId + ", " + quotedName(m_columns[column]) + " from "
                + quotedName(m_table) + " where " + m_rowId + " > ?1 and " + m_rowId
                + " <= ?2 order by " + m_rowId);
        sqlite3_stmt* s = st.get();
        sqlite3_bind_int64(s, 1, index.lastRead);
        sqlite3_bind_int64(s, 2, m_lastId);
        const TextKeys& keys = textKeys();
        int rc;
        qsizetype read = 0;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            index.lastRead = sqlite3_column_int64(s, 0);
            // One call per column: each takes the connection's lock, the value's own
            // accessors do not.
            sqlite3_value* value = sqlite3_column_value(s, 1);
            if (sqlite3_value_type(value) == SQLITE_TEXT) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
                quint64 key = 0;
                // The engine's comparison and ours must read the same characters.
                if (!keys.key(std::string_view(text, size_t(sqlite3_value_bytes(value))), &key)) {
                    index.usable = false;
                    return slot;
                }
                index.ids.push_back(index.lastRead);
                index.keys.push_back(key);
            }
            if (++read % 256 == 0 && deadline.hasExpired())
                break;
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_connection->fail(rc);
        index.scanned = rc == SQLITE_DONE;
    }
    if (contentVersion(*m_connection) != m_version)
        return nullptr;
    if (index.scanned && !index.chaining)
        index.usable = std::is_sorted(index.ids.begin(), index.ids.end()) && index.beginChain();
    if (index.chaining)
        index.chainSome(deadline);
    return slot;
}

bool Recordset::prepareLookUp(const QString& column, std::chrono::milliseconds budget)
{
    const QDeadlineTimer deadline(budget);
    if (m_kind != Kind::TableIds || !m_idsAscending || !textKeys().available())
        return true;
    const qsizetype i = indexOfName(m_columns, column);
    if (i < 0 || !m_indexable[size_t(i)])
        return true;
    const auto index = textIndex(int(i), deadline);
    return !index || index->finished();
}

bool Recordset::findByTextIndex(const QString& criterion)
{
    const auto simple = simpleTextCriterion(criterion);
    if (!simple || !textKeys().available() || !m_idsAscending)
        return false;
    const qsizetype column = indexOfName(m_columns, simple->first);
    if (column < 0 || !m_indexable[size_t(column)])
        return false;
    const auto index = textIndex(int(column), QDeadlineTimer(QDeadlineTimer::Forever));
    if (!index || !index->usable || !index->finished())
        return false;
    const std::string typed = simple->second.toStdString();
    quint64 key = 0;
    if (!textKeys().key(typed, &key))
        return false;
    // Rows of the key in set order; the first whose text equals the typed one is it.
    // Rows added through this set follow them, and are left to the engine.
    constexpr int mostCompared = 64;
    int compared = 0;
    const qsizetype saved = m_position;
    const bool savedDeleted = m_currentDeleted;
    const std::optional<qint64> savedDetached = m_detached;
    for (uint32_t row = index->first(key); row != detail::TextIndex::noRow;
         row = index->next[row]) {
        if (++compared > mostCompared)
            break;
        if (!placeAt(index->ids[row]))
            continue; // deleted through this set
        try {
            const QVariant stored = currentRow()[size_t(column)];
            if (stored.typeId() == QMetaType::QString
                && compareCatalogText(stored.toString().toStdString(), typed) == 0) {
                m_noMatch = false;
                return true;
            }
        } catch (const DataError&) {
            // Deleted through another source since: the engine decides.
            compared = mostCompared + 1;
            break;
        }
    }
    m_position = saved;
    m_currentDeleted = savedDeleted;
    m_detached = savedDetached;
    if (compared > mostCompared || m_changed)
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
        columns << (m_indexable[size_t(i)]
                ? quotedName(m_columns[i]) + QStringLiteral(" collate nocase as ")
                    + quotedName(m_columns[i])
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
            if (id >= m_nextId && id <= m_lastId && !m_excluded.count(id) && (!first || id < *first))
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
    if (m_kind == Kind::Values)
        sql += QStringLiteral(" returning *"); // the row as stored, defaults included
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
    } else {
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        const qint64 id = sqlite3_last_insert_rowid(m_connection->handle());
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
    } else {
        Statement st = prepare(
            *m_connection, "delete from " + quotedName(m_table) + " where " + m_rowId + " = ?");
        const qint64 id = m_detached ? *m_detached : m_ids[size_t(m_position)];
        sqlite3_bind_int64(st.get(), 1, id);
        const int rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE)
            m_connection->fail(rc);
        if (!m_detached)
            m_ids.erase(m_ids.begin() + m_position);
        if (m_kind == Kind::TableIds)
            written(id, false);
        m_cache.erase(id);
    }
    m_cacheEnd = -1;
    m_currentDeleted = true;
}

qsizetype Recordset::readOnward(const QStringList& names, qsizetype limit,
    const std::function<void(const QVariant* values)>& row)
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
    std::vector<QVariant> values(columns.size());
    if (m_kind == Kind::Values) {
        for (; m_position < end; ++m_position) {
            for (size_t k = 0; k < columns.size(); ++k)
                values[k] = m_rows[size_t(m_position)][size_t(columns[k])];
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
            values[k] = columnValue(s, int(k) + 1);
        row(values.data());
        step();
    }
    return m_position - first;
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
