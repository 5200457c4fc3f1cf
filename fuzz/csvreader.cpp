// The CSV reader on arbitrary bytes: limits hold, reading always advances, and
// a record it reads well comes back the same after writing it out again.
#include "csvreader.h"
#include "csvwriter.h"
#include "require.h"

#include <cstdint>

using velmor::tool::CsvLimits;
using velmor::tool::CsvReader;
using velmor::tool::CsvWriter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small limits, so that inputs of a few hundred bytes reach them.
    const CsvLimits limits { 40, 200 };
    CsvReader reader(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), limits);
    CsvReader::Record record;
    int lastLine = 0;
    qint64 lastPosition = 0;
    while (reader.next(record)) {
        require(record.line > lastLine);
        require(reader.position() > lastPosition && reader.position() <= qint64(size));
        lastLine = record.line;
        lastPosition = reader.position();
        qsizetype total = 0;
        for (const QByteArray& field : record.fields) {
            require(field.size() <= limits.field);
            total += field.size();
        }
        require(total <= limits.record);
        if (!record.error.isEmpty() || record.fields == QList<QByteArray> { QByteArray() })
            continue;

        // A first line of commas fixes the separator for the record written out.
        QByteArray again = ",\r\n";
        for (qsizetype i = 0; i < record.fields.size(); ++i) {
            if (i)
                again += ',';
            again += CsvWriter::encodeField(record.fields[i]);
        }
        again += "\r\n";
        CsvReader reread(again, CsvLimits { qsizetype(again.size()), qsizetype(again.size()) });
        CsvReader::Record header, copy;
        require(reread.next(header) && reread.next(copy));
        require(copy.error.isEmpty() && copy.fields == record.fields);
    }
    return 0;
}
