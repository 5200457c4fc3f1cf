#include "reportsource.h"

#include "catalogbackup.h"
#include "progress.h"

#include "data/catalogfile.h"
#include "data/collation.h"
#include "data/connection.h"
#include "data/dataerror.h"
#include "data/valuerules.h"

#include <sqlite3.h>

namespace velmor::tool {

namespace {
    // One more character than shown, to know that a text was cut.
    const QByteArray cut = QByteArray::number(ReportSource::textLimit + 1);

    QByteArray shown(const QByteArray& column) { return "substr(" + column + ", 1, " + cut + ")"; }

    QString columnText(sqlite3_stmt* statement, int column)
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        QString value
            = text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
        if (value.size() > ReportSource::textLimit)
            value = value.left(ReportSource::textLimit) + QStringLiteral("… [texto cortado]");
        return value;
    }

    QByteArray songColumn(int i) { return "c.cancion" + QByteArray::number(i + 1); }

    QByteArray songSum()
    {
        QByteArray sum;
        for (int i = 0; i < songCount; ++i)
            sum += QByteArray(i > 0 ? " + " : "") + "(coalesce(" + songColumn(i) + ", '') <> '')";
        return sum;
    }

    // Artists and names are compared as their shown part, so that the order and
    // the grouping agree even for texts over the limit.
    QByteArray artistOrder(const char* table = "d.")
    {
        return shown(QByteArray(table) + "artista") + " collate nocase";
    }
    QByteArray nameOrder(const char* table = "d.")
    {
        return shown(QByteArray(table) + "nombre") + " collate nocase";
    }
}

ReportSource::ReportSource(const QString& path, ReportOptions options)
    : m_path(path)
    , m_options(options)
{
    CatalogFile::check(path);
    sqlite3* raw = nullptr;
    // An empty name is a private file of the engine's, removed when closed, also
    // by the system should the program be killed.
    const int rc = sqlite3_open_v2("", &raw, SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK)
        fail(rc);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_exec(
        raw, "pragma cache_size = -8192; pragma temp_store = file", nullptr, nullptr, nullptr);
    Progress quiet(nullptr, QString(), false);
    copyCatalog(path, raw, quiet);
    installCatalogCollation(raw);

    // The copy is ours: an index in report order lets every walk read it in order
    // without sorting it again.
    const QByteArray order = m_options.byKey
        ? QByteArray("create index velmor_informe on datos_cd(id)")
        : "create index velmor_informe on datos_cd(" + artistOrder("") + ", " + nameOrder("")
            + ", id)";
    const QByteArray index = "create table velmor_indice (clave text primary key collate nocase, "
                             "titulo text, lugar integer) without rowid";
    for (const QByteArray& sql : { order, index }) {
        if (const int step = sqlite3_exec(raw, sql.constData(), nullptr, nullptr, nullptr);
            step != SQLITE_OK)
            fail(step);
    }
    m_note = prepare("insert or ignore into velmor_indice values (?1, ?2, ?3)");

    m_counts.cds = number("select count(*) from datos_cd");
    m_counts.artists = number("select count(*) from (select 1 from datos_cd d where d.artista <> "
                              "'' group by "
        + artistOrder() + ")");
    m_counts.songs = number("select coalesce(sum(" + songSum()
        + "), 0) from datos_cd d join canciones c on c.id = d.id");
}

ReportSource::~ReportSource() = default;

SqliteStatement ReportSource::prepare(const QByteArray& sql) const
{
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(m_db.get(), sql.constData(), -1, &statement, nullptr);
    SqliteStatement owned(statement);
    if (rc != SQLITE_OK)
        fail(rc);
    return owned;
}

qint64 ReportSource::number(const QByteArray& sql) const
{
    const SqliteStatement statement = prepare(sql);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW)
        fail(rc);
    return sqlite3_column_int64(statement.get(), 0);
}

void ReportSource::fail(int rc) const
{
    throw engineError(
        rc, m_path, QString::fromUtf8(m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc)));
}

void ReportSource::walk(const std::function<void(const ReportCd&)>& each, Progress& progress,
    qint64 done, qint64 total) const
{
    QByteArray sql
        = "select " + shown("d.id") + ", " + shown("d.nombre") + ", " + shown("d.artista");
    if (m_options.list) {
        sql += ", " + songSum();
    } else {
        sql += ", " + shown("d.descripcion");
        for (int i = 0; i < songCount; ++i)
            sql += ", " + shown(songColumn(i));
    }
    sql += " from datos_cd d indexed by velmor_informe left join canciones c on c.id = d.id "
           "order by ";
    sql += m_options.byKey ? QByteArray("d.id") : artistOrder() + ", " + nameOrder() + ", d.id";
    const SqliteStatement rows = prepare(sql);
    sqlite3_stmt* statement = rows.get();

    ReportCd cd;
    QByteArray artist;
    qint64 seen = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const QByteArray rowArtist(reinterpret_cast<const char*>(sqlite3_column_text(statement, 2)),
            sqlite3_column_bytes(statement, 2));
        cd.firstOfArtist = !m_options.byKey
            && (seen == 0
                || compareCatalogText(
                       std::string_view(rowArtist.constData(), size_t(rowArtist.size())),
                       std::string_view(artist.constData(), size_t(artist.size())))
                    != 0);
        if (cd.firstOfArtist)
            artist = rowArtist;
        cd.key = columnText(statement, 0);
        cd.nombre = columnText(statement, 1);
        cd.artista = columnText(statement, 2);
        if (m_options.list) {
            cd.songs = sqlite3_column_int(statement, 3);
        } else {
            cd.descripcion = columnText(statement, 3);
            cd.songs = 0;
            for (int i = 0; i < songCount; ++i) {
                cd.canciones[size_t(i)] = columnText(statement, 4 + i);
                cd.songs += cd.canciones[size_t(i)].isEmpty() ? 0 : 1;
            }
        }
        each(cd);
        if (++seen % 500 == 0)
            progress.update(done + seen, total, m_counts.cds);
    }
    if (rc != SQLITE_DONE)
        fail(rc);
}

QString ReportSource::artistHeading(const QString& artista)
{
    return artista.isEmpty() ? QStringLiteral("Sin artista") : upperCaseForm(artista);
}

bool ReportSource::noteArtist(const QString& artista, qint64 place)
{
    sqlite3_stmt* statement = m_note.get();
    const QByteArray key = artista.toUtf8();
    const QByteArray heading = artistHeading(artista).toUtf8();
    sqlite3_bind_text(statement, 1, key.constData(), int(key.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 2, heading.constData(), int(heading.size()), SQLITE_STATIC);
    sqlite3_bind_int64(statement, 3, place);
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc != SQLITE_DONE)
        fail(rc);
    return sqlite3_changes(m_db.get()) > 0;
}

void ReportSource::walkArtists(
    const std::function<void(const QString& heading, qint64 place)>& each) const
{
    const SqliteStatement rows
        = prepare("select titulo, lugar from velmor_indice order by clave collate nocase");
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW)
        each(columnText(rows.get(), 0), sqlite3_column_int64(rows.get(), 1));
    if (rc != SQLITE_DONE)
        fail(rc);
}

qint64 ReportSource::artistsNoted() const { return number("select count(*) from velmor_indice"); }

}

namespace velmor::tool {

qint64 ReportSource::longestKey() const
{
    return number("select coalesce(max(length(" + shown("id") + ")), 0) from datos_cd");
}

}
