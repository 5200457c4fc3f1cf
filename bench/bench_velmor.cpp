// Times what a user waits for on the two forms over generated catalogues, each
// beside a baseline that does the same work with plain SQLite and plain Qt models
// in the same run, and prints one table per catalogue size.
//
//   bench_velmor [--million] [--rounds N] [--size N]... [--only catalogo|consultas|arranque]
//
// Sizes are 1,000 and 100,000 CDs; 1,000,000 is added by --million or by the
// environment variable VELMOR_BENCH_MILLION=1; --size replaces them. Catalogues are kept in
// <temp>/velmor-bench between runs. --only runs one group of rows: the catalogue form,
// the query form (with its peak memory), or start-up.
//
// Start-up and peak memory are measured in child processes of this program, one per
// side and round, so that neither side inherits what the other loaded: start-up from
// the start of main to the first frame of the main window, peak memory as the
// child's maximum resident set after listing every CD.
#include "app/mdiprincipal.h"
#include "catalogo/frmcatalogo.h"
#include "consultas/frmconsultas.h"
#include "data/catalogfile.h"
#include "data/collation.h"
#include "ui/messageboxes.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStringListModel>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <sqlite3.h>
#include <vector>

using namespace velmor;

namespace {

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

// Catalogue data -------------------------------------------------------------

const char* const palabras[] = { "AMOR", "NOCHE", "DÍA", "SOL", "LUNA", "MAR", "CIELO", "TIERRA",
    "FUEGO", "AGUA", "VIENTO", "CORAZÓN", "ALMA", "VIDA", "SUEÑO", "CAMINO", "CIUDAD", "PUEBLO",
    "CANCIÓN", "BAILE", "FIESTA", "SILENCIO", "TIEMPO", "RECUERDO", "OLVIDO", "ESPERANZA",
    "LÁGRIMAS", "SONRISA", "BESO", "FLOR", "JARDÍN", "RÍO", "MONTAÑA", "ESTRELLA", "LUZ", "SOMBRA",
    "INVIERNO", "VERANO", "OTOÑO", "PRIMAVERA", "MAÑANA", "TARDE", "ALEGRÍA", "TRISTEZA", "PASIÓN",
    "DESEO", "LIBERTAD", "DESTINO", "SECRETO", "PROMESA", "VERDAD", "MENTIRA", "GUITARRA", "TAMBOR",
    "VOZ", "PALABRA", "CARTA", "VENTANA", "PUERTA", "CASA", "CALLE", "PLAZA", "NIÑO", "MUJER",
    "HOMBRE", "AMIGO", "HERMANO", "MADRE", "PADRE", "ROSA", "CLAVEL", "ORO", "PLATA", "HIERRO",
    "CRISTAL", "PAPEL", "TREN", "BARCO", "AVIÓN", "ISLA", "PLAYA", "ARENA", "NUBE", "TORMENTA",
    "LLUVIA", "NIEVE", "FRÍO", "CALOR", "AZUL", "ROJO", "VERDE", "NEGRO", "BLANCO", "DORADO",
    "ETERNO", "SALVAJE", "DULCE", "AMARGO", "LEJANO", "NUEVO", "VIEJO", "ÚLTIMO", "PRIMER",
    "GRANDE", "PEQUEÑO", "LOCO", "TRISTE", "FELIZ", "PERDIDO", "ENCONTRADO", "BAJO", "SOBRE",
    "ENTRE", "SIN", "CON", "PARA", "HASTA", "DESDE" };
const char* const nombresPropios[] = { "ANA", "LUIS", "CARMEN", "JAVIER", "LUCÍA", "PABLO",
    "MARTA", "DIEGO", "SOFÍA", "ANDRÉS", "ELENA", "JORGE", "ISABEL", "RAÚL", "PILAR", "MIGUEL",
    "ROCÍO", "SERGIO", "NURIA", "ÁLVARO", "BEATRIZ", "HÉCTOR", "INÉS", "RUBÉN", "SARA", "IVÁN",
    "LAURA", "ÓSCAR", "EVA", "MARIO", "JULIA", "TOMÁS", "CLARA", "VÍCTOR", "ALBA", "GONZALO",
    "IRENE", "ADRIÁN", "NOELIA", "RAMÓN", "SILVIA", "ÁNGEL", "TERESA", "FÉLIX", "ROSA", "EMILIO",
    "PALOMA", "JOAQUÍN", "MONTSE", "DAVID", "OLGA", "MANUEL", "LOLA", "ENRIQUE", "MARÍA", "JOSÉ",
    "CRISTINA", "ALBERTO", "VERÓNICA", "FERNANDO" };
const char* const apellidos[] = { "GARCÍA", "MARTÍNEZ", "LÓPEZ", "SÁNCHEZ", "PÉREZ", "GÓMEZ",
    "MARTÍN", "JIMÉNEZ", "RUIZ", "HERNÁNDEZ", "DÍAZ", "MORENO", "MUÑOZ", "ÁLVAREZ", "ROMERO",
    "ALONSO", "GUTIÉRREZ", "NAVARRO", "TORRES", "DOMÍNGUEZ", "VÁZQUEZ", "RAMOS", "GIL", "RAMÍREZ",
    "SERRANO", "BLANCO", "MOLINA", "MORALES", "SUÁREZ", "ORTEGA", "DELGADO", "CASTRO", "ORTIZ",
    "RUBIO", "MARÍN", "SANZ", "NÚÑEZ", "IGLESIAS", "MEDINA", "GARRIDO", "CORTÉS", "CASTILLO",
    "SANTOS", "LOZANO", "GUERRERO", "CANO", "PRIETO", "MÉNDEZ", "CRUZ", "CALVO", "GALLEGO",
    "VIDAL", "LEÓN", "MÁRQUEZ", "HERRERA", "PEÑA", "FLORES", "CABRERA", "CAMPOS", "VEGA",
    "FUENTES", "CARRASCO", "DIEZ", "REYES", "CABALLERO", "NIETO", "AGUILAR", "PASCUAL", "SANTANA",
    "HERRERO", "MONTERO", "LORENZO", "HIDALGO", "GIMÉNEZ", "IBÁÑEZ", "FERRER", "DURÁN", "SANTIAGO",
    "BENÍTEZ", "MORA", "VICENTE", "VARGAS", "ARIAS", "CARMONA", "CRESPO", "ROMÁN", "PASTOR",
    "SOTO", "SÁEZ", "VELASCO", "MOYA", "SOLER", "PARRA", "ESTEBAN", "BRAVO", "GALLARDO", "ROJAS" };

template <size_t N> QString pick(std::mt19937& rng, const char* const (&list)[N])
{
    return QString::fromUtf8(list[std::uniform_int_distribution<size_t>(0, N - 1)(rng)]);
}

QString words(std::mt19937& rng, int count)
{
    QStringList w;
    for (int i = 0; i < count; ++i)
        w << pick(rng, palabras);
    return w.join(QLatin1Char(' '));
}

QString benchDir() { return QDir::tempPath() + QStringLiteral("/velmor-bench"); }

struct Statement {
    sqlite3_stmt* st = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &st, nullptr); }
    ~Statement() { sqlite3_finalize(st); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void text(int i, const QString& s)
    {
        const QByteArray b = s.toUtf8();
        sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
    }
    void run()
    {
        sqlite3_step(st);
        sqlite3_reset(st);
    }
};

