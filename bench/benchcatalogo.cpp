// The catalogue form's rows: look-ups while typing (after a pause, right after a
// save, right after a delete, and the first one after the form loads), the toolbar's
// "agregar" and "eliminar", and the idle preparation of the look-ups; each beside
// plain SQLite doing the same work, with an index where a look-up is concerned.

#include "benchsupport.h"

#include "catalogo/frmcatalogo.h"
#include "data/catalogfile.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <sqlite3.h>

using velmor::frmcatalogo;

namespace bench {

namespace {

    QLineEdit* box(frmcatalogo& form, const char* name) { return child<QLineEdit>(&form, name); }

    // Types a stored text letter by letter, in lower case, over what one of the look-up
    // boxes holds; every keystroke runs the look-up, the last one fills the 24 boxes.
    void typeInto(frmcatalogo& form, const char* name, const QString& text, Samples& keystrokes)
    {
        QLineEdit* typed = box(form, name);
        for (qsizetype k = 1; k <= text.size(); ++k) {
            const QString prefix = text.left(k).toLower();
            keystrokes.push_back(timed([&] { typed->setText(prefix); }));
        }
        if (box(form, "txtnomcd")->text().compare(text, Qt::CaseInsensitive) != 0
            && box(form, "txtart")->text().compare(text, Qt::CaseInsensitive) != 0)
            die("the look-up found nothing for %s\n", text);
    }

    // The same look-ups with one SQLite statement each (indexed by the column), filling
    // 24 plain boxes when the CD is found.
    Samples rawTyping(const RawDb& raw, const char* column, const QStringList& texts)
    {
        Statement cd(raw.db, QByteArray("select * from datos_cd where ") + column + " = ?1");
        Statement songs(raw.db, "select * from canciones where id = ?1");
        QWidget host;
        QList<QLineEdit*> boxes;
        for (int b = 0; b < 24; ++b)
            boxes << new QLineEdit(&host);
        Samples s;
        for (const QString& text : texts)
            for (qsizetype k = 1; k <= text.size(); ++k) {
                const QString prefix = text.left(k).toLower();
                s.push_back(timed([&] {
                    boxes[1]->setText(prefix);
                    cd.text(1, prefix);
                    if (cd.row()) {
                        songs.number(1, sqlite3_column_int64(cd.st, 0));
                        if (songs.row()) {
                            for (int c = 0; c < 4; ++c)
                                boxes[c]->setText(cd.column(c));
                            for (int c = 1; c <= 20; ++c)
                                boxes[3 + c]->setText(songs.column(c));
                        }
                        songs.reset();
                    }
                    cd.reset();
                }));
            }
        return s;
    }

    // A save as "grabar" makes it: both rows of a new CD in one transaction.
    void rawSave(const RawDb& raw, const QString& key)
    {
        raw.exec("begin immediate");
        Statement cd(raw.db, "insert into datos_cd values (?1, ?2, ?3, 'DESCRIPCIÓN')");
        cd.number(1, key.toLongLong());
        cd.text(2, QStringLiteral("NUEVO ") + key);
        cd.text(3, QStringLiteral("ALGUIEN ") + key);
        cd.row();
        QByteArray songs = "insert into canciones values (?1";
        for (int i = 0; i < 20; ++i)
            songs += ", ''";
        Statement can(raw.db, songs + ")");
        can.number(1, key.toLongLong());
        can.row();
        raw.exec("commit");
    }

    // What "agregar" does: both tables read again from their first row, the look-ups
    // of the emptied key (both tables), name and artist, and 24 boxes emptied; each
    // right after a save under one of `saveFirst`, when given.
    Samples rawAgregar(const RawDb& raw, int rounds, const QStringList& saveFirst = {})
    {
        QWidget host;
        QList<QLineEdit*> boxes;
        for (int b = 0; b < 24; ++b)
            boxes << new QLineEdit(QStringLiteral("X"), &host);
        Statement byKey(raw.db, "select * from datos_cd where id = 0");
        Statement songs(raw.db, "select * from canciones where id = 0");
        Statement byName(raw.db, "select * from datos_cd where nombre = ''");
        Statement byArtist(raw.db, "select * from datos_cd where artista = ''");
        Samples s;
        for (int r = 0; r < rounds; ++r) {
            for (QLineEdit* b : boxes)
                b->setText(QStringLiteral("X"));
            if (!saveFirst.isEmpty())
                rawSave(raw, saveFirst[r]);
            s.push_back(timed([&] {
                for (const char* table : { "select * from datos_cd", "select * from canciones" })
                    Statement(raw.db, table).row();
                for (Statement* st : { &byKey, &songs, &byName, &byArtist }) {
                    st->row();
                    st->reset();
                }
                for (QLineEdit* b : boxes)
                    b->clear();
            }));
        }
        return s;
    }

