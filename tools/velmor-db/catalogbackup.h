#pragma once

#include "catalogcheck.h"

#include <QString>
#include <QStringList>
#include <functional>

struct sqlite3;

namespace velmor::tool {

class Progress;

// How a copy goes through the engine's online backup: a few pages at a time, so
// that the catalogue is locked only for one short step while the program that has
// it open keeps working. betweenSteps runs after each step that leaves pages to copy.
struct CopyPacing {
    int pagesPerStep = 256;
    std::function<void()> betweenSteps;
};

// Copies the catalogue file at source, as last committed, into the open database
// to (an empty file or memory). Throws DataError naming the source, also when a
// program writing it does not let go within a few seconds.
void copyCatalog(
    const QString& source, sqlite3* to, Progress& progress, const CopyPacing& pacing = {});

struct BackupResult {
    qint64 cds = 0;
    CheckReport check; // verificar's report on the copy, as written
    QStringList setAside; // another catalogue's journals found beside the destination
};

// Copies the catalogue at source into a new file at destination through the online
// backup: the copy holds what was committed when the last step ran, even while
// another connection writes, and is in rollback-journal mode whatever the
// catalogue's. The copy is written beside the destination and put in its place only
// when complete (see NewFile), so nothing is left behind on failure; an existing
// destination is never replaced. Throws DataError naming the file that failed.
BackupResult backupCatalog(const QString& source, const QString& destination, Progress& progress,
    const CopyPacing& pacing = {});

struct RestoreResult {
    CheckReport check; // verificar's report on the copy
    bool restored = false;
    QString previous; // where the replaced catalogue is kept; empty when there was none
    QStringList setAside; // another catalogue's journals found beside path
};

// Checks the copy as verificar does and, when it is sound, puts a copy of it in
// path's place in one rename, the file it replaces kept as path + ".anterior", or
// as the first free one of ".anterior.1", ".anterior.2"… when that name is taken
// (so that restoring the ".anterior" copy undoes a restore). Refuses (DataError)
// when path is not a catalogue, is read-only, or another program is reading or
// writing it; then, as on every failure, path is left untouched.
RestoreResult restoreCatalog(const QString& copy, const QString& path, Progress& progress);

// The first name under which restoreCatalog keeps the catalogue it replaces.
QString previousCatalogPath(const QString& path);

}