// Names of 1 to 3 Spanish words, 5,000 artists, descriptions of about 90
// characters, 8 to 14 songs per CD, keys with small gaps (above 9,999 from about
// 9,000 CDs on).
QString catalogue(int n)
{
    const QString path = benchDir() + QStringLiteral("/velmor-v2-%1.mdb").arg(n);
    if (QFile::exists(path))
        return path;
    QDir().mkpath(benchDir());
    const QString building = path + QStringLiteral(".tmp");
    QFile::remove(building);
    CatalogFile::create(building);
    sqlite3* db = nullptr;
    sqlite3_open(building.toUtf8().constData(), &db);
    sqlite3_exec(db, "pragma synchronous=off; begin", nullptr, nullptr, nullptr);
    std::mt19937 rng(20261207);
    QStringList artistas;
    {
        QSet<QString> seen;
        while (artistas.size() < 5000) {
            const QString a = pick(rng, nombresPropios) + QLatin1Char(' ') + pick(rng, apellidos)
                + (rng() % 3 == 0 ? QLatin1Char(' ') + pick(rng, apellidos) : QString());
            if (!seen.contains(a)) {
                seen.insert(a);
                artistas << a;
            }
        }
    }
    Statement cd(db, "insert into datos_cd values (?1, ?2, ?3, ?4)");
    QByteArray songSql = "insert into canciones values (?1";
    for (int i = 2; i <= 21; ++i)
        songSql += ", ?" + QByteArray::number(i);
    Statement songs(db, songSql + ")");
    for (int i = 1; i <= n; ++i) {
        const qint64 id = i + i / 10;
        QString descripcion = words(rng, 12);
        while (descripcion.size() < 90)
            descripcion += QLatin1Char(' ') + pick(rng, palabras);
        descripcion.truncate(90);
        sqlite3_bind_int64(cd.st, 1, id);
        cd.text(2, words(rng, 1 + int(rng() % 3)));
        cd.text(3, artistas[int(rng() % 5000)]);
        cd.text(4, descripcion);
        cd.run();
        sqlite3_bind_int64(songs.st, 1, id);
        const int count = 8 + int(rng() % 7);
        for (int s = 1; s <= 20; ++s)
            songs.text(s + 1, s <= count ? words(rng, 1 + int(rng() % 4)) : QString());
        songs.run();
    }
    sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QFile::rename(building, path);
    return path;
}

