#include "conversion.h"

#include "accessreadout.h"
#include "catalogwriter.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"
#include "data/valuerules.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>

namespace velmor::tool {

namespace {
    // libmdb writes numbers in the C locale, but a Double column may have come
    // through the user's locale with a decimal comma. Plain digits are read as they
    // are, never through a double, so that a key beyond what a double holds is not
    // taken for its neighbour.
    const QRegularExpression& wholeDigits()
    {
        static const QRegularExpression whole(QStringLiteral("^([+-]?\\d+)(?:[.,]0*)?$"));
        return whole;
    }

    std::optional<qint64> keyOf(const QString& text)
    {
        const QString trimmed = text.trimmed();
        if (const QRegularExpressionMatch digits = wholeDigits().match(trimmed);
            digits.hasMatch()) {
            bool ok = false;
            const qint64 key = digits.captured(1).toLongLong(&ok);
            return ok && isKeyInRange(key) ? std::optional(key) : std::nullopt;
        }
        bool ok = false;
        double value = QLocale::c().toDouble(trimmed, &ok);
        if (!ok)
            value = QLocale::c().toDouble(
                QString(trimmed).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
        if (!ok || !isWholeKey(value))
            return std::nullopt;
        return qint64(value);
    }

    // Why the texts of a CD cannot be brought over as they are; empty when they can.
    QStringList textProblems(const CdRecord& cd)
    {
        QStringList problems;
        const auto check = [&problems](TextColumn column, const QString& text, int song = 0) {
            const QString problem = textProblem(column, text);
            if (!problem.isEmpty())
                problems << textName(column, song) + QLatin1Char(' ') + problem;
        };
        check(TextColumn::Nombre, cd.nombre);
        check(TextColumn::Artista, cd.artista);
        check(TextColumn::Descripcion, cd.descripcion);
        for (int s = 0; s < songCount; ++s)
            check(TextColumn::Cancion, cd.canciones[size_t(s)], s + 1);
        return problems;
    }

    // Why keyOf found no key in the text.
    QString keyProblem(const QString& text)
    {
        if (wholeDigits().match(text.trimmed()).hasMatch())
            return QStringLiteral(": la clave está fuera de las que el programa maneja exactas "
                                  "(de %1 a %2)")
                .arg(-largestKey)
                .arg(largestKey);
        return QStringLiteral(": la clave no es un número entero");
    }

    QString rowName(const char* table, qsizetype index, const QString& key)
    {
        return QStringLiteral("%1, fila %2 (clave «%3»)")
            .arg(QString::fromLatin1(table))
            .arg(index + 1)
            .arg(key);
    }
}

CdMapping mapCatalogRows(const QList<QStringList>& datos, const QList<QStringList>& canciones)
{
    CdMapping mapping;

    QHash<qint64, qsizetype> songsOf;
    for (qsizetype i = 0; i < canciones.size(); ++i) {
        const QStringList& row = canciones[i];
        const QString key = row.value(0);
        const std::optional<qint64> id = keyOf(key);
        if (!id) {
            mapping.leftOut << rowName("canciones", i, key) + keyProblem(key);
        } else if (songsOf.contains(*id)) {
            mapping.leftOut << rowName("canciones", i, key)
                    + QStringLiteral(": clave repetida en canciones (ya en la fila %1)")
                          .arg(songsOf.value(*id) + 1);
        } else {
            songsOf.insert(*id, i);
        }
    }

    QHash<qint64, qsizetype> cdRow;
    for (qsizetype i = 0; i < datos.size(); ++i) {
        const QStringList& row = datos[i];
        const QString key = row.value(0);
        const std::optional<qint64> id = keyOf(key);
        if (!id) {
            mapping.leftOut << rowName("datos_cd", i, key) + keyProblem(key);
            continue;
        }
        if (cdRow.contains(*id)) {
            mapping.leftOut << rowName("datos_cd", i, key)
                    + QStringLiteral(": clave repetida en datos_cd (ya en la fila %1)")
                          .arg(cdRow.value(*id) + 1);
            continue;
        }
        cdRow.insert(*id, i);

        CdRecord cd;
        cd.id = *id;
        cd.nombre = row.value(1);
        cd.artista = row.value(2);
        cd.descripcion = row.value(3);
        const auto songs = songsOf.constFind(*id);
        if (songs != songsOf.cend()) {
            const QStringList& songRow = canciones[songs.value()];
            for (int s = 0; s < songCount; ++s)
                cd.canciones[size_t(s)] = songRow.value(s + 1);
        }
        // Texts the program would not have stored are not brought over either.
        if (const QStringList problems = textProblems(cd); !problems.isEmpty()) {
            mapping.leftOut << rowName("datos_cd", i, key) + QStringLiteral(": ")
                    + problems.join(QStringLiteral("; "));
            continue;
        }
        if (songs == songsOf.cend()) {
            mapping.withoutSongs << QStringLiteral(
                "CD %1 (%2): no tiene fila en canciones; se trae con las canciones vacías")
                                        .arg(cd.id)
                                        .arg(cd.nombre);
        }
        mapping.records.push_back(std::move(cd));
    }

    for (qsizetype i = 0; i < canciones.size(); ++i) {
        const std::optional<qint64> id = keyOf(canciones[i].value(0));
        if (id && songsOf.value(*id) == i && !cdRow.contains(*id)) {
            mapping.leftOut << rowName("canciones", i, canciones[i].value(0))
                    + QStringLiteral(": no tiene fila en datos_cd");
        }
    }
    std::sort(mapping.records.begin(), mapping.records.end(),
        [](const CdRecord& a, const CdRecord& b) { return a.id < b.id; });
    return mapping;
}

CdMapping convertCatalog(const QString& accessPath, const QString& newPath, Progress& progress)
{
    if (QFileInfo::exists(newPath)) {
        throw DataError(ErrorNumber::NotAllowed,
            QStringLiteral("El archivo %1 ya existe; no se sobrescribe.").arg(newPath));
    }

    // A FIFO or a device would only make the reading process wait for its limit.
    if (QFileInfo::exists(accessPath) && !QFileInfo(accessPath).isFile()) {
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("%1 no es un archivo normal.").arg(accessPath));
    }
    AccessRows rows = readAccessCatalog(accessPath, progress);
    const qint64 total = rows.datos.size() * 2 + rows.canciones.size();
    qint64 done = rows.datos.size() + rows.canciones.size();
    CdMapping mapping = mapCatalogRows(rows.datos, rows.canciones);
    rows = {};

    CatalogFile::create(newPath);
    try {
        CatalogWriter writer(newPath);
        for (const CdRecord& cd : mapping.records) {
            writer.add(cd);
            if (++done % 1000 == 0)
                progress.update(done, total, done / 2);
        }
        writer.commit();
    } catch (...) {
        QFile::remove(newPath);
        throw;
    }
    progress.finish();
    return mapping;
}

}
