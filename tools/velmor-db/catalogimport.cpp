#include "catalogimport.h"

#include "catalogwriter.h"
#include "csvreader.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/valuerules.h"

#include <QHash>
#include <QLocale>
#include <QStringDecoder>

namespace velmor::tool {

namespace {
    std::optional<qint64> keyFromText(const QString& text, QStringList& reasons)
    {
        if (text.isEmpty()) {
            reasons << QStringLiteral("falta la clave");
            return std::nullopt;
        }
        if (!isNumericText(text)) {
            reasons << QStringLiteral("la clave «%1» no es un número").arg(text);
            return std::nullopt;
        }
        const double value = leadingNumber(text);
        if (!isWholeKey(value)) {
            reasons << QStringLiteral("la clave «%1» no es un número entero").arg(text);
            return std::nullopt;
        }
        // The form stores the leading number; a key such as "1,000" reads as a number
        // as a whole but would be stored as 1, so it is refused rather than altered.
        bool ok = false;
        const double whole = QLocale().toDouble(text.trimmed(), &ok);
        if (!ok || whole != value) {
            reasons << QStringLiteral("la clave «%1» se guardaría como %2")
                           .arg(text, numberText(value));
            return std::nullopt;
        }
        return qint64(value);
    }

    QString fieldName(int field)
    {
        switch (field) {
        case 1:
            return QStringLiteral("el nombre");
        case 2:
            return QStringLiteral("el artista");
        case 3:
            return QStringLiteral("la descripción");
        }
        return QStringLiteral("la canción %1").arg(field - 3);
    }

    // Limits apply to the stored upper-case form, which is what the form's boxes
    // show when the CD is found again.
    QString limitedText(const QString& text, int limit, int field, QStringList& reasons)
    {
        if (text.isEmpty())
            return text;
        QString upper = upperCaseForm(text);
        if (upper.size() > limit) {
            reasons << QStringLiteral("%1 tiene %2 caracteres (máximo %3)")
                           .arg(fieldName(field))
                           .arg(upper.size())
                           .arg(limit);
        }
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
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
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
    const std::optional<qint64> key = keyFromText(fields[0], reasons);
    if (fields[1].isEmpty())
        reasons << QStringLiteral("falta el nombre");
    if (fields[3].isEmpty())
        reasons << QStringLiteral("falta la descripción");
    cd.nombre = limitedText(fields[1], TextLimit::nombre, 1, reasons);
    cd.artista = limitedText(fields[2], TextLimit::artista, 2, reasons);
    cd.descripcion = limitedText(fields[3], TextLimit::descripcion, 3, reasons);
    for (int i = 0; i < songCount; ++i)
        cd.canciones[size_t(i)] = limitedText(fields[4 + i], TextLimit::cancion, 4 + i, reasons);
    if (!key || reasons.size() != before)
        return std::nullopt;
    cd.id = *key;
    return cd;
}

ImportResult importCatalog(
    const QString& path, QByteArrayView csv, Progress& progress, ImportMode mode)
{
    CatalogWriter writer(path);
    ImportResult result;
    CsvReader reader(csv);
    CsvReader::Record record;
    QStringList fields;
    QHash<qint64, int> lineOfKey;
    qint64 lines = 0;

    const auto refuse = [&result](int line, const QStringList& reasons) {
        result.refused.append({ line, reasons.join(QStringLiteral("; ")) });
    };

    if (!reader.next(record)) {
        refuse(1, { QStringLiteral("el archivo está vacío; falta la cabecera") });
        return result;
    }
    if (!record.error.isEmpty() || !decode(record.fields, fields) || !isHeader(fields)) {
        refuse(record.line,
            { QStringLiteral("la primera línea debe ser la cabecera %1")
                    .arg(csvColumns().join(QLatin1Char(','))) });
    }

    qint64 stored = 0, replaced = 0;
    while (reader.next(record)) {
        QStringList reasons;
        std::optional<CdRecord> cd;
        bool replacing = false;
        if (!record.error.isEmpty())
            reasons << record.error;
        else if (!decode(record.fields, fields))
            reasons << QStringLiteral("el texto no es UTF-8 válido");
        else
            cd = cdFromFields(fields, reasons);

        if (cd) {
            if (const auto seen = lineOfKey.constFind(cd->id); seen != lineOfKey.cend()) {
                reasons << QStringLiteral("la clave %1 ya aparece en la línea %2")
                               .arg(cd->id)
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
            if (replacing) {
                writer.remove(cd->id);
                ++replaced;
            }
            writer.add(*cd);
            ++stored;
        }
        if (++lines % 1000 == 0)
            progress.update(reader.position(), csv.size(), lines);
    }
    progress.finish();

    if (result.refused.isEmpty()) {
        writer.commit();
        result.cds = stored;
        result.replaced = replaced;
    }
    return result;
}

}