// A plain connection comparing text as the program does.
struct RawDb {
    sqlite3* db = nullptr;
    explicit RawDb(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        installCatalogCollation(db);
    }
    ~RawDb() { sqlite3_close(db); }
    QString value(const QString& sql) const
    {
        Statement st(db, sql.toUtf8().constData());
        return sqlite3_step(st.st) == SQLITE_ROW ? text(st.st, 0) : QString();
    }
    static QString text(sqlite3_stmt* st, int i)
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
            sqlite3_column_bytes(st, i));
    }
};

template <typename T> T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }

// Timing ---------------------------------------------------------------------

using Samples = std::vector<double>; // milliseconds

template <typename F> double timed(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

double median(Samples s)
{
    if (s.empty())
        return 0;
    std::sort(s.begin(), s.end());
    return s[s.size() / 2];
}

double slowest(const Samples& s) { return s.empty() ? 0 : *std::max_element(s.begin(), s.end()); }

struct Row {
    QString what;
    double velmor;
    QString baseline;
    double base;
};

void print(int n, const std::vector<Row>& rows)
{
    std::printf("\n%d CDs (medians unless marked; ms)\n", n);
    std::printf("%-44s %10s  %-40s %10s %7s\n", "operation", "velmor", "baseline (same run)",
        "baseline", "ratio");
    for (const Row& r : rows)
        std::printf("%-44s %10.3f  %-40s %10.3f %7.2f\n", qPrintable(r.what), r.velmor,
            qPrintable(r.baseline), r.base, r.base > 0 ? r.velmor / r.base : 0.0);
    std::fflush(stdout);
}

// Catalogue form -------------------------------------------------------------

// The user pauses: the event loop runs until it has had nothing to do for a while.
// Returns the passes that did work.
Samples idle()
{
    Samples passes;
    QElapsedTimer limit;
    limit.start();
    for (int quiet = 0; quiet < 50 && limit.elapsed() < 10000;) {
        const double pass = timed([] { QCoreApplication::processEvents(); });
        if (pass < 0.05) {
            ++quiet;
        } else {
            quiet = 0;
            passes.push_back(pass);
        }
    }
    return passes;
}

// Names typed letter by letter into a freshly cleared form (an "agregar" click and a
// pause before each), every keystroke running the look-up and, once the whole stored
// text is typed, filling the 24 boxes. `pauses` gets the event-loop passes of the pauses.
Samples formTyping(frmcatalogo& form, const char* box, const QStringList& texts, Samples* pauses)
{
    Samples s;
    auto* typed = child<QLineEdit>(&form, box);
    for (const QString& text : texts) {
        form.Toolbar1_ButtonClick(1);
        const Samples passes = idle();
        pauses->insert(pauses->end(), passes.begin(), passes.end());
        for (qsizetype k = 1; k <= text.size(); ++k) {
            const QString prefix = text.left(k).toLower();
            s.push_back(timed([&] { typed->setText(prefix); }));
        }
        if (child<QLineEdit>(&form, "txtclacd")->text().isEmpty()) {
            std::fprintf(stderr, "the look-up by %s found nothing for %s\n", box, qPrintable(text));
            std::exit(1);
        }
    }
    return s;
}

Samples rawTyping(const RawDb& raw, const char* column, const QStringList& texts)
{
    Statement cd(raw.db, (QByteArray("select * from datos_cd where ") + column + " = ?1").constData());
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
                if (sqlite3_step(cd.st) == SQLITE_ROW) {
                    sqlite3_bind_int64(songs.st, 1, sqlite3_column_int64(cd.st, 0));
                    if (sqlite3_step(songs.st) == SQLITE_ROW) {
                        for (int c = 0; c < 4; ++c)
                            boxes[c]->setText(RawDb::text(cd.st, c));
                        for (int c = 1; c <= 20; ++c)
                            boxes[3 + c]->setText(RawDb::text(songs.st, c));
                    }
                    sqlite3_reset(songs.st);
                }
                sqlite3_reset(cd.st);
            }));
        }
    return s;
}

