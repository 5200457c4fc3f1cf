#include "reportlayout.h"

#include "reportsource.h"

#include <QIODevice>
#include <QLocale>
#include <QTextStream>

namespace velmor::tool {

namespace {
    const QString title = QStringLiteral("Catálogo de CD");

    QString counted(qint64 n, const char* one, const char* many)
    {
        return QLocale(QLocale::Spanish, QLocale::Spain).toString(n) + QLatin1Char(' ')
            + QString::fromUtf8(n == 1 ? one : many);
    }

    // Each line of a stored text escaped, joined by line breaks.
    QString escapedLines(const QString& text)
    {
        QString plain = text;
        plain.remove(QLatin1Char('\r'));
        return plain.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    }

    const char* const styleSheet = R"(@page {
  size: A4; margin: 11mm 13mm 14mm;
  @bottom-center { content: "Página " counter(page) " de " counter(pages); font: 7.5pt sans-serif; }
}
body { font-family: "Liberation Sans Narrow", "DejaVu Sans Condensed", sans-serif; font-size: 7.5pt; }
header h1 { font: bold 16pt "Liberation Sans", sans-serif; margin: 0; }
header p { margin: 2pt 0 8pt; padding-bottom: 3pt; color: #464646; border-bottom: 0.5pt solid #969696; }
.cuerpo { columns: 2; column-gap: 14pt; }
h2 { font-size: 10pt; margin: 6pt 0 2pt; border-bottom: 0.5pt solid #969696; break-after: avoid; }
.cd { break-inside: avoid; margin-bottom: 5pt; }
.cd h3 { font-size: 8.5pt; margin: 0; display: flex; justify-content: space-between; gap: 6pt; }
.clave { font-weight: normal; font-size: 7pt; color: #646464; }
.cd p { margin: 0; color: #282828; }
.cd .artista { font-weight: bold; color: #5a5a5a; }
.cd ol { columns: 2; column-gap: 8pt; margin: 1.5pt 0 0; padding-left: 14pt; }
.cd li::marker { color: #6e6e6e; font-size: 7pt; }
.indice { break-before: page; }
.indice ul { columns: 3; column-gap: 14pt; list-style: none; padding: 0; margin: 0; }
.indice li { display: flex; justify-content: space-between; gap: 6pt; break-inside: avoid; }
.lista { width: 100%; border-collapse: collapse; font-size: 9pt; }
.lista thead { display: table-header-group; }
.lista th { text-align: left; border-bottom: 0.5pt solid #969696; }
.lista tr { break-inside: avoid; }
.lista .n { text-align: right; }
@media screen { body { max-width: 60em; margin: 1em auto; } }
)";
}

void writeHtmlReport(ReportSource& source, QIODevice& device, const QString& fileName,
    const QString& date, Progress& progress)
{
    QTextStream out(&device);
    const ReportCounts& counts = source.counts();
    const ReportOptions& options = source.options();
    const QString info = QStringList { fileName, counted(counts.cds, "CD", "CD"),
        counted(counts.artists, "artista", "artistas"),
        counted(counts.songs, "canción", "canciones"), date }
                             .join(QStringLiteral(" · "));
    out << "<!DOCTYPE html>\n<html lang=\"es\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << title
        << " — " << fileName.toHtmlEscaped() << "</title>\n<style>\n"
        << styleSheet << "</style>\n</head>\n<body>\n<header><h1>" << title << "</h1><p>"
        << info.toHtmlEscaped() << "</p></header>\n";

    if (options.list) {
        out << "<table class=\"lista\">\n<thead><tr><th class=\"n\">Clave</th><th>Nombre</th>"
               "<th>Artista</th><th class=\"n\">Canciones</th></tr></thead>\n<tbody>\n";
        source.walk(
            [&](const ReportCd& cd) {
                out << "<tr><td class=\"n\">" << cd.key.toHtmlEscaped() << "</td><td>"
                    << cd.nombre.toHtmlEscaped() << "</td><td>" << cd.artista.toHtmlEscaped()
                    << "</td><td class=\"n\">" << cd.songs << "</td></tr>\n";
            },
            progress, 0, counts.cds);
        out << "</tbody>\n</table>\n</body>\n</html>\n";
        out.flush();
        return;
    }

    out << "<main class=\"cuerpo\">\n";
    qint64 anchors = 0;
    bool inSection = false;
    source.walk(
        [&](const ReportCd& cd) {
            QString anchor;
            if (cd.firstOfArtist) {
                anchor = QStringLiteral("a%1").arg(++anchors);
                source.noteArtist(cd.artista, anchors);
                out << (inSection ? "</section>\n" : "") << "<section>\n<h2 id=\"" << anchor
                    << "\">" << ReportSource::artistHeading(cd.artista).toHtmlEscaped()
                    << "</h2>\n";
                inSection = true;
                anchor.clear();
            } else if (options.byKey && source.noteArtist(cd.artista, anchors + 1)) {
                anchor = QStringLiteral("a%1").arg(++anchors);
            }
            out << "<div class=\"cd\"" << (anchor.isEmpty() ? QString() : " id=\"" + anchor + '"')
                << ">\n<h3><span>" << cd.nombre.toHtmlEscaped() << "</span><span class=\"clave\">"
                << cd.key.toHtmlEscaped() << "</span></h3>\n";
            if (options.byKey) {
                out << "<p class=\"artista\">"
                    << ReportSource::artistHeading(cd.artista).toHtmlEscaped() << "</p>\n";
            }
            if (!cd.descripcion.isEmpty())
                out << "<p>" << escapedLines(cd.descripcion) << "</p>\n";
            if (cd.songs > 0) {
                out << "<ol>";
                for (int i = 0; i < songCount; ++i) {
                    const QString& song = cd.canciones[size_t(i)];
                    if (!song.isEmpty())
                        out << "<li value=\"" << i + 1 << "\">" << song.toHtmlEscaped() << "</li>";
                }
                out << "</ol>\n";
            }
            out << "</div>\n";
        },
        progress, 0, counts.cds);
    out << (inSection ? "</section>\n" : "")
        << "</main>\n<nav class=\"indice\">\n<h2>Índice de "
           "artistas</h2>\n<ul>\n";
    source.walkArtists([&](const QString& heading, qint64 place) {
        out << "<li><a href=\"#a" << place << "\">" << heading.toHtmlEscaped() << "</a></li>\n";
    });
    out << "</ul>\n</nav>\n</body>\n</html>\n";
    out.flush();
}

}
