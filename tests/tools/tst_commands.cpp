#include "scratchcatalog.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <memory>

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void exitCodes_data();
    void exitCodes();
    void largeExportAndImport();

private:
    struct Run {
        int code = -1;
        QString out;
        QString err;
    };
    static Run run(const QStringList& arguments);
};

TestCommands::Run TestCommands::run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(VELMOR_DB_EXECUTABLE), arguments);
    Run result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCommands::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments"); // %C catalogue, %N new path, %V CSV, %F Access file
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("no command") << QStringList() << 2 << ""
                                << "Uso: velmor-db ORDEN ARGUMENTOS";
    QTest::newRow("unknown command") << QStringList { "borrar" } << 2 << ""
                                     << "velmor-db: orden desconocida «borrar».";
    QTest::newRow("general help") << QStringList { "--help" } << 0
                                  << "convertir ARCHIVO_ACCESS RUTA_NUEVA   convierte"
                                  << "";
    for (const char* usage : { "crear RUTA", "verificar RUTA", "exportar RUTA [ARCHIVO.csv]",
             "importar RUTA ARCHIVO.csv", "convertir ARCHIVO_ACCESS RUTA_NUEVA" }) {
        const QString command = QString::fromLatin1(usage).section(QLatin1Char(' '), 0, 0);
        QTest::addRow("%s --help", qPrintable(command))
            << QStringList { command, "--help" } << 0
            << "Uso: velmor-db " + QString::fromLatin1(usage) << "";
        QTest::addRow("%s with too many arguments", qPrintable(command))
            << QStringList { command, "a", "b", "c" } << 2 << ""
            << "Uso: velmor-db " + QString::fromLatin1(usage);
    }
    QTest::newRow("crear") << QStringList { "crear", "%N" } << 0 << "Catálogo vacío creado en"
                           << "";
    QTest::newRow("crear over an existing file") << QStringList { "crear", "%C" } << 2 << ""
                                                 << "ya existe";
    QTest::newRow("verificar sound")
        << QStringList { "verificar", "%C" } << 0 << "Resultado: el catálogo está en buen estado."
        << "";
    QTest::newRow("verificar damaged")
        << QStringList { "verificar", "%D" } << 1
        << "PROBLEMA: 1 filas de datos_cd no tienen fila en canciones (claves 2)"
        << "";
    QTest::newRow("verificar an Access file")
        << QStringList { "verificar", "%F" } << 2 << "es un archivo de Access/Jet"
        << "";
    QTest::newRow("exportar to stdout")
        << QStringList { "exportar", "%C" } << 0 << "\r\n1,UNO,,D,S1"
        << "";
    QTest::newRow("exportar over an existing file")
        << QStringList { "exportar", "%C", "%V" } << 2 << ""
        << "ya existe; no se sobrescribe";
    QTest::newRow("exportar a missing catalogue") << QStringList { "exportar", "%N" } << 2 << ""
                                                  << "velmor-db: ";
    QTest::newRow("importar refused")
        << QStringList { "importar", "%C", "%V" } << 1 << "línea 2: falta la clave"
        << "";
    QTest::newRow("importar a missing CSV") << QStringList { "importar", "%C", "%N" } << 2 << ""
                                            << "No se puede leer";
    QTest::newRow("convertir without catalogue tables")
        << QStringList { "convertir", "%F", "%N" } << 2 << ""
        << "no tiene la tabla datos_cd";
}

void TestCommands::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);

    ScratchCatalog catalog;
    catalog.addCd(1, { "UNO", "", "D", "S1" });
    catalog.addCd(2, { "DOS", "", "D" });
    ScratchCatalog damaged;
    damaged.addCd(1, { "UNO", "", "D" });
    damaged.exec("insert into datos_cd values (2, 'DOS', '', 'D')");
    const QString csv = catalog.filePath("malo.csv");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray header = "id,nombre,artista,descripcion";
    for (int i = 1; i <= 20; ++i)
        header += ",cancion" + QByteArray::number(i);
    file.write(header + "\n" + QByteArray(",").repeated(23) + "\n");
    file.close();

    for (QString& argument : arguments) {
        argument.replace("%C", catalog.path())
            .replace("%D", damaged.path())
            .replace("%N", catalog.filePath("nuevo.mdb"))
            .replace("%V", csv)
            .replace("%F", QStringLiteral(FRUIT_MDB));
    }
    const Run result = run(arguments);
    QCOMPARE(result.code, code);
    if (out.isEmpty())
        QCOMPARE(result.out, QString());
    else
        QVERIFY2(result.out.contains(out), qPrintable(result.out));
    if (err.isEmpty())
        QCOMPARE(result.err, QString());
    else
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
}

void TestCommands::largeExportAndImport()
{
    ScratchCatalog source;
    source.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 6000) "
                "insert into datos_cd select i, 'CD ' || i, 'ÑANDÚ', 'DESCRIPCIÓN, \"' || i || "
                "'\"' from n");
    source.exec(
        "insert into canciones (id, cancion1, cancion20) select id, 'UNO', 'VEINTE' from datos_cd");

    const Run exported = run({ "exportar", source.path() });
    QCOMPARE(exported.code, 0);
    QVERIFY2(exported.err.endsWith("exportando: 100 %\n"), qPrintable(exported.err));
    QCOMPARE(exported.out.count("\r\n"), 6001);

    const QString csv = source.filePath("copia.csv");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(exported.out.toUtf8());
    file.close();

    const QString target = source.filePath("copia.mdb");
    QCOMPARE(run({ "crear", target }).code, 0);
    const Run imported = run({ "importar", target, csv });
    QCOMPARE(imported.code, 0);
    QCOMPARE(imported.out, "Importados 6000 CD en " + target + ".\n");
    QVERIFY2(imported.err.endsWith("importando: 100 %\n"), qPrintable(imported.err));

    QCOMPARE(run({ "verificar", target }).code, 0);
    const Run again = run({ "exportar", target });
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out, exported.out);
}

std::unique_ptr<QObject> makeCommandsTest() { return std::make_unique<TestCommands>(); }

#include "tst_commands.moc"