// "agregar" with a CD shown: both record sources re-read, then the 24 boxes are
// emptied, each emptied key, name and artist box running its look-up.
Samples formAgregar(frmcatalogo& form, const QStringList& keys)
{
    Samples s;
    auto* clave = child<QLineEdit>(&form, "txtclacd");
    for (const QString& key : keys) {
        clave->setText(key);
        if (child<QLineEdit>(&form, "txtnomcd")->text().isEmpty()) {
            std::fprintf(stderr, "CD %s not shown\n", qPrintable(key));
            std::exit(1);
        }
        s.push_back(timed([&] { form.Toolbar1_ButtonClick(1); }));
    }
    return s;
}

// "agregar" right after a CD is saved through the form, with a pause between the two
// or none, on a copy of the catalogue. The save changes the file, so the look-ups
// that "agregar" runs on the emptied boxes cannot use what was read before it.
Samples formAgregarAfterSave(const QString& path, int rounds, bool pause)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("velmor.mdb"));
    if (!QFile::copy(path, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(path));
        std::exit(1);
    }
    QStringList free;
    {
        RawDb raw(copy);
        Statement st(raw.db,
            QStringLiteral("with recursive k(i) as (select 9999 union all select i - 1 from k "
                           "where i > 1) select i from k where i not in (select id from datos_cd union "
                           "select id from canciones) "
                           "limit %1")
                .arg(rounds)
                .toUtf8()
                .constData());
        while (sqlite3_step(st.st) == SQLITE_ROW)
            free << RawDb::text(st.st, 0);
    }
    CatalogFile::setPathOverride(copy);
    Samples s;
    {
        frmcatalogo form(nullptr);
        form.Form_Load();
        for (const QString& key : free) {
            form.Toolbar1_ButtonClick(1);
            idle();
            child<QLineEdit>(&form, "txtclacd")->setText(key);
            child<QLineEdit>(&form, "txtnomcd")->setText(QStringLiteral("NUEVO ") + key);
            child<QLineEdit>(&form, "txtart")->setText(QStringLiteral("ALGUIEN ") + key);
            child<QPlainTextEdit>(&form, "txtdes")->setPlainText(QStringLiteral("DESCRIPCIÓN"));
            form.Toolbar1_ButtonClick(3);
            if (pause)
                idle();
            s.push_back(timed([&] { form.Toolbar1_ButtonClick(1); }));
        }
    }
    CatalogFile::setPathOverride(path);
    return s;
}

