#include "odswriter.h"

#include <QStringDecoder>
#include <QXmlStreamWriter>
#include <algorithm>
#include <functional>
#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

namespace velmor::tool {

namespace {
    const QString sheetName = QStringLiteral("Catálogo");
    const QString mediaType = QStringLiteral("application/vnd.oasis.opendocument.spreadsheet");

    const QString officeNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
    const QString styleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
    const QString textNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
    const QString tableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
    const QString foNs
        = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
    const QString configNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:config:1.0");
    const QString manifestNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");

    // Spreadsheets hold numbers as doubles and show 15 significant digits.
    constexpr int numberDigits = 15;
    // Columns wider than this wrap their text instead.
    constexpr int widestColumn = 100;

    bool isWholeNumber(const QString& text)
    {
        const qsizetype start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
        const qsizetype digits = text.size() - start;
        if (digits < 1 || digits > numberDigits || (digits > 1 && text[start] == QLatin1Char('0')))
            return false;
        for (qsizetype i = start; i < text.size(); ++i) {
            if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
                return false;
        }
        return text != QLatin1String("-0");
    }

    // Characters XML 1.0 cannot carry at all, whatever the escaping.
    bool xmlCharacter(char32_t c)
    {
        return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF)
            || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    }
}

// The zip container and the XML of the sheet being written into it.
class OdsWriter::Archive {
public:
    explicit Archive(QIODevice& out)
        : zip(&out)
    {
    }

    bool start()
    {
        if (!zip.open(QuaZip::mdCreate))
            return false;
        // The media type comes first and stored, so that it can be read at a fixed
        // place: that is how programs recognise the file.
        const QByteArray type = mediaType.toLatin1();
        if (!entry(QStringLiteral("mimetype"), 0) || entryFile.write(type) != type.size())
            return false;
        entryFile.close();
        return entryFile.getZipError() == 0;
    }

    bool entry(const QString& name, int level)
    {
        QuaZipNewInfo info(name);
        info.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
            | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        entryFile.setZip(&zip);
        return entryFile.open(
            QIODevice::WriteOnly, info, nullptr, 0, level == 0 ? 0 : Z_DEFLATED, level);
    }

    bool document(const QString& name, const std::function<void(QXmlStreamWriter&)>& body)
    {
        if (!entry(name, Z_DEFAULT_COMPRESSION))
            return false;
        QXmlStreamWriter xml(&entryFile);
        xml.writeStartDocument();
        body(xml);
        xml.writeEndDocument();
        entryFile.close();
        return !xml.hasError() && entryFile.getZipError() == 0;
    }

    QuaZip zip;
    QuaZipFile entryFile;
    std::unique_ptr<QXmlStreamWriter> content;
    bool failed = false;
};

