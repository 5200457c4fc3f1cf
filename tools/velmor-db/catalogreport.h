#pragma once

#include "reportsource.h"

#include <QString>
#include <optional>

class QIODevice;

namespace velmor::tool {

class Progress;

enum class ReportFormat { Pdf, Html };

// The format a report file's name asks for (.pdf, .html or .htm, in any case).
std::optional<ReportFormat> reportFormatFor(const QString& fileName);

struct ReportResult {
    qint64 cds = 0;
    qint64 artists = 0; // different non-empty artists, letter case aside
    qint64 songs = 0; // song titles that are not empty
    int pages = 0; // of a PDF report
};

// Writes a printable catalogue (see writePdfReport and writeHtmlReport): every CD
// grouped by artist and ordered by artist and name in catalogue text order, or by
// key, or as a list. The catalogue is read from a snapshot taken through the online
// backup, so it is locked only for that copy. A PDF needs a QGuiApplication. Throws
// DataError when the catalogue cannot be read.
ReportResult writeReport(const QString& path, QIODevice& out, ReportFormat format,
    ReportOptions options, Progress& progress);
}
