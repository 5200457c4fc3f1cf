#pragma once

#include <QString>
#include <QVariant>
#include <optional>
#include <variant>

namespace velmor {

// Value rules shared by the catalogue commands, the look-ups and the search.

// The number a text begins with: blanks, tabs and line feeds anywhere are skipped;
// then an optional sign, digits, at most one full stop and an optional exponent
// (E or D), or &H / &O followed by hexadecimal or octal digits. 0 when the text
// begins with no number.
double leadingNumber(const QString& text);

// True when the user's locale reads the whole text (blanks around it allowed) as a
// number: sign, decimal and group separators and an exponent are accepted. A text
// without a digit ("inf", "nan", a lone sign) is no number.
bool isNumericText(const QString& text);

// A number as written into statements and criteria: a whole number as plain
// digits (minus sign when negative), otherwise with a full stop whatever the locale.
QString numberText(double value);

// "id=" followed by the leading number of the key text.
QString keyCriterion(const QString& keyText);

// A number read from a catalogue file; a whole number keeps every digit.
using StoredNumber = std::variant<qint64, double>;

// The number a value read from a catalogue file holds; none for text, blobs and
// nulls, whatever they look like, so that nothing read from a file becomes SQL.
std::optional<StoredNumber> storedNumber(const QVariant& value);

// A stored number as written into statements and criteria (see numberText).
QString numberText(const StoredNumber& value);

// Every letter in upper case as the user's locale defines it.
QString upperCaseForm(const QString& text);

// True when the value is a whole number that a key column can hold exactly.
bool isWholeKey(double value);

}
