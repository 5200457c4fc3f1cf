#include "collation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>
#include <vector>

namespace velmor {

namespace {

    // A UTF-8 text as UTF-16 in upper case and then case-folded, in buffers on the
    // stack when short. Upper case first brings ı to I and ŉ to ʼN, folding then
    // brings ß, ẞ and SS together.
    class FoldedText {
    public:
        explicit FoldedText(std::string_view utf8)
        {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            // Broken sequences from the file read as U+FFFD, as the collator reads them.
            const auto decode = [&](UChar* out, int32_t capacity) {
                u_strFromUTF8WithSub(out, capacity, &length, utf8.data(), int32_t(utf8.size()),
                    0xfffd, nullptr, &status);
            };
            const auto upper = [&](UChar* out, int32_t capacity, const UChar* in, int32_t n) {
                return u_strToUpper(out, capacity, in, n, "", &status);
            };
            const auto fold = [&](UChar* out, int32_t capacity, const UChar* in, int32_t n) {
                return u_strFoldCase(out, capacity, in, n, U_FOLD_CASE_DEFAULT, &status);
            };
            Buffer source, upperCase;
            if (!source.fill(decode, status, &length))
                return;
            int32_t upperLength = 0;
            if (!upperCase.fill(
                    [&](UChar* out, int32_t capacity) {
                        upperLength = upper(out, capacity, source.data(), length);
                    },
                    status, &upperLength))
                return;
            m_ok = m_folded.fill(
                [&](UChar* out, int32_t capacity) {
                    m_length = fold(out, capacity, upperCase.data(), upperLength);
                },
                status, &m_length);
        }
        bool ok() const { return m_ok; }
        const UChar* data() const { return m_folded.data(); }
        int32_t size() const { return m_length; }

    private:
        class Buffer {
        public:
            // Runs write into the stack buffer, or into one of the size it asked for.
            template <typename Write> bool fill(Write write, UErrorCode& status, int32_t* length)
            {
                status = U_ZERO_ERROR;
                write(m_stack.data(), int32_t(m_stack.size()));
                if (status == U_BUFFER_OVERFLOW_ERROR) {
                    m_heap.resize(size_t(*length) + 1);
                    status = U_ZERO_ERROR;
                    write(m_heap.data(), int32_t(m_heap.size()));
                }
                return U_SUCCESS(status);
            }
            const UChar* data() const { return m_heap.empty() ? m_stack.data() : m_heap.data(); }

        private:
            std::array<UChar, 128> m_stack {};
            std::vector<UChar> m_heap;
        };

        Buffer m_folded;
        int32_t m_length = 0;
        bool m_ok = false;
    };

    class SpanishOrder {
    public:
        SpanishOrder()
        {
            UErrorCode status = U_ZERO_ERROR;
            m_collator = ucol_open("es", &status);
            if (U_FAILURE(status)) {
                m_collator = nullptr;
                return;
            }
            ucol_setStrength(m_collator, UCOL_SECONDARY);
            rankAscii();
        }
        ~SpanishOrder()
        {
            if (m_collator)
                ucol_close(m_collator);
        }

        const UCollator* collator() const { return m_collator; }

        int compare(std::string_view a, std::string_view b) const
        {
            int fast = 0;
            if (compareAscii(a, b, &fast))
                return fast;
            return slow(a, b);
        }

