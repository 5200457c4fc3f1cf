#pragma once

#include "cdrecord.h"

#include <QByteArrayView>
#include <QList>
#include <QStringList>
#include <optional>

class QIODevice;

namespace velmor::tool {

class Progress;

// The columns of a CSV line: the datos_cd columns, then cancion1 to cancion20.
const QStringList& csvColumns();

// A CD record from the texts of one CSV line, by the value rules the catalogue form
// saves with (see data/valuerules.h), or nullopt with every reason for refusing it in
// reasons.
std::optional<CdRecord> cdFromFields(const QStringList& fields, QStringList& reasons);

struct RefusedLine {
    int line;
    QString reason;
};

struct ImportResult {
    qint64 cds = 0; // stored, 0 whenever a line was refused
    qint64 replaced = 0; // of those, CDs whose key was already stored
    qint64 unchanged = 0; // CDs stored already as the file has them, left as they were
    QList<RefusedLine> refused;
    bool sheet = false; // read from a spreadsheet file, whose lines are rows
};

// Add refuses a line whose key is already stored; Replace puts the line's CD in
// place of the stored one, both rows.
enum class ImportMode { Add, Replace };

// Stores every CD record of the CSV in the catalogue in one transaction, or none
// when any line is refused (a repeated key included). Throws DataError when the
// catalogue cannot be opened or written. The CSV is read from the device as a
// stream. An OpenDocument spreadsheet (recognised by its content, read from a file
// that allows seeking) is read the same way, a row for a line.
ImportResult importCatalog(
    const QString& path, QIODevice& csv, Progress& progress, ImportMode mode = ImportMode::Add);
ImportResult importCatalog(
    const QString& path, QByteArrayView csv, Progress& progress, ImportMode mode = ImportMode::Add);

}
