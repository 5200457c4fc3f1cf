#pragma once

#include <QByteArrayView>
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

// Every letter in upper case as the user's locale defines it, letter by letter and
// keeping the length: a letter whose upper case is more than one letter ("ß", "ﬁ")
// stays as it is, so that a text that fits its box fits its column. Letters that are
// already upper case stay too. Applying it twice changes nothing more.
QString upperCaseForm(const QString& text);

// True when the value is a whole number that a key column can hold exactly.
bool isWholeKey(double value);

// Keys. A key is a whole number from -2^53 to 2^53: beyond that a number typed, searched
// for or read as a double may name another key.
inline constexpr qint64 largestKey = 9007199254740992;
bool isKeyInRange(qint64 key);
// The key a stored number holds, when it is whole and in range.
std::optional<qint64> keyOf(const StoredNumber& stored);

// A key as written in a box or a file: numeric text (surrounding blanks allowed) whose
// leading number is a key, and which names that number exactly in the user's locale.
struct KeyReading {
    enum class Problem { None, Missing, NotNumber, NotWhole, WouldChange, Inexact };
    Problem problem = Problem::None;
    qint64 key = 0;
    // Why the text is no key, in Spanish ("la clave «1,5» no es un número entero").
    QString reason(const QString& text) const;
};
KeyReading readKey(const QString& text);

// The texts of a CD record and the rules they follow.
enum class TextColumn { Nombre, Artista, Descripcion, Cancion };
// The most characters a value holds: 30, 25, 250 and 30. A character is a UTF-16 code
// unit, as the boxes count them: a letter outside the basic plane counts twice.
int textLimit(TextColumn column);
// The name and the description may not be empty; the artist and the songs may.
bool isRequired(TextColumn column);
// The text as messages name it: "el nombre", "el artista", "la descripción", "la
// canción 3".
QString textName(TextColumn column, int song = 0);

// The length a stored text is held to: its characters, each letter that earlier
// versions stored upper-cased as two or three ("SS" for "ß", "FI" for "ﬁ") counting
// once, as it was typed.
qsizetype typedLength(const QString& stored);

// What makes a text no value of its column, in Spanish ("tiene 31 caracteres (máximo
// 30)", "tiene un carácter de control (U+0009)"); empty when it is one. Every text may
// hold any Unicode character except controls (U+0000 to U+001F, U+007F to U+009F),
// the line and paragraph separators U+2028 and U+2029, halves of surrogate pairs and
// the codes Unicode reserves as no characters (U+FDD0 to U+FDEF, U+FFFE, U+FFFF and
// their like in every plane), which spreadsheet files cannot hold; the description
// also holds line breaks, LF or CR LF.
QString textProblem(TextColumn column, const QString& text);
// The part of textProblem that looks at the characters only.
QString characterProblem(TextColumn column, const QString& text);
// The same for a value as the catalogue file holds it, in UTF-8; a value that is no
// valid UTF-8 is refused, and a very long one is measured without decoding it whole.
QString storedTextProblem(TextColumn column, QByteArrayView utf8);

// What the boxes of the form let through of a typed or pasted text: tabs and line
// breaks become a blank (in the description, line breaks stay as LF), other controls,
// halves of surrogate pairs and reserved codes are left out. The result has no character that
// textProblem refuses, and is never longer than the text.
QString boxText(TextColumn column, const QString& typed);

// Texts are shown whole up to this many characters; a longer one (never made by this
// program) is cut there and ends in shownTextMark. Record sources read no more than
// one character beyond it, so that the readers can tell a cut value from a whole one.
inline constexpr qsizetype shownTextLimit = 65536;
inline constexpr char16_t shownTextMark[] = u" [\u2026]";
QString shownText(const QString& value);
}
