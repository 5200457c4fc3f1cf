#include "benchsupport.h"

#include "data/catalogfile.h"
#include "data/collation.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>
#include <sqlite3.h>
#include <time.h>

namespace bench {

void BenchMessageBoxes::fail(const QString& text) { die("unexpected message: %s\n", text); }

void die(const char* format, const QString& what)
{
    std::fprintf(stderr, format, qPrintable(what));
    std::exit(1);
}

namespace {

    const char* const palabras[] = { "AMOR", "NOCHE", "DÍA", "SOL", "LUNA", "MAR", "CIELO",
        "TIERRA", "FUEGO", "AGUA", "VIENTO", "CORAZÓN", "ALMA", "VIDA", "SUEÑO", "CAMINO", "CIUDAD",
        "PUEBLO", "CANCIÓN", "BAILE", "FIESTA", "SILENCIO", "TIEMPO", "RECUERDO", "OLVIDO",
        "ESPERANZA", "LÁGRIMAS", "SONRISA", "BESO", "FLOR", "JARDÍN", "RÍO", "MONTAÑA", "ESTRELLA",
        "LUZ", "SOMBRA", "INVIERNO", "VERANO", "OTOÑO", "PRIMAVERA", "MAÑANA", "TARDE", "ALEGRÍA",
        "TRISTEZA", "PASIÓN", "DESEO", "LIBERTAD", "DESTINO", "SECRETO", "PROMESA", "VERDAD",
        "MENTIRA", "GUITARRA", "TAMBOR", "VOZ", "PALABRA", "CARTA", "VENTANA", "PUERTA", "CASA",
        "CALLE", "PLAZA", "NIÑO", "MUJER", "HOMBRE", "AMIGO", "HERMANO", "MADRE", "PADRE", "ROSA",
        "CLAVEL", "ORO", "PLATA", "HIERRO", "CRISTAL", "PAPEL", "TREN", "BARCO", "AVIÓN", "ISLA",
        "PLAYA", "ARENA", "NUBE", "TORMENTA", "LLUVIA", "NIEVE", "FRÍO", "CALOR", "AZUL", "ROJO",
        "VERDE", "NEGRO", "BLANCO", "DORADO", "ETERNO", "SALVAJE", "DULCE", "AMARGO", "LEJANO",
        "NUEVO", "VIEJO", "ÚLTIMO", "PRIMER", "GRANDE", "PEQUEÑO", "LOCO", "TRISTE", "FELIZ",
        "PERDIDO", "ENCONTRADO", "BAJO", "SOBRE", "ENTRE", "SIN", "CON", "PARA", "HASTA", "DESDE" };
    const char* const nombresPropios[] = { "ANA", "LUIS", "CARMEN", "JAVIER", "LUCÍA", "PABLO",
        "MARTA", "DIEGO", "SOFÍA", "ANDRÉS", "ELENA", "JORGE", "ISABEL", "RAÚL", "PILAR", "MIGUEL",
        "ROCÍO", "SERGIO", "NURIA", "ÁLVARO", "BEATRIZ", "HÉCTOR", "INÉS", "RUBÉN", "SARA", "IVÁN",
        "LAURA", "ÓSCAR", "EVA", "MARIO", "JULIA", "TOMÁS", "CLARA", "VÍCTOR", "ALBA", "GONZALO",
        "IRENE", "ADRIÁN", "NOELIA", "RAMÓN", "SILVIA", "ÁNGEL", "TERESA", "FÉLIX", "ROSA",
        "EMILIO", "PALOMA", "JOAQUÍN", "MONTSE", "DAVID", "OLGA", "MANUEL", "LOLA", "ENRIQUE",
        "MARÍA", "JOSÉ", "CRISTINA", "ALBERTO", "VERÓNICA", "FERNANDO" };
    const char* const apellidos[] = { "GARCÍA", "MARTÍNEZ", "LÓPEZ", "SÁNCHEZ", "PÉREZ", "GÓMEZ",
        "MARTÍN", "JIMÉNEZ", "RUIZ", "HERNÁNDEZ", "DÍAZ", "MORENO", "MUÑOZ", "ÁLVAREZ", "ROMERO",
        "ALONSO", "GUTIÉRREZ", "NAVARRO", "TORRES", "DOMÍNGUEZ", "VÁZQUEZ", "RAMOS", "GIL",
        "RAMÍREZ", "SERRANO", "BLANCO", "MOLINA", "MORALES", "SUÁREZ", "ORTEGA", "DELGADO",
        "CASTRO", "ORTIZ", "RUBIO", "MARÍN", "SANZ", "NÚÑEZ", "IGLESIAS", "MEDINA", "GARRIDO",
        "CORTÉS", "CASTILLO", "SANTOS", "LOZANO", "GUERRERO", "CANO", "PRIETO", "MÉNDEZ", "CRUZ",
        "CALVO", "GALLEGO", "VIDAL", "LEÓN", "MÁRQUEZ", "HERRERA", "PEÑA", "FLORES", "CABRERA",
        "CAMPOS", "VEGA", "FUENTES", "CARRASCO", "DIEZ", "REYES", "CABALLERO", "NIETO", "AGUILAR",
        "PASCUAL", "SANTANA", "HERRERO", "MONTERO", "LORENZO", "HIDALGO", "GIMÉNEZ", "IBÁÑEZ",
        "FERRER", "DURÁN", "SANTIAGO", "BENÍTEZ", "MORA", "VICENTE", "VARGAS", "ARIAS", "CARMONA",
        "CRESPO", "ROMÁN", "PASTOR", "SOTO", "SÁEZ", "VELASCO", "MOYA", "SOLER", "PARRA", "ESTEBAN",
        "BRAVO", "GALLARDO", "ROJAS" };

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

