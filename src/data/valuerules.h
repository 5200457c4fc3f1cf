#pragma once

#include <QString>

namespace velmor {

// Value rules shared by the catalogue commands, the look-ups and the search.

// The number a text begins with: blanks, tabs and line feeds anywhere are skipped;
// then an optional sign, digits, at most one full stop and an optional exponent
// (E or D), or &H / &O followed by hexadecimal or octal digits. 0 when the text
// begins with no number.
double leadingNumber(const QString& text);

// True when the user's locale reads the whole text (blanks around it allowed) as a
// number: sign, decimal and group separators and an exponent are accepted.
bool isNumericText(const QString& text);

// A number as written into statements and criteria: a whole number as plain
// digits (minus sign when negative), otherwise with a full stop whatever the locale.
QString numberText(double value);

// "id=" followed by the leading number of the key text.
QString keyCriterion(const QString& keyText);

// Every letter in upper case as the user's locale defines it.
QString upperCaseForm(const QString& text);

// True when the value is a whole number that a key column can hold exactly.
bool isWholeKey(double value);

}
