#pragma once

// What the groups of bench_velmor share: the generated catalogues, a plain SQLite
// connection for the baselines, timing, and the table printed for each size.

#include "ui/messageboxes.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

// Messages the benchmark does not expect end it; a confirmation is answered Yes.
class BenchMessageBoxes final : public velmor::MessageBoxes {
public:
    void information(QWidget*, const QString&, const QString& text) override { fail(text); }
    void error(QWidget*, const QString& text) override { fail(text); }
    bool confirm(QWidget*, const QString&) override { return true; }
    void failure(QWidget*, const QString& text) override { fail(text); }

private:
    [[noreturn]] static void fail(const QString& text);
};

[[noreturn]] void die(const char* format, const QString& what = {});

QString benchDir();
// A catalogue of n CDs, generated once and kept: names of 1 to 3 Spanish words,
// 5,000 artists, descriptions of about 90 characters, 8 to 14 songs per CD, keys
// with small gaps (above 9,999 from about 9,000 CDs on).
QString catalogue(int n);
// The same catalogue with an index on the name and on the artist, in the catalogue's
// text order: the reference for look-ups, which the program answers from indexes of
// its own.
QString indexedCatalogue(int n);
// A copy of a catalogue in the folder, for benchmarks that write.
QString copyOf(const QString& path, const QTemporaryDir& dir);

struct Statement {
    sqlite3_stmt* st = nullptr;
    Statement(sqlite3* db, const QByteArray& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void text(int i, const QString& s);
    void number(int i, qint64 n);
    bool row();
    void reset();
    QString column(int i) const;
};

// A plain connection comparing text as the program does, with the program's page
// cache, and no memory mapping, as the program has it.
struct RawDb {
    sqlite3* db = nullptr;
    explicit RawDb(const QString& path);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;
    QString value(const QString& sql) const;
    void exec(const char* sql) const;
};

template <typename T> T* child(QWidget* w, const char* name) { return w->findChild<T*>(name); }

using Samples = std::vector<double>; // milliseconds

// Times are taken on the wall clock, or on the clock of this thread's processor time
// when threadClock is set: the time the machine gave this program, whatever else it
// did meanwhile.
extern bool threadClock;
qint64 wallNs();
qint64 nowNs();
double elapsedMs(qint64 startNs);
template <typename F> double timed(F&& f)
{
    const qint64 start = nowNs();
    f();
    return elapsedMs(start);
}

double median(Samples s);
double mean(const Samples& s);
double slowest(const Samples& s);
double total(const Samples& s);

// The user pauses: the event loop runs until it has had nothing to do for a while,
// and the timer named `waitFor` of `form`, if any, has stopped. Returns the time of
// each pass that did work.
Samples idle(QWidget* form = nullptr, const char* waitFor = nullptr);

// One line of the table: what the program does, what the baseline does, both in
// milliseconds (or the unit named), and the goal held to, if any: a largest ratio,
// or a largest figure for the program.
struct Row {
    QString what;
    double velmor;
    QString baseline;
    double base;
    double goalRatio = 0;
    double goalLimit = 0;
};
void print(int n, const std::vector<Row>& rows, const QString& load);
QString loadAverage();

// Texts typed in the catalogue form: stored names and artists of five CDs spread
// over the catalogue, and five stored keys of at most four digits.
struct Typed {
    QStringList names, artists, keys;
};
Typed typedTexts(const RawDb& raw, int n);

// The groups of rows.
void catalogoRows(int n, int rounds, std::vector<Row>& rows);
void consultasRows(int n, int rounds, std::vector<Row>& rows);
void arranqueRows(int n, int rounds, std::vector<Row>& rows);
void emptyStartUp(int rounds, std::vector<Row>& rows);
void memoryRows(int n, std::vector<Row>& rows);
// One side of a measurement made in a child process of its own (start-up, memory).
int childMain(int argc, char** argv, qint64 startNs);

}
