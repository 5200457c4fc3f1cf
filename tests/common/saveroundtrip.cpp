#include "saveroundtrip.h"

#include "catalogcheck.h"
#include "catalogexport.h"
#include "catalogimport.h"
#include "progress.h"
#include "testcatalog.h"

#include "catalogo/frmcatalogo.h"
#include "data/catalogfile.h"

#include <QBuffer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringDecoder>

using namespace velmor;

namespace {

// Every value of both tables, bytes as hexadecimal, each table by key.
QStringList rowsOf(const QString& path)
{
    QString canciones = QStringLiteral("hex(id)");
    for (int n = 1; n <= 20; ++n)
        canciones += QStringLiteral("||'|'||hex(cancion%1)").arg(n);
    return TestCatalog::column(path,
               "select hex(id)||'|'||hex(nombre)||'|'||hex(artista)||'|'||hex(descripcion) "
               "from datos_cd order by id")
        + TestCatalog::column(path, "select " + canciones + " from canciones order by id");
}

void empty(const QString& path)
{
    for (const char* table : { "datos_cd", "canciones" })
        TestCatalog::column(path, QStringLiteral("delete from ") + QLatin1String(table));
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
        return refused.join("; ") + " en\n" + QString::fromUtf8(csv).left(400);
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
    m_form->Toolbar1_ButtonClick(1);
    m_boxes.shown.clear();
    // Pasting goes through what the boxes let through, as the user's paste does.
    m_form->findChild<QLineEdit*>("txtclacd")->insert("7");
    for (qsizetype i = 0; i < pasted.size() && i < 23; ++i) {
        const QString caja = i < 3 ? QStringList { "txtnomcd", "txtart", "txtdes" }[i]
                                   : QStringLiteral("txtcan%1").arg(i - 2);
        if (auto* line = m_form->findChild<QLineEdit*>(caja))
            line->insert(pasted[i]);
        else
            m_form->findChild<QPlainTextEdit*>(caja)->insertPlainText(pasted[i]);
    }
    const bool complete = !m_form->findChild<QLineEdit*>("txtnomcd")->text().isEmpty()
        && !m_form->findChild<QPlainTextEdit*>("txtdes")->toPlainText().isEmpty();
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
    // Each backup is imported into the copy: an empty one to add, the one holding the
    // CD already to replace.
    const struct {
        const char* name;
        tool::ExportForm form;
        tool::ImportMode mode;
    } backups[] = {
        { "exportar e importar", tool::ExportForm::Plain, tool::ImportMode::Add },
        { "exportar --hoja e importar --reemplazar", tool::ExportForm::Spreadsheet,
            tool::ImportMode::Replace },
        { "exportar --hoja a .ods e importar", tool::ExportForm::OpenDocument,
            tool::ImportMode::Add },
    };
    for (const auto& backup : backups) {
        if (backup.mode == tool::ImportMode::Add)
            empty(m_target);
        const QString refused = imported(m_target, exported(m_source, backup.form), backup.mode);
        const QString name = QString::fromUtf8(backup.name);
        if (!refused.isEmpty())
            return name + ": " + refused;
        if (rowsOf(m_target) != rows)
            return name + " cambian los valores: " + rows.join(" / ") + " pasan a "
                + rowsOf(m_target).join(" / ");
    }
    return QString();
}
