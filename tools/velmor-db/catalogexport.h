#pragma once

#include <QString>

class QIODevice;

namespace velmor::tool {

class Progress;

// Plain: RFC 4180 with ',' between fields. Spreadsheet: what spreadsheets set to a
// Spanish locale open directly: ';' between fields and a byte-order mark that tells
// them the text is UTF-8. OpenDocument: a spreadsheet file whose cells keep their
// values as they are (see OdsWriter).
enum class ExportForm { Plain, Spreadsheet, OpenDocument };

struct ExportResult {
    qint64 cds = 0;
    bool written = true; // false when the output refused a write
    // Why a CD cannot go into the spreadsheet file, which is then incomplete.
    QString refusal;
};

// Writes every CD record of the catalogue ordered by key, after a header row
// naming the columns. A CD whose songs row is missing gets empty songs. Throws
// DataError when the catalogue cannot be read.
ExportResult exportCatalog(
    const QString& path, QIODevice& out, Progress& progress, ExportForm form = ExportForm::Plain);
}
