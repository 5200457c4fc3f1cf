#include "csvreader.h"
#include "csvwriter.h"

#include <QBuffer>
#include <QTest>
#include <memory>

using velmor::tool::CsvReader;
using velmor::tool::CsvWriter;

class TestCsv : public QObject {
    Q_OBJECT

private slots:
    void reader_data();
    void reader();
    void encodeField_data();
    void encodeField();
    void writtenRecordsReadBack();
};

// Each record read is written "L<line>: field|field|…" or "L<line>! error".
static QStringList readAll(const QByteArray& data)
{
    CsvReader reader(data);
    CsvReader::Record record;
    QStringList out;
    while (reader.next(record)) {
        if (!record.error.isEmpty()) {
            out << QStringLiteral("L%1! %2").arg(record.line).arg(record.error);
            continue;
        }
        QStringList fields;
        for (const QByteArray& field : record.fields)
            fields << QString::fromUtf8(field);
        out << QStringLiteral("L%1: %2").arg(record.line).arg(fields.join(QLatin1Char('|')));
    }
    return out;
}

void TestCsv::reader_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("plain fields, last line without end")
        << QByteArray("a,b,c\nd,e,f") << QStringList { "L1: a|b|c", "L2: d|e|f" };
    QTest::newRow("CRLF line ends")
        << QByteArray("a,b\r\nc,d\r\n") << QStringList { "L1: a|b", "L2: c|d" };
    QTest::newRow("quoted comma and doubled quote")
        << QByteArray("\"x, y\",\"say \"\"hi\"\"\"\n") << QStringList { "L1: x, y|say \"hi\"" };
    QTest::newRow("line break inside quotes moves the next record's line") << QByteArray(
        "1,\"one\ntwo\r\nthree\"\n2,x\n") << QStringList { "L1: 1|one\ntwo\r\nthree", "L4: 2|x" };
    QTest::newRow("empty fields and trailing comma")
        << QByteArray(",,\nx,\n") << QStringList { "L1: ||", "L2: x|" };
    QTest::newRow("empty quoted field") << QByteArray("\"\",a\n") << QStringList { "L1: |a" };
    QTest::newRow("byte order mark skipped")
        << QByteArray("\xEF\xBB\xBFid,n\n") << QStringList { "L1: id|n" };
    QTest::newRow("blank lines passed over, numbering kept")
        << QByteArray("a\n\n\r\nb\n\n") << QStringList { "L1: a", "L4: b" };
    QTest::newRow("accented UTF-8 kept")
        << QByteArray("CANCIÓN,ÑANDÚ\n") << QStringList { "L1: CANCIÓN|ÑANDÚ" };
    QTest::newRow("quote inside unquoted field, next line still read")
        << QByteArray("ab\"c,d\nok\n")
        << QStringList { "L1! comillas dentro de un campo sin comillas", "L2: ok" };
    QTest::newRow("text after closing quote")
        << QByteArray("\"ab\"c,d\nok\n")
        << QStringList { "L1! hay texto tras las comillas que cierran un campo", "L2: ok" };
    QTest::newRow("unterminated quote")
        << QByteArray("a\n\"open,\nrest\n") << QStringList { "L1: a", "L2! comillas sin cerrar" };
}

void TestCsv::reader()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, records);
    QCOMPARE(readAll(data), records);
}

void TestCsv::encodeField_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("plain") << QByteArray("ABC") << QByteArray("ABC");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("blanks kept unquoted") << QByteArray(" A ") << QByteArray(" A ");
    QTest::newRow("comma") << QByteArray("A,B") << QByteArray("\"A,B\"");
    QTest::newRow("quote doubled") << QByteArray("5\" DISC") << QByteArray("\"5\"\" DISC\"");
    QTest::newRow("line feed") << QByteArray("A\nB") << QByteArray("\"A\nB\"");
    QTest::newRow("carriage return") << QByteArray("A\rB") << QByteArray("\"A\rB\"");
    QTest::newRow("accents untouched") << QByteArray("MAÑANA") << QByteArray("MAÑANA");
}

void TestCsv::encodeField()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, encoded);
    QCOMPARE(CsvWriter::encodeField(text), encoded);
}

void TestCsv::writtenRecordsReadBack()
{
    const QList<QList<QByteArray>> records {
        { "1", "A \"B\", C", "", "L1\nL2\r\nL3" },
        { "2", "", "\"", "," },
        { "3", "x", "y", "" },
    };
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        CsvWriter writer(buffer);
        for (const auto& record : records) {
            for (const QByteArray& field : record)
                writer.field(field);
            writer.endRecord();
        }
        QVERIFY(writer.flush());
    }
    CsvReader reader(buffer.data());
    CsvReader::Record record;
    for (const auto& expected : records) {
        QVERIFY(reader.next(record));
        QVERIFY2(record.error.isEmpty(), qPrintable(record.error));
        QCOMPARE(record.fields, expected);
    }
    QVERIFY(!reader.next(record));
}

std::unique_ptr<QObject> makeCsvTest() { return std::make_unique<TestCsv>(); }

#include "tst_csv.moc"
