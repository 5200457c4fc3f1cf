#include "catalogreport.h"

#include "catalogbackup.h"
#include "cdrecord.h"
#include "progress.h"
#include "sqlitehandle.h"

#include "data/catalogfile.h"
#include "data/collation.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/valuerules.h"

#include <QAbstractTextDocumentLayout>
#include <QDate>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <memory>
#include <sqlite3.h>

namespace velmor::tool {

namespace {

    const QString title = QStringLiteral("Catálogo de CD");

    QString columnText(sqlite3_stmt* statement, int column)
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
    }

    QStringList lines(const QString& text)
    {
        static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
        return text.split(lineEnd);
    }

    QString counted(qint64 n, const char* one, const char* many)
    {
        return QLocale(QLocale::Spanish, QLocale::Spain).toString(n) + QLatin1Char(' ')
            + QString::fromUtf8(n == 1 ? one : many);
    }

    // The catalogue as it was when the report started, in memory, with the
    // catalogue's text order for its NOCASE comparisons.
    class Snapshot {
    public:
        explicit Snapshot(const QString& path)
            : m_path(path)
        {
            CatalogFile::check(path);
            sqlite3* raw = nullptr;
            const int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
            m_db.reset(raw);
            if (rc != SQLITE_OK)
                fail(rc);
            Progress quiet(nullptr, QString(), false);
            copyCatalog(path, raw, quiet);
            installCatalogCollation(raw);
        }

        SqliteStatement prepare(const QByteArray& sql) const
        {
            sqlite3_stmt* statement = nullptr;
            const int rc = sqlite3_prepare_v2(m_db.get(), sql.constData(), -1, &statement, nullptr);
            SqliteStatement owned(statement);
            if (rc != SQLITE_OK)
                fail(rc);
            return owned;
        }

        qint64 number(const QByteArray& sql) const
        {
            const SqliteStatement statement = prepare(sql);
            const int rc = sqlite3_step(statement.get());
            if (rc != SQLITE_ROW)
                fail(rc);
            return sqlite3_column_int64(statement.get(), 0);
        }

        [[noreturn]] void fail(int rc) const
        {
            throw engineError(rc, m_path,
                QString::fromUtf8(m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc)));
        }