Samples rawAgregar(const RawDb& raw, int rounds)
{
    QWidget host;
    QList<QLineEdit*> boxes;
    for (int b = 0; b < 24; ++b)
        boxes << new QLineEdit(QStringLiteral("X"), &host);
    Samples s;
    for (int r = 0; r < rounds; ++r) {
        for (QLineEdit* b : boxes)
            b->setText(QStringLiteral("X"));
        s.push_back(timed([&] {
            for (const char* sql : { "select * from datos_cd where id = 0",
                     "select * from canciones where id = 0",
                     "select * from datos_cd where nombre = ''",
                     "select * from datos_cd where artista = ''" }) {
                Statement st(raw.db, sql);
                sqlite3_step(st.st);
            }
            for (QLineEdit* b : boxes)
                b->clear();
        }));
    }
    return s;
}

// Query form -----------------------------------------------------------------

Samples formSearch(frmconsultas& form, int criterio, int operador, const QString& value, int rounds,
    qsizetype* rows)
{
    child<QComboBox>(&form, "cbocriterios")->setCurrentIndex(criterio);
    child<QListWidget>(&form, "List1")->setCurrentRow(operador);
    child<QLineEdit>(&form, "txtcadena")->setText(value);
    Samples s;
    for (int r = 0; r < rounds; ++r)
        s.push_back(timed([&] { form.btnbuscar_Click(); }));
    *rows = child<QListView>(&form, "List2")->model()->rowCount();
    return s;
}

Samples formTodos(frmconsultas& form, int rounds, qsizetype* rows)
{
    Samples s;
    for (int r = 0; r < rounds; ++r)
        s.push_back(timed([&] { form.btntodos_Click(); }));
    *rows = child<QListView>(&form, "List2")->model()->rowCount();
    return s;
}

// The same rows read with one statement into three list models on views. Like the
// form's lists, the models hold the previous listing, which the new one replaces.
Samples rawListing(const RawDb& raw, const QString& sql, const QString& value, int rounds,
    qsizetype* rows)
{
    QWidget host;
    QStringListModel models[3];
    for (auto& m : models)
        (new QListView(&host))->setModel(&m);
    Statement st(raw.db, sql.toUtf8().constData());
    Samples s;
    for (int r = 0; r < rounds; ++r) {
        s.push_back(timed([&] {
            if (!value.isNull())
                st.text(1, value);
            QStringList ids, nombres, artistas;
            while (sqlite3_step(st.st) == SQLITE_ROW) {
                ids << RawDb::text(st.st, 0);
                nombres << RawDb::text(st.st, 1);
                artistas << RawDb::text(st.st, 2);
            }
            sqlite3_reset(st.st);
            models[0].setStringList(std::move(ids));
            models[1].setStringList(std::move(nombres));
            models[2].setStringList(std::move(artistas));
        }));
    }
    *rows = models[0].rowCount();
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
    if (child<QPlainTextEdit>(&form, "txtdescripcion")->toPlainText().isEmpty()) {
        std::fprintf(stderr, "a click on a listed CD showed no description\n");
        std::exit(1);
    }
    return s;
}

Samples rawListClick(const RawDb& raw, int rounds)
{
    Statement ids(raw.db, "select id from datos_cd");
    QStringList listed;
    while (sqlite3_step(ids.st) == SQLITE_ROW)
        listed << RawDb::text(ids.st, 0);
    Statement songs(raw.db, "select * from canciones where id = ?1");
    Statement cd(raw.db, "select descripcion from datos_cd where id = ?1");
    QWidget host;
    QStringListModel model;
    (new QListView(&host))->setModel(&model);
    auto* descripcion = new QPlainTextEdit(&host);
    Samples s;
    std::mt19937 rng(7);
    for (int r = 0; r < rounds; ++r) {
        const qint64 id = listed[int(rng() % unsigned(listed.size()))].toLongLong();
        s.push_back(timed([&] {
            QStringList columns;
            sqlite3_bind_int64(songs.st, 1, id);
            if (sqlite3_step(songs.st) == SQLITE_ROW)
                for (int c = 0; c < 21; ++c)
                    columns << RawDb::text(songs.st, c);
            sqlite3_reset(songs.st);
            sqlite3_bind_int64(cd.st, 1, id);
            if (sqlite3_step(cd.st) == SQLITE_ROW)
                descripcion->setPlainText(RawDb::text(cd.st, 0));
            sqlite3_reset(cd.st);
            model.setStringList(columns);
        }));
    }
    return s;
}

