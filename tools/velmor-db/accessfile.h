#pragma once

#include <QStringList>
#include <functional>
#include <memory>

namespace velmor::tool {

// An Access/Jet database opened for reading only; the file is never written.
// Texts come back as UTF-8 decoded QStrings, accented letters intact. Failures
// throw DataError with a Spanish description naming the file.
class AccessFile {
public:
    explicit AccessFile(const QString& path);
    ~AccessFile();
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    // The user's tables, system tables left out, in the file's catalogue order.
    QStringList tableNames() const;
    // Exact name of a table found regardless of letter case, or an empty text.
    QString findTable(const QString& name) const;
    // Column names of a table in order.
    QStringList columnNames(const QString& table) const;
    // Rows the table declares it holds.
    qint64 rowCount(const QString& table) const;

    // Tables and columns are found regardless of letter case, as Access does.

    // Calls row with the values of the named columns, in the order asked, for every
    // row of the table in stored order. A null value reads as empty text.
    void readRows(const QString& table, const QStringList& columns,
        const std::function<void(const QStringList&)>& row) const;

    // Every value of every column, for a look at a whole table.
    void readRows(const QString& table, const std::function<void(const QStringList&)>& row) const;

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_path;
};

}
