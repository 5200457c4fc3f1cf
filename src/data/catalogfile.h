#pragma once

#include <QString>

namespace velmor {

// The catalogue file: where it lives, how it is made, and the check that a file
// really is a catalogue before any record source reads it.
namespace CatalogFile {
    inline constexpr const char* fileName = "velmor.mdb";

    // Directory of the executable joined with the file name, unless a test has
    // pointed it elsewhere with setPathOverride.
    QString path();
    void setPathOverride(const QString& path);

    // Column names of both tables, in order.
    const QStringList& datosCdColumns();
    const QStringList& cancionesColumns();

    // Creates an empty catalogue; refuses to touch an existing file.
    // Throws DataError with a Spanish description.
    void create(const QString& path);

    // Checks existence, file format (naming an Access/Jet file as such), and both
    // tables with their columns in order. Throws DataError naming the path.
    // Changes nothing on disk.
    void check(const QString& path);

    // Recognises the first bytes of an Access/Jet database.
    bool looksLikeAccess(const QByteArray& header);
}

}