    // Runs `fill` on the file begun beside the path, which takes the name only when
    // it is whole.
    QString made(const QString& path, const std::function<void(sqlite3*)>& fill)
    {
        const QString building = path + QStringLiteral(".tmp");
        sqlite3* db = nullptr;
        sqlite3_open(building.toUtf8().constData(), &db);
        velmor::installCatalogCollation(db);
        fill(db);
        sqlite3_close(db);
        QFile::rename(building, path);
        return path;
    }

}

QString benchDir() { return QDir::tempPath() + QStringLiteral("/velmor-bench"); }

QString catalogue(int n)
{
    const QString path = benchDir() + QStringLiteral("/velmor-v2-%1.mdb").arg(n);
    if (QFile::exists(path))
        return path;
    QDir().mkpath(benchDir());
    QFile::remove(path + QStringLiteral(".tmp"));
    velmor::CatalogFile::create(path + QStringLiteral(".tmp"));
    return made(path, [n](sqlite3* db) {
        sqlite3_exec(db, "pragma synchronous=off; begin", nullptr, nullptr, nullptr);
        std::mt19937 rng(20261207);
        QStringList artistas;
        QSet<QString> seen;
        while (artistas.size() < 5000) {
            const QString a = pick(rng, nombresPropios) + QLatin1Char(' ') + pick(rng, apellidos)
                + (rng() % 3 == 0 ? QLatin1Char(' ') + pick(rng, apellidos) : QString());
            if (!seen.contains(a)) {
                seen.insert(a);
                artistas << a;
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
            cd.number(1, id);
            cd.text(2, words(rng, 1 + int(rng() % 3)));
            cd.text(3, artistas[int(rng() % 5000)]);
            cd.text(4, descripcion);
            cd.row();
            cd.reset();
            songs.number(1, id);
            const int count = 8 + int(rng() % 7);
            for (int s = 1; s <= 20; ++s)
                songs.text(s + 1, s <= count ? words(rng, 1 + int(rng() % 4)) : QString());
            songs.row();
            songs.reset();
        }
        sqlite3_exec(db, "commit", nullptr, nullptr, nullptr);
    });
}

QString indexedCatalogue(int n)
{
    const QString plain = catalogue(n);
    const QString path = benchDir() + QStringLiteral("/velmor-v2-%1-indexed.mdb").arg(n);
    if (QFile::exists(path))
        return path;
    QFile::remove(path + QStringLiteral(".tmp"));
    if (!QFile::copy(plain, path + QStringLiteral(".tmp")))
        die("cannot copy %s\n", plain);
    return made(path, [](sqlite3* db) {
        // Indexes on the columns as declared take the connection's NOCASE: the
        // catalogue's order.
        sqlite3_exec(db,
            "create index nombre_bench on datos_cd (nombre); "
            "create index artista_bench on datos_cd (artista)",
            nullptr, nullptr, nullptr);
    });
}

QString copyOf(const QString& path, const QTemporaryDir& dir)
{
    const QString copy = dir.filePath(QStringLiteral("velmor.mdb"));
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        die("cannot copy %s\n", path);
    return copy;
}

Statement::Statement(sqlite3* db, const QByteArray& sql)
{
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        die("cannot prepare %s\n", QString::fromUtf8(sql));
}

Statement::~Statement() { sqlite3_finalize(st); }

void Statement::text(int i, const QString& s)
{
    const QByteArray b = s.toUtf8();
    sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_TRANSIENT);
}

void Statement::number(int i, qint64 n) { sqlite3_bind_int64(st, i, n); }

bool Statement::row()
{
    const int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        die("statement failed: %s\n", QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(st))));
    return rc == SQLITE_ROW;
}

