#include "reportlayout.h"

#include "reportsource.h"

#include "data/dataerror.h"

#include <QFontMetricsF>
#include <QHash>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace velmor::tool {

namespace {
    const QString title = QStringLiteral("Catálogo de CD");
    const QString textFont = QStringLiteral("Liberation Sans Narrow");
    const QString titleFont = QStringLiteral("Liberation Sans");

    QString counted(qint64 n, const char* one, const char* many)
    {
        return QLocale(QLocale::Spanish, QLocale::Spain).toString(n) + QLatin1Char(' ')
            + QString::fromUtf8(n == 1 ? one : many);
    }

    // A font at a size, with its line height: sizes and heights are given in points
    // and kept in device pixels.
    struct Style {
        QFont font;
        QColor color;
        qreal ascent = 0;
        qreal leading = 0;
        std::unique_ptr<QFontMetricsF> metrics;
        mutable std::vector<float> advances; // of each character, once asked for
        mutable QHash<char32_t, qreal> wideAdvances; // of those outside 16 bits

        // The width of a text as the sum of its characters' advances. Laying out a
        // million CDs twice cannot afford to shape every text: the sum is never
        // less than the shaped text, whose kerning only brings letters closer, so
        // what fits by the sum fits when drawn.
        qreal width(QStringView text) const
        {
            if (advances.empty())
                advances.assign(0x10000, -1);
            qreal sum = 0;
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text[i];
                if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                    const char32_t code = QChar::surrogateToUcs4(c, text[i + 1]);
                    auto found = wideAdvances.find(code);
                    if (found == wideAdvances.end())
                        found = wideAdvances.insert(
                            code, metrics->horizontalAdvance(text.mid(i, 2).toString()));
                    sum += *found;
                    ++i;
                    continue;
                }
                float& advance = advances[c.unicode()];
                if (advance < 0)
                    advance = float(metrics->horizontalAdvance(c));
                sum += advance;
            }
            return sum;
        }
    };

    // A piece of text on one line of a block.
    struct Part {
        const Style* style = nullptr;
        QString text;
        qreal x = 0;
        bool right = false; // x is where the text ends
    };

    // One line of a block, never split: its height and what it shows.
    struct Line {
        qreal top = 0; // space above it
        qreal height = 0;
        std::vector<Part> parts;
        bool rule = false; // a thin line under it, across the column
    };

    class PdfReport {
    public:
        PdfReport(
            ReportSource& source, QIODevice& out, const QString& fileName, const QString& date)
            : m_source(source)
            , m_writer(&out)
            , m_fileName(fileName)
            , m_date(date)
            , m_list(source.options().list)
            , m_grouped(!source.options().byKey && !source.options().list)
        {
            m_writer.setPageSize(QPageSize(QPageSize::A4));
            m_writer.setPageMargins(QMarginsF(12, 10, 12, 8), QPageLayout::Millimeter);
            m_writer.setTitle(title);
            m_writer.setCreator(QStringLiteral("velmor-db"));
            m_unit = m_writer.resolution() / 72.0;
            const QRect area = m_writer.pageLayout().paintRectPixels(m_writer.resolution());
            m_width = area.width();
            m_footer = pt(14);
            m_bottom = area.height() - m_footer;
            m_columns = m_list ? 1 : 2;
            m_gutter = pt(14);
            m_columnWidth = (m_width - (m_columns - 1) * m_gutter) / m_columns;

            style(m_title, titleFont, 16, true, Qt::black, 20);
            style(m_info, textFont, 8.5, false, QColor(70, 70, 70), 11);
            style(m_heading, textFont, 10, true, Qt::black, 13);
            style(m_continued, textFont, 8.5, true, QColor(90, 90, 90), 11);
            style(m_name, textFont, 8.5, true, Qt::black, 10);
            style(m_key, textFont, 7, false, QColor(100, 100, 100), 10);
            style(m_text, textFont, 7.5, false, QColor(40, 40, 40), 8.5);
            style(m_row, textFont, 9, false, Qt::black, 14);
            style(m_rowHead, textFont, 9, true, Qt::black, 16);
            style(m_footerStyle, textFont, 7.5, false, QColor(90, 90, 90), 10);
            m_numberWidth = m_text.width(QStringLiteral("20. "));
            if (m_list)
                listColumns();
        }

        int write(Progress& progress)
        {
            const qint64 cds = m_source.counts().cds;
            // First walk: where everything falls, drawing nothing.
            run(progress, 0, 2 * cds);
            const int bodyPages = m_page;
            // An empty catalogue has no artists to list.
            const bool withIndex = !m_list && m_source.artistsNoted() > 0;
            m_total = m_page + (withIndex ? indexPages() : 0);
            m_page = 0;
            m_drawing = true;
            if (!m_painter.begin(&m_writer))
                throw DataError(
                    ErrorNumber::NotAllowed, QStringLiteral("no se puede dibujar el PDF"));
            run(progress, cds, 2 * cds);
            if (m_page != bodyPages)
                throw DataError(ErrorNumber::InvalidOperation,
                    QStringLiteral("el informe no se ha podido paginar"));
            if (withIndex)
                index();
            footer();
            m_painter.end();
            return m_page;
        }

    private:
        qreal pt(qreal points) const { return points * m_unit; }

        void style(Style& s, const QString& family, qreal size, bool bold, const QColor& color,
            qreal leading)
        {
            s.font = QFont(family);
            s.font.setPointSizeF(size);
            s.font.setBold(bold);
            s.font = QFont(s.font, &m_writer);
            s.color = color;
            s.metrics = std::make_unique<QFontMetricsF>(s.font, &m_writer);
            s.ascent = s.metrics->ascent();
            s.leading = pt(leading);
        }

        // The lines of a text within a width, one part a line: broken after the
        // last space that fits, or within a word longer than the width.
        static std::vector<Part> wrap(const Style& s, const QString& text, qreal width)
        {
            std::vector<Part> parts;
            qsizetype start = 0;
            while (start < text.size() || parts.empty()) {
                const QStringView rest = QStringView(text).mid(start);
                if (s.width(rest) <= width) {
                    parts.push_back(Part { &s, rest.toString(), 0, false });
                    break;
                }
                qsizetype end = 0, lastSpace = -1;
                qreal used = 0;
                while (end < rest.size()) {
                    const qsizetype step = rest[end].isHighSurrogate() ? 2 : 1;
                    const qreal advance = s.width(rest.mid(end, step));
                    if (end > 0 && used + advance > width)
                        break;
                    if (rest[end] == u' ')
                        lastSpace = end;
                    used += advance;
                    end += step;
                }
                const qsizetype cut = lastSpace > 0 ? lastSpace : end;
                parts.push_back(Part { &s, rest.left(cut).toString(), 0, false });
                start += cut;
                while (start < text.size() && text[start] == u' ')
                    ++start;
            }
            return parts;
        }

        // Adds the lines of texts side by side, each at its x: the first line of
        // each on one line, and so on.
        void columnsOfText(std::vector<Line>& lines, qreal top, qreal height,
            const std::vector<std::pair<std::vector<Part>, qreal>>& cells)
        {
            size_t most = 0;
            for (const auto& cell : cells)
                most = std::max(most, cell.first.size());
            for (size_t i = 0; i < most; ++i) {
                Line line;
                line.top = i == 0 ? top : 0;
                line.height = height;
                for (const auto& [parts, x] : cells) {
                    if (i < parts.size()) {
                        Part part = parts[i];
                        part.x = x;
                        line.parts.push_back(part);
                    }
                }
                lines.push_back(std::move(line));
            }
        }

        Part text(const Style& s, const QString& t, qreal x, bool right = false)
        {
            return Part { &s, t, x, right };
        }

        void cdLines(const ReportCd& cd, std::vector<Line>& lines)
        {
            lines.clear();
            const qreal w = m_columnWidth;
            // Out of artist order, each CD names its artist beside its key.
            const QString key = m_grouped
                ? cd.key
                : ReportSource::artistHeading(cd.artista) + QStringLiteral(" · ") + cd.key;
            const qreal keyWidth = m_key.width(key) + pt(6);
            std::vector<Part> name = wrap(m_name, cd.nombre, std::max(w / 2, w - keyWidth));
            columnsOfText(lines, 0, m_name.leading, { { name, 0 } });
            const std::vector<Part> keyLines = wrap(m_key, key, w / 2 - pt(6));
            for (size_t i = 0; i < keyLines.size(); ++i) {
                if (i == lines.size())
                    lines.push_back(Line { 0, m_name.leading, {}, false });
                Part part = keyLines[i];
                part.x = w;
                part.right = true;
                lines[i].parts.push_back(part);
            }
            if (!cd.descripcion.isEmpty()) {
                QString description = cd.descripcion;
                description.remove(QLatin1Char('\r'));
                for (const QString& paragraph : description.split(QLatin1Char('\n')))
                    columnsOfText(lines, 0, m_text.leading, { { wrap(m_text, paragraph, w), 0 } });
            }
            // Songs in two columns, the first half down the left one.
            std::vector<int> songs;
            for (int i = 0; i < songCount; ++i) {
                if (!cd.canciones[size_t(i)].isEmpty())
                    songs.push_back(i);
            }
            const size_t half = (songs.size() + 1) / 2;
            const qreal songColumn = (w - pt(8)) / 2;
            for (size_t row = 0; row < half; ++row) {
                std::vector<std::pair<std::vector<Part>, qreal>> cells;
                for (const size_t at : { row, row + half }) {
                    if (at >= songs.size())
                        continue;
                    const int song = songs[at];
                    const qreal x = at < half ? 0 : songColumn + pt(8);
                    // The number drawn with the title's first line, one text fewer
                    // to shape; a figure space keeps one digit aligned with two.
                    std::vector<Part> songLines
                        = wrap(m_text, cd.canciones[size_t(song)], songColumn - m_numberWidth);
                    songLines.front().text = (song < 9 ? QStringLiteral("\u2007") : QString())
                        + QString::number(song + 1) + QStringLiteral(". ") + songLines.front().text;
                    cells.push_back({ { songLines.front() }, x });
                    songLines.erase(songLines.begin());
                    songLines.insert(songLines.begin(), Part { &m_text, QString(), 0, false });
                    cells.push_back({ songLines, x + m_numberWidth });
                }
                columnsOfText(lines, row == 0 ? pt(1) : 0, m_text.leading, cells);
            }
        }

        // The list's columns: the longest key, then name and artist as wide as their
        // limits need, the number of songs at the right.
        void listColumns()
        {
            const qreal digits = m_row.metrics->horizontalAdvance(QStringLiteral("0"));
            m_keyWidth = std::max(m_row.metrics->horizontalAdvance(QStringLiteral("Clave")),
                             digits * qreal(std::max<qint64>(m_source.longestKey(), 1)))
                + pt(8);
            m_songsWidth
                = m_rowHead.metrics->horizontalAdvance(QStringLiteral("Canciones")) + pt(4);
            const qreal rest = m_width - m_keyWidth - m_songsWidth - pt(12);
            m_nameWidth = rest * 30 / 55;
            m_artistWidth = rest - m_nameWidth;
        }

        void listLines(const ReportCd& cd, std::vector<Line>& lines)
        {
            lines.clear();
            const qreal nameX = m_keyWidth;
            const qreal artistX = nameX + m_nameWidth + pt(6);
            columnsOfText(lines, 0, m_row.leading,
                { { { text(m_row, cd.key, m_keyWidth - pt(8), true) }, 0 },
                    { wrap(m_row, cd.nombre, m_nameWidth), nameX },
                    { wrap(m_row, cd.artista, m_artistWidth), artistX },
                    { { text(m_row, QString::number(cd.songs), 0, true) }, m_width } });
        }

        // Page and column flow. The first page starts below the report's heading;
        // in a list every page starts below the names of the columns.
        qreal columnTop() const
        {
            qreal top = m_page == 1 ? m_headerHeight : 0;
            if (m_list && !m_inIndex)
                top += m_rowHead.leading + pt(4);
            return top;
        }

        qreal columnX() const { return m_column * (m_columnWidth + m_gutter); }

        void newPage()
        {
            if (m_page > 0) {
                footer();
                if (m_drawing)
                    m_writer.newPage();
            }
            ++m_page;
            m_column = 0;
            if (m_page == 1) {
                qreal y = 0;
                for (const Line& line : headerLines()) {
                    y += line.top;
                    draw(line, y, m_width);
                    y += line.height;
                }
                m_headerHeight = y + pt(8);
            }
            m_y = columnTop();
            if (m_list && !m_inIndex)
                listHeader();
            m_columnStart = true;
        }

        void nextColumn()
        {
            if (m_column + 1 < columns()) {
                ++m_column;
                m_y = columnTop();
                m_columnStart = true;
            } else {
                newPage();
            }
        }

        int columns() const { return m_inIndex ? 3 : m_columns; }

        std::vector<Line> headerLines()
        {
            std::vector<Line> lines;
            const ReportCounts& counts = m_source.counts();
            columnsOfText(lines, 0, m_title.leading, { { { text(m_title, title, 0) }, 0 } });
            const QString info = QStringList { m_fileName, counted(counts.cds, "CD", "CD"),
                counted(counts.artists, "artista", "artistas"),
                counted(counts.songs, "canción", "canciones"), m_date }
                                     .join(QStringLiteral(" · "));
            columnsOfText(lines, 0, m_info.leading, { { wrap(m_info, info, m_width), 0 } });
            lines.back().rule = true;
            return lines;
        }

        void listHeader()
        {
            Line line;
            line.height = m_rowHead.leading;
            line.rule = true;
            const qreal nameX = m_keyWidth;
            line.parts = { text(m_rowHead, QStringLiteral("Clave"), m_keyWidth - pt(8), true),
                text(m_rowHead, QStringLiteral("Nombre"), nameX),
                text(m_rowHead, QStringLiteral("Artista"), nameX + m_nameWidth + pt(6)),
                text(m_rowHead, QStringLiteral("Canciones"), m_width, true) };
            draw(line, columnTop() - m_rowHead.leading - pt(4), m_width);
        }

        // Puts lines at the current place, moving on to the next column when one
        // does not fit; whole: nothing of them is split unless they are longer than
        // an empty column. continued draws what a new column repeats.
        void place(const std::vector<Line>& lines, qreal gap, bool whole = false,
            const std::function<void()>& continued = {})
        {
            qreal height = 0;
            for (const Line& line : lines)
                height += line.top + line.height;
            if (whole && !m_columnStart && m_y + height > m_bottom) {
                nextColumn();
                if (continued)
                    continued();
            }
            for (const Line& line : lines) {
                if (!m_columnStart && m_y + line.top + line.height > m_bottom) {
                    nextColumn();
                    if (continued)
                        continued();
                }
                if (!m_columnStart)
                    m_y += line.top;
                draw(line, m_y, m_columnWidth);
                m_y += line.height;
                m_columnStart = false;
            }
            m_y += gap;
        }

        void draw(const Line& line, qreal y, qreal width)
        {
            if (!m_drawing)
                return;
            const qreal x0 = columnX();
            // Texts of different sizes on one line share its baseline.
            qreal baseline = 0;
            for (const Part& part : line.parts)
                baseline = std::max(baseline, part.style->ascent);
            for (const Part& part : line.parts) {
                m_painter.setFont(part.style->font);
                m_painter.setPen(part.style->color);
                const qreal x = part.right ? part.x - part.style->width(part.text) : part.x;
                m_painter.drawText(QPointF(x0 + x, y + baseline), part.text);
            }
            if (line.rule) {
                m_painter.setPen(QPen(QColor(150, 150, 150), pt(0.5)));
                const qreal at = y + line.height - pt(1.5);
                m_painter.drawLine(QPointF(x0, at), QPointF(x0 + width, at));
            }
        }

        void footer()
        {
            if (!m_drawing || m_page == 0)
                return;
            m_painter.setFont(m_footerStyle.font);
            m_painter.setPen(m_footerStyle.color);
            const QRectF band(0, m_bottom, m_width, m_footer);
            m_painter.drawText(band, Qt::AlignHCenter | Qt::AlignBottom,
                QStringLiteral("Página %1 de %2").arg(m_page).arg(m_total));
            m_painter.drawText(band, Qt::AlignLeft | Qt::AlignBottom, m_fileName);
        }

        void headingLines(std::vector<Line>& lines, const Style& s, const QString& heading)
        {
            lines.clear();
            columnsOfText(lines, 0, s.leading, { { wrap(s, heading, m_columnWidth), 0 } });
            lines.back().rule = &s == &m_heading;
        }

        void run(Progress& progress, qint64 done, qint64 total)
        {
            m_page = 0;
            newPage();
            std::vector<Line> lines, heading, repeated;
            m_source.walk(
                [&](const ReportCd& cd) {
                    if (m_list) {
                        listLines(cd, lines);
                        place(lines, 0, true);
                        return;
                    }
                    const QString artist = ReportSource::artistHeading(cd.artista);
                    // Laid out before the CD, whose texts replace the heading's.
                    if (cd.firstOfArtist)
                        headingLines(heading, m_heading, artist);
                    std::vector<Line> headingCopy
                        = cd.firstOfArtist ? heading : std::vector<Line>();
                    cdLines(cd, lines);
                    std::vector<Line> block = headingCopy;
                    block.insert(block.end(), lines.begin(), lines.end());
                    const auto continued = [&] {
                        if (!m_grouped)
                            return;
                        headingLines(repeated, m_continued, artist + QStringLiteral(" (continúa)"));
                        place(repeated, 0);
                    };
                    const bool fits = m_columnStart || m_y + height(block) <= m_bottom;
                    if (!fits) {
                        nextColumn();
                        if (!cd.firstOfArtist)
                            continued();
                    }
                    if (!m_drawing && (cd.firstOfArtist || !m_grouped))
                        m_source.noteArtist(cd.artista, m_page);
                    place(block, pt(4), false, continued);
                },
                progress, done, total);
        }

        static qreal height(const std::vector<Line>& lines)
        {
            qreal h = 0;
            for (const Line& line : lines)
                h += line.top + line.height;
            return h;
        }

        // The index of artists: three columns a page, each artist with the page
        // where it is first shown.
        void indexFlow()
        {
            m_inIndex = true;
            newPage();
            std::vector<Line> lines;
            headingLines(lines, m_heading, QStringLiteral("Índice de artistas"));
            place(lines, pt(2));
            const qreal w = m_columnWidth;
            m_source.walkArtists([&](const QString& heading, qint64 page) {
                lines.clear();
                const QString number = QString::number(page);
                const qreal numberWidth = m_text.width(number) + pt(6);
                columnsOfText(
                    lines, 0, m_text.leading, { { wrap(m_text, heading, w - numberWidth), 0 } });
                lines.front().parts.push_back(text(m_text, number, w, true));
                place(lines, 0, true);
            });
            m_inIndex = false;
        }

        int indexPages()
        {
            const int before = m_page;
            const qreal columnWidth = m_columnWidth;
            m_columnWidth = (m_width - 2 * m_gutter) / 3;
            indexFlow();
            m_columnWidth = columnWidth;
            const int pages = m_page - before;
            m_page = before;
            return pages;
        }

        void index()
        {
            m_columnWidth = (m_width - 2 * m_gutter) / 3;
            indexFlow();
        }

        ReportSource& m_source;
        QPdfWriter m_writer;
        QPainter m_painter;
        QString m_fileName;
        QString m_date;
        bool m_list;
        bool m_grouped;
        bool m_drawing = false;
        bool m_inIndex = false;
        qreal m_unit = 1;
        qreal m_width = 0;
        qreal m_bottom = 0;
        qreal m_footer = 0;
        qreal m_gutter = 0;
        qreal m_columnWidth = 0;
        qreal m_numberWidth = 0;
        qreal m_headerHeight = 0;
        qreal m_keyWidth = 0, m_nameWidth = 0, m_artistWidth = 0, m_songsWidth = 0;
        int m_columns = 2;
        int m_page = 0;
        int m_total = 0;
        int m_column = 0;
        qreal m_y = 0;
        bool m_columnStart = true;
        Style m_title, m_info, m_heading, m_continued, m_name, m_key, m_text, m_row, m_rowHead,
            m_footerStyle;
    };
}

int writePdfReport(ReportSource& source, QIODevice& out, const QString& fileName,
    const QString& date, Progress& progress)
{
    PdfReport report(source, out, fileName, date);
    return report.write(progress);
}

}
