#include "catalogimport.h"

#include "catalogwriter.h"
#include "csvreader.h"
#include "odsreader.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/valuerules.h"

#include <QBuffer>
#include <QHash>
#include <QStringDecoder>

namespace velmor::tool {

namespace {
    // Every text is checked in its stored upper-case form, which is what the form's
    // boxes show when the CD is found again.
    QString storedText(const QString& text, TextColumn column, int song, QStringList& reasons)
    {
        const QString upper = upperCaseForm(text);
        const QString problem = textProblem(column, upper);
        if (!problem.isEmpty())
            reasons << textName(column, song) + QLatin1Char(' ') + problem;
        return upper;
    }

    bool isHeader(const QStringList& fields)
    {
        const QStringList& expected = csvColumns();
        if (fields.size() != expected.size())
            return false;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields[i].trimmed().compare(expected[i], Qt::CaseInsensitive) != 0)
                return false;
        }
        return true;
    }

    bool decode(const QList<QByteArray>& raw, QStringList& fields)
    {
        fields.clear();
        // A text may begin with U+FEFF: it is kept, not taken for a byte-order mark.
        QStringDecoder decoder(QStringDecoder::Utf8,
            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        for (const QByteArray& field : raw)
            fields << decoder.decode(field);
        return !decoder.hasError();
    }
}

const QStringList& csvColumns()
{
    static const QStringList columns
        = CatalogFile::datosCdColumns() + CatalogFile::cancionesColumns().mid(1);
    return columns;
}

std::optional<CdRecord> cdFromFields(const QStringList& fields, QStringList& reasons)
{
    const qsizetype expected = csvColumns().size();
    if (fields.size() != expected) {
        reasons
            << QStringLiteral("tiene %1 campos y deben ser %2").arg(fields.size()).arg(expected);
        return std::nullopt;
    }
    const qsizetype before = reasons.size();
    CdRecord cd;
    if (const QString problem = characterProblem(TextColumn::Nombre, fields[0]);
        !problem.isEmpty()) {
        reasons << QStringLiteral("la clave ") + problem;
    } else {
        const KeyReading key = readKey(fields[0]);
        if (key.problem != KeyReading::Problem::None)
            reasons << key.reason(fields[0]);
        cd.id = key.key;
    }
    if (fields[1].isEmpty() && isRequired(TextColumn::Nombre))
        reasons << QStringLiteral("falta el nombre");
    if (fields[3].isEmpty() && isRequired(TextColumn::Descripcion))
        reasons << QStringLiteral("falta la descripción");
    cd.nombre = storedText(fields[1], TextColumn::Nombre, 0, reasons);
    cd.artista = storedText(fields[2], TextColumn::Artista, 0, reasons);
    cd.descripcion = storedText(fields[3], TextColumn::Descripcion, 0, reasons);
    for (int i = 0; i < songCount; ++i)
        cd.canciones[size_t(i)] = storedText(fields[4 + i], TextColumn::Cancion, i + 1, reasons);
    if (reasons.size() != before)
        return std::nullopt;
    return cd;
}

namespace {
    // Spreadsheets save "Unicode text" as UTF-16, with a byte-order mark, or without
    // one and then a zero byte beside every letter of the header.
    bool isUtf16(const QByteArray& start)
    {
        return start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")
            || (start.size() == 4 && (start[0] == 0) != (start[1] == 0)
                && (start[2] == 0) == (start[0] == 0) && (start[3] == 0) == (start[1] == 0));
    }
}

ImportResult importCatalog(
    const QString& path, QByteArrayView csv, Progress& progress, ImportMode mode)
{
    QBuffer buffer;
    buffer.setData(csv.toByteArray());
    buffer.open(QIODevice::ReadOnly);
    return importCatalog(path, buffer, progress, mode);
}

namespace {
    // The records of a file, CSV or spreadsheet, as texts: what the per-line rules
    // take.
    struct Row {
        int line = 0;
        QStringList fields;
        QString error; // the record could not be read
        bool decoded = true; // false when its bytes are no UTF-8 text
    };

    class RowSource {
    public:
        virtual ~RowSource() = default;
        virtual bool next(Row& row) = 0;
        virtual qint64 position() const = 0;
    };

