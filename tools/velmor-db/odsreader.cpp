#include "odsreader.h"

#include <QIODevice>
#include <QLocale>
#include <QXmlStreamReader>
#include <cmath>
#include <quazip.h>
#include <quazipfile.h>
#include <quazipfileinfo.h>

namespace velmor::tool {

namespace {
    const QString officeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
    const QString textNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
    const QString tableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
    const QString spreadsheetType
        = QStringLiteral("application/vnd.oasis.opendocument.spreadsheet");

    constexpr qint64 chunkSize = 64 * 1024;
    // Rows past this number are more than any spreadsheet program keeps.
    constexpr qint64 rowLimit = qint64(1) << 24;

    // A count attribute ("number-columns-repeated"), 1 when absent or not a number.
    qint64 repeatCount(const QXmlStreamAttributes& attributes, const QString& name)
    {
        bool ok = false;
        const qint64 n = attributes.value(tableNs, name).toLongLong(&ok);
        return ok && n > 0 ? n : 1;
    }

    // A number cell's value as the catalogue writes keys: a whole number as digits,
    // anything else as the file gives it, for the key rules to judge.
    QString numberValue(const QString& value)
    {
        bool ok = false;
        const double number = QLocale::c().toDouble(value, &ok);
        if (ok && std::trunc(number) == number && std::fabs(number) <= 9007199254740992.0)
            return QString::number(qint64(number));
        return value;
    }
}

class OdsReader::Parser {
public:
    Parser(QIODevice& device, int columns, Limits limits)
        : m_zip(&device)
        , m_columns(columns)
        , m_limits(limits)
    {
        if (!m_zip.open(QuaZip::mdUnzip)) {
            m_error = QStringLiteral("no es una hoja de cálculo ODS ni un CSV: el archivo está "
                                     "dañado o es de otro tipo");
            return;
        }
        m_zip.setFileNameCodec("UTF-8");
        if (m_zip.setCurrentFile(QStringLiteral("mimetype"))) {
            QuaZipFile type(&m_zip);
            const QString found
                = type.open(QIODevice::ReadOnly) ? QString::fromLatin1(type.read(100)) : QString();
            if (!found.startsWith(spreadsheetType)) {
                m_error = QStringLiteral("no es una hoja de cálculo ODS sino un documento de tipo "
                                         "«%1»")
                              .arg(found.left(100));
                return;
            }
        }
        if (!m_zip.setCurrentFile(QStringLiteral("content.xml"))) {
            m_error = QStringLiteral("no es una hoja de cálculo ODS: le falta content.xml (una "
                                     "hoja de otro formato se guarda antes como ODS o CSV)");
            return;
        }
        QuaZipFileInfo64 info;
        if (m_zip.getCurrentFileInfo(&info))
            m_size = qint64(info.uncompressedSize);
        m_entry.setZip(&m_zip);
        if (!m_entry.open(QIODevice::ReadOnly))
            m_error = QStringLiteral("no se puede leer el contenido de la hoja (¿está cifrada?)");
    }

    bool next(Record& record)
    {
        if (m_done)
            return false;
        record = Record();
        while (m_error.isEmpty() && advance()) {
            if (!m_inTable) {
                m_inTable = m_xml.isStartElement() && isTable(u"table");
                continue;
            }
            if (m_xml.isEndElement() && isTable(u"table"))
                break;
            if (!m_xml.isStartElement() || !isTable(u"table-row"))
                continue;
            const qint64 repeat
                = repeatCount(m_xml.attributes(), QStringLiteral("number-rows-repeated"));
            const int first = int(m_rows + 1);
            QStringList cells;
            if (!readRow(cells, first))
                break;
            m_rows += repeat;
            if (m_rows > rowLimit) {
                m_error = QStringLiteral("la hoja tiene más de %1 filas").arg(rowLimit);
                break;
            }
            if (cells.isEmpty())
                continue;
            record.line = first;
            if (repeat > 1) {
                // Every copy would bear the same key: the first copy is refused once
                // instead of each of them.
                record.error
                    = QStringLiteral("la fila se repite %1 veces, y su clave con ella").arg(repeat);
                return true;
            }
            while (cells.size() < m_columns)
                cells << QString();
            record.fields = cells;
            return true;
        }
        m_done = true;
        if (m_error.isEmpty() && !m_inTable)
            m_error = QStringLiteral("no tiene ninguna hoja");
        if (m_error.isEmpty())
            return false;
        record.line = int(std::min<qint64>(m_rows + 1, rowLimit));
        record.error = m_error;
        return true;
    }

