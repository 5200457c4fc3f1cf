#include "scratchcatalog.h"

#include "catalogcheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>
#include <memory>

using velmor::tool::checkCatalog;
using velmor::tool::CheckReport;

Q_DECLARE_METATYPE(CheckReport::Outcome)

class TestCheck : public QObject {
    Q_OBJECT

private slots:
    void damage_data();
    void damage();
    void unreadable_data();
    void unreadable();
};

static QByteArray digest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void TestCheck::damage_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("sound catalogue") << QString() << QStringList();
    QTest::newRow("missing songs row")
        << "delete from canciones where id in (2, 3)"
        << QStringList { "2 filas de datos_cd no tienen fila en canciones (claves 2, 3)" };
    QTest::newRow("songs row without its CD")
        << "delete from datos_cd where id = 1"
        << QStringList { "1 filas de canciones no tienen fila en datos_cd (claves 1)" };
    QTest::newRow("null text")
        << "drop table datos_cd; create table datos_cd (id integer primary key, nombre text, "
           "artista text, descripcion text); insert into datos_cd values (1, 'A', null, 'D'), "
           "(2, null, null, 'D'), (3, 'C', '', 'D')"
        << QStringList { "datos_cd.nombre tiene 1 valores nulos (claves 2)",
               "datos_cd.artista tiene 2 valores nulos (claves 1, 2)" };
    QTest::newRow("missing column")
        << "alter table canciones drop column cancion7"
        << QStringList { "a la tabla canciones le falta la columna cancion7" };
    QTest::newRow("columns out of order")
        << "drop table datos_cd; create table datos_cd (id integer primary key, artista text, "
           "nombre text, descripcion text); insert into datos_cd select id, '', 'N', 'D' from "
           "canciones"
        << QStringList { "las columnas de la tabla datos_cd no son las esperadas o no están en "
                         "orden: id, artista, nombre, descripcion" };
    QTest::newRow("missing table")
        << "drop table canciones" << QStringList { "falta la tabla canciones" };
    QTest::newRow("repeated keys")
        << "create table c2 as select * from canciones; drop table canciones; "
           "alter table c2 rename to canciones; insert into canciones select * from canciones "
           "where id > 1"
        << QStringList { "la tabla canciones repite 2 claves: 2, 3" };
}

void TestCheck::damage()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, problems);

    ScratchCatalog catalog;
    for (qint64 id = 1; id <= 3; ++id)
        catalog.addCd(id, { "N", "", "D" });
    if (!sql.isEmpty())
        catalog.exec(sql);
    const QByteArray before = digest(catalog.path());

    const CheckReport report = checkCatalog(catalog.path());
    QCOMPARE(report.problems, problems);
    QCOMPARE(report.outcome,
        problems.isEmpty() ? CheckReport::Outcome::Sound : CheckReport::Outcome::Problems);
    QCOMPARE(digest(catalog.path()), before);
}

void TestCheck::unreadable_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << QByteArray() << "el archivo no existe";
    QTest::newRow("empty file") << QByteArray("") << "no es un archivo de base de datos SQLite";
    QTest::newRow("text file") << QByteArray(200, 'x')
                               << "no es un archivo de base de datos SQLite";
    QTest::newRow("Access file") << (QByteArray("\0\1\0\0Standard Jet DB\0", 20)
        + QByteArray(200, '\0'))
                                 << "es un archivo de Access/Jet, no un catálogo; conviértalo con "
                                    "«velmor-db convertir»";
}

void TestCheck::unreadable()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);

    ScratchCatalog scratch;
    const QString path = scratch.filePath(QStringLiteral("otro.mdb"));
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const CheckReport report = checkCatalog(path);
    QCOMPARE(report.outcome, CheckReport::Outcome::Unreadable);
    QCOMPARE(report.problems, QStringList { reason });
    QCOMPARE(QFile::exists(path), !content.isNull());
}

std::unique_ptr<QObject> makeCheckTest() { return std::make_unique<TestCheck>(); }

#include "tst_check.moc"
