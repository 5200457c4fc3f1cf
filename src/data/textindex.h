#pragma once

// The look-up index of a text column: which rows of a table may hold a given text,
// in catalogue text order, without the engine reading the table for each look-up.
// It is built in steps that stop at a deadline and go on later, and answers only
// criteria that compare one column with one text. It may use SQLite, ICU, the
// catalogue's collation, the connection, and the data layer's quoting of names and
// preparing of statements; it knows nothing of record sets, which keep it, tell it
// which rows to read, and check each candidate it gives.

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

class QDeadlineTimer;

namespace velmor {
class Connection;
}

namespace velmor::detail {

// "column='text'" with the text's single quotes doubled, as the look-ups by name
// and artist write it: the column and the text, or nothing for any other shape.
std::optional<std::pair<QString, QString>> simpleTextCriterion(const QString& criterion);

// The rows of a table by a text column's key (a hash of the text's collation
// weights): rows whose texts are equal in catalogue order share a key, and the rows
// of one key are chained in row id order. It is built in steps that may stop at a
// deadline and go on later: the rows are read in id order, then chained from the
// last one back. Once built, it follows rows added and deleted one by one.
class TextIndex {
public:
    // False when texts cannot be keyed here (no Spanish collator): look-ups are
    // then left to the engine.
    static bool available();

    // An empty index, with room for `rows` rows.
    explicit TextIndex(size_t rows);

    // False when a value could not be keyed, or the rows are too many to chain.
    bool usable() const { return m_usable; }
    // Every row is read.
    bool scanned() const { return m_scanned; }
    // Nothing is left to build: the index answers look-ups, or it cannot.
    bool finished() const { return !m_usable || (m_chaining && m_unchained == 0); }

    // Reads on the column's rows until all are read or the deadline passes; a value
    // that cannot be keyed makes the index unusable. Fails with the engine's error.
    void readSome(const Connection& connection, const QString& table, const QString& rowId,
        const QString& column, const QDeadlineTimer& deadline);
    // Once every row is read: chains rows until all are chained or the deadline passes.
    void chainSome(const QDeadlineTimer& deadline);

    // Hands `visit` the ids of the rows of the text's key, in id order, until it
    // returns false. Every row whose text equals this one in catalogue order is
    // among them, but other texts may share the key: the caller compares each.
    // False, and nothing handed over, when the text cannot be keyed.
    bool forEachCandidate(std::string_view text, const std::function<bool(qint64 id)>& visit) const;

    // A row stored with this text in the column (in place of any row of that id), or
    // deleted. False when the index is not finished: it cannot follow the row then,
    // and is to be built anew.
    bool added(qint64 id, std::string_view text);
    bool removed(qint64 id);

private:
    static constexpr uint32_t noRow = std::numeric_limits<uint32_t>::max();

    size_t slotOf(quint64 key) const;
    // The slot of the key's chain, or the free slot where it would go.
    size_t findSlot(quint64 key) const;
    bool beginChain();
    void grow();
    uint32_t first(quint64 key) const;
    uint32_t rowOf(qint64 id) const;

    bool m_usable = true;
    std::vector<qint64> m_ids; // row ids: those read, ascending, then those added
    std::vector<quint64> m_keys; // the key of each row
    std::vector<uint32_t> m_next; // the next row of the same key, or noRow
    std::vector<uint32_t> m_heads; // open addressing by key: a key's first row + 1, or 0
    size_t m_usedSlots = 0;
    int m_shift = 64;
    qint64 m_lastRead = std::numeric_limits<qint64>::min(); // the highest id read so far
    bool m_scanned = false;
    size_t m_unchained = 0; // rows at the front not chained yet, once chaining began
    bool m_chaining = false;
    size_t m_read = 0; // rows read, once chaining began; the others were added since
    std::map<qint64, uint32_t> m_addedRows; // rows added since, by id
    std::unordered_set<uint32_t> m_removedRows; // rows deleted since
};

}
