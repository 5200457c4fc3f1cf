#include "valuerules.h"

#include <QHash>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace velmor {

namespace {

    bool radixDigits(const QString& digits, int base, double* value)
    {
        if (digits.isEmpty())
            return false;
        double v = 0;
        for (QChar ch : digits) {
            const int d = ch.isDigit()
                ? ch.digitValue()
                : (ch.toUpper().unicode() >= 'A' && ch.toUpper().unicode() <= 'F'
                        ? ch.toUpper().unicode() - 'A' + 10
                        : 99);
            if (d >= base)
                return false;
            v = v * base + d;
        }
        *value = v;
        return true;
    }

    bool isAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

}

double leadingNumber(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n')
            s += c;

    qsizetype i = 0;
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar kind = s[1].toUpper();
        if (kind == u'H' || kind == u'O') {
            const int base = kind == u'H' ? 16 : 8;
            qsizetype end = 2;
            double unused;
            while (end < s.size() && radixDigits(QString(s[end]), base, &unused))
                ++end;
            double value = 0;
            return radixDigits(s.mid(2, end - 2), base, &value) ? value : 0;
        }
    }

    std::string number;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-'))
        number += char(s[i++].unicode());
    bool digits = false;
    while (i < s.size() && isAsciiDigit(s[i])) {
        number += char(s[i++].unicode());
        digits = true;
    }
    if (i < s.size() && s[i] == u'.') {
        number += '.';
        ++i;
        while (i < s.size() && isAsciiDigit(s[i])) {
            number += char(s[i++].unicode());
            digits = true;
        }
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i].toUpper() == u'E' || s[i].toUpper() == u'D')) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            exponent += char(s[j++].unicode());
        bool expDigits = false;
        while (j < s.size() && isAsciiDigit(s[j])) {
            exponent += char(s[j++].unicode());
            expDigits = true;
        }
        if (expDigits)
            number += exponent;
    }
    double value = 0;
    const char* first = number.data();
    if (*first == '+')
        ++first;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const bool negative = number[0] == '-';
        const bool tiny = number.find("e-") != std::string::npos;
        if (tiny)
            return negative ? -0.0 : 0.0;
        return negative ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    return value;
}

bool isNumericText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    // Plain digits, the usual key, are a number in every locale.
    const qsizetype first = (t[0] == u'-' || t[0] == u'+') ? 1 : 0;
    if (t.size() > first
        && std::all_of(t.begin() + first, t.end(), [](QChar c) { return isAsciiDigit(c); }))
        return true;
    bool ok = false;
    QLocale().toDouble(t, &ok);
    // The locale's conversion also takes "inf", "nan" and "infinity", which are letters.
    if (ok && std::any_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return true;
    if (t.size() > 2 && t[0] == u'&' && (t[1].toUpper() == u'H' || t[1].toUpper() == u'O')) {
        double unused;
        return radixDigits(t.mid(2), t[1].toUpper() == u'H' ? 16 : 8, &unused);
    }
    return false;
}

bool isWholeKey(double value)
{
    return std::isfinite(value) && std::floor(value) == value
        && std::fabs(value) <= 9007199254740992.0;
}

QString numberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("0");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-9e999") : QStringLiteral("9e999");
    if (value == 0)
        return QStringLiteral("0");
    if (isWholeKey(value))
        return QString::number(qint64(value));
    // Whole numbers beyond a key's exact range keep plain digits too: a statement
    // never carries an exponent for them.
    if (std::floor(value) == value)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString keyCriterion(const QString& keyText)
{
    return QStringLiteral("id=") + numberText(leadingNumber(keyText));
}

std::optional<StoredNumber> storedNumber(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return StoredNumber(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return StoredNumber(value.toDouble());
    default:
        return std::nullopt;
    }
}

QString numberText(const StoredNumber& value)
{
    if (const auto* whole = std::get_if<qint64>(&value))
        return QString::number(*whole);
    return numberText(std::get<double>(value));
}

namespace {

    // The letters of the user's locale whose upper case is one other letter, and
    // those whose upper case is longer, found as they are first asked for. The cache
    // starts again when the locale changes.
    class UpperCase {
    public:
        static UpperCase& current()
        {
            thread_local UpperCase cache;
            const QLocale locale;
            if (cache.m_locale != locale) {
                cache = UpperCase();
                cache.m_locale = locale;
            }
            return cache;
        }

        char32_t of(char32_t letter)
        {
            if (letter < 0x80 && m_ascii[letter])
                return m_ascii[letter];
            const auto known = m_letters.constFind(letter);
            if (known != m_letters.cend())
                return *known;
            const char32_t upper = compute(letter);
            if (letter < 0x80)
                m_ascii[letter] = upper;
            else
                m_letters.insert(letter, upper);
            return upper;
        }

