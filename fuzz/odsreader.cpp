// The spreadsheet reader on arbitrary bytes: taken as the file itself when they
// begin as a zip archive, otherwise as the sheet's XML put into one. Limits hold,
// rows come in order, and the reading ends.
#include "odsreader.h"
#include "require.h"

#include <QBuffer>
#include <cstdint>
#include <quazip.h>
#include <quazipfile.h>
#include <quazipnewinfo.h>

using velmor::tool::OdsLimits;
using velmor::tool::OdsReader;

namespace {
QByteArray archive(const QByteArray& content)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    QuaZipFile entry(&zip);
    // Stored, so that the bytes of the input are those read.
    entry.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("content.xml")), nullptr, 0, 0, 0);
    entry.write(content);
    entry.close();
    zip.close();
    return buffer.data();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file;
    file.setData(OdsReader::looksLikeArchive(input) ? input : archive(input));
    file.open(QIODevice::ReadOnly);
    // Small limits, so that inputs of a few kilobytes reach them.
    OdsLimits limits;
    limits.cell = 100;
    limits.row = 400;
    limits.cells = 40;
    limits.content = 1 << 20;
    limits.markup = 4096;
    constexpr int columns = 24;
    OdsReader reader(file, columns, limits);
    OdsReader::Record record;
    int lastLine = 0;
    bool ended = false;
    while (reader.next(record)) {
        require(!ended);
        require(record.line > lastLine);
        lastLine = record.line;
        require(reader.position() <= limits.content + 64 * 1024);
        if (!record.error.isEmpty()) {
            require(record.fields.isEmpty());
            // A fault of the file ends the reading; a refused row does not.
            ended = !record.error.startsWith(QStringLiteral("la fila se repite"));
            continue;
        }
        require(record.fields.size() >= columns && record.fields.size() <= limits.cells);
        qsizetype total = 0;
        for (const QString& field : record.fields) {
            require(field.size() <= limits.cell);
            total += field.size();
        }
        require(total <= limits.row);
    }
    return 0;
}
