#pragma once

#include "cdrecord.h"

#include <QList>
#include <QStringList>
#include <vector>

namespace velmor::tool {

class Progress;

struct CdMapping {
    std::vector<CdRecord> records; // ordered by key
    QStringList withoutSongs; // CDs brought over with empty songs, one line each
    QStringList leftOut; // rows that could not be brought over, with the reason
};

// Pairs the rows of an older catalogue into CD records by key. datos holds rows of
// id, nombre, artista, descripcion; canciones rows of id, cancion1 … cancion20, as
// texts. Texts are kept as they are; a key must be a whole number within the key
// range, and a CD whose texts break the value rules (too long, control characters) is
// left out with the reasons.
CdMapping mapCatalogRows(const QList<QStringList>& datos, const QList<QStringList>& canciones);

// Reads the catalogue tables of an Access/Jet file and writes them to a new
// catalogue file, which must not exist yet. The Access file is only read. Throws
// DataError when either file cannot be used; a half-written new file is removed.
CdMapping convertCatalog(const QString& accessPath, const QString& newPath, Progress& progress);

}
