#pragma once

#include <string>
#include <string_view>

struct sqlite3;
struct UCollator;

namespace velmor {

// Catalogue text order: Spanish alphabetical order in which letter case does not
// count and accents do (Ñ after N). Results are negative, zero or positive.
int compareCatalogText(std::string_view a, std::string_view b);
// The same order, always worked out by the collator (the reference for the above).
int compareCatalogTextSlow(std::string_view a, std::string_view b);

// A text as that order reads it: in upper case and then case-folded (broken UTF-8
// sequences read as U+FFFD). Texts equal in catalogue order have forms that the
// collator below finds equal. False when ICU cannot work it out.
bool catalogComparisonForm(std::string_view utf8, std::u16string* form);

// The collator behind that order: Spanish, secondary strength (letter case does
// not count, accents do). Null when ICU has no Spanish data; never to be closed.
const UCollator* catalogCollator();

// Makes the connection compare its NOCASE columns in catalogue text order.
void installCatalogCollation(sqlite3* db);

}