    // A delete as "eliminar" makes it: both rows of a CD in one transaction.
    Samples rawDelete(const RawDb& raw, const QStringList& keys)
    {
        Statement cd(raw.db, "delete from datos_cd where id = ?1");
        Statement songs(raw.db, "delete from canciones where id = ?1");
        Samples s;
        for (const QString& key : keys)
            s.push_back(timed([&] {
                raw.exec("begin immediate");
                for (Statement* st : { &cd, &songs }) {
                    st->number(1, key.toLongLong());
                    st->row();
                    st->reset();
                }
                raw.exec("commit");
            }));
        return s;
    }

    void fillNewCd(frmcatalogo& form, const QString& key)
    {
        box(form, "txtclacd")->setText(key);
        box(form, "txtnomcd")->setText(QStringLiteral("NUEVO ") + key);
        box(form, "txtart")->setText(QStringLiteral("ALGUIEN ") + key);
        child<QPlainTextEdit>(&form, "txtdes")->setPlainText(QStringLiteral("DESCRIPCIÓN"));
    }

    struct Writes {
        Samples idleAfterLoad, nameAfterSave, artistAfterSave, nameAfterDelete, eliminar,
            agregarAfterSave, agregarAfterPause;
    };

    // Everything that writes, on a copy of the catalogue: new CDs under keys no CD
    // has, deletes of stored CDs.
    Writes formWrites(const QString& copy, const Typed& typed, const QStringList& freeKeys,
        const QStringList& storedKeys)
    {
        Writes w;
        velmor::CatalogFile::setPathOverride(copy);
        frmcatalogo form(nullptr);
        if (!form.Form_Load())
            die("the form did not load %s\n", copy);
        w.idleAfterLoad = idle(&form, "preparacion");
        int next = 0;
        const auto save = [&] {
            form.Toolbar1_ButtonClick(1);
            fillNewCd(form, freeKeys[next++]);
            form.Toolbar1_ButtonClick(3);
        };
        for (qsizetype r = 0; r < storedKeys.size(); ++r) {
            const int t = int(r % typed.names.size());
            save();
            typeInto(form, "txtnomcd", typed.names[t], w.nameAfterSave);
            save();
            typeInto(form, "txtart", typed.artists[t], w.artistAfterSave);
            save();
            w.agregarAfterSave.push_back(timed([&] { form.Toolbar1_ButtonClick(1); }));
            save();
            idle(&form, "preparacion");
            w.agregarAfterPause.push_back(timed([&] { form.Toolbar1_ButtonClick(1); }));

            box(form, "txtclacd")->setText(storedKeys[r]);
            if (box(form, "txtnomcd")->text().isEmpty())
                die("CD %s not shown\n", storedKeys[r]);
            w.eliminar.push_back(timed([&] { form.Toolbar1_ButtonClick(5); }));
            if (!box(form, "txtclacd")->text().isEmpty())
                die("CD %s not deleted\n", storedKeys[r]);
            typeInto(form, "txtnomcd", typed.names[t], w.nameAfterDelete);
        }
        return w;
    }

}

void catalogoRows(int n, int rounds, std::vector<Row>& rows)
{
    const QString path = catalogue(n);
    const RawDb indexed(indexedCatalogue(n));
    const Typed typed = typedTexts(indexed, n);
    const QString fresh = QStringLiteral("SQLite scan, fresh connection, + 24 boxes");
    const QString same = QStringLiteral("indexed SQLite query + 24 boxes");

    // The first look-up after the form loads, with no pause, reads the whole column.
    for (const char* name : { "txtnomcd", "txtart" }) {
        const bool byName = qstrcmp(name, "txtnomcd") == 0;
        const QString text = (byName ? typed.names : typed.artists)[0].toLower();
        velmor::CatalogFile::setPathOverride(path);
        frmcatalogo form(nullptr);
        form.Form_Load();
        const double first = timed([&] { box(form, name)->setText(text); });
        const RawDb scan(path);
        rows.push_back({ QStringLiteral("first look-up by %1 after load, no pause")
                             .arg(byName ? "name" : "artist"),
            first, fresh, rawTyping(scan, byName ? "nombre" : "artista", { text }).back() });
    }

    const Samples rawName = rawTyping(indexed, "nombre", typed.names);
    const Samples rawArtist = rawTyping(indexed, "artista", typed.artists);
    {
        velmor::CatalogFile::setPathOverride(path);
        frmcatalogo form(nullptr);
        form.Form_Load();
        idle(&form, "preparacion");
        Samples byName, byArtist;
        for (int r = 0; r < 2; ++r)
            for (qsizetype t = 0; t < typed.names.size(); ++t) {
                form.Toolbar1_ButtonClick(1);
                idle(&form, "preparacion");
                typeInto(form, "txtnomcd", typed.names[t], byName);
                form.Toolbar1_ButtonClick(1);
                idle(&form, "preparacion");
                typeInto(form, "txtart", typed.artists[t], byArtist);
            }
        rows.push_back({ "look-up by name after a pause, mean keystroke", mean(byName), same,
            mean(rawName), 0, 1 });
        rows.push_back({ "  slowest keystroke", slowest(byName), same, slowest(rawName) });
        rows.push_back({ "look-up by artist after a pause, mean keystroke", mean(byArtist), same,
            mean(rawArtist), 0, 1 });
        rows.push_back({ "  slowest keystroke", slowest(byArtist), same, slowest(rawArtist) });
        Samples agregar;
        for (int r = 0; r < rounds; ++r) {
            box(form, "txtclacd")->setText(typed.keys[r % typed.keys.size()]);
            if (box(form, "txtnomcd")->text().isEmpty())
                die("CD %s not shown\n", typed.keys[r % typed.keys.size()]);
            agregar.push_back(timed([&] { form.Toolbar1_ButtonClick(1); }));
        }
        rows.push_back({ "\"agregar\" with a CD shown", median(agregar),
            "SQLite: 2 re-reads, 4 indexed look-ups, 24 boxes",
            median(rawAgregar(indexed, rounds)) });
    }

    QTemporaryDir dir;
    const QString copy = copyOf(path, dir);
    QStringList freeKeys, storedKeys;
    {
        const RawDb raw(copy);
        Statement free(raw.db,
            "with recursive k(i) as (select 9999 union all select i - 1 from k where i > 1) "
            "select i from k where i not in (select id from datos_cd union select id from "
            "canciones) limit ?1");
        free.number(1, 4 * rounds);
        while (free.row())
            freeKeys << free.column(0);
        // Stored CDs whose keys can be typed, half for the form, half for SQLite.
        Statement stored(raw.db, "select id from datos_cd where id >= ?1 order by id limit 1");
        for (int r = 0; r < 2 * rounds; ++r) {
            stored.number(1, std::min(n, 9000) * (r + 1) / (2 * rounds + 1));
            if (stored.row())
                storedKeys << stored.column(0);
            stored.reset();
        }
        if (freeKeys.size() < 4 * rounds || storedKeys.size() < 2 * rounds)
            die("%s has too few free or stored keys\n", copy);
    }
    const Writes w = formWrites(copy, typed, freeKeys, storedKeys.mid(0, rounds));
    // SQLite writes to a copy with its indexes, which it keeps in step.
    QTemporaryDir rawDir;
    const RawDb raw(copyOf(indexedCatalogue(n), rawDir));
    const Samples rawDeletes = rawDelete(raw, storedKeys.mid(rounds));
    const Samples rawAfterSave = rawAgregar(raw, rounds, freeKeys.mid(0, rounds));
    const QString frame = QStringLiteral("one frame");
    rows.push_back(
        { "idle preparation after load, slowest pass", slowest(w.idleAfterLoad), frame, 16, 1 });
    rows.push_back({ QStringLiteral("  all %1 passes").arg(w.idleAfterLoad.size()),
        total(w.idleAfterLoad), frame, 16 });
    rows.push_back({ "typing a name right after a save, mean keystroke", mean(w.nameAfterSave),
        same, mean(rawName), 0, 1 });
    rows.push_back({ "  slowest keystroke", slowest(w.nameAfterSave), same, slowest(rawName) });
    rows.push_back({ "typing an artist right after a save, mean keystroke", mean(w.artistAfterSave),
        same, mean(rawArtist), 0, 1 });
    rows.push_back({ "typing a name right after \"eliminar\", mean keystroke",
        mean(w.nameAfterDelete), same, mean(rawName), 0, 1 });
    rows.push_back({ "\"eliminar\", confirmed", median(w.eliminar),
        "SQLite: 2 deletes in 1 transaction, indexed", median(rawDeletes), 3 });
    const QString click = QStringLiteral("the same, right after a save in SQLite");
    rows.push_back({ "\"agregar\" right after a save", median(w.agregarAfterSave), click,
        median(rawAfterSave), 3 });
    rows.push_back({ "\"agregar\" after a save and a pause", median(w.agregarAfterPause), click,
        median(rawAfterSave) });
    velmor::CatalogFile::setPathOverride(path);
}

}
