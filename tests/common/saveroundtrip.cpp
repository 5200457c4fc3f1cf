#include "saveroundtrip.h"

#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "progress.h"

#include "catalogo/frmcatalogo.h"
#include "data/catalogfile.h"

#include <QBuffer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <sqlite3.h>

using namespace velmor;

namespace {

// Every value of both tables, bytes as hexadecimal, each table by key.
QStringList rowsOf(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QStringList rows;
    for (const char* query :
        { "select * from datos_cd order by id", "select * from canciones order by id" }) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, query, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList values;
            for (int i = 0; i < sqlite3_column_count(st); ++i)
                values << QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)),
                    sqlite3_column_bytes(st, i))
                              .toHex();
            rows << values.join('|');
        }
        sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
    return rows;
}

void empty(const QString& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "delete from datos_cd; delete from canciones", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
}

QByteArray exported(const QString& path, tool::ExportForm form)
{
    tool::Progress quiet(nullptr, QString(), false);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    tool::exportCatalog(path, out, quiet, form);
    return out.data();
}

QString imported(const QString& path, const QByteArray& csv, tool::ImportMode mode)
{
    tool::Progress quiet(nullptr, QString(), false);
    const tool::ImportResult result = tool::importCatalog(path, csv, quiet, mode);
    QStringList refused;
    for (const tool::RefusedLine& line : result.refused)
        refused << QStringLiteral("línea %1: %2").arg(line.line).arg(line.reason);
    if (!refused.isEmpty() || result.cds + result.unchanged != 1)
        return refused.join("; ") + " en\n" + QString::fromUtf8(csv);
    return QString();
}

}

SaveRoundTrip::SaveRoundTrip()
{
    m_source = m_dir.filePath("velmor.mdb");
    m_target = m_dir.filePath("copia.mdb");
    CatalogFile::create(m_source);
    CatalogFile::create(m_target);
    CatalogFile::setPathOverride(m_source);
    m_form = std::make_unique<frmcatalogo>(nullptr);
    m_form->Form_Load();
}

SaveRoundTrip::~SaveRoundTrip()
{
    m_form.reset();
    CatalogFile::setPathOverride(QString());
}

QString SaveRoundTrip::check(const QStringList& pasted)
{
    stored.clear();
    empty(m_source);
    empty(m_target);
    m_form->Toolbar1_ButtonClick(1);
    m_boxes.shown.clear();
    const QList<QWidget*> boxes = [this] {
        QList<QWidget*> b { m_form->findChild<QWidget*>("txtclacd"),
            m_form->findChild<QWidget*>("txtnomcd"), m_form->findChild<QWidget*>("txtart"),
            m_form->findChild<QWidget*>("txtdes") };
        for (int n = 1; n <= 20; ++n)
            b << m_form->findChild<QWidget*>(QStringLiteral("txtcan%1").arg(n));
        return b;
    }();
    // Pasting goes through what the boxes let through, as the user's paste does.
    static_cast<QLineEdit*>(boxes[0])->insert("7");
    for (qsizetype i = 0; i < pasted.size() && i < 23; ++i) {
        if (auto* line = qobject_cast<QLineEdit*>(boxes[i + 1]))
            line->insert(pasted[i]);
        else
            static_cast<QPlainTextEdit*>(boxes[i + 1])->insertPlainText(pasted[i]);
    }
    const bool complete = !static_cast<QLineEdit*>(boxes[1])->text().isEmpty()
        && !static_cast<QPlainTextEdit*>(boxes[3])->toPlainText().isEmpty();
    m_form->Toolbar1_ButtonClick(3);
    const QStringList messages = m_boxes.take();
    const QStringList rows = rowsOf(m_source);
    if (!complete) {
        if (messages != QStringList { "Escriba datos antes de intentar grabar." }
            || !rows.isEmpty())
            return "sin nombre o descripción: " + messages.join(" / ") + rows.join(" / ");
        return QString();
    }
    if (!messages.isEmpty() || rows.size() != 2)
        return "la grabación mostró «" + messages.join(" / ") + "»";
    // A leading U+FEFF is a character of the value, not a byte-order mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    for (const QString& row : rows)
        for (const QString& hex : row.split('|').mid(1))
            stored << utf8.decode(QByteArray::fromHex(hex.toLatin1()));

    const tool::CheckReport report = tool::checkCatalog(m_source);
    if (report.outcome != tool::CheckReport::Outcome::Sound)
        return "verificar: " + report.problems.join("; ");
    const QString plain
        = imported(m_target, exported(m_source, tool::ExportForm::Plain), tool::ImportMode::Add);
    if (!plain.isEmpty())
        return "importar: " + plain;
    if (rowsOf(m_target) != rows)
        return "exportar e importar cambian los valores: " + rows.join(" / ") + " pasan a "
            + rowsOf(m_target).join(" / ");
    const QString sheet = imported(
        m_target, exported(m_source, tool::ExportForm::Spreadsheet), tool::ImportMode::Replace);
    if (!sheet.isEmpty())
        return "importar --reemplazar: " + sheet;
    if (rowsOf(m_target) != rows)
        return "exportar --hoja e importar --reemplazar cambian los valores: " + rows.join(" / ")
            + " pasan a " + rowsOf(m_target).join(" / ");
    empty(m_target);
    const QString ods = imported(
        m_target, exported(m_source, tool::ExportForm::OpenDocument), tool::ImportMode::Add);
    if (!ods.isEmpty())
        return "importar de la hoja .ods: " + ods.left(400);
    if (rowsOf(m_target) != rows)
        return "exportar --hoja a .ods e importar cambian los valores: " + rows.join(" / ")
            + " pasan a " + rowsOf(m_target).join(" / ");
    return QString();
}
