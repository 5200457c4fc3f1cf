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
        // Each printable ASCII character (and the blanks) has one weight in the
        // collator's order, upper and lower case alike; a text made only of them is
        // ordered by comparing those weights one by one.
        void rankAscii()
        {
            std::array<UChar, 100> chars {};
            int n = 0;
            for (UChar c : { u'\t', u'\n', u'\v', u'\f', u'\r' })
                chars[size_t(n++)] = c;
            for (UChar c = 0x20; c < 0x7f; ++c)
                chars[size_t(n++)] = c;
            std::sort(chars.begin(), chars.begin() + n, [this](UChar x, UChar y) {
                return ucol_strcoll(m_collator, &x, 1, &y, 1) == UCOL_LESS;
            });
            unsigned char rank = 0;
            for (int i = 0; i < n; ++i) {
                if (i == 0 || ucol_strcoll(m_collator, &chars[size_t(i - 1)], 1, &chars[size_t(i)], 1) != UCOL_EQUAL)
                    ++rank;
                m_rank[chars[size_t(i)]] = rank;
            }
        }

        bool compareAscii(std::string_view a, std::string_view b, int* result) const
        {
            for (std::string_view s : { a, b })
                for (char ch : s)
                    if (static_cast<unsigned char>(ch) >= 0x80 || m_rank[size_t(ch)] == 0)
                        return false;
            const size_t n = std::min(a.size(), b.size());
            for (size_t i = 0; i < n; ++i) {
                const int d = int(m_rank[size_t(a[i])]) - int(m_rank[size_t(b[i])]);
                if (d != 0) {
                    *result = d < 0 ? -1 : 1;
                    return true;
                }
            }
            *result = a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
            return true;
        }

        UCollator* m_collator = nullptr;
        std::array<unsigned char, 128> m_rank {};
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