    class CsvRows final : public RowSource {
    public:
        explicit CsvRows(QIODevice& device)
            : m_reader(device)
        {
        }
        bool next(Row& row) override
        {
            if (!m_reader.next(m_record))
                return false;
            row.line = m_record.line;
            row.error = m_record.error;
            row.decoded = row.error.isEmpty() && decode(m_record.fields, row.fields);
            return true;
        }
        qint64 position() const override { return m_reader.position(); }

    private:
        CsvReader m_reader;
        CsvReader::Record m_record;
    };

    class SheetRows final : public RowSource {
    public:
        explicit SheetRows(QIODevice& device)
            : m_reader(device, int(csvColumns().size()))
        {
        }
        bool next(Row& row) override
        {
            if (!m_reader.next(m_record))
                return false;
            row.line = m_record.line;
            row.error = m_record.error;
            row.fields = m_record.fields;
            row.decoded = true;
            return true;
        }
        qint64 position() const override { return m_reader.position(); }
        qint64 size() const { return m_reader.size(); }

    private:
        OdsReader m_reader;
        OdsReader::Record m_record;
    };
}

ImportResult importCatalog(const QString& path, QIODevice& csv, Progress& progress, ImportMode mode)
{
    CatalogWriter writer(path);
    ImportResult result;
    const QByteArray start = csv.peek(4);
    if (isUtf16(start)) {
        result.refused.append({ 1,
            QStringLiteral("el archivo está en UTF-16, no en UTF-8: guárdelo como «CSV UTF-8» "
                           "y vuelva a importarlo") });
        return result;
    }
    result.sheet = OdsReader::looksLikeArchive(start);
    if (result.sheet && csv.isSequential()) {
        result.refused.append({ 1,
            QStringLiteral("una hoja de cálculo no se puede leer de la entrada estándar: nombre "
                           "el archivo") });
        return result;
    }
    std::unique_ptr<RowSource> reader;
    // Standard input has no size to measure progress against.
    qint64 size = csv.isSequential() ? 0 : csv.size();
    if (result.sheet) {
        auto sheet = std::make_unique<SheetRows>(csv);
        size = sheet->size();
        reader = std::move(sheet);
    } else {
        reader = std::make_unique<CsvRows>(csv);
    }
    Row record;
    QHash<qint64, int> lineOfKey;
    qint64 lines = 0;

    const auto refuse = [&result](int line, const QStringList& reasons) {
        result.refused.append({ line, reasons.join(QStringLiteral("; ")) });
    };

    if (!reader->next(record)) {
        refuse(1, { QStringLiteral("el archivo está vacío; falta la cabecera") });
        return result;
    }
    if (!record.error.isEmpty())
        refuse(record.line, { record.error });
    else if (!record.decoded || !isHeader(record.fields)) {
        refuse(record.line,
            { QStringLiteral("la primera línea debe ser la cabecera %1")
                    .arg(csvColumns().join(QLatin1Char(','))) });
    }

    qint64 stored = 0, replaced = 0, unchanged = 0;
    while (reader->next(record)) {
        QStringList reasons;
        std::optional<CdRecord> cd;
        bool replacing = false;
        if (!record.error.isEmpty())
            reasons << record.error;
        else if (!record.decoded)
            reasons << QStringLiteral("el texto no es UTF-8 válido");
        else
            cd = cdFromFields(record.fields, reasons);

        if (cd) {
            if (const auto seen = lineOfKey.constFind(cd->id); seen != lineOfKey.cend()) {
                reasons << QStringLiteral("la clave %1 ya aparece en la %2 %3")
                               .arg(cd->id)
                               .arg(result.sheet ? QStringLiteral("fila") : QStringLiteral("línea"))
                               .arg(seen.value());
            } else {
                lineOfKey.insert(cd->id, record.line);
                replacing = writer.keyStored(cd->id);
                if (replacing && mode == ImportMode::Add)
                    reasons << QStringLiteral("la clave %1 ya está en el catálogo").arg(cd->id);
            }
        }

        if (!reasons.isEmpty())
            refuse(record.line, reasons);
        else if (result.refused.isEmpty()) {
            if (replacing && writer.storedAs(*cd)) {
                ++unchanged;
            } else {
                if (replacing) {
                    writer.remove(cd->id);
                    ++replaced;
                }
                writer.add(*cd);
                ++stored;
            }
        }
        if (++lines % 1000 == 0)
            progress.update(reader->position(), size, lines);
    }
    progress.finish();

    if (result.refused.isEmpty()) {
        writer.commit();
        result.cds = stored;
        result.replaced = replaced;
        result.unchanged = unchanged;
    }
    return result;
}

}
