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

    // A UTF-8 text in upper case as UTF-16, in a buffer on the stack when short.
    class UpperText {
    public:
        explicit UpperText(std::string_view utf8)
        {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            // Broken sequences from the file read as U+FFFD, as the collator reads them.
            u_strFromUTF8WithSub(m_source.data(), int32_t(m_source.size()), &length, utf8.data(),
                int32_t(utf8.size()), 0xfffd, nullptr, &status);
            std::vector<UChar> wide;
            UChar* source = m_source.data();
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                wide.resize(size_t(length));
                source = wide.data();
                status = U_ZERO_ERROR;
                u_strFromUTF8WithSub(source, length, &length, utf8.data(), int32_t(utf8.size()),
                    0xfffd, nullptr, &status);
            }
            if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)
                return;
            status = U_ZERO_ERROR;
            m_length = u_strToUpper(m_upper.data(), int32_t(m_upper.size()), source, length, "",
                &status);
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                m_long.resize(size_t(m_length));
                status = U_ZERO_ERROR;
                u_strToUpper(m_long.data(), m_length, source, length, "", &status);
            }
            m_ok = !U_FAILURE(status);
        }
        bool ok() const { return m_ok; }
        const UChar* data() const { return m_long.empty() ? m_upper.data() : m_long.data(); }
        int32_t size() const { return m_length; }

    private:
        std::array<UChar, 128> m_source {};
        std::array<UChar, 160> m_upper {};
        std::vector<UChar> m_long;
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
            // Both sides are compared in upper case, the form in which the catalogue
            // stores text: a letter whose upper case is another letter or two (ß and
            // SS, ı and I, ŉ and ʼN) then matches what was stored from it. Case is
            // only a third-level difference, which the collator ignores anyway.
            UpperText upperA(a), upperB(b);
            UErrorCode status = U_ZERO_ERROR;
            const UCollationResult r = upperA.ok() && upperB.ok()
                ? ucol_strcoll(m_collator, upperA.data(), upperA.size(), upperB.data(),
                      upperB.size())
                : ucol_strcollUTF8(m_collator, a.data(), int32_t(a.size()), b.data(),
                      int32_t(b.size()), &status);
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

void installCatalogCollation(sqlite3* db)
{
    sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, compareForEngine, nullptr);
}

}
