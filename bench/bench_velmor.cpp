// Times the catalogue form's look-ups and commands and the query form's listings
// over generated catalogues of 1,000, 32,767 and 100,000 CDs, each beside the raw
// SQLite work that gives the same result (plain connection, plain Qt widgets).
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "data/catalogfile.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QStringListModel>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <sqlite3.h>

using namespace velmor;

namespace {

// A message box during a benchmark is a failure of the run, not something to wait for.
class FailingMessageBoxes final : public MessageBoxes {
public:
    void information(QWidget*, const QString&, const QString& text) override { fail(text); }
    void error(QWidget*, const QString& text) override { fail(text); }
    bool confirm(QWidget*, const QString& text) override
    {
        fail(text);
        return false;
    }
    void failure(QWidget*, const QString& text) override { fail(text); }

private:
    [[noreturn]] static void fail(const QString& text)
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        std::abort();
    }
};

QString benchDir() { return QDir::tempPath() + QStringLiteral("/velmor-bench"); }

QString catalogue(int n)
{
    const QString path = benchDir() + QStringLiteral("/velmor-%1.mdb").arg(n);
    if (QFile::exists(path))
        return path;
    QDir().mkpath(benchDir());
    CatalogFile::create(path);
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    // One name in four carries accents, so both ways of comparing text are timed.
    QString sql = QStringLiteral(
        "begin;"
        "with recursive n(i) as (select 1 union all select i+1 from n where i < %1) "
        "insert into datos_cd select i, "
        "case when i % 4 = 0 then 'CANCIÓN DE CUNA ' || i else 'DISCO ' || i end, "
        "'ARTISTA ' || (i % 1000), 'DESCRIPCIÓN DEL DISCO ' || i from n;"
        "with recursive n(i) as (select 1 union all select i+1 from n where i < %1) "
        "insert into canciones select i")
                      .arg(n);
    for (int k = 1; k <= 20; ++k)
        sql += QStringLiteral(", 'CANCIÓN %1-' || (i % 100)").arg(k);
    sql += QStringLiteral(" from n; commit;");
    sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

struct RawDb {
    sqlite3* db = nullptr;
    explicit RawDb(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, "pragma mmap_size=1073741824", nullptr, nullptr, nullptr);
    }
    ~RawDb() { sqlite3_close(db); }
    sqlite3_stmt* prepare(const QString& sql) const
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
        return st;
    }
};

QString text(sqlite3_stmt* st, int i)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
        sqlite3_column_bytes(st, i));
}

template <typename T> T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }

// Catalogue form -------------------------------------------------------------

// Types one of two values into a box by turns; each change runs the look-up and
// fills the 24 boxes. The other box shows whether the look-up found the CD.
void formLookup(benchmark::State& state, const char* box, const char* shown, bool byName)
{
    const int n = int(state.range(0));
    CatalogFile::setPathOverride(catalogue(n));
    frmcatalogo form(nullptr);
    form.Form_Load();
    auto* typed = child<QLineEdit>(&form, box);
    // Names typed in lower case; CDs near the end of the table.
    const QString values[] = { byName ? QStringLiteral("disco %1").arg(n - 1) : QString::number(n),
        byName ? QStringLiteral("disco %1").arg(n - 2) : QString::number(n / 2) };
    int i = 0;
    for (auto _ : state)
        typed->setText(values[i++ % 2]);
    if (child<QLineEdit>(&form, shown)->text().isEmpty())
        state.SkipWithError("the look-up found nothing");
}

void formKeyLookup(benchmark::State& state) { formLookup(state, "txtclacd", "txtnomcd", false); }
void formNameLookup(benchmark::State& state) { formLookup(state, "txtnomcd", "txtclacd", true); }

void rawLookup(benchmark::State& state, const char* where, bool byName)
{
    const int n = int(state.range(0));
    RawDb raw(catalogue(n));
    sqlite3_stmt* cd = raw.prepare(QStringLiteral("select * from datos_cd where ") + where);
    sqlite3_stmt* songs = raw.prepare("select * from canciones where id = ?");
    QWidget host;
    QList<QLineEdit*> boxes;
    for (int b = 0; b < 24; ++b)
        boxes << new QLineEdit(&host);
    const QString values[] = { byName ? QStringLiteral("disco %1").arg(n - 1) : QString::number(n),
        byName ? QStringLiteral("disco %1").arg(n - 2) : QString::number(n / 2) };
    int i = 0;
    for (auto _ : state) {
        const QByteArray v = values[i++ % 2].toUtf8();
        sqlite3_bind_text(cd, 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(cd) == SQLITE_ROW) {
            sqlite3_bind_int64(songs, 1, sqlite3_column_int64(cd, 0));
            if (sqlite3_step(songs) == SQLITE_ROW) {
                for (int c = 0; c < 4; ++c)
                    boxes[c]->setText(text(cd, c));
                for (int c = 1; c <= 20; ++c)
                    boxes[3 + c]->setText(text(songs, c));
            }
            sqlite3_reset(songs);
        }
        sqlite3_reset(cd);
    }
    sqlite3_finalize(cd);
    sqlite3_finalize(songs);
}

void rawKeyLookup(benchmark::State& state) { rawLookup(state, "id = ?", false); }
void rawNameLookup(benchmark::State& state) { rawLookup(state, "nombre = ?", true); }

