#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace velmor::tool {

// Reads RFC 4180 records from UTF-8 text held in memory. Line ends may be CRLF or
// LF; quoted fields may span lines. Fields are separated by ',' or, when that comes
// first on the first line, by ';' as spreadsheets in a Spanish locale write them. Lines with nothing on them are passed over,
// because spreadsheets often leave some at the end of a file.
class CsvReader {
public:
    struct Record {
        int line = 0; // line on which the record starts, 1 first
        QList<QByteArray> fields;
        QString error; // empty when the record is well formed
    };

    explicit CsvReader(QByteArrayView data);

    // Fills record with the next one; false when the data is exhausted. A malformed
    // record comes back with its error, and reading resumes on the next line.
    bool next(Record& record);

    qsizetype position() const { return m_pos; }

private:
    bool atLineEnd() const;
    void skipLineEnd();
    void skipRestOfLine();
    void fail(Record& record, const QString& error);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    int m_line = 1;
    char m_separator = ',';
};

}
