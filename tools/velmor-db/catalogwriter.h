#pragma once

#include "cdrecord.h"

#include <QString>
#include <memory>

struct sqlite3_stmt;

namespace velmor {
class Connection;
}

namespace velmor::tool {

// Adds CD records to a catalogue file inside one write transaction: nothing is
// stored unless commit() runs. Throws DataError when the file cannot be opened
// or a row is refused.
class CatalogWriter {
public:
    explicit CatalogWriter(const QString& path);
    ~CatalogWriter();
    CatalogWriter(const CatalogWriter&) = delete;
    CatalogWriter& operator=(const CatalogWriter&) = delete;

    // True when either table already holds a row with this key.
    bool keyStored(qint64 id);
    // True when the catalogue holds this CD exactly (both rows, once each, the same
    // texts byte for byte), so that replacing it would change nothing.
    bool storedAs(const CdRecord& cd);
    void add(const CdRecord& cd);
    // Deletes both rows of the CD with this key (every row, should a damaged file
    // repeat it).
    void remove(qint64 id);
    void commit();

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;

    Statement prepare(const char* sql);
    void bindText(sqlite3_stmt* statement, int index, const QString& text);
    void run(sqlite3_stmt* statement);

    std::shared_ptr<Connection> m_connection;
    Statement m_findKey;
    Statement m_readCd;
    Statement m_addDatos;
    Statement m_addCanciones;
    Statement m_removeDatos;
    Statement m_removeCanciones;
    QByteArray m_utf8;
    bool m_open = false;
};

}
