#pragma once

#include <QString>

namespace velmor::tool {

// A write killed half-way (power loss, a crash) leaves a hot rollback journal
// beside the catalogue. The engine undoes it only on a connection that may
// write, so every command opens such a file read-write once (never creating it)
// before anything else reads it. Throws DataError with a Spanish description
// naming the file when the write cannot be undone: the file is read-only, or
// another program holds it.
void rollBackInterruptedWrite(const QString& path);

// The engine's result code as a Spanish phrase for messages about a catalogue.
QString engineProblem(int rc);

}
