#include "collation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <sqlite3.h>
#include <unicode/ucol.h>

namespace velmor {

namespace {

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
            UErrorCode status = U_ZERO_ERROR;
            const UCollationResult r = ucol_strcollUTF8(
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

        // Primary weights of a text, or false when it holds a character outside the table.
        bool weights(std::string_view s, std::array<unsigned char, 64>& out, size_t& count) const
        {
            count = 0;
            for (size_t i = 0; i < s.size(); ++i) {
                unsigned code = static_cast<unsigned char>(s[i]);
                if (code >= 0x80) {
                    // Two-byte forms of U+0080 to U+00FF only.
                    if ((code != 0xc2 && code != 0xc3) || i + 1 >= s.size())
                        return false;
                    const unsigned next = static_cast<unsigned char>(s[++i]);
                    if ((next & 0xc0) != 0x80)
                        return false;
                    code = ((code & 0x1f) << 6) | (next & 0x3f);
                }
                if (count == out.size() || m_rank[code] == 0)
                    return false;
                out[count++] = m_rank[code];
            }
            return true;
        }

        bool compareAscii(std::string_view a, std::string_view b, int* result) const
        {
            std::array<unsigned char, 64> wa, wb;
            size_t na = 0, nb = 0;
            if (!weights(a, wa, na) || !weights(b, wb, nb))
                return false;
            const size_t n = std::min(na, nb);
            for (size_t i = 0; i < n; ++i) {
                if (wa[i] != wb[i]) {
                    *result = wa[i] < wb[i] ? -1 : 1;
                    return true;
                }
            }
            if (na != nb) {
                *result = na < nb ? -1 : 1;
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
