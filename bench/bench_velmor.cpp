// Times what a user waits for on the two forms over generated catalogues, each
// beside a baseline that does the same work with plain SQLite and plain Qt in the
// same run, and prints one table per catalogue size with the goals met or not.
#include "benchsupport.h"

#include <QApplication>
#include <cstdio>

using namespace bench;

namespace {

const char* const usage = R"(bench_velmor [OPTION]...
Times the program's forms beside plain SQLite and Qt doing the same work, over
generated catalogues kept in $TMPDIR/velmor-bench.

  --million        add a catalogue of 1,000,000 CDs (also VELMOR_BENCH_MILLION=1)
  --size N         a catalogue of N CDs instead of 1,000 and 100,000 (repeatable)
  --rounds N       rounds of each measurement (default 15; start-up takes 15 at least)
  --only GROUP     one group of rows: catalogo, consultas or arranque
  --cpu            time the forms and the baselines on this thread's processor
                   time instead of the wall clock (start-up and idle passes stay
                   on the wall clock): steadier on a busy machine
  --help           this text; nothing is run
)";

}

int main(int argc, char** argv)
{
    const qint64 start = wallNs();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0) {
        if (qstrcmp(argv[2], "startup-velmor") == 0)
            Q_INIT_RESOURCE(velmor);
        return childMain(argc, argv, start);
    }
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    bool million = qEnvironmentVariableIntValue("VELMOR_BENCH_MILLION") != 0;
    int rounds = 15;
    std::vector<int> sizes;
    QString only;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const bool value = i + 1 < args.size();
        if (args[i] == QLatin1String("--million")) {
            million = true;
        } else if (args[i] == QLatin1String("--rounds") && value) {
            rounds = std::max(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--size") && value) {
            sizes.push_back(std::max(1, args[++i].toInt()));
        } else if (args[i] == QLatin1String("--cpu")) {
            threadClock = true;
        } else if (args[i] == QLatin1String("--only") && value) {
            only = args[++i];
        } else {
            std::fputs(usage, args[i] == QLatin1String("--help") ? stdout : stderr);
            return args[i] == QLatin1String("--help") ? 0 : 2;
        }
    }
    if (!only.isEmpty() && only != QLatin1String("catalogo") && only != QLatin1String("consultas")
        && only != QLatin1String("arranque")) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (sizes.empty())
        sizes = { 1000, 100000 };
    if (million)
        sizes.push_back(1000000);

    QApplication app(argc, argv);
    BenchMessageBoxes boxes;
    velmor::MessageBoxes::setInstance(&boxes);
    const auto wanted = [&](const char* group) { return only.isEmpty() || only == group; };
    for (int n : sizes) {
        const QString load = loadAverage();
        std::vector<Row> rows;
        if (wanted("arranque")) {
            arranqueRows(n, rounds, rows);
            if (n == sizes.front())
                emptyStartUp(rounds, rows);
        }
        if (wanted("catalogo"))
            catalogoRows(n, rounds, rows);
        if (wanted("consultas")) {
            consultasRows(n, rounds, rows);
            memoryRows(n, rows);
        }
        print(n, rows, load);
    }
    velmor::MessageBoxes::setInstance(nullptr);
    return 0;
}
