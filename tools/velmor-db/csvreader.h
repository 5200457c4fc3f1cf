#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>

class QIODevice;

namespace velmor::tool {

struct CsvLimits {
    qsizetype field = 64 * 1024; // bytes of one field
    qsizetype record = 256 * 1024; // bytes of one record, separators included
};

// Reads RFC 4180 records of UTF-8 text from a device, a block at a time, so that
// memory stays bounded whatever the input. Fields are separated by commas, or by
// semicolons when the first line has more of those (spreadsheets in Spanish write
// that way). A leading byte order mark is passed over. Line ends may be CRLF or LF,
// and a CR as the very last byte ends the line too; quoted fields may span lines.
// Lines with nothing on them are passed over, because spreadsheets often leave some
// at the end of a file.
class CsvReader {
public:
    using Limits = CsvLimits;

    struct Record {
        int line = 0; // line on which the record starts, 1 first
        QList<QByteArray> fields;
        QString error; // empty when the record is well formed
    };

    // The device must stay open while the reader is used.
    explicit CsvReader(QIODevice& device, Limits limits = Limits());
    // Reads a copy of the data.
    explicit CsvReader(QByteArrayView data, Limits limits = Limits());
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Fills record with the next one; false when the data is exhausted. A malformed
    // record comes back with its error, and reading resumes on the next line. A
    // record over a limit also comes back with its error, but ends the reading:
    // what follows cannot be told apart from the rest of the oversized field.
    bool next(Record& record);

    // Bytes consumed so far.
    qint64 position() const { return m_consumed; }
    char separator() const { return m_separator; }

private:
    int peek();
    int get();
    QByteArray readBlock();
    bool fill();
    bool atLineEnd();
    void skipLineEnd();
    void skipRestOfLine();
    void detectSeparator();
    void takeRun(QByteArray& field, bool quoted);
    bool overLimit(Record& record, qsizetype fieldSize, qsizetype recordSize);

    std::unique_ptr<QBuffer> m_owned;
    QIODevice& m_device;
    Limits m_limits;
    QByteArray m_block;
    qsizetype m_pos = 0;
    qint64 m_consumed = 0;
    int m_line = 1;
    char m_separator = 0;
    bool m_end = false;
    bool m_stopped = false;
};

}
