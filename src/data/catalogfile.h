#pragma once

#include <QString>

namespace velmor {

class Connection;

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
    // tables (real tables, not views) with their columns in order. Throws DataError
    // naming the path. Changes nothing on disk, except that a write interrupted
    // half-way is rolled back (see Connection::open); its numbers tell a file that
    // is in use (InUse) or needs a writable copy (InterruptedWrite) from a bad one.
    void check(const QString& path);

    // The part of the check made before the engine opens the file: it exists, is a
    // regular file (not a folder, pipe or device) and starts like a catalogue.
    void checkFileKind(const QString& path);
    // The part made on an open connection: both tables and their columns.
    void checkTables(Connection& connection);

    // Recognises the first bytes of an Access/Jet database.
    bool looksLikeAccess(const QByteArray& header);
}

}