// Start-up and peak memory -----------------------------------------------------

// Runs the event loop until the window's first frame has been painted: widgets
// that their children cover are not painted at all, so any widget's paint counts,
// and the rest of the frame is painted before the event loop returns.
void waitForFirstFrame(QWidget& window)
{
    struct Painted : QObject {
        QWidget* window = nullptr;
        bool seen = false;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Paint && o->isWidgetType()
                && static_cast<QWidget*>(o)->window() == window)
                seen = true;
            return false;
        }
    } painted;
    painted.window = &window;
    qApp->installEventFilter(&painted);
    QElapsedTimer guard;
    guard.start();
    while (!painted.seen && guard.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    qApp->removeEventFilter(&painted);
    if (!painted.seen) {
        std::fprintf(stderr, "the window was never painted\n");
        std::exit(1);
    }
}

void coverScreen(QWidget& window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.setGeometry(screen->availableGeometry());
}

// The high-water mark of this process's own memory: getrusage would also count
// what the parent held when it started this one.
long peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// One side of one measurement, alone in this process; prints its figure.
int child(int argc, char** argv, const QElapsedTimer& sinceStart)
{
    const QByteArray what = argv[2];
    const QString path = QString::fromLocal8Bit(argv[3]);
    QApplication app(argc, argv);
    FailingMessageBoxes boxes;
    MessageBoxes::setInstance(&boxes);
    if (what == "startup-velmor") {
        // As the program's main does (it also loads the resources, see main).
        setUpApplication();
        CatalogFile::setPathOverride(path);
        mdiprincipal window;
        coverScreen(window);
        window.showMaximized();
        if (!window.showCatalogo())
            return 1;
        waitForFirstFrame(window);
        std::printf("%f\n", double(sinceStart.nsecsElapsed()) / 1e6);
    } else if (what == "startup-bare") {
        QMainWindow window;
        auto* area = new QMdiArea;
        window.setCentralWidget(area);
        auto* form = new QWidget;
        // The catalogue form's client area at 96 DPI, so that the boxes are drawn too.
        form->setFixedSize(592, 450);
        for (int b = 0; b < 24; ++b)
            (new QLineEdit(form))->setGeometry(10 + (b % 2) * 300, 10 + (b / 2) * 30, 280, 24);
        area->addSubWindow(form)->show();
        coverScreen(window);
        window.showMaximized();
        waitForFirstFrame(window);
        std::printf("%f\n", double(sinceStart.nsecsElapsed()) / 1e6);
    } else if (what == "memory-velmor") {
        CatalogFile::setPathOverride(path);
        frmconsultas form(nullptr);
        if (!form.Form_Load())
            return 1;
        form.btntodos_Click();
        std::printf(
            "%ld %d\n", peakKilobytes(), child<QListView>(&form, "List2")->model()->rowCount());
    } else if (what == "memory-bare") {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        QWidget host;
        QStringListModel models[3];
        for (auto& m : models)
            (new QListView(&host))->setModel(&m);
        {
            Statement st(db, "select id, nombre, artista from datos_cd");
            QStringList columns[3];
            while (sqlite3_step(st.st) == SQLITE_ROW)
                for (int c = 0; c < 3; ++c)
                    columns[c] << RawDb::text(st.st, c);
            for (int c = 0; c < 3; ++c)
                models[c].setStringList(std::exchange(columns[c], {}));
        }
        sqlite3_close(db);
        std::printf("%ld %d\n", peakKilobytes(), models[0].rowCount());
    } else {
        return 2;
    }
    MessageBoxes::setInstance(nullptr);
    return 0;
}

// Runs one side in a child process and returns the first number it printed.
double inChild(const char* what, const QString& path, qint64* second = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), { "--child", what, path });
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "child %s failed\n", what);
        std::exit(1);
    }
    const QList<QByteArray> figures = p.readAllStandardOutput().trimmed().split(' ');
    if (second)
        *second = figures.value(1).toLongLong();
    return figures.value(0).toDouble();
}

