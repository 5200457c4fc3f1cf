#pragma once

#include <QList>
#include <QStringList>

namespace velmor::tool {

class Progress;

// The catalogue tables of an Access/Jet file: rows of id, nombre, artista,
// descripcion and rows of id, cancion1 … cancion20, as texts.
struct AccessRows {
    QList<QStringList> datos;
    QList<QStringList> canciones;
};

// What the reading process may use before it is stopped.
struct ReadoutLimits {
    int cpuSeconds = 300;
    qint64 memoryBytes = qint64(1) << 30; // beyond what the process has at the start
    // Without sending anything: the catalogue and each table are read in well
    // under a second, and rows then come in a steady stream.
    int silentSeconds = 20;
    qint64 dataBytes = qint64(1) << 30; // rows received in all
};

// The library that reads Access/Jet files trusts the file: a damaged one can make
// it crash, loop or take memory without end. So the file is read in a child
// process under limits, and the rows come back through a pipe. Any failure there
// throws DataError with a Spanish description naming the file.
AccessRows readAccessCatalog(
    const QString& path, Progress& progress, const ReadoutLimits& limits = ReadoutLimits());

}
