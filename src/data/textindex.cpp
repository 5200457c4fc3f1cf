#include "textindex.h"

#include "collation.h"

#include <QByteArrayView>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <sqlite3.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

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

bool textKeysAvailable() { return textKeys().available(); }

bool textKey(std::string_view utf8, quint64* key) { return textKeys().key(utf8, key); }

}
