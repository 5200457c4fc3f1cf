#pragma once

// The binding the forms hold: a catalogue file and a record-source text, refreshed
// into a Recordset (recordset.h), which is all the forms see of the data layer's
// record sets.

#include "recordset.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace velmor {

class Connection;

// The binding of a record source: a database file and a record-source text (a
// table name or a SELECT statement), refreshed into a Recordset.
class RecordSource {
public:
    RecordSource();
    ~RecordSource();
    RecordSource(const RecordSource&) = delete;
    RecordSource& operator=(const RecordSource&) = delete;

    const QString& DatabaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& path);
    const QString& recordSourceText() const { return m_recordSource; }
    // Takes effect at the next Refresh.
    void setRecordSource(const QString& text);
    // The columns a listing will read from every row (Recordset::readOnward): a set
    // over a statement reads them with its rows at each Refresh, so that the listing
    // reads no row twice.
    void setListedColumns(const QStringList& columns) { m_listed = columns; }

    // Runs the record-source text again; the first row, if any, becomes current.
    // On failure the previous set stays.
    void Refresh();
    bool isOpen() const { return bool(m_set); }

    // The current set; throws 3021-like DataError when never refreshed.
    velmor::Recordset& Recordset();

    std::shared_ptr<Connection> connection() const;

private:
    QString m_databaseName;
    QString m_recordSource;
    QStringList m_listed;
    std::shared_ptr<Connection> m_connection;
    std::unique_ptr<velmor::Recordset> m_set;
};

}
