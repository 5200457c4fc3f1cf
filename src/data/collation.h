#pragma once

#include <string_view>

struct sqlite3;

namespace velmor {

// Catalogue text order: Spanish alphabetical order in which letter case does not
// count and accents do (Ñ after N). Results are negative, zero or positive.
int compareCatalogText(std::string_view a, std::string_view b);
// The same order, always worked out by the collator (the reference for the above).
int compareCatalogTextSlow(std::string_view a, std::string_view b);

// Makes the connection compare its NOCASE columns in catalogue text order.
void installCatalogCollation(sqlite3* db);

}
