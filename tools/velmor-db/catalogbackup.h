#pragma once

#include "catalogcheck.h"

#include <QString>
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
};

// Copies the catalogue at source into a new file at destination through the online
// backup: the copy holds what was committed when the last step ran, even while
// another connection writes. The copy is written beside the destination and put in
// its place only when complete, so nothing is left behind on failure; an existing
// destination is never replaced. Throws DataError naming the file.
BackupResult backupCatalog(const QString& source, const QString& destination, Progress& progress,
    const CopyPacing& pacing = {});

struct RestoreResult {
    CheckReport check; // verificar's report on the copy
    bool restored = false;
    QString previous; // where the replaced catalogue is kept; empty when there was none
};

// Checks the copy as verificar does and, when it is sound, puts a copy of it in
// path's place in one rename, the file it replaces kept as path + ".anterior".
// Refuses (DataError) when that name is taken or another program is reading or
// writing the catalogue; then, as on every failure, path is left untouched.
RestoreResult restoreCatalog(const QString& copy, const QString& path, Progress& progress);

// The name under which restoreCatalog keeps the catalogue it replaces.
QString previousCatalogPath(const QString& path);

}
