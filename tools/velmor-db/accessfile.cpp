#include "accessfile.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QFile>
#include <QFileInfo>
#include <mdbtools.h>
#include <vector>

namespace velmor::tool {

struct AccessFile::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

namespace {
    struct TableCloser {
        void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
    };
    using Table = std::unique_ptr<MdbTableDef, TableCloser>;

    QString nameOf(const char* name) { return QString::fromUtf8(name); }
}

AccessFile::AccessFile(const QString& path)
    : m_handle(std::make_unique<Handle>())
    , m_path(path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        throw DataError(
            ErrorNumber::FileNotFound, QStringLiteral("No se encuentra el archivo %1.").arg(path));
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se puede leer el archivo %1: %2").arg(path, file.errorString()));
    }
    if (!CatalogFile::looksLikeAccess(file.read(32))) {
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("El archivo %1 no es una base de datos de Access/Jet.").arg(path));
    }
    file.close();

    // libmdb converts texts to the character set named by MDBICONV when it opens a
    // file; anything but UTF-8 would garble accented letters on the way to QString.
    qputenv("MDBICONV", "UTF-8");
    m_handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!m_handle->mdb || !mdb_read_catalog(m_handle->mdb, MDB_TABLE)) {
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("No se puede leer la base de datos de Access/Jet %1.").arg(path));
    }
    if (qstricmp(mdb_target_charset(m_handle->mdb), "UTF-8") != 0) {
        throw DataError(ErrorNumber::UnrecognizedFormat,
            QStringLiteral("La biblioteca de Access/Jet no entrega texto UTF-8 (%1).")
                .arg(QString::fromLatin1(mdb_target_charset(m_handle->mdb))));
    }
}

AccessFile::~AccessFile() = default;

QStringList AccessFile::tableNames() const
{
    QStringList names;
    GPtrArray* catalog = m_handle->mdb->catalog;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry))
            names << nameOf(entry->object_name);
    }
    return names;
}

QString AccessFile::findTable(const QString& name) const
{
    for (const QString& table : tableNames()) {
        if (table.compare(name, Qt::CaseInsensitive) == 0)
            return table;
    }
    return {};
}

namespace {
    Table openTable(MdbHandle* mdb, const QString& name, const QString& path)
    {
        GPtrArray* catalog = mdb->catalog;
        for (guint i = 0; i < catalog->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (entry->object_type != MDB_TABLE
                || nameOf(entry->object_name).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            Table table(mdb_read_table(entry));
            if (table && mdb_read_columns(table.get()))
                return table;
            break;
        }
        throw DataError(ErrorNumber::TableNotFound,
            QStringLiteral("La base de datos %1 no tiene la tabla %2.").arg(path, name));
    }

    QStringList columnsOf(MdbTableDef* table)
    {
        QStringList names;
        for (guint i = 0; i < table->num_cols; ++i)
            names << nameOf(static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i))->name);
        return names;
    }
}

QStringList AccessFile::columnNames(const QString& table) const
{
    return columnsOf(openTable(m_handle->mdb, table, m_path).get());
}

qint64 AccessFile::rowCount(const QString& table) const
{
    return openTable(m_handle->mdb, table, m_path)->num_rows;
}

void AccessFile::readRows(const QString& tableName, const QStringList& columns,
    const std::function<void(const QStringList&)>& row) const
{
    const Table table = openTable(m_handle->mdb, tableName, m_path);
    const QStringList present = columnsOf(table.get());

    const size_t bindSize = m_handle->mdb->bind_size;
    std::vector<std::vector<char>> buffers(size_t(columns.size()), std::vector<char>(bindSize));
    std::vector<int> lengths(size_t(columns.size()), 0);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        qsizetype index = -1;
        for (qsizetype c = 0; c < present.size() && index < 0; ++c) {
            if (present[c].compare(columns[i], Qt::CaseInsensitive) == 0)
                index = c;
        }
        if (index < 0) {
            throw DataError(ErrorNumber::ItemNotFound,
                QStringLiteral("La tabla %1 de %2 no tiene la columna %3.")
                    .arg(tableName, m_path, columns[i]));
        }
        // Columns are numbered from 1 in libmdb.
        mdb_bind_column(
            table.get(), int(index) + 1, buffers[size_t(i)].data(), &lengths[size_t(i)]);
    }

    mdb_rewind_table(table.get());
    QStringList values;
    while (mdb_fetch_row(table.get())) {
        values.clear();
        for (size_t i = 0; i < buffers.size(); ++i)
            values << QString::fromUtf8(
                buffers[i].data(), lengths[i] > 0 ? qstrnlen(buffers[i].data(), bindSize) : 0);
        row(values);
    }
}

void AccessFile::readRows(
    const QString& table, const std::function<void(const QStringList&)>& row) const
{
    readRows(table, columnNames(table), row);
}

}
