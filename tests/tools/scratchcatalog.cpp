#include "scratchcatalog.h"

#include "data/catalogfile.h"

#include <QTest>
#include <memory>
#include <sqlite3.h>

namespace {
struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

std::unique_ptr<sqlite3, Closer> openDb(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK)
        qFatal("cannot open %s", qPrintable(path));
    return std::unique_ptr<sqlite3, Closer>(db);
}
}

ScratchCatalog::ScratchCatalog()
    : m_path(m_dir.filePath(QStringLiteral("velmor.mdb")))
{
    velmor::CatalogFile::create(m_path);
}

void ScratchCatalog::exec(const QString& sql) const
{
    const auto db = openDb(m_path);
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        qFatal("%s: %s", qPrintable(sql), qPrintable(text));
    }
}

QStringList ScratchCatalog::rows(const QString& sql) const
{
    const auto db = openDb(m_path);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        qFatal("%s: %s", qPrintable(sql), sqlite3_errmsg(db.get()));
    QStringList out;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            columns << (text ? QString::fromUtf8(text) : QStringLiteral("<null>"));
        }
        out << columns.join(QLatin1Char('|'));
    }
    sqlite3_finalize(st);
    return out;
}

void ScratchCatalog::addCd(qint64 id, const QStringList& texts) const
{
    const auto quoted = [&texts](int i) {
        return QLatin1Char('\'') + texts.value(i).replace(QLatin1Char('\''), QStringLiteral("''"))
            + QLatin1Char('\'');
    };
    QString songs = QString::number(id);
    for (int i = 3; i < 23; ++i)
        songs += QLatin1Char(',') + quoted(i);
    exec(QStringLiteral(
        "insert into datos_cd values (%1, %2, %3, %4); insert into canciones values (%5)")
             .arg(id)
             .arg(quoted(0), quoted(1), quoted(2), songs));
}
