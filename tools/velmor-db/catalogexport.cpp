#include "catalogexport.h"

#include "catalogimport.h"

#include "cdrecord.h"
#include "csvwriter.h"
#include "odswriter.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/connection.h"
#include "data/valuerules.h"

#include <QIODevice>
#include <QStringList>
#include <array>
#include <memory>
#include <sqlite3.h>

namespace velmor::tool {

namespace {
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    Statement prepare(const Connection& connection, const QByteArray& sql)
    {
        sqlite3_stmt* statement = nullptr;
        const int rc
            = sqlite3_prepare_v2(connection.handle(), sql.constData(), -1, &statement, nullptr);
        if (rc != SQLITE_OK)
            connection.fail(rc);
        return Statement(statement);
    }

    QByteArray recordQuery()
    {
        QByteArray sql = "select d.id, d.nombre, d.artista, d.descripcion";
        for (int i = 1; i <= songCount; ++i)
            sql += ", c.cancion" + QByteArray::number(i);
        sql += " from datos_cd d left join canciones c on c.id = d.id order by d.id";
        return sql;
    }
}

ExportResult exportCatalog(const QString& path, QIODevice& out, Progress& progress, ExportForm form)
{
    const auto connection = Connection::open(path, Connection::Access::ReadOnly);
    ExportResult result;

    qint64 total = 0;
    {
        const Statement count = prepare(*connection, "select count(*) from datos_cd");
        if (sqlite3_step(count.get()) == SQLITE_ROW)
            total = sqlite3_column_int64(count.get(), 0);
    }

    const QStringList names
        = CatalogFile::datosCdColumns() + CatalogFile::cancionesColumns().mid(1);
    const int columns = 4 + songCount;
    std::unique_ptr<CsvWriter> csv;
    std::unique_ptr<OdsWriter> ods;
    if (form == ExportForm::OpenDocument) {
        // Widths for the longest text each column holds, the key's 16 digits.
        QList<int> widths { 16, textLimit(TextColumn::Nombre), textLimit(TextColumn::Artista),
            textLimit(TextColumn::Descripcion) };
        for (int i = 0; i < songCount; ++i)
            widths << textLimit(TextColumn::Cancion);
        ods = std::make_unique<OdsWriter>(out, names, widths);
    } else {
        const bool spreadsheet = form == ExportForm::Spreadsheet;
        csv = std::make_unique<CsvWriter>(out, spreadsheet ? ';' : ',');
        if (spreadsheet && out.write("\xEF\xBB\xBF") != 3)
            result.written = false;
        for (const QString& column : names)
            csv->field(column.toUtf8());
        csv->endRecord();
    }

    const Statement rows = prepare(*connection, recordQuery());
    sqlite3_stmt* statement = rows.get();
    std::array<QByteArrayView, 4 + songCount> values;
    QByteArray realKey;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        // A key stored as a real number is written as the key rules write it ("5", not
        // the engine's "5.0", which a Spanish locale reads as 50).
        int first = 0;
        if (sqlite3_column_type(statement, 0) == SQLITE_FLOAT) {
            realKey = numberText(sqlite3_column_double(statement, 0)).toUtf8();
            values[0] = realKey;
            first = 1;
        }
        for (int i = first; i < columns; ++i) {
            // Text comes straight from the engine as UTF-8, so no conversion is needed.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
            values[size_t(i)] = QByteArrayView(text, text ? sqlite3_column_bytes(statement, i) : 0);
        }
        if (ods) {
            if (const QString refusal = ods->row(values.data()); !refusal.isEmpty()) {
                result.refusal = QStringLiteral("el CD de clave %1: %2")
                                     .arg(QString::fromUtf8(values[0]), refusal);
                return result;
            }
        } else {
            for (const QByteArrayView value : values)
                csv->field(value);
            csv->endRecord();
        }
        ++result.cds;
        if (result.cds % 1000 == 0)
            progress.update(result.cds, total, result.cds);
    }
    if (rc != SQLITE_DONE)
        connection->fail(rc);
    result.written = (ods ? ods->finish() : csv->flush()) && result.written;
    progress.finish();
    return result;
}

}
