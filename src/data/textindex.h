#pragma once

// The look-up index of a text column: which rows of a table may hold a given text,
// in catalogue text order, without the engine reading the table for each look-up.
// It may use ICU and the catalogue's collation; it knows nothing of record sets,
// which keep it and build it.

#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace velmor::detail {

// "column='text'" with the text's single quotes doubled, as the look-ups by name
// and artist write it: the column and the text, or nothing for any other shape.
std::optional<std::pair<QString, QString>> simpleTextCriterion(const QString& criterion);

// False when texts cannot be keyed here (no Spanish collator).
bool textKeysAvailable();
// The key of a text (see TextKeys in textindex.cpp); false when the bytes are not UTF-8.
bool textKey(std::string_view utf8, quint64* key);

// The rows of a table by a text column's key (see TextKeys): rows whose texts are
// equal in catalogue order share a key, and the rows of one key are chained in
// row id order. It is built in steps that may stop at a deadline and go on later:
// the rows are read in id order, then chained from the last one back.
struct TextIndex {
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

}
