#include "scratchcatalog.h"

#include "accessfile.h"
#include "conversion.h"
#include "csvreader.h"
#include "progress.h"

#include "data/dataerror.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <memory>

using namespace velmor::tool;

class TestConversion : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void mapping_data();
    void mapping();
    void readsAsMdbToolsDo();
    void accentsIntact();
    void refusals_data();
    void refusals();

private:
    QString m_fruit;
};

static QString recordText(const CdRecord& cd)
{
    QStringList texts { QString::number(cd.id), cd.nombre, cd.artista, cd.descripcion };
    for (const QString& song : cd.canciones)
        texts << song;
    while (texts.size() > 4 && texts.last().isEmpty())
        texts.removeLast();
    return texts.join(QLatin1Char('|'));
}

static QStringList runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return { QStringLiteral("<%1 failed>").arg(program) };
    return { QString::fromUtf8(process.readAllStandardOutput()) };
}

static QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void TestConversion::initTestCase()
{
    m_fruit = QStringLiteral(FRUIT_MDB);
    if (!QFile::exists(m_fruit))
        QFAIL(qPrintable(
            m_fruit + " is missing; the ctest fixture test_tools_fetch_fruit fetches it"));
}

void TestConversion::mapping_data()
{
    QTest::addColumn<QList<QStringList>>("datos");
    QTest::addColumn<QList<QStringList>>("canciones");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("report"); // without songs, then left out

    using Rows = QList<QStringList>;
    QTest::newRow("paired by key, ordered by key")
        << Rows { { "2", "B", "", "DB" }, { "1", "A", "X", "DA" } }
        << Rows { { "1", "S1", "", "S3" }, { "2", "T1" } }
        << QStringList { "1|A|X|DA|S1||S3", "2|B||DB|T1" } << QStringList();
    QTest::newRow("CD without songs row brought over with empty songs")
        << Rows { { "5", "CINCO", "", "D" } } << Rows() << QStringList { "5|CINCO||D" }
        << QStringList {
               "CD 5 (CINCO): no tiene fila en canciones; se trae con las canciones vacías"
           };
    QTest::newRow("songs without CD left out")
        << Rows { { "1", "A", "", "D" } } << Rows { { "1", "S" }, { "9", "HUÉRFANA" } }
        << QStringList { "1|A||D|S" }
        << QStringList { "canciones, fila 2 (clave «9»): no tiene fila en datos_cd" };
    QTest::newRow("keys from number columns of other types")
        << Rows { { "12.000000", "A", "", "D" }, { " 13 ", "B", "", "D" },
               { "14,0", "C", "", "D" } }
        << Rows { { "12", "S" }, { "13.0", "T" }, { "14", "U" } }
        << QStringList { "12|A||D|S", "13|B||D|T", "14|C||D|U" } << QStringList();
    QTest::newRow("keys that are not whole numbers left out")
        << Rows { { "1.5", "A", "", "D" }, { "", "B", "", "D" }, { "x", "C", "", "D" } }
        << Rows { { "1.5", "S" } } << QStringList()
        << QStringList { "canciones, fila 1 (clave «1.5»): la clave no es un número entero",
               "datos_cd, fila 1 (clave «1.5»): la clave no es un número entero",
               "datos_cd, fila 2 (clave «»): la clave no es un número entero",
               "datos_cd, fila 3 (clave «x»): la clave no es un número entero" };
    QTest::newRow("repeated keys: the first row wins")
        << Rows { { "3", "A", "", "D" }, { "3", "B", "", "D" } }
        << Rows { { "3", "S" }, { "3", "T" } } << QStringList { "3|A||D|S" }
        << QStringList {
               "canciones, fila 2 (clave «3»): clave repetida en canciones (ya en la fila 1)",
               "datos_cd, fila 2 (clave «3»): clave repetida en datos_cd (ya en la fila 1)"
           };
    QTest::newRow("texts kept as they are")
        << Rows { { "7", "canción de cuna", " Ñu ", "línea\r\notra" } }
        << Rows { { "7", "pingüino" } }
        << QStringList { "7|canción de cuna| Ñu |línea\r\notra|pingüino" } << QStringList();
}

