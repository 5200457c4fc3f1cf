#pragma once

#include "data/connection.h"
#include "data/dataerror.h"
#include "data/recordsource.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

// Record-source helpers shared by the suites of the data layer and of the catalogue
// file: binding, the error a step throws, a file's bytes, a save as the form makes it.
namespace recordsourcehelpers {

struct Failure {
    int number = 0; // 0: nothing was thrown
    QString description;
};

template <typename F> Failure failureOf(F&& f)
{
    try {
        f();
    } catch (const velmor::DataError& e) {
        return { e.number, e.description };
    }
    return {};
}

template <typename F> int errorOf(F&& f) { return failureOf(f).number; }

inline void bind(velmor::RecordSource& source, const QString& path, const QString& text)
{
    source.setDatabaseName(path);
    source.setRecordSource(text);
    source.Refresh();
}

// The bytes of a regular file, or "-" (a pipe is never opened: that would block).
inline QByteArray contents(const QString& path)
{
    QFile f(path);
    return QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("-");
}

// A save as the catalogue form makes it: both rows, every song column, one transaction.
inline void saveCd(velmor::RecordSource& datcd, velmor::RecordSource& datcan, qint64 id,
    const QString& nombre = "N", const QString& descripcion = "D",
    const QStringList& canciones = {})
{
    velmor::TransactionGuard tx(datcd, &datcan);
    velmor::Recordset& d = datcd.Recordset();
    d.AddNew();
    d.Collect("id", id);
    d.Collect("nombre", nombre);
    d.Collect("artista", "");
    d.Collect("descripcion", descripcion);
    d.Update();
    velmor::Recordset& c = datcan.Recordset();
    c.AddNew();
    c.Collect("id", id);
    for (int i = 1; i <= 20; ++i)
        c.Collect(QStringLiteral("cancion%1").arg(i), canciones.value(i - 1, QStringLiteral("")));
    c.Update();
    tx.commit();
}

}