    private:
        QString m_path;
        SqliteDatabase m_db;
    };

    QByteArray songSum()
    {
        QByteArray sum;
        for (int i = 1; i <= songCount; ++i)
            sum += QByteArray(i > 1 ? " + " : "") + "(coalesce(c.cancion" + QByteArray::number(i)
                + ", '') <> '')";
        return sum;
    }

    QByteArray cdQuery()
    {
        QByteArray sql = "select d.id, d.nombre, d.artista, d.descripcion";
        for (int i = 1; i <= songCount; ++i)
            sql += ", c.cancion" + QByteArray::number(i);
        sql += " from datos_cd d left join canciones c on c.id = d.id order by d.artista collate "
               "nocase, d.nombre collate nocase, d.id";
        return sql;
    }

    class ReportWriter {
    public:
        virtual ~ReportWriter() = default;
        virtual void titlePage(const ReportResult& counts, const QString& file, const QString& date)
            = 0;
        virtual void artist(const QString& name) = 0;
        virtual void cd(const QString& key, const CdRecord& cd) = 0;
        virtual void finish() = 0;
        virtual int pages() const { return 0; }
    };

    // Artists that differ only in letter case share a heading, shown as the
    // catalogue form stores texts.
    QString artistHeading(const QString& name)
    {
        return name.isEmpty() ? QStringLiteral("Sin artista") : upperCaseForm(name);
    }

    QString songLine(int index, const QString& song)
    {
        return QStringLiteral("%1. %2").arg(index + 1).arg(song);
    }

    class HtmlReport final : public ReportWriter {
    public:
        explicit HtmlReport(QIODevice& out)
            : m_out(&out)
        {
        }

        void titlePage(
            const ReportResult& counts, const QString& file, const QString& date) override
        {
            m_out
                << "<!DOCTYPE html>\n<html lang=\"es\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
                << title << " — " << file.toHtmlEscaped() << "</title>\n<style>\n"
                << "@page { size: A4; margin: 18mm 20mm; @bottom-center { content: \"Página \" "
                   "counter(page); } }\n"
                << "body { font-family: sans-serif; font-size: 10pt; }\n"
                << ".portada { text-align: center; padding-top: 30vh; break-after: page; }\n"
                << ".cd { break-inside: avoid; }\n"
                << "h2 { break-after: avoid; margin-top: 1.4em; }\n"
                << "h3 { margin: 1em 0 0.2em; font-size: 11pt; }\n"
                << ".clave { font-weight: normal; color: #555; font-size: 9pt; }\n"
                << "p { margin: 0.1em 0 0.1em 1.5em; }\n"
                << "</style>\n</head>\n<body>\n<section class=\"portada\">\n<h1>" << title
                << "</h1>\n<p>" << file.toHtmlEscaped() << "</p>\n<p>"
                << counted(counts.cds, "CD", "CD") << "<br>"
                << counted(counts.artists, "artista", "artistas") << "<br>"
                << counted(counts.songs, "canción", "canciones") << "</p>\n<p>" << date
                << "</p>\n</section>\n";
        }

        void artist(const QString& name) override
        {
            m_out << "<h2>" << artistHeading(name).toHtmlEscaped() << "</h2>\n";
        }

        void cd(const QString& key, const CdRecord& cd) override
        {
            m_out << "<div class=\"cd\">\n<h3>" << cd.nombre.toHtmlEscaped()
                  << " <span class=\"clave\">clave " << key.toHtmlEscaped() << "</span></h3>\n";
            if (!cd.descripcion.isEmpty()) {
                QStringList escaped;
                for (const QString& line : lines(cd.descripcion))
                    escaped << line.toHtmlEscaped();
                m_out << "<p>" << escaped.join(QStringLiteral("<br>")) << "</p>\n";
            }
            // Numbered as the catalogue numbers them, empty songs between included.
            for (int i = 0; i < songCount; ++i) {
                const QString& song = cd.canciones[size_t(i)];
                if (!song.isEmpty())
                    m_out << "<p>" << songLine(i, song).toHtmlEscaped() << "</p>\n";
            }
            m_out << "</div>\n";
        }

        void finish() override
        {
            m_out << "</body>\n</html>\n";
            m_out.flush();
        }

    private:
        QTextStream m_out;
    };

    // Lays each CD out on its own and places it on the page where it fits whole,
    // so that a CD is split only when it is longer than a page and memory stays
    // the same however large the catalogue is.
    class PdfReport final : public ReportWriter {
    public:
        explicit PdfReport(QIODevice& out)
            : m_writer(&out)
        {
            m_writer.setPageSize(QPageSize(QPageSize::A4));
            m_writer.setPageMargins(QMarginsF(20, 18, 20, 14), QPageLayout::Millimeter);
            m_writer.setTitle(title);
            m_writer.setCreator(QStringLiteral("velmor-db"));
            const QRect area = m_writer.pageLayout().paintRectPixels(m_writer.resolution());
            m_footerFont = QFont(m_doc.defaultFont(), &m_writer);
            m_footerFont.setPointSizeF(9);
            m_footer = 2.5 * QFontMetricsF(m_footerFont, &m_writer).height();
            m_width = area.width();
            m_height = area.height() - m_footer;

            m_doc.setUndoRedoEnabled(false);
            m_doc.documentLayout()->setPaintDevice(&m_writer);
            m_doc.setDocumentMargin(0);
            m_doc.setTextWidth(m_width);
            if (!m_painter.begin(&m_writer))
                throw DataError(
                    ErrorNumber::NotAllowed, QStringLiteral("no se puede dibujar el PDF"));
        }

        void titlePage(
            const ReportResult& counts, const QString& file, const QString& date) override
        {
            start();
            block(title, 26, true, 0, 0, Qt::AlignHCenter);
            block(file, 12, false, 6, 0, Qt::AlignHCenter);
            block(counted(counts.cds, "CD", "CD"), 14, false, 36, 0, Qt::AlignHCenter);
            block(
                counted(counts.artists, "artista", "artistas"), 14, false, 4, 0, Qt::AlignHCenter);
            block(counted(counts.songs, "canción", "canciones"), 14, false, 4, 0, Qt::AlignHCenter);
            block(date, 10, false, 36, 0, Qt::AlignHCenter);
            m_y = m_height / 4;
            place(0);
            m_y = m_height; // the CDs start on the next page
        }

        void artist(const QString& name) override { m_artist = artistHeading(name); }

        void cd(const QString& key, const CdRecord& cd) override
        {
            start();
            const qreal space = devicePoints(m_artist.isEmpty() ? 9 : 16);
            if (!m_artist.isEmpty())
                block(m_artist, 14, true, 0, 0, Qt::AlignLeft);
            const bool withArtist = !m_artist.isEmpty();
            m_artist.clear();
            block(cd.nombre, 11, true, withArtist ? 6 : 0, 0, Qt::AlignLeft);
            QTextCharFormat keyFormat = format(9, false);
            keyFormat.setForeground(QColor(85, 85, 85));
            m_cursor.insertText(QStringLiteral("   clave ") + key, keyFormat);
            if (!cd.descripcion.isEmpty()) {
                block(lines(cd.descripcion).join(QChar::LineSeparator), 10, false, 2, 14,
                    Qt::AlignLeft);
            }
            for (int i = 0; i < songCount; ++i) {
                const QString& song = cd.canciones[size_t(i)];
                if (!song.isEmpty())
                    block(songLine(i, song), 10, false, 1, 14, Qt::AlignLeft);
            }
            place(space);
        }

        void finish() override
        {
            footer();
            m_painter.end();
        }

        int pages() const override { return m_page; }

    private:
        // The layout scales top margins as pixels of a 96 dpi screen but takes left
        // margins as device pixels; the first block's top margin it leaves out.
        static qreal topPoints(qreal pt) { return pt * 96.0 / 72.0; }
        qreal devicePoints(qreal pt) const { return pt * m_writer.resolution() / 72.0; }

        QTextCharFormat format(qreal size, bool bold) const
        {
            QTextCharFormat f;
            f.setFontPointSize(size);
            f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
            return f;
        }

        // The blocks of one CD are added in one edit, so that the document is laid
        // out once when placed instead of again after every block and text added.
        void start()
        {
            m_doc.clear();
            m_cursor = QTextCursor(&m_doc);
            m_cursor.beginEditBlock();
            m_firstBlock = true;
        }

        void block(const QString& text, qreal size, bool bold, qreal top, qreal indent,
            Qt::Alignment alignment)
        {
            QTextBlockFormat blockFormat;
            blockFormat.setTopMargin(topPoints(top));
            blockFormat.setLeftMargin(devicePoints(indent));
            blockFormat.setAlignment(alignment);
            const QTextCharFormat charFormat = format(size, bold);
            if (m_firstBlock) {
                m_cursor.setBlockFormat(blockFormat);
                m_cursor.setBlockCharFormat(charFormat);
            } else {
                m_cursor.insertBlock(blockFormat, charFormat);
            }
            m_firstBlock = false;
            m_cursor.insertText(text, charFormat);
        }

        void newPage()
        {
            footer();
            m_writer.newPage();
            ++m_page;
            m_y = 0;
        }

        void footer()
        {
            if (m_page <= 1) // the title page goes without a number
                return;
            m_painter.save();
            m_painter.setFont(m_footerFont);
            m_painter.setPen(Qt::black);
            m_painter.drawText(QRectF(0, m_height, m_width, m_footer),
                Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("Página %1").arg(m_page));
            m_painter.restore();
        }

        void paint(qreal y, const QRectF& clip)
        {
            m_painter.save();
            m_painter.translate(0, y);
            m_doc.drawContents(&m_painter, clip);
            m_painter.restore();
        }

        // Puts the laid-out document below what the page holds, space apart, or at
        // the top of the next page.
        void place(qreal space)
        {
            m_cursor.endEditBlock();
            const qreal height = m_doc.size().height();
            if (m_y > 0 && m_y + space + height > m_height)
                newPage();
            else if (m_y > 0)
                m_y += space;
            if (height <= m_height) {
                paint(m_y, QRectF());
                m_y += height;
                return;
            }
            // Longer than a page (only a file written by other means holds such
            // texts): the document's own pagination keeps lines whole.
            m_doc.setPageSize(QSizeF(m_width, m_height));
            const int pages = m_doc.pageCount();
            for (int page = 0; page < pages; ++page) {
                if (page > 0)
                    newPage();
                paint(-page * m_height, QRectF(0, page * m_height, m_width, m_height));
            }
            const QRectF last = m_doc.documentLayout()->blockBoundingRect(m_doc.lastBlock());
            m_y = last.bottom() - (pages - 1) * m_height;
            m_doc.setPageSize(QSizeF(m_width, -1));
            m_doc.setTextWidth(m_width);
        }

        QPdfWriter m_writer;
        QPainter m_painter;
        QTextDocument m_doc;
        QTextCursor m_cursor;
        QFont m_footerFont;
        QString m_artist;
        qreal m_width = 0;
        qreal m_height = 0; // of the text area, the footer left out
        qreal m_footer = 0;
        qreal m_y = 0;
        int m_page = 1;
        bool m_firstBlock = true;
    };
}