void formToolbarClick(benchmark::State& state)
{
    CatalogFile::setPathOverride(catalogue(int(state.range(0))));
    frmcatalogo form(nullptr);
    form.Form_Load();
    for (auto _ : state)
        form.Toolbar1_ButtonClick(2); // a separator: both record sources re-read, nothing else
}

void rawToolbarClick(benchmark::State& state)
{
    RawDb raw(catalogue(int(state.range(0))));
    for (auto _ : state) {
        for (const char* sql : { "select rowid from datos_cd", "select rowid from canciones" }) {
            sqlite3_stmt* st = raw.prepare(sql);
            qint64 sum = 0;
            while (sqlite3_step(st) == SQLITE_ROW)
                sum += sqlite3_column_int64(st, 0);
            benchmark::DoNotOptimize(sum);
            sqlite3_finalize(st);
        }
    }
}

// Query form -----------------------------------------------------------------

enum class Search { Todos, Nombre, Cancion };

void formQuery(benchmark::State& state, Search search)
{
    const int n = int(state.range(0));
    CatalogFile::setPathOverride(catalogue(n));
    frmconsultas form(nullptr);
    form.Form_Load();
    if (search != Search::Todos) {
        child<QComboBox>(&form, "cbocriterios")->setCurrentIndex(search == Search::Nombre ? 1 : 3);
        child<QListWidget>(&form, "List1")->setCurrentRow(search == Search::Nombre ? 5 : 0);
        child<QLineEdit>(&form, "txtcadena")
            ->setText(search == Search::Nombre ? QStringLiteral("disco 5") : QStringLiteral("canción 1-7"));
    }
    for (auto _ : state) {
        if (search == Search::Todos)
            form.btntodos_Click();
        else
            form.btnbuscar_Click();
    }
    state.counters["rows"] = double(child<QListView>(&form, "List2")->model()->rowCount());
}

void rawQuery(benchmark::State& state, Search search)
{
    const int n = int(state.range(0));
    RawDb raw(catalogue(n));
    QWidget host;
    QStringListModel models[3];
    for (auto& m : models)
        (new QListView(&host))->setModel(&m);
    QString song = "select id from canciones where cancion1='CANCIÓN 1-7'";
    for (int k = 2; k <= 20; ++k)
        song += QStringLiteral(" or cancion%1='CANCIÓN 1-7'").arg(k);
    for (auto _ : state) {
        QStringList ids, nombres, artistas;
        auto add = [&](sqlite3_stmt* st) {
            ids << text(st, 0);
            nombres << text(st, 1);
            artistas << text(st, 2);
        };
        if (search == Search::Cancion) {
            sqlite3_stmt* songs = raw.prepare(song);
            sqlite3_stmt* cd = raw.prepare("select id, nombre, artista from datos_cd where id = ?");
            while (sqlite3_step(songs) == SQLITE_ROW) {
                sqlite3_bind_int64(cd, 1, sqlite3_column_int64(songs, 0));
                if (sqlite3_step(cd) == SQLITE_ROW)
                    add(cd);
                sqlite3_reset(cd);
            }
            sqlite3_finalize(songs);
            sqlite3_finalize(cd);
        } else {
            sqlite3_stmt* st = raw.prepare(search == Search::Todos
                    ? QStringLiteral("select id, nombre, artista from datos_cd")
                    : QStringLiteral("select id, nombre, artista from datos_cd where nombre >= 'DISCO 5'"));
            while (sqlite3_step(st) == SQLITE_ROW)
                add(st);
            sqlite3_finalize(st);
        }
        models[0].setStringList(ids);
        models[1].setStringList(nombres);
        models[2].setStringList(artistas);
    }
    state.counters["rows"] = double(models[0].rowCount());
}

void formTodos(benchmark::State& s) { formQuery(s, Search::Todos); }
void rawTodos(benchmark::State& s) { rawQuery(s, Search::Todos); }
void formNameSearch(benchmark::State& s) { formQuery(s, Search::Nombre); }
void rawNameSearch(benchmark::State& s) { rawQuery(s, Search::Nombre); }
void formSongSearch(benchmark::State& s) { formQuery(s, Search::Cancion); }
void rawSongSearch(benchmark::State& s) { rawQuery(s, Search::Cancion); }

}

#define VELMOR_BENCH(f, unit) BENCHMARK(f)->Arg(1000)->Arg(32767)->Arg(100000)->Unit(unit)

VELMOR_BENCH(formKeyLookup, benchmark::kMicrosecond);
VELMOR_BENCH(rawKeyLookup, benchmark::kMicrosecond);
VELMOR_BENCH(formNameLookup, benchmark::kMillisecond);
VELMOR_BENCH(rawNameLookup, benchmark::kMillisecond);
VELMOR_BENCH(formToolbarClick, benchmark::kMillisecond);
VELMOR_BENCH(rawToolbarClick, benchmark::kMillisecond);
VELMOR_BENCH(formTodos, benchmark::kMillisecond);
VELMOR_BENCH(rawTodos, benchmark::kMillisecond);
VELMOR_BENCH(formNameSearch, benchmark::kMillisecond);
VELMOR_BENCH(rawNameSearch, benchmark::kMillisecond);
VELMOR_BENCH(formSongSearch, benchmark::kMillisecond);
VELMOR_BENCH(rawSongSearch, benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FailingMessageBoxes boxes;
    MessageBoxes::setInstance(&boxes);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MessageBoxes::setInstance(nullptr);
    return 0;
}
