#pragma once

#include <QString>

class QIODevice;

namespace velmor::tool {

class Progress;
class ReportSource;

// Lays the catalogue out on A4 pages and writes it as PDF: on the first page a
// heading with the counts, then, for the full report, every CD in two columns a
// page, its songs in two columns of their own, under a heading for each artist
// that is repeated with "(continúa)" where a column goes on with it; a CD is split
// only when it is longer than a column. An index of artists with the page where
// each starts ends it. A list has one line a CD under the names of its columns,
// repeated on every page. Every page bears "Página N de M". The source is walked
// twice: first to measure where everything falls, which gives M and the index's
// pages, then to draw. Needs a QGuiApplication. Returns the number of pages.
int writePdfReport(ReportSource& source, QIODevice& out, const QString& fileName,
    const QString& date, Progress& progress);

// The same content as HTML, in one walk: a print style sheet keeps each CD whole
// on a page and numbers the pages; every stored text is escaped.
void writeHtmlReport(ReportSource& source, QIODevice& out, const QString& fileName,
    const QString& date, Progress& progress);

}
