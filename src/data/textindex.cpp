#include "textindex.h"

#include "collation.h"
#include "connection.h"
#include "preparedstatement.h"
#include "tableshape.h"

#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <utility>

namespace velmor::detail {

namespace {

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
                const int32_t length = uset_getItem(
                    contractions, i, &start, &end, text.data(), int32_t(text.size()), &status);
                // Only contractions made of Latin-1 characters alone can occur in
                // the texts weighed character by character, and none can without
                // the characters after its first.
                const bool latin1 = U_SUCCESS(status) && length > 0
                    && std::all_of(
                        text.begin(), text.begin() + length, [](UChar c) { return c < 0x100; });
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
                if (!catalogComparisonForm(
                        std::string_view(utf8.constData(), size_t(utf8.size())), &form)
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
            for (int32_t ce;
                 (ce = ucol_next(elements, &status)) != UCOL_NULLORDER && U_SUCCESS(status);)
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

}

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

bool TextIndex::available() { return textKeys().available(); }

TextIndex::TextIndex(size_t rows)
{
    m_ids.reserve(rows);
    m_keys.reserve(rows);
}

size_t TextIndex::slotOf(quint64 key) const
{
    return m_shift >= 64 ? 0 : size_t((key * 0x9e3779b97f4a7c15ULL) >> m_shift);
}

size_t TextIndex::findSlot(quint64 key) const
{
    const size_t mask = m_heads.size() - 1;
    size_t s = slotOf(key);
    while (m_heads[s] != 0 && m_keys[m_heads[s] - 1] != key)
        s = (s + 1) & mask;
    return s;
}

void TextIndex::readSome(const Connection& connection, const QString& table, const QString& rowId,
    const QString& column, const QDeadlineTimer& deadline)
{
    // Each step reads on from the last id read with a statement of its own, so
    // that no statement stays open (and keeps the file locked) between steps.
    Statement st = prepare(connection,
        "select " + rowId + ", " + quotedName(column) + " from " + quotedName(table) + " where "
            + rowId + " > ?1 order by " + rowId);
    sqlite3_stmt* s = st.get();
    sqlite3_bind_int64(s, 1, m_lastRead);
    const TextKeys& keys = textKeys();
    int rc;
    qsizetype read = 0;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        m_lastRead = sqlite3_column_int64(s, 0);
        // One call per column: each takes the connection's lock, the value's own
        // accessors do not.
        sqlite3_value* value = sqlite3_column_value(s, 1);
        if (sqlite3_value_type(value) == SQLITE_TEXT) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            quint64 key = 0;
            // The engine's comparison and ours must read the same characters.
            if (!keys.key(std::string_view(text, size_t(sqlite3_value_bytes(value))), &key)) {
                m_usable = false;
                return;
            }
            m_ids.push_back(m_lastRead);
            m_keys.push_back(key);
        }
        if (++read % 256 == 0 && deadline.hasExpired())
            break;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        connection.fail(rc);
    m_scanned = rc == SQLITE_DONE;
}

// Sizes the table for the rows read; false when there are too many of them.
bool TextIndex::beginChain()
{
    if (m_ids.size() >= noRow / 2)
        return false;
    size_t capacity = 16;
    m_shift = 60;
    while (capacity < 2 * m_ids.size()) {
        capacity *= 2;
        --m_shift;
    }
    m_heads.assign(capacity, 0);
    m_next.resize(m_ids.size());
    m_read = m_ids.size();
    m_unchained = m_ids.size();
    m_chaining = true;
    return true;
}

// Each key's rows are chained in the order they were read, by putting rows in front
// of their chain from the last one back.
void TextIndex::chainSome(const QDeadlineTimer& deadline)
{
    if (m_scanned && !m_chaining)
        m_usable = std::is_sorted(m_ids.begin(), m_ids.end()) && beginChain();
    if (!m_chaining)
        return;
    while (m_unchained > 0) {
        if (m_unchained % 4096 == 0 && deadline.hasExpired())
            return;
        const auto row = uint32_t(--m_unchained);
        const size_t s = findSlot(m_keys[row]);
        if (m_heads[s] == 0)
            ++m_usedSlots;
        m_next[row] = m_heads[s] == 0 ? noRow : m_heads[s] - 1;
        m_heads[s] = row + 1;
    }
}

// Twice the slots, each chain's head moved to its new place.
void TextIndex::grow()
{
    std::vector<uint32_t> heads = std::exchange(m_heads, std::vector<uint32_t>(m_heads.size() * 2));
    --m_shift;
    for (uint32_t head : heads)
        if (head != 0)
            m_heads[findSlot(m_keys[head - 1])] = head;
}

uint32_t TextIndex::first(quint64 key) const
{
    if (m_heads.empty())
        return noRow;
    const size_t s = findSlot(key);
    return m_heads[s] == 0 ? noRow : m_heads[s] - 1;
}

uint32_t TextIndex::rowOf(qint64 id) const
{
    if (const auto added = m_addedRows.find(id); added != m_addedRows.end())
        return added->second;
    const auto end = m_ids.begin() + qsizetype(m_read);
    const auto at = std::lower_bound(m_ids.begin(), end, id);
    if (at == end || *at != id || m_removedRows.count(uint32_t(at - m_ids.begin())))
        return noRow;
    return uint32_t(at - m_ids.begin());
}

bool TextIndex::removed(qint64 id)
{
    if (!finished())
        return false;
    if (!m_usable)
        return true;
    const uint32_t row = rowOf(id);
    if (row != noRow) {
        // The row stays in its chain, passed over, so that no chain needs mending.
        m_removedRows.insert(row);
        m_addedRows.erase(id);
    }
    return true;
}

bool TextIndex::added(qint64 id, std::string_view text)
{
    if (!removed(id))
        return false;
    quint64 key = 0;
    if (!m_usable || !textKeys().key(text, &key) || m_ids.size() >= noRow / 2) {
        m_usable = false;
        return true;
    }
    const auto row = uint32_t(m_ids.size());
    m_ids.push_back(id);
    m_keys.push_back(key);
    m_next.push_back(noRow);
    m_addedRows[id] = row;
    size_t s = findSlot(key);
    if (m_heads[s] == 0) {
        // A quarter of the slots stay free, so that a probe soon meets one.
        if ((m_usedSlots + 1) * 4 > m_heads.size() * 3) {
            grow();
            s = findSlot(key);
        }
        ++m_usedSlots;
        m_heads[s] = row + 1;
        return true;
    }
    // In its place by id along the chain.
    uint32_t before = m_heads[s] - 1;
    if (m_ids[before] > id) {
        m_next[row] = before;
        m_heads[s] = row + 1;
        return true;
    }
    while (m_next[before] != noRow && m_ids[m_next[before]] < id)
        before = m_next[before];
    m_next[row] = m_next[before];
    m_next[before] = row;
    return true;
}

bool TextIndex::forEachCandidate(
    std::string_view text, const std::function<bool(qint64 id)>& visit) const
{
    quint64 key = 0;
    if (!textKeys().key(text, &key))
        return false;
    for (uint32_t row = first(key); row != noRow; row = m_next[row])
        if (!m_removedRows.count(row) && !visit(m_ids[row]))
            break;
    return true;
}

}
