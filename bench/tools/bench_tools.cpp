// Times velmor-db exportar and importar on a generated catalogue beside the
// sqlite3 shell doing the same export in the same run, then the spreadsheet export
// and the printed catalogue in each layout, with each one's peak memory.
//
// bench_tools [CDS] [RUNS]   (defaults: 100000 CDs, 3 runs; the median is printed)
// A million CDs: bench_tools 1000000 1

#include "data/catalogfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void fill(const QString& path, int cds)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QByteArray sql = "begin;"
                     "with recursive n(i) as (select 1 union all select i + 1 from n where i < "
        + QByteArray::number(cds)
        + ") insert into datos_cd select i, 'ÁLBUM NÚMERO ' || i, 'ARTISTA ' || (i % 977), "
          "'DESCRIPCIÓN DEL CD ' || i || ', CON COMAS, \"COMILLAS\" Y UNA LÍNEA\nMÁS, "
          "HASTA UNOS CIEN CARACTERES DE TEXTO' from n;"
          "insert into canciones select id";
    for (int s = 1; s <= 20; ++s)
        sql += s <= 12 ? ", 'CANCIÓN " + QByteArray::number(s) + " DEL ' || id"
                       : QByteArray(", ''");
    sql += " from datos_cd; commit;";
    char* error = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("generating the catalogue failed: %s", error);
    sqlite3_close(db);
}

// Milliseconds for one run of a program with its standard output sent to a file.
double timed(const QString& program, const QStringList& arguments, const QString& output)
{
    QProcess process;
    process.setStandardOutputFile(output.isEmpty() ? QProcess::nullDevice() : output);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        qFatal("%s %s failed: %s", qPrintable(program), qPrintable(arguments.join(' ')),
            process.readAllStandardError().constData());
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// Milliseconds and peak resident memory (KiB) of one run of the tool, whose own
// figures a QProcess does not give.
std::pair<double, long> measured(const QString& program, const QStringList& arguments)
{
    QList<QByteArray> owned { QFile::encodeName(program) };
    for (const QString& argument : arguments)
        owned << argument.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s %s failed", qPrintable(program), qPrintable(arguments.join(' ')));
    return { double(timer.nsecsElapsed()) / 1e6, usage.ru_maxrss };
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int cds = args.size() > 1 ? args[1].toInt() : 100000;
    const int runs = args.size() > 2 ? args[2].toInt() : 3;
    const QString tool = QStringLiteral(VELMOR_DB_EXECUTABLE);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString catalogue = dir.filePath("velmor.mdb");
    velmor::CatalogFile::create(catalogue);
    fill(catalogue, cds);
    out << "CDs: " << cds << ", median of " << runs << " runs\n";

    QString joined = "select d.id, d.nombre, d.artista, d.descripcion";
    for (int s = 1; s <= 20; ++s)
        joined += QStringLiteral(", c.cancion%1").arg(s);
    joined += " from datos_cd d left join canciones c on c.id = d.id order by d.id";

    std::vector<double> exportar, sqliteJoined, sqliteTable, importar, sqliteImport;
    const QString csv = dir.filePath("cds.csv");
    for (int run = 0; run < runs; ++run) {
        QFile::remove(csv);
        exportar.push_back(timed(tool, { "exportar", catalogue, csv }, QString()));
        sqliteJoined.push_back(
            timed("sqlite3", { "-csv", "-header", catalogue, joined }, dir.filePath("shell.csv")));
        sqliteTable.push_back(timed("sqlite3",
            { "-csv", "-header", catalogue, "select * from datos_cd" }, dir.filePath("t.csv")));

        const QString target = dir.filePath(QStringLiteral("importado%1.mdb").arg(run));
        velmor::CatalogFile::create(target);
        importar.push_back(timed(tool, { "importar", target, csv }, QString()));

        const QString scratch = dir.filePath(QStringLiteral("shell%1.db").arg(run));
        sqliteImport.push_back(
            timed("sqlite3", { scratch, ".import --csv " + csv + " cds" }, QString()));
    }

    // Each row names the work on both sides of its ratio.
    const auto row = [&](const char* what, double ms, const char* baseline, double baseMs) {
        out << QString::asprintf("  %-44s %9.1f ms | %-40s %9.1f ms | %.2f x\n", what, ms,
            baseline, baseMs, ms / baseMs);
    };
    row("velmor-db exportar (both tables, CSV file)", median(exportar),
        "sqlite3 -csv, same join and order", median(sqliteJoined));
    row("velmor-db exportar (both tables, CSV file)", median(exportar),
        "sqlite3 -csv, select * from datos_cd", median(sqliteTable));
    row("velmor-db importar (checked, both tables)", median(importar),
        "sqlite3 .import --csv into a new table", median(sqliteImport));

    // Documents, beside the shell reading the same rows in artist order.
    QString inArtistOrder = joined;
    inArtistOrder.replace("order by d.id", "order by d.artista, d.nombre, d.id");
    const double shell = timed("sqlite3", { "-csv", catalogue, inArtistOrder }, QString());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const struct {
        const char* what;
        QStringList arguments;
        QString file;
    } documents[] = {
        { "velmor-db exportar --hoja (.ods file)", { "exportar", "--hoja" }, "cds.ods" },
        { "velmor-db informe (PDF)", { "informe" }, "informe.pdf" },
        { "velmor-db informe (HTML)", { "informe" }, "informe.html" },
        { "velmor-db informe --lista (PDF)", { "informe", "--lista" }, "lista.pdf" },
        { "velmor-db informe --lista (HTML)", { "informe", "--lista" }, "lista.html" },
    };
    for (const auto& document : documents) {
        std::vector<double> times, memory;
        for (int run = 0; run < runs; ++run) {
            QFile::remove(dir.filePath(document.file));
            const auto [ms, kib] = measured(
                tool, document.arguments + QStringList { catalogue, dir.filePath(document.file) });
            times.push_back(ms);
            memory.push_back(double(kib));
        }
        row(document.what, median(times), "sqlite3 -csv, same rows in artist order", shell);
        out << QString::asprintf("  %-44s %9.1f MiB peak\n", "", median(memory) / 1024);
    }
    return 0;
}