// Sides alternate so that a busy moment of the machine falls on both.
void startUp(const QString& label, const QString& path, int rounds, std::vector<Row>& rows)
{
    Samples velmorSide, bare;
    for (int r = 0; r < rounds; ++r) {
        velmorSide.push_back(inChild("startup-velmor", path));
        bare.push_back(inChild("startup-bare", path));
    }
    rows.push_back(
        { label, median(velmorSide), "bare main window, MDI area, 24 boxes", median(bare) });
}

void peakMemory(const QString& path, std::vector<Row>& rows)
{
    qint64 velmorRows = 0, bareRows = 0;
    const double velmorSide = inChild("memory-velmor", path, &velmorRows) / 1024;
    const double bare = inChild("memory-bare", path, &bareRows) / 1024;
    if (velmorRows != bareRows)
        std::fprintf(stderr, "listing rows differ: %lld against %lld\n", velmorRows, bareRows);
    rows.push_back({ QStringLiteral("peak memory, \"&Todos\" (MB, one run)"), velmorSide,
        "SQLite + three list models", bare });
}

void run(int n, int rounds, const QString& only)
{
    const QString path = catalogue(n);
    CatalogFile::setPathOverride(path);
    RawDb raw(path);
    std::vector<Row> rows;

    // Texts typed: stored names and artists of CDs spread over the catalogue.
    QStringList names, artists, keys;
    for (int k = 1; k <= 5; ++k) {
        const QString where = QStringLiteral(" from datos_cd where id >= %1 order by id limit 1")
                                  .arg(qint64(n) * k / 5 - n / 20);
        names << raw.value("select nombre" + where);
        artists << raw.value("select artista" + where);
        keys << raw.value("select id" + where);
    }
    const auto wanted = [&](const char* group) { return only.isEmpty() || only == group; };
    if (wanted("arranque")) {
        startUp(QStringLiteral("start-up to the first frame"), path, std::max(15, rounds), rows);
        if (n == 1000)
            startUp(QStringLiteral("start-up, empty catalogue"), catalogue(0),
                std::max(15, rounds), rows);
    }
    // The first look-up by a column after the form loads also reads the column.
    for (const char* box : { "txtnomcd", "txtart" }) {
        if (!wanted("catalogo"))
            break;
        frmcatalogo form(nullptr);
        form.Form_Load();
        const QString typed = (box == QLatin1String("txtnomcd") ? names : artists)[0].toLower();
        const double first = timed([&] { child<QLineEdit>(&form, box)->setText(typed); });
        rows.push_back({ QStringLiteral("first look-up by %1 after load")
                             .arg(box == QLatin1String("txtnomcd") ? "name" : "artist"),
            first, "the same SQLite query + 24 boxes",
            rawTyping(raw, box == QLatin1String("txtnomcd") ? "nombre" : "artista", { typed })
                .back() });
    }
    if (wanted("catalogo")) {
        frmcatalogo form(nullptr);
        form.Form_Load();
        Samples idleName, idleArtist;
        const Samples byName = formTyping(form, "txtnomcd", names, &idleName);
        const Samples byArtist = formTyping(form, "txtart", artists, &idleArtist);
        QStringList clicks;
        for (int r = 0; r < rounds; ++r)
            clicks << keys[r % keys.size()];
        const Samples agregar = formAgregar(form, clicks);
        const Samples rawName = rawTyping(raw, "nombre", names);
        const Samples rawArtist = rawTyping(raw, "artista", artists);
        const QString same = QStringLiteral("the same SQLite query + 24 boxes");
        const QString rawSlowest = QStringLiteral("slowest keystroke of that query");
        rows.push_back({ "look-up by name, keystroke", median(byName), same, median(rawName) });
        rows.push_back({ "look-up by name, slowest keystroke", slowest(byName), same, slowest(rawName) });
        rows.push_back({ "  pause after \"agregar\", longest pass", slowest(idleName), rawSlowest,
            slowest(rawName) });
        rows.push_back({ QStringLiteral("  pause after \"agregar\", %1 passes in all")
                             .arg(idleName.size()),
            std::accumulate(idleName.begin(), idleName.end(), 0.0), rawSlowest, slowest(rawName) });
        rows.push_back({ "look-up by artist, keystroke", median(byArtist), same, median(rawArtist) });
        rows.push_back(
            { "look-up by artist, slowest keystroke", slowest(byArtist), same, slowest(rawArtist) });
        rows.push_back({ "  pause after \"agregar\", longest pass", slowest(idleArtist),
            rawSlowest, slowest(rawArtist) });
        const double rawClick = median(rawAgregar(raw, rounds));
        rows.push_back({ "toolbar \"agregar\" with a CD shown", median(agregar),
            "its 4 SQLite look-ups + 24 boxes", rawClick });
        rows.push_back({ "  right after a save", median(formAgregarAfterSave(path, 5, false)),
            "its 4 SQLite look-ups + 24 boxes", rawClick });
        rows.push_back({ "  after a save and a pause", median(formAgregarAfterSave(path, 5, true)),
            "its 4 SQLite look-ups + 24 boxes", rawClick });
    }
    if (wanted("consultas")) {
        frmconsultas form(nullptr);
        form.Form_Load();
        qsizetype formRows = 0, rawRows = 0;
        const QString models = QStringLiteral("SQLite + three list models");
        const Samples todos = formTodos(form, rounds, &formRows);
        const Samples rawTodos = rawListing(
            raw, "select id, nombre, artista from datos_cd", QString(), rounds, &rawRows);
        rows.push_back({ QStringLiteral("\"&Todos\" (%1 rows)").arg(formRows), median(todos), models,
            median(rawTodos) });
        if (formRows != rawRows)
            std::fprintf(stderr, "listing rows differ: %lld against %lld\n", qint64(formRows),
                qint64(rawRows));
        const Samples click = formListClick(form, rounds * 4);
        rows.push_back({ "click on a listed CD", median(click), "SQLite, songs row + description",
            median(rawListClick(raw, rounds * 4)) });

        const QString one = raw.value(QStringLiteral("select nombre from datos_cd group by nombre "
                                                     "having count(*) = 1 limit 1 offset %1")
                                          .arg(n / 10));
        const Samples exact = formSearch(form, 1, 0, one.toLower(), rounds, &formRows);
        const Samples rawExact = rawListing(raw,
            "select id, nombre, artista from datos_cd where nombre = ?1", one, rounds, &rawRows);
        rows.push_back({ QStringLiteral("name search \"==\" (%1 rows)").arg(formRows),
            median(exact), models, median(rawExact) });
        const QString middle = raw.value(
            QStringLiteral("select nombre from datos_cd order by nombre limit 1 offset %1").arg(n / 2));
        const Samples from = formSearch(form, 1, 5, middle, rounds, &formRows);
        const Samples rawFrom = rawListing(raw,
            "select id, nombre, artista from datos_cd where nombre >= ?1", middle, rounds, &rawRows);
        rows.push_back({ QStringLiteral("name search \">=\" (%1 rows)").arg(formRows), median(from),
            models, median(rawFrom) });
    }
    if (wanted("consultas"))
        peakMemory(path, rows);
    print(n, rows);
}

}

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        if (qstrcmp(argv[2], "startup-velmor") == 0)
            Q_INIT_RESOURCE(velmor);
        return child(argc, argv, sinceStart);
    }
    QApplication app(argc, argv);
    FailingMessageBoxes boxes;
    MessageBoxes::setInstance(&boxes);
    bool million = qEnvironmentVariableIntValue("VELMOR_BENCH_MILLION") != 0;
    int rounds = 15;
    const QStringList args = app.arguments();
    std::vector<int> sizes;
    QString only;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--million"))
            million = true;
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            sizes.push_back(std::max(1, args[++i].toInt()));
        else if (args[i] == QLatin1String("--only") && i + 1 < args.size())
            only = args[++i];
    }
    if (sizes.empty())
        sizes = { 1000, 100000 };
    if (million)
        sizes.push_back(1000000);
    for (int n : sizes)
        run(n, rounds, only);
    MessageBoxes::setInstance(nullptr);
    return 0;
}
