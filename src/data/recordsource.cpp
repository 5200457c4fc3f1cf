#include "recordsource.h"

#include "connection.h"
#include "dataerror.h"
#include "preparedstatement.h"

namespace velmor {

RecordSource::RecordSource() = default;
RecordSource::~RecordSource() = default;

void RecordSource::setDatabaseName(const QString& path)
{
    if (path != m_databaseName)
        m_connection.reset();
    m_databaseName = path;
}

void RecordSource::setRecordSource(const QString& text) { m_recordSource = text; }

void RecordSource::Refresh()
{
    if (m_databaseName.isEmpty())
        throw DataError(ErrorNumber::FileNotFound,
            QStringLiteral("No se ha indicado el archivo del catálogo."));
    if (m_recordSource.trimmed().isEmpty())
        throw DataError(ErrorNumber::NotAllowed, detail::onlySelect());
    if (!m_connection) {
        m_connection = Connection::open(m_databaseName);
    } else {
        try {
            m_connection->ensurePresent();
        } catch (const DataError&) {
            m_connection = Connection::open(m_databaseName);
        }
    }
    m_set.reset(new velmor::Recordset(m_connection, m_recordSource, m_listed));
}

velmor::Recordset& RecordSource::Recordset()
{
    if (!m_set)
        throw noCurrentRecord();
    return *m_set;
}

std::shared_ptr<Connection> RecordSource::connection() const { return m_connection; }

}