OdsWriter::OdsWriter(QIODevice& out, const QStringList& columns, const QList<int>& widths)
    : m_archive(std::make_unique<Archive>(out))
    , m_columns(int(columns.size()))
    , m_names(columns)
{
    Archive& a = *m_archive;
    a.failed = !a.start() || !a.entry(QStringLiteral("content.xml"), Z_DEFAULT_COMPRESSION);
    a.content = std::make_unique<QXmlStreamWriter>(&a.entryFile);
    QXmlStreamWriter& xml = *a.content;
    xml.writeStartDocument();
    xml.writeNamespace(officeNs, QStringLiteral("office"));
    xml.writeNamespace(styleNs, QStringLiteral("style"));
    xml.writeNamespace(textNs, QStringLiteral("text"));
    xml.writeNamespace(tableNs, QStringLiteral("table"));
    xml.writeNamespace(foNs, QStringLiteral("fo"));
    xml.writeStartElement(officeNs, QStringLiteral("document-content"));
    xml.writeAttribute(officeNs, QStringLiteral("version"), QStringLiteral("1.2"));

    xml.writeStartElement(officeNs, QStringLiteral("automatic-styles"));
    // A column a character wide per 0.25 cm: the width of a capital letter at the
    // 10 points spreadsheets show by default, plus the cell's padding.
    for (int i = 0; i < m_columns; ++i) {
        xml.writeStartElement(styleNs, QStringLiteral("style"));
        xml.writeAttribute(styleNs, QStringLiteral("name"), QStringLiteral("co%1").arg(i));
        xml.writeAttribute(styleNs, QStringLiteral("family"), QStringLiteral("table-column"));
        xml.writeEmptyElement(styleNs, QStringLiteral("table-column-properties"));
        const double cm = 0.4 + 0.25 * std::min(widths.value(i, 10), widestColumn);
        xml.writeAttribute(
            styleNs, QStringLiteral("column-width"), QString::number(cm, 'f', 2) + "cm");
        xml.writeEndElement();
    }
    xml.writeStartElement(styleNs, QStringLiteral("style"));
    xml.writeAttribute(styleNs, QStringLiteral("name"), QStringLiteral("cabecera"));
    xml.writeAttribute(styleNs, QStringLiteral("family"), QStringLiteral("table-cell"));
    xml.writeEmptyElement(styleNs, QStringLiteral("text-properties"));
    xml.writeAttribute(foNs, QStringLiteral("font-weight"), QStringLiteral("bold"));
    xml.writeEndElement();
    xml.writeStartElement(styleNs, QStringLiteral("style"));
    xml.writeAttribute(styleNs, QStringLiteral("name"), QStringLiteral("ajustado"));
    xml.writeAttribute(styleNs, QStringLiteral("family"), QStringLiteral("table-cell"));
    xml.writeEmptyElement(styleNs, QStringLiteral("table-cell-properties"));
    xml.writeAttribute(foNs, QStringLiteral("wrap-option"), QStringLiteral("wrap"));
    xml.writeEndElement();
    xml.writeEndElement(); // automatic-styles

    xml.writeStartElement(officeNs, QStringLiteral("body"));
    xml.writeStartElement(officeNs, QStringLiteral("spreadsheet"));
    xml.writeStartElement(tableNs, QStringLiteral("table"));
    xml.writeAttribute(tableNs, QStringLiteral("name"), sheetName);
    for (int i = 0; i < m_columns; ++i) {
        xml.writeEmptyElement(tableNs, QStringLiteral("table-column"));
        xml.writeAttribute(tableNs, QStringLiteral("style-name"), QStringLiteral("co%1").arg(i));
        if (widths.value(i) > widestColumn) {
            xml.writeAttribute(
                tableNs, QStringLiteral("default-cell-style-name"), QStringLiteral("ajustado"));
        }
    }
    xml.writeStartElement(tableNs, QStringLiteral("table-header-rows"));
    xml.writeStartElement(tableNs, QStringLiteral("table-row"));
    for (const QString& column : columns) {
        xml.writeStartElement(tableNs, QStringLiteral("table-cell"));
        xml.writeAttribute(tableNs, QStringLiteral("style-name"), QStringLiteral("cabecera"));
        xml.writeAttribute(officeNs, QStringLiteral("value-type"), QStringLiteral("string"));
        xml.writeTextElement(textNs, QStringLiteral("p"), column);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement(); // table-header-rows
}

OdsWriter::~OdsWriter() = default;

QString OdsWriter::row(const QByteArrayView* values)
{
    QXmlStreamWriter& xml = *m_archive->content;
    // Checked whole before anything is written, so that a refused row leaves no
    // half-written cell behind.
    QStringList texts;
    texts.reserve(m_columns);
    for (int i = 0; i < m_columns; ++i) {
        // A text may begin with U+FEFF: it is kept, not taken for a byte-order mark.
        QStringDecoder utf8(QStringDecoder::Utf8,
            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        texts << utf8.decode(values[i]);
        if (utf8.hasError())
            return QStringLiteral("la columna «%1» no es texto UTF-8 válido").arg(m_names[i]);
        const QString& text = texts.last();
        for (qsizetype k = 0; k < text.size(); ++k) {
            // A CR of its own would be read back as a space.
            if (text[k] == u'\r' && (k + 1 == text.size() || text[k + 1] != u'\n'))
                return QStringLiteral("la columna «%1» tiene un retorno de carro suelto")
                    .arg(m_names[i]);
        }
        for (const char32_t c : text.toUcs4()) {
            if (!xmlCharacter(c) || (c < 0x20 && c != u'\n' && c != u'\r' && c != u'\t')) {
                return QStringLiteral(
                    "la columna «%1» tiene un carácter (U+%2) que una hoja de cálculo no "
                    "puede guardar")
                    .arg(m_names[i])
                    .arg(QString::number(uint(c), 16).toUpper().rightJustified(4, u'0'));
            }
        }
    }

    xml.writeStartElement(tableNs, QStringLiteral("table-row"));
    for (int i = 0; i < m_columns; ++i) {
        const QString& text = texts[i];
        if (text.isEmpty()) {
            xml.writeEmptyElement(tableNs, QStringLiteral("table-cell"));
            continue;
        }
        xml.writeStartElement(tableNs, QStringLiteral("table-cell"));
        if (i == 0 && isWholeNumber(text)) {
            xml.writeAttribute(officeNs, QStringLiteral("value-type"), QStringLiteral("float"));
            xml.writeAttribute(officeNs, QStringLiteral("value"), text);
        } else {
            xml.writeAttribute(officeNs, QStringLiteral("value-type"), QStringLiteral("string"));
        }
        // A paragraph per line, CR LF or LF: spreadsheet programs keep no other
        // kind of line end in a cell.
        xml.writeStartElement(textNs, QStringLiteral("p"));
        qsizetype run = 0; // spaces not yet written
        const auto flushSpaces = [&](bool between) {
            if (run == 1 && between)
                xml.writeCharacters(QStringLiteral(" "));
            else if (run > 0) {
                // Readers may merge spaces and drop them at the ends of a paragraph.
                xml.writeEmptyElement(textNs, QStringLiteral("s"));
                if (run > 1)
                    xml.writeAttribute(textNs, QStringLiteral("c"), QString::number(run));
            }
            run = 0;
        };
        qsizetype from = 0; // start of the characters not yet written
        bool lineStart = true;
        for (qsizetype k = 0; k <= text.size(); ++k) {
            const QChar c = k < text.size() ? text[k] : QChar(u'\n');
            const bool crlf = c == u'\r' && k + 1 < text.size() && text[k + 1] == u'\n';
            if (c != u' ' && c != u'\t' && c != u'\n' && !crlf)
                continue;
            if (k > from) {
                flushSpaces(!lineStart);
                xml.writeCharacters(text.mid(from, k - from));
                lineStart = false;
            }
            from = k + 1;
            if (c == u' ') {
                ++run;
                continue;
            }
            flushSpaces(false);
            if (c == u'\t') {
                xml.writeEmptyElement(textNs, QStringLiteral("tab"));
                lineStart = false;
                continue;
            }
            if (crlf)
                from = ++k + 1;
            if (k < text.size()) {
                xml.writeEndElement();
                xml.writeStartElement(textNs, QStringLiteral("p"));
                lineStart = true;
            }
        }
        xml.writeEndElement(); // p
        xml.writeEndElement(); // table-cell
    }
    xml.writeEndElement();
    return QString();
}

bool OdsWriter::finish()
{
    Archive& a = *m_archive;
    QXmlStreamWriter& xml = *a.content;
    xml.writeEndDocument();
    a.entryFile.close();
    if (a.failed || xml.hasError() || a.entryFile.getZipError() != 0)
        return false;

    const bool settings = a.document(QStringLiteral("settings.xml"), [](QXmlStreamWriter& x) {
        x.writeNamespace(officeNs, QStringLiteral("office"));
        x.writeNamespace(configNs, QStringLiteral("config"));
        x.writeStartElement(officeNs, QStringLiteral("document-settings"));
        x.writeAttribute(officeNs, QStringLiteral("version"), QStringLiteral("1.2"));
        x.writeStartElement(officeNs, QStringLiteral("settings"));
        x.writeStartElement(configNs, QStringLiteral("config-item-set"));
        x.writeAttribute(configNs, QStringLiteral("name"), QStringLiteral("ooo:view-settings"));
        x.writeStartElement(configNs, QStringLiteral("config-item-map-indexed"));
        x.writeAttribute(configNs, QStringLiteral("name"), QStringLiteral("Views"));
        x.writeStartElement(configNs, QStringLiteral("config-item-map-entry"));
        const auto item = [&x](const char* name, const char* type, const QString& value) {
            x.writeStartElement(configNs, QStringLiteral("config-item"));
            x.writeAttribute(configNs, QStringLiteral("name"), QLatin1String(name));
            x.writeAttribute(configNs, QStringLiteral("type"), QLatin1String(type));
            x.writeCharacters(value);
            x.writeEndElement();
        };
        item("ViewId", "string", QStringLiteral("view1"));
        x.writeStartElement(configNs, QStringLiteral("config-item-map-named"));
        x.writeAttribute(configNs, QStringLiteral("name"), QStringLiteral("Tables"));
        x.writeStartElement(configNs, QStringLiteral("config-item-map-entry"));
        x.writeAttribute(configNs, QStringLiteral("name"), sheetName);
        // The rows above the second one stay in view: the header row is frozen.
        item("HorizontalSplitMode", "short", QStringLiteral("0"));
        item("VerticalSplitMode", "short", QStringLiteral("2"));
        item("HorizontalSplitPosition", "int", QStringLiteral("0"));
        item("VerticalSplitPosition", "int", QStringLiteral("1"));
        item("ActiveSplitRange", "short", QStringLiteral("2"));
        item("PositionLeft", "int", QStringLiteral("0"));
        item("PositionRight", "int", QStringLiteral("0"));
        item("PositionTop", "int", QStringLiteral("0"));
        item("PositionBottom", "int", QStringLiteral("1"));
        x.writeEndElement(); // map-entry
        x.writeEndElement(); // map-named
        item("ActiveTable", "string", sheetName);
        x.writeEndElement(); // map-entry
        x.writeEndElement(); // map-indexed
        x.writeEndElement(); // config-item-set
        x.writeEndElement(); // settings
        x.writeEndElement(); // document-settings
    });

    const bool manifest = a.document(
        QStringLiteral("META-INF/manifest.xml"), [](QXmlStreamWriter& x) {
            x.writeNamespace(manifestNs, QStringLiteral("manifest"));
            x.writeStartElement(manifestNs, QStringLiteral("manifest"));
            x.writeAttribute(manifestNs, QStringLiteral("version"), QStringLiteral("1.2"));
            const auto file = [&x](const QString& path, const QString& type) {
                x.writeEmptyElement(manifestNs, QStringLiteral("file-entry"));
                x.writeAttribute(manifestNs, QStringLiteral("full-path"), path);
                if (path == QLatin1String("/"))
                    x.writeAttribute(manifestNs, QStringLiteral("version"), QStringLiteral("1.2"));
                x.writeAttribute(manifestNs, QStringLiteral("media-type"), type);
            };
            file(QStringLiteral("/"), mediaType);
            file(QStringLiteral("content.xml"), QStringLiteral("text/xml"));
            file(QStringLiteral("settings.xml"), QStringLiteral("text/xml"));
            x.writeEndElement();
        });
    a.zip.close();
    return settings && manifest && a.zip.getZipError() == 0;
}

}