void TestConversion::mapping()
{
    QFETCH(QList<QStringList>, datos);
    QFETCH(QList<QStringList>, canciones);
    QFETCH(QStringList, records);
    QFETCH(QStringList, report);

    const CdMapping mapping = mapCatalogRows(datos, canciones);
    QStringList mapped;
    for (const CdRecord& cd : mapping.records)
        mapped << recordText(cd);
    QCOMPARE(mapped, records);
    QCOMPARE(mapping.withoutSongs + mapping.leftOut, report);
}

void TestConversion::readsAsMdbToolsDo()
{
    const AccessFile access(m_fruit);
    const QStringList listed = runTool("mdb-tables", { "-1", m_fruit })
                                   .value(0)
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(access.tableNames(), listed);
    QVERIFY(listed.size() >= 2);

    for (const QString& table : listed) {
        const QByteArray exported = runTool("mdb-export", { m_fruit, table }).value(0).toUtf8();
        CsvReader reader(exported);
        CsvReader::Record record;
        QVERIFY2(reader.next(record), qPrintable(table));
        QStringList header;
        for (const QByteArray& field : record.fields)
            header << QString::fromUtf8(field);
        QCOMPARE(access.columnNames(table), header);

        QList<QStringList> expected;
        while (reader.next(record)) {
            QVERIFY2(record.error.isEmpty(), qPrintable(record.error));
            QStringList values;
            for (const QByteArray& field : record.fields)
                values << QString::fromUtf8(field);
            expected << values;
        }
        QList<QStringList> read;
        access.readRows(table, [&read](const QStringList& values) { read << values; });
        QCOMPARE(read, expected);
        QCOMPARE(access.rowCount(table), qint64(expected.size()));
    }
}

void TestConversion::accentsIntact()
{
    // Jet 4 stores these names as compressed Unicode, one byte per letter, so a
    // Latin-1 letter can be put in place of an ASCII one without moving anything.
    QFile original(m_fruit);
    QVERIFY(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    QVERIFY(bytes.contains("\xFF\xFE"
                           "Apricot"));
    bytes.replace("\xFF\xFE"
                  "Apricot",
        "\xFF\xFE"
        "Apric\xF3t");
    bytes.replace("\xFF\xFE"
                  "Banana",
        "\xFF\xFE"
        "Ba\xF1"
        "ana");
    ScratchCatalog scratch;
    const QString patched = scratch.filePath("acentos.mdb");
    QFile copy(patched);
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(bytes);
    copy.close();

    qputenv("MDBICONV", "ISO-8859-1");
    const AccessFile access(patched);
    QStringList fruit;
    access.readRows(
        "dried", { "FRUIT" }, [&fruit](const QStringList& values) { fruit << values[0]; });
    QVERIFY2(fruit.contains(QStringLiteral("Apricót")), qPrintable(fruit.join(',')));
    QVERIFY2(fruit.contains(QStringLiteral("Bañana")), qPrintable(fruit.join(',')));
}

void TestConversion::refusals_data()
{
    QTest::addColumn<QString>("source"); // "fruit" or "catalogue"
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<QString>("message");

    QTest::newRow("Access file without the catalogue tables")
        << "fruit" << false << "La base de datos %1 no tiene la tabla datos_cd.";
    QTest::newRow("destination exists")
        << "fruit" << true << "El archivo %2 ya existe; no se sobrescribe.";
    QTest::newRow("source is not an Access file")
        << "catalogue" << false << "El archivo %1 no es una base de datos de Access/Jet.";
}

void TestConversion::refusals()
{
    QFETCH(QString, source);
    QFETCH(bool, targetExists);
    QFETCH(QString, message);

    ScratchCatalog scratch;
    const QString from = source == "fruit" ? m_fruit : scratch.path();
    const QString target = scratch.filePath("nuevo.mdb");
    if (targetExists) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }
    const QByteArray sourceBefore = digest(from), targetBefore = digest(target);

    Progress quiet(nullptr, QString(), false);
    try {
        convertCatalog(from, target, quiet);
        QFAIL("the conversion was not refused");
    } catch (const velmor::DataError& error) {
        QCOMPARE(error.description, QString(message).replace("%1", from).replace("%2", target));
    }
    QCOMPARE(digest(from), sourceBefore);
    QCOMPARE(QFile::exists(target), targetExists);
    QCOMPARE(digest(target), targetBefore);
}

std::unique_ptr<QObject> makeConversionTest() { return std::make_unique<TestConversion>(); }

#include "tst_conversion.moc"
