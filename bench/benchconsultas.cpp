// The query form's rows: "&Todos" (the first click and a repeated one), searches by
// name, and a click on a listed CD, each beside plain SQLite filling three list
// models on views.

#include "benchsupport.h"

#include "consultas/frmconsultas.h"
#include "data/catalogfile.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStringListModel>
#include <memory>
#include <random>

using velmor::frmconsultas;

namespace bench {

namespace {

    qsizetype listed(frmconsultas& form)
    {
        return child<QListView>(&form, "List2")->model()->rowCount();
    }

    Samples formSearch(frmconsultas& form, int criterio, int operador, const QString& value,
        int rounds, qsizetype* rows)
    {
        child<QComboBox>(&form, "cbocriterios")->setCurrentIndex(criterio);
        child<QListWidget>(&form, "List1")->setCurrentRow(operador);
        child<QLineEdit>(&form, "txtcadena")->setText(value);
        Samples s;
        for (int r = 0; r < rounds; ++r)
            s.push_back(timed([&] { form.btnbuscar_Click(); }));
        *rows = listed(form);
        return s;
    }

    // The same rows read with one statement into three list models on views. As in the
    // form, the models of a repeated listing hold the previous one, which the new one
    // replaces; `fresh` gives every round new, empty models instead.
    Samples rawListing(const RawDb& raw, const QByteArray& sql, const QString& value, int rounds,
        bool fresh, qsizetype* rows)
    {
        Statement st(raw.db, sql);
        Samples s;
        auto host = std::make_unique<QWidget>();
        auto models = std::make_unique<QStringListModel[]>(3);
        for (int r = 0; r < rounds; ++r) {
            if (fresh || !host->findChild<QListView*>()) {
                host = std::make_unique<QWidget>();
                models = std::make_unique<QStringListModel[]>(3);
                for (int m = 0; m < 3; ++m)
                    (new QListView(host.get()))->setModel(&models[m]);
            }
            s.push_back(timed([&] {
                if (!value.isNull())
                    st.text(1, value);
                QStringList ids, nombres, artistas;
                while (st.row()) {
                    ids << st.column(0);
                    nombres << st.column(1);
                    artistas << st.column(2);
                }
                st.reset();
                models[0].setStringList(std::move(ids));
                models[1].setStringList(std::move(nombres));
                models[2].setStringList(std::move(artistas));
            }));
            *rows = models[0].rowCount();
        }
        return s;
    }

    Samples formListClick(frmconsultas& form, int rounds)
    {
        auto* list = child<QListView>(&form, "List2");
        const int count = list->model()->rowCount();
        Samples s;
        std::mt19937 rng(7);
        for (int r = 0; r < rounds; ++r) {
            const int row = int(rng() % unsigned(count));
            s.push_back(timed([&] { list->setCurrentIndex(list->model()->index(row, 0)); }));
        }
        if (child<QPlainTextEdit>(&form, "txtdescripcion")->toPlainText().isEmpty())
            die("a click on a listed CD showed no description%s\n");
        return s;
    }

    Samples rawListClick(const RawDb& raw, int rounds)
    {
        Statement ids(raw.db, "select id from datos_cd");
        QStringList all;
        while (ids.row())
            all << ids.column(0);
        Statement songs(raw.db, "select * from canciones where id = ?1");
        Statement cd(raw.db, "select descripcion from datos_cd where id = ?1");
        QWidget host;
        QStringListModel model;
        (new QListView(&host))->setModel(&model);
        auto* descripcion = new QPlainTextEdit(&host);
        Samples s;
        std::mt19937 rng(7);
        for (int r = 0; r < rounds; ++r) {
            const qint64 id = all[int(rng() % unsigned(all.size()))].toLongLong();
            s.push_back(timed([&] {
                QStringList columns;
                songs.number(1, id);
                if (songs.row())
                    for (int c = 0; c < 21; ++c)
                        columns << songs.column(c);
                songs.reset();
                cd.number(1, id);
                if (cd.row())
                    descripcion->setPlainText(cd.column(0));
                cd.reset();
                model.setStringList(columns);
            }));
        }
        return s;
    }

}

void consultasRows(int n, int rounds, std::vector<Row>& rows)
{
    const QString path = catalogue(n);
    velmor::CatalogFile::setPathOverride(path);
    const RawDb raw(path);
    const QString models = QStringLiteral("SQLite + three list models");
    qsizetype formRows = 0, rawRows = 0;

    // A form of its own for each first click: its lists are empty, its connection new;
    // each beside a repeated click on one form kept open, so that a busy moment of the
    // machine falls on both.
    frmconsultas form(nullptr);
    form.Form_Load();
    form.btntodos_Click();
    Samples first, again;
    for (int r = 0; r < rounds; ++r) {
        {
            frmconsultas fresh(nullptr);
            fresh.Form_Load();
            first.push_back(timed([&] { fresh.btntodos_Click(); }));
            formRows = listed(fresh);
        }
        again.push_back(timed([&] { form.btntodos_Click(); }));
    }
    const Samples rawFirst = rawListing(
        raw, "select id, nombre, artista from datos_cd", QString(), rounds, true, &rawRows);
    if (formRows != rawRows)
        std::fprintf(
            stderr, "listing rows differ: %lld against %lld\n", qint64(formRows), qint64(rawRows));
    rows.push_back({ QStringLiteral("\"&Todos\", first click (%1 rows)").arg(formRows),
        median(first), models, median(rawFirst) });
    rows.push_back({ "\"&Todos\" repeated", median(again), "its first click", median(first), 1.1 });
    const Samples rawAgain = rawListing(
        raw, "select id, nombre, artista from datos_cd", QString(), rounds, false, &rawRows);
    rows.push_back({ "\"&Todos\" repeated", median(again), "SQLite + the models, repeated",
        median(rawAgain) });

    const Samples click = formListClick(form, rounds * 4);
    rows.push_back({ "click on a listed CD", median(click), "SQLite, songs row + description",
        median(rawListClick(raw, rounds * 4)) });

    const QString one = raw.value(QStringLiteral("select nombre from datos_cd group by nombre "
                                                 "having count(*) = 1 limit 1 offset %1")
                                      .arg(n / 10));
    const Samples exact = formSearch(form, 1, 0, one.toLower(), rounds, &formRows);
    const Samples rawExact = rawListing(raw,
        "select id, nombre, artista from datos_cd where nombre = ?1", one, rounds, false, &rawRows);
    rows.push_back({ QStringLiteral("name search \"==\" (%1 rows)").arg(formRows), median(exact),
        models, median(rawExact) });
    const QString middle = raw.value(
        QStringLiteral("select nombre from datos_cd order by nombre limit 1 offset %1").arg(n / 2));
    const Samples from = formSearch(form, 1, 5, middle, rounds, &formRows);
    const Samples rawFrom
        = rawListing(raw, "select id, nombre, artista from datos_cd where nombre >= ?1", middle,
            rounds, false, &rawRows);
    if (formRows != rawRows)
        std::fprintf(
            stderr, "search rows differ: %lld against %lld\n", qint64(formRows), qint64(rawRows));
    rows.push_back({ QStringLiteral("name search \">=\" (%1 rows)").arg(formRows), median(from),
        models, median(rawFrom), 1.1 });
}

}