        // The texts that earlier versions wrote for one letter, with the length of
        // that letter.
        const QHash<QString, int>& expansions()
        {
            if (m_expansions.isEmpty()) {
                m_expansions.insert(QString(), 0); // computed, even if none is found
                for (char32_t c = 0x80; c < 0x10000; ++c) {
                    const QChar ch { char16_t(c) };
                    if (!ch.isLower() && !ch.isTitleCase())
                        continue;
                    const QString letter(ch);
                    for (const QString& upper : { letter.toUpper(), m_locale.toUpper(letter) })
                        if (upper.size() > 1)
                            m_expansions.insert(upper, 1);
                }
            }
            return m_expansions;
        }

    private:
        char32_t compute(char32_t letter) const
        {
            const QString single = QString::fromUcs4(&letter, 1);
            // A letter that is already upper case, or that has no upper case, stays.
            if (single.toUpper() == single && !QChar::isLower(letter)
                && !QChar::isTitleCase(letter))
                return letter;
            const QString upper = m_locale.toUpper(single);
            const QList<uint> points = upper.toUcs4();
            if (points.size() != 1 || upper.size() != single.size())
                return letter;
            return char32_t(points.front());
        }

        QLocale m_locale = QLocale::c();
        char32_t m_ascii[0x80] = {};
        QHash<char32_t, char32_t> m_letters;
        QHash<QString, int> m_expansions;
    };

    bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

    bool isLineSeparator(char16_t c) { return c == 0x2028 || c == 0x2029; }

    QString codePoint(char32_t c)
    {
        return QStringLiteral("U+%1").arg(QString::number(c, 16).toUpper(), 4, QLatin1Char('0'));
    }

    QString lengthProblem(qsizetype length, int limit)
    {
        return QStringLiteral("tiene %1 caracteres (máximo %2)").arg(length).arg(limit);
    }

    // UTF-16 units of valid UTF-8, counted without decoding: one for every byte that
    // starts a character, and one more for the four-byte ones.
    qsizetype utf16Length(QByteArrayView utf8)
    {
        qsizetype units = 0;
        for (const char byte : utf8) {
            const auto b = static_cast<unsigned char>(byte);
            units += (b & 0xC0) != 0x80;
            units += b >= 0xF0;
        }
        return units;
    }

}

QString upperCaseForm(const QString& text)
{
    // Text without lower-case letters is its own upper-case form in every locale.
    if (text.isUpper())
        return text;
    UpperCase& upper = UpperCase::current();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            const char32_t letter = upper.of(QChar::surrogateToUcs4(c, text[i + 1]));
            out += QChar(QChar::highSurrogate(letter));
            out += QChar(QChar::lowSurrogate(letter));
            ++i;
        } else if (c.isSurrogate()) {
            out += c;
        } else {
            out += QChar(char16_t(upper.of(c.unicode())));
        }
    }
    return out;
}

bool isKeyInRange(qint64 key) { return key >= -largestKey && key <= largestKey; }

std::optional<qint64> keyOf(const StoredNumber& stored)
{
    if (const auto* whole = std::get_if<qint64>(&stored))
        return isKeyInRange(*whole) ? std::optional(*whole) : std::nullopt;
    const double value = std::get<double>(stored);
    return isWholeKey(value) ? std::optional(qint64(value)) : std::nullopt;
}

namespace {
    // Beyond 2^52 a double has no room for a fraction, and beyond 2^53 not even for
    // every whole number, so the text could name a key other than the one read.
    bool heldExactly(const QString& text, double value)
    {
        QString digits = text.trimmed();
        if (digits.startsWith(QLatin1Char('+')))
            digits.remove(0, 1);
        const bool negative = digits.startsWith(QLatin1Char('-'));
        if (negative)
            digits.remove(0, 1);
        if (!digits.isEmpty() && std::all_of(digits.cbegin(), digits.cend(), isAsciiDigit)) {
            while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
                digits.remove(0, 1);
            if (negative && digits != QLatin1String("0"))
                digits.prepend(QLatin1Char('-'));
            return digits == numberText(value);
        }
        return std::fabs(value) < 4503599627370496.0;
    }
}

KeyReading readKey(const QString& text)
{
    KeyReading reading;
    using P = KeyReading::Problem;
    if (text.isEmpty()) {
        reading.problem = P::Missing;
        return reading;
    }
    if (!isNumericText(text)) {
        reading.problem = P::NotNumber;
        return reading;
    }
    const double value = leadingNumber(text);
    if (!isWholeKey(value)) {
        reading.problem = P::NotWhole;
        return reading;
    }
    reading.key = qint64(value);
    // The key is the leading number; a text such as "1,000" reads as a number as a
    // whole but leads with 1, so it would be stored as another number than it says.
    // (Hexadecimal and octal keys are numbers the locale does not read.)
    bool ok = false;
    const double whole = QLocale().toDouble(text.trimmed(), &ok);
    if (ok && whole != value)
        reading.problem = P::WouldChange;
    else if (!heldExactly(text, value))
        reading.problem = P::Inexact;
    return reading;
}

QString KeyReading::reason(const QString& text) const
{
    switch (problem) {
    case Problem::None:
        break;
    case Problem::Missing:
        return QStringLiteral("falta la clave");
    case Problem::NotNumber:
        return QStringLiteral("la clave «%1» no es un número").arg(text);
    case Problem::NotWhole:
        return QStringLiteral("la clave «%1» no es un número entero").arg(text);
    case Problem::WouldChange:
        return QStringLiteral("la clave «%1» se guardaría como %2").arg(text).arg(key);
    case Problem::Inexact:
        return QStringLiteral("la clave «%1» no se puede guardar exacta (el máximo es %2)")
            .arg(text)
            .arg(largestKey);
    }
    return QString();
}

