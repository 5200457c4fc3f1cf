#pragma once

#include "cdrecord.h"
#include "sqlitehandle.h"

#include <QString>
#include <functional>

namespace velmor::tool {

class Progress;

// What a printed catalogue shows of the file, in which order.
struct ReportOptions {
    bool list = false; // one line per CD instead of every CD whole
    bool byKey = false; // ordered by key instead of by artist and name
};

struct ReportCounts {
    qint64 cds = 0;
    qint64 artists = 0; // different non-empty artists, letter case aside
    qint64 songs = 0; // song titles that are not empty
};

// One CD as a report shows it. Texts longer than a report lays out are cut, with a
// mark that says so.
struct ReportCd {
    QString key;
    QString nombre;
    QString artista;
    QString descripcion;
    std::array<QString, songCount> canciones; // empty in a list
    int songs = 0; // titles that are not empty
    bool firstOfArtist = false; // the first CD of its artist, in artist order
};

// The catalogue as it was when the report started, read as a stream: a copy taken
// through the online backup into a private file of the engine's that disappears
// with it, so that the catalogue is locked only while copied and memory stays the
// same whatever its size. It can be walked as often as a layout needs, always in
// the same order, and keeps the index of artists the layout builds.
class ReportSource {
public:
    // Throws DataError naming path when the catalogue cannot be read.
    ReportSource(const QString& path, ReportOptions options);
    ~ReportSource();
    ReportSource(const ReportSource&) = delete;
    ReportSource& operator=(const ReportSource&) = delete;

    const ReportCounts& counts() const { return m_counts; }
    const ReportOptions& options() const { return m_options; }

    // Calls each for every CD in report order. progress counts CDs from done of
    // total.
    void walk(const std::function<void(const ReportCd&)>& each, Progress& progress, qint64 done,
        qint64 total) const;

    // The heading an artist is shown under ("Sin artista" for none).
    static QString artistHeading(const QString& artista);
    // Notes where an artist is first shown; later notes of the same artist (letter
    // case aside) are passed over. True when this one was the first.
    bool noteArtist(const QString& artista, qint64 place);
    // The artists noted, in catalogue text order, with where each was first shown.
    void walkArtists(const std::function<void(const QString& heading, qint64 place)>& each) const;
    qint64 artistsNoted() const;
    // The most characters of a key.
    qint64 longestKey() const;

    // The most characters of one text that a report shows.
    static constexpr int textLimit = 4000;

private:
    SqliteStatement prepare(const QByteArray& sql) const;
    qint64 number(const QByteArray& sql) const;
    [[noreturn]] void fail(int rc) const;

    QString m_path;
    ReportOptions m_options;
    ReportCounts m_counts;
    SqliteDatabase m_db;
    SqliteStatement m_note;
};

}