void Statement::reset() { sqlite3_reset(st); }

QString Statement::column(int i) const
{
    return QString::fromUtf8(
        reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
}

RawDb::RawDb(const QString& path)
{
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    velmor::installCatalogCollation(db);
    exec("pragma mmap_size = 0; pragma cache_size = -16384");
}

RawDb::~RawDb() { sqlite3_close(db); }

QString RawDb::value(const QString& sql) const
{
    Statement st(db, sql.toUtf8());
    return st.row() ? st.column(0) : QString();
}

void RawDb::exec(const char* sql) const
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        die("%s\n", QString::fromUtf8(sqlite3_errmsg(db)));
}

bool threadClock = false;

qint64 wallNs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

qint64 nowNs()
{
    if (!threadClock)
        return wallNs();
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double elapsedMs(qint64 startNs) { return double(nowNs() - startNs) / 1e6; }

double median(Samples s)
{
    if (s.empty())
        return 0;
    std::sort(s.begin(), s.end());
    return s[s.size() / 2];
}

double mean(const Samples& s) { return s.empty() ? 0 : total(s) / double(s.size()); }

double slowest(const Samples& s) { return s.empty() ? 0 : *std::max_element(s.begin(), s.end()); }

double total(const Samples& s) { return std::accumulate(s.begin(), s.end(), 0.0); }

Samples idle(QWidget* form, const char* waitFor)
{
    const QTimer* timer = form && waitFor ? form->findChild<QTimer*>(waitFor) : nullptr;
    Samples passes;
    QElapsedTimer limit;
    limit.start();
    for (int quiet = 0; (quiet < 50 || (timer && timer->isActive())) && limit.elapsed() < 60000;) {
        // As long as the user waits, whatever else the machine does meanwhile.
        const qint64 start = wallNs();
        QCoreApplication::processEvents();
        const double pass = double(wallNs() - start) / 1e6;
        if (pass < 0.05) {
            ++quiet;
        } else {
            quiet = 0;
            passes.push_back(pass);
        }
    }
    return passes;
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 2)
                                       : QStringLiteral("?");
}

void print(int n, const std::vector<Row>& rows, const QString& load)
{
    std::printf("\n%d CDs (ms%s unless marked; load average %s at the start, %s at the end)\n", n,
        threadClock ? " of processor time" : "", qPrintable(load), qPrintable(loadAverage()));
    std::printf("%-52s %9s  %-44s %9s %7s  %s\n", "operation", "velmor", "baseline (same run)",
        "baseline", "ratio", "goal");
    for (const Row& r : rows) {
        const double ratio = r.base > 0 ? r.velmor / r.base : 0.0;
        QString goal;
        if (r.goalRatio > 0)
            goal = QStringLiteral("ratio <= %1: %2")
                       .arg(r.goalRatio, 0, 'f', 1)
                       .arg(ratio <= r.goalRatio ? "met" : "NOT MET");
        else if (r.goalLimit > 0)
            goal = QStringLiteral("<= %1 ms: %2")
                       .arg(r.goalLimit, 0, 'f', 0)
                       .arg(r.velmor <= r.goalLimit ? "met" : "NOT MET");
        std::printf("%-52s %9.3f  %-44s %9.3f %7.2f  %s\n", qPrintable(r.what), r.velmor,
            qPrintable(r.baseline), r.base, ratio, qPrintable(goal));
    }
    std::fflush(stdout);
}

Typed typedTexts(const RawDb& raw, int n)
{
    Typed t;
    for (int k = 1; k <= 5; ++k) {
        const QString where = QStringLiteral(" from datos_cd where id >= %1 order by id limit 1")
                                  .arg(qint64(n) * k / 5 - n / 20);
        t.names << raw.value("select nombre" + where);
        t.artists << raw.value("select artista" + where);
        // Keys are typed in a box of four characters.
        t.keys << raw.value(
            QStringLiteral("select id from datos_cd where id >= %1 order by id limit 1")
                .arg(std::min<qint64>(qint64(n) * k / 5 - n / 20, 2000 * k - 1000)));
    }
    return t;
}

}
