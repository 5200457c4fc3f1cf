#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QIODevice;

namespace velmor::tool {

// Writes RFC 4180 records (CRLF line ends) of UTF-8 fields, buffering so that a
// large export costs few writes. Spreadsheets set to a Spanish locale expect ';'
// between fields, because ',' is their decimal separator.
class CsvWriter {
public:
    explicit CsvWriter(QIODevice& device, char separator = ',');
    ~CsvWriter();
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    void field(QByteArrayView utf8);
    void endRecord();
    // False when the device refused a write.
    bool flush();

    // One field as it appears in a record: quoted only when it holds the separator,
    // a quote or a line break, with inner quotes doubled.
    static QByteArray encodeField(QByteArrayView utf8, char separator = ',');

private:
    QIODevice& m_device;
    QByteArray m_buffer;
    char m_separator;
    bool m_firstField = true;
    bool m_failed = false;
};

}