std::optional<ReportFormat> reportFormatFor(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return ReportFormat::Html;
    return std::nullopt;
}

ReportResult writeReport(
    const QString& path, QIODevice& out, ReportFormat format, Progress& progress)
{
    const Snapshot snapshot(path);
    ReportResult result;
    result.cds = snapshot.number("select count(*) from datos_cd");
    result.artists = snapshot.number(
        "select count(distinct nullif(artista, '') collate nocase) from datos_cd");
    result.songs = snapshot.number("select coalesce(sum(" + songSum()
        + "), 0) from datos_cd d join canciones c on c.id = d.id");

    std::unique_ptr<ReportWriter> writer;
    if (format == ReportFormat::Pdf)
        writer = std::make_unique<PdfReport>(out);
    else
        writer = std::make_unique<HtmlReport>(out);
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    writer->titlePage(result, QFileInfo(path).fileName(),
        QStringLiteral("Informe del %1")
            .arg(spanish.toString(QDate::currentDate(), QStringLiteral("d 'de' MMMM 'de' yyyy"))));

    const SqliteStatement rows = snapshot.prepare(cdQuery());
    sqlite3_stmt* statement = rows.get();
    QByteArray artist;
    qint64 done = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const QByteArray rowArtist(reinterpret_cast<const char*>(sqlite3_column_text(statement, 2)),
            sqlite3_column_bytes(statement, 2));
        if (done == 0
            || compareCatalogText(std::string_view(rowArtist.constData(), size_t(rowArtist.size())),
                   std::string_view(artist.constData(), size_t(artist.size())))
                != 0) {
            artist = rowArtist;
            writer->artist(QString::fromUtf8(artist));
        }
        CdRecord cd;
        cd.nombre = columnText(statement, 1);
        cd.descripcion = columnText(statement, 3);
        for (int i = 0; i < songCount; ++i)
            cd.canciones[size_t(i)] = columnText(statement, 4 + i);
        writer->cd(columnText(statement, 0), cd);
        if (++done % 500 == 0)
            progress.update(done, result.cds, done);
    }
    if (rc != SQLITE_DONE)
        snapshot.fail(rc);
    writer->finish();
    progress.finish();
    result.pages = writer->pages();
    return result;
}

}