int textLimit(TextColumn column)
{
    switch (column) {
    case TextColumn::Nombre:
    case TextColumn::Cancion:
        return 30;
    case TextColumn::Artista:
        return 25;
    case TextColumn::Descripcion:
        return 250;
    }
    return 0;
}

bool isRequired(TextColumn column)
{
    return column == TextColumn::Nombre || column == TextColumn::Descripcion;
}

QString textName(TextColumn column, int song)
{
    switch (column) {
    case TextColumn::Nombre:
        return QStringLiteral("el nombre");
    case TextColumn::Artista:
        return QStringLiteral("el artista");
    case TextColumn::Descripcion:
        return QStringLiteral("la descripción");
    case TextColumn::Cancion:
        break;
    }
    return QStringLiteral("la canción %1").arg(song);
}

qsizetype typedLength(const QString& stored)
{
    const QHash<QString, int>& expansions = UpperCase::current().expansions();
    // The fewest typed characters the text can have come from: each position is
    // reached from the one before it, or from the start of an expansion ending there.
    std::vector<qsizetype> fewest(size_t(stored.size()) + 1, 0);
    for (qsizetype end = 1; end <= stored.size(); ++end) {
        qsizetype best = fewest[size_t(end - 1)] + 1;
        for (qsizetype length = 2; length <= 3 && length <= end; ++length) {
            const auto found = expansions.constFind(stored.mid(end - length, length));
            if (found != expansions.cend())
                best = std::min(best, fewest[size_t(end - length)] + *found);
        }
        fewest[size_t(end)] = best;
    }
    return fewest.back();
}

QString characterProblem(TextColumn column, const QString& text)
{
    const bool lines = column == TextColumn::Descripcion;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (isControl(c)) {
            if (lines
                && (c == u'\n' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')))
                continue;
            return QStringLiteral("tiene un carácter de control (%1)").arg(codePoint(c));
        }
        if (isLineSeparator(c))
            return QStringLiteral("tiene un separador de líneas (%1)").arg(codePoint(c));
        char32_t point = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            point = QChar::surrogateToUcs4(c, text[++i].unicode());
        else if (QChar::isSurrogate(c))
            return QStringLiteral("tiene medio carácter suelto (%1)").arg(codePoint(c));
        if (QChar::isNonCharacter(point))
            return QStringLiteral("tiene un código reservado, que no es un carácter (%1)")
                .arg(codePoint(point));
    }
    return QString();
}

QString textProblem(TextColumn column, const QString& text)
{
    if (QString problem = characterProblem(column, text); !problem.isEmpty())
        return problem;
    const int limit = textLimit(column);
    // Counted only when it matters: most texts are far shorter than their column.
    if (text.size() > limit && typedLength(text) > limit)
        return lengthProblem(text.size(), limit);
    return QString();
}

QString storedTextProblem(TextColumn column, QByteArrayView utf8)
{
    const int limit = textLimit(column);
    // Earlier versions wrote at most three characters for one typed letter, and a
    // character takes at most four bytes: anything longer than that is too long
    // whatever it holds, and is not decoded.
    if (utf8.size() > qsizetype(limit) * 12)
        return lengthProblem(utf16Length(utf8), limit);
    // A text may begin with U+FEFF: it is kept, not taken for a byte-order mark.
    QStringDecoder decoder(QStringDecoder::Utf8,
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder.decode(utf8);
    if (decoder.hasError())
        return QStringLiteral("no es texto UTF-8 válido");
    return textProblem(column, text);
}

QString boxText(TextColumn column, const QString& typed)
{
    const bool lines = column == TextColumn::Descripcion;
    QString out;
    out.reserve(typed.size());
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < typed.size() && typed[i + 1].isLowSurrogate()) {
            if (!QChar::isNonCharacter(QChar::surrogateToUcs4(c, typed[i + 1]))) {
                out += c;
                out += typed[i + 1];
            }
            ++i;
        } else if (c.isSurrogate() || c.isNonCharacter()) {
            continue;
        } else if (u == u'\r' && i + 1 < typed.size() && typed[i + 1] == u'\n') {
            continue; // the line feed that follows makes the one break
        } else if (u == u'\n' || u == u'\r' || u == 0x0b || u == 0x0c || u == 0x85
            || isLineSeparator(u)) {
            out += lines ? QChar(u'\n') : QChar(u' ');
        } else if (u == u'\t') {
            out += QChar(u' ');
        } else if (!isControl(u)) {
            out += c;
        }
    }
    return out;
}

QString shownText(const QString& value)
{
    if (value.size() <= shownTextLimit)
        return value;
    qsizetype cut = shownTextLimit;
    if (value[cut - 1].isHighSurrogate())
        --cut;
    return value.left(cut) + QString::fromUtf16(shownTextMark);
}
}
