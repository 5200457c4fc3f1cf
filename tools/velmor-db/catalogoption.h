#pragma once

#include <QStringList>

namespace velmor::tool {

// The user's own catalogue, the one the launcher keeps in the user's program
// folder: $XDG_DATA_HOME/velmor/velmor.mdb, by default ~/.local/share/velmor/velmor.mdb.
QString userCatalog();

// Takes --catalogo (the user's catalogue) or --catalogo=RUTA out of the arguments,
// wherever it stands before a "--", into catalog (left empty when absent). The
// value is never the next argument, so that no file name is taken for the
// catalogue by mistake. False when the option is given twice or with an empty value.
bool takeCatalogOption(QStringList& arguments, QString& catalog);

// Puts the catalogue among a command's arguments before its position-th argument
// that is not an option, where the command expects it.
void placeCatalog(QStringList& args, const QString& catalog, int position);

// The help's paragraph on the option, naming where the user's catalogue is.
QString catalogNote();

// The message for an option given twice or with an empty value.
QString catalogOptionMisused();

}