        int slow(std::string_view a, std::string_view b) const
        {
            if (!m_collator) {
                const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
                return c != 0 ? c : (a.size() < b.size() ? -1 : a.size() > b.size());
            }
            // Both sides are compared as their upper case, the form in which the
            // catalogue stores text: a letter whose upper case is another letter or
            // two (ß and SS, ı and I, ŉ and ʼN) then matches what was stored from it.
            // Other case differences are third-level ones the collator ignores anyway.
            FoldedText upperA(a), upperB(b);
            UErrorCode status = U_ZERO_ERROR;
            const UCollationResult r = upperA.ok() && upperB.ok()
                ? ucol_strcoll(
                    m_collator, upperA.data(), upperA.size(), upperB.data(), upperB.size())
                : ucol_strcollUTF8(
                    m_collator, a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
            return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
        }

    private:
        // Each printable ASCII character, the blanks, and each Latin letter with an
        // accent that the collator sees as a single letter have one primary weight,
        // upper and lower case alike. For texts made only of them the first
        // differing weight decides; texts whose weights all agree but whose bytes
        // differ (an accent apart) are left to the collator.
        void rankAscii()
        {
            UErrorCode status = U_ZERO_ERROR;
            UCollator* primary = ucol_open("es", &status);
            if (U_FAILURE(status))
                return;
            ucol_setStrength(primary, UCOL_PRIMARY);
            std::array<UChar, 200> chars {};
            int n = 0;
            for (UChar c : { u'\t', u'\n', u'\v', u'\f', u'\r' })
                chars[size_t(n++)] = c;
            for (UChar c = 0x20; c < 0x7f; ++c)
                chars[size_t(n++)] = c;
            for (UChar c : u"ÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÑÒÓÔÕÖÙÚÛÜÝàáâãäåçèéêëìíîïñòóôõöùúûüýÿ")
                if (c)
                    chars[size_t(n++)] = c;
            std::sort(chars.begin(), chars.begin() + n, [primary](UChar x, UChar y) {
                return ucol_strcoll(primary, &x, 1, &y, 1) == UCOL_LESS;
            });
            unsigned char rank = 0;
            for (int i = 0; i < n; ++i) {
                if (i == 0
                    || ucol_strcoll(primary, &chars[size_t(i - 1)], 1, &chars[size_t(i)], 1)
                        != UCOL_EQUAL)
                    ++rank;
                m_rank[chars[size_t(i)]] = rank;
            }
            ucol_close(primary);
        }

        static constexpr int endOfText = 0;
        static constexpr int outsideTable = -1;

        // The primary weight of the character at i (moving i past it), endOfText, or
        // outsideTable for a character the table does not know.
        int nextWeight(std::string_view s, size_t& i) const
        {
            if (i >= s.size())
                return endOfText;
            unsigned code = static_cast<unsigned char>(s[i++]);
            if (code >= 0x80) {
                // Two-byte forms of U+0080 to U+00FF only.
                if ((code != 0xc2 && code != 0xc3) || i >= s.size())
                    return outsideTable;
                const unsigned next = static_cast<unsigned char>(s[i++]);
                if ((next & 0xc0) != 0x80)
                    return outsideTable;
                code = ((code & 0x1f) << 6) | (next & 0x3f);
            }
            return m_rank[code] == 0 ? outsideTable : m_rank[code];
        }

        bool compareAscii(std::string_view a, std::string_view b, int* result) const
        {
            size_t i = 0, j = 0;
            for (;;) {
                const int wa = nextWeight(a, i);
                const int wb = nextWeight(b, j);
                if (wa == outsideTable || wb == outsideTable)
                    return false;
                if (wa == wb) {
                    if (wa != endOfText)
                        continue;
                    break;
                }
                // A combining mark after either character would change its weight.
                size_t ia = i, jb = j;
                if (nextWeight(a, ia) == outsideTable || nextWeight(b, jb) == outsideTable)
                    return false;
                *result = wa < wb ? -1 : 1;
                return true;
            }
            if (a == b) {
                *result = 0;
                return true;
            }
            const bool plain = std::all_of(a.begin(), a.end(), [](char c) { return c >= 0; })
                && std::all_of(b.begin(), b.end(), [](char c) { return c >= 0; });
            if (plain) {
                *result = 0; // only letter case differs
                return true;
            }
            return false;
        }

        UCollator* m_collator = nullptr;
        std::array<unsigned char, 256> m_rank {};
    };

    const SpanishOrder& order()
    {
        static const SpanishOrder instance;
        return instance;
    }

    int compareForEngine(void*, int lengthA, const void* a, int lengthB, const void* b)
    {
        return order().compare(std::string_view(static_cast<const char*>(a), size_t(lengthA)),
            std::string_view(static_cast<const char*>(b), size_t(lengthB)));
    }

}

int compareCatalogText(std::string_view a, std::string_view b) { return order().compare(a, b); }

int compareCatalogTextSlow(std::string_view a, std::string_view b) { return order().slow(a, b); }

const UCollator* catalogCollator() { return order().collator(); }

bool catalogComparisonForm(std::string_view utf8, std::u16string* form)
{
    const FoldedText folded(utf8);
    if (folded.ok())
        form->assign(folded.data(), size_t(folded.size()));
    return folded.ok();
}

void installCatalogCollation(sqlite3* db)
{
    sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, compareForEngine, nullptr);
}

}
