#include "catalogreport.h"

#include "progress.h"
#include "reportlayout.h"

#include <QDate>
#include <QFileInfo>
#include <QLocale>

namespace velmor::tool {

std::optional<ReportFormat> reportFormatFor(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return ReportFormat::Html;
    return std::nullopt;
}

ReportResult writeReport(const QString& path, QIODevice& out, ReportFormat format,
    ReportOptions options, Progress& progress)
{
    ReportSource source(path, options);
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    const QString date
        = QStringLiteral("Informe del %1")
              .arg(spanish.toString(QDate::currentDate(), QStringLiteral("d 'de' MMMM 'de' yyyy")));
    const QString file = QFileInfo(path).fileName();
    ReportResult result;
    result.cds = source.counts().cds;
    result.artists = source.counts().artists;
    result.songs = source.counts().songs;
    if (format == ReportFormat::Pdf)
        result.pages = writePdfReport(source, out, file, date, progress);
    else
        writeHtmlReport(source, out, file, date, progress);
    progress.finish();
    return result;
}

}
