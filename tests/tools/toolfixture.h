#pragma once

// What the tool's tests share: scratch catalogues with direct SQL access, so that a test can set up
// or damage a file independently of the code under test, and runs of the velmor-db executable.

#include "cdrecord.h"

#include "data/catalogfile.h"
#include "../common/scratchdb.h"

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace toolfixture {

using namespace scratch;
using velmor::tool::songCount;

// Every row of both tables of a catalogue file, each table ordered by key.
inline QStringList allRows(const QString& path)
{
    return Db(path, SQLITE_OPEN_READONLY)
        .sql("select 'datos_cd', * from datos_cd order by id;select 'canciones', * from canciones "
             "order by id");
}

// An empty catalogue made by the tool's own code in a directory of its own.
struct ScratchCatalog {
    QTemporaryDir dir;

    ScratchCatalog() { velmor::CatalogFile::create(path()); }
    QString path() const { return dir.filePath("velmor.mdb"); }
    QString file(const QString& name) const { return dir.filePath(name); }
    QStringList sql(const QString& statements) const { return Db(path()).sql(statements); }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    void addCd(qint64 id, const QStringList& texts) const // nombre, artista, descripcion, songs…
    {
        QStringList all = texts;
        all.resize(3 + songCount);
        Db db(path());
        db.insert("insert into datos_cd values (?1, ?2, ?3, ?4)", id, all.mid(0, 3));
        db.insert("insert into canciones values (?1" + QString(", ?").repeated(songCount) + ")", id,
            all.mid(3));
    }
};

// The CSV header row, written out here rather than taken from the tool.
inline QString csvHeader(QChar separator = ',')
{
    QString header = QStringList { "id", "nombre", "artista", "descripcion" }.join(separator);
    for (int i = 1; i <= songCount; ++i)
        header += separator + QStringLiteral("cancion%1").arg(i);
    return header;
}

// 24 fields: key, name, artist, description, then the given songs and empty ones.
inline QStringList fields(const QString& key, const QString& nombre, const QString& artista,
    const QString& descripcion, const QStringList& songs = {})
{
    QStringList out { key, nombre, artista, descripcion };
    for (int i = 0; i < songCount; ++i)
        out << songs.value(i);
    return out;
}

// A CSV text of the lines, after the header unless header is false.
inline QByteArray csv(const QList<QStringList>& lines, bool header = true)
{
    QString text = header ? csvHeader() + '\n' : QString();
    for (const QStringList& line : lines)
        text += line.join(',') + '\n';
    return text.toUtf8();
}

struct Run {
    int code = -1;
    QString out, err;
};

inline Run finished(QProcess& process)
{
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()) };
}

inline Run run(const QStringList& arguments, const QString& program = VELMOR_DB_EXECUTABLE)
{
    QProcess process;
    process.start(program, arguments);
    return finished(process);
}

}
