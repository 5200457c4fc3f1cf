#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

namespace velmor::tool {

struct OdsLimits {
    qsizetype cell = 64 * 1024; // characters of one cell
    qsizetype row = 256 * 1024; // characters of one row
    int cells = 1024; // cells of one row up to its last non-empty one
    qint64 content = qint64(4) << 30; // bytes of the unpacked sheet
    qsizetype markup = 1 << 20; // bytes of XML read without a complete token
};

// Reads the rows of the first sheet of an OpenDocument spreadsheet, one at a time,
// from the unpacked XML as it is read, so that memory stays bounded whatever the
// file holds: a cell, a row or the whole sheet over its limit stops the reading
// with an error, and a repeated cell or row is counted rather than copied. Each
// cell's value is its text as shown, paragraphs joined by line feeds, except that a
// number in the first column gives its exact value.
class OdsReader {
public:
    using Limits = OdsLimits;

    struct Record {
        int line = 0; // row number in the sheet, 1 first
        QStringList fields; // up to the last non-empty cell, at least columns
        QString error; // empty when the row could be read
    };

    // columns: the cells every row has, empty ones at its end included. The device
    // must allow seeking (a file) and stay open while the reader is used. A file
    // that is no spreadsheet gives a single record with the error.
    OdsReader(QIODevice& device, int columns, Limits limits = Limits());
    ~OdsReader();
    OdsReader(const OdsReader&) = delete;
    OdsReader& operator=(const OdsReader&) = delete;

    // Fills record with the next row that holds anything; false when the sheet is
    // exhausted. After a record with an error no more follow.
    bool next(Record& record);

    // Unpacked bytes read so far, and in all.
    qint64 position() const;
    qint64 size() const;

    // True when the bytes begin as a zip archive does, an OpenDocument file among them.
    static bool looksLikeArchive(const QByteArray& start);

private:
    class Parser;
    std::unique_ptr<Parser> m_parser;
};

}