    qint64 position() const { return m_read; }
    qint64 size() const { return m_size; }

private:
    bool isTable(QStringView name) const
    {
        return m_xml.namespaceUri() == tableNs && m_xml.name() == name;
    }

    // The next token, unpacking more of the sheet when the reader needs it. False
    // at the end of the document or on an error, which m_error then holds.
    bool advance()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            if (token == QXmlStreamReader::DTD) {
                m_error = QStringLiteral("el contenido de la hoja declara entidades, que una hoja "
                                         "ODS no lleva");
                return false;
            }
            if (token == QXmlStreamReader::EndDocument)
                return false;
            if (token != QXmlStreamReader::Invalid) {
                m_sinceToken = 0;
                return true;
            }
            if (m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                m_error = QStringLiteral("el contenido de la hoja está mal formado (línea %1 de "
                                         "content.xml)")
                              .arg(m_xml.lineNumber());
                return false;
            }
            if (m_sinceToken > m_limits.markup) {
                m_error = QStringLiteral("una celda u otra parte de la hoja ocupa más de %1 MiB")
                              .arg(m_limits.markup >> 20);
                return false;
            }
            const QByteArray chunk = m_entry.read(chunkSize);
            if (chunk.isEmpty()) {
                m_error = m_entry.getZipError() != 0
                    ? QStringLiteral("el archivo está dañado: no se puede descomprimir la hoja")
                    : QStringLiteral("la hoja termina antes de tiempo");
                return false;
            }
            m_read += chunk.size();
            m_sinceToken += chunk.size();
            if (m_read > m_limits.content) {
                m_error = QStringLiteral("la hoja descomprimida ocupa más de %1 GiB")
                              .arg(m_limits.content >> 30);
                return false;
            }
            m_xml.addData(chunk);
        }
    }

    // Passes over the element just started, whatever it holds.
    bool skipElement()
    {
        for (int depth = 1; depth > 0;) {
            if (!advance())
                return false;
            if (m_xml.isStartElement())
                ++depth;
            else if (m_xml.isEndElement())
                --depth;
        }
        return true;
    }

    bool readRow(QStringList& cells, int line)
    {
        qint64 pendingEmpty = 0;
        qsizetype characters = 0;
        qint64 column = 0;
        while (advance()) {
            if (m_xml.isEndElement())
                return true; // the row's own end: cells are read whole below
            if (!m_xml.isStartElement())
                continue;
            const bool cell = isTable(u"table-cell") || isTable(u"covered-table-cell");
            if (!cell) {
                if (!skipElement())
                    return false;
                continue;
            }
            const qint64 repeat
                = repeatCount(m_xml.attributes(), QStringLiteral("number-columns-repeated"));
            QString value;
            if (!readCell(value, line, column))
                return false;
            column += repeat;
            if (value.isEmpty()) {
                pendingEmpty += repeat;
                continue;
            }
            if (cells.size() + pendingEmpty + repeat > m_limits.cells) {
                m_error = QStringLiteral("la fila %1 tiene datos en más de %2 celdas")
                              .arg(line)
                              .arg(m_limits.cells);
                return false;
            }
            characters += value.size() * repeat;
            if (characters > m_limits.row) {
                m_error = QStringLiteral("la fila %1 tiene más de %2 caracteres")
                              .arg(line)
                              .arg(m_limits.row);
                return false;
            }
            for (; pendingEmpty > 0; --pendingEmpty)
                cells << QString();
            for (qint64 i = 0; i < repeat; ++i)
                cells << value;
        }
        return false;
    }

    bool readCell(QString& value, int line, qint64 column)
    {
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString type = attributes.value(officeNs, QStringLiteral("value-type")).toString();
        QStringList paragraphs;
        while (advance()) {
            if (m_xml.isEndElement())
                break;
            if (!m_xml.isStartElement())
                continue;
            if (m_xml.namespaceUri() == textNs && (m_xml.name() == u"p" || m_xml.name() == u"h")) {
                paragraphs << QString();
                if (!readText(paragraphs.last(), line, column))
                    return false;
            } else if (!skipElement()) {
                return false;
            }
        }
        if (!m_error.isEmpty())
            return false;
        const bool number = type == u"float" || type == u"percentage" || type == u"currency";
        if (column == 0 && number)
            value = numberValue(attributes.value(officeNs, QStringLiteral("value")).toString());
        else if (!paragraphs.isEmpty())
            value = paragraphs.join(QLatin1Char('\n'));
        else {
            // Some programs leave out the shown text, which is then the value.
            for (const char* name :
                { "string-value", "value", "date-value", "time-value", "boolean-value" }) {
                value = attributes.value(officeNs, QLatin1String(name)).toString();
                if (!value.isEmpty())
                    break;
            }
        }
        if (value.size() > m_limits.cell) {
            m_error = cellTooLong(line, column);
            return false;
        }
        return true;
    }

    QString cellTooLong(int line, qint64 column) const
    {
        return QStringLiteral("la celda de la fila %1, columna %2, tiene más de %3 caracteres")
            .arg(line)
            .arg(column + 1)
            .arg(m_limits.cell);
    }

    // The text of a paragraph, its spans and links included, notes and comments
    // left out. White space is taken as written, as spreadsheet programs write it.
    bool readText(QString& text, int line, qint64 column)
    {
        for (int depth = 1; depth > 0;) {
            if (!advance())
                return false;
            if (m_xml.isEndElement()) {
                --depth;
                continue;
            }
            if (m_xml.isCharacters()) {
                text += m_xml.text();
            } else if (m_xml.isStartElement()) {
                const QStringView name = m_xml.name();
                const bool inText = m_xml.namespaceUri() == textNs;
                if (inText && name == u"s") {
                    bool ok = false;
                    const qint64 n
                        = m_xml.attributes().value(textNs, QStringLiteral("c")).toLongLong(&ok);
                    const qint64 count = ok && n > 0 ? n : 1;
                    if (text.size() + count > m_limits.cell) {
                        m_error = cellTooLong(line, column);
                        return false;
                    }
                    text += QString(qsizetype(count), u' ');
                } else if (inText && name == u"tab") {
                    text += u'\t';
                } else if (inText && name == u"line-break") {
                    text += u'\n';
                } else if ((inText && (name == u"note" || name == u"ruby-text"))
                    || m_xml.namespaceUri() == officeNs) {
                    if (!skipElement())
                        return false;
                    continue;
                }
                ++depth;
            }
            if (text.size() > m_limits.cell) {
                m_error = cellTooLong(line, column);
                return false;
            }
        }
        return true;
    }

    QuaZip m_zip;
    QuaZipFile m_entry;
    QXmlStreamReader m_xml;
    int m_columns;
    Limits m_limits;
    QString m_error;
    qint64 m_read = 0;
    qint64 m_size = 0;
    qint64 m_sinceToken = 0;
    qint64 m_rows = 0;
    bool m_inTable = false;
    bool m_done = false;
};

OdsReader::OdsReader(QIODevice& device, int columns, Limits limits)
    : m_parser(std::make_unique<Parser>(device, columns, limits))
{
}

OdsReader::~OdsReader() = default;

bool OdsReader::next(Record& record) { return m_parser->next(record); }

qint64 OdsReader::position() const { return m_parser->position(); }

qint64 OdsReader::size() const { return m_parser->size(); }

bool OdsReader::looksLikeArchive(const QByteArray& start) { return start.startsWith("PK\x03\x04"); }

}
