#include "valuerules.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

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

QString upperCaseForm(const QString& text)
{
    // Text without lower-case letters is its own upper-case form in every locale.
    if (text.isUpper())
        return text;
    return QLocale().toUpper(text);
}

}
