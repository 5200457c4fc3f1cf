#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>

class QIODevice;

namespace velmor::tool {

// Writes a one-sheet OpenDocument spreadsheet, a row at a time, so that memory
// stays the same whatever the number of rows. Every value is a text cell, so that
// a spreadsheet program converts and evaluates nothing ("007", "3/4", "=A1" stay
// as written), except a first column holding a whole number of at most 15 digits,
// which is a number cell: a spreadsheet keeps 15 digits of a number, no more. The
// first row holds the column names and stays in view (frozen) when scrolling.
class OdsWriter {
public:
    // widths: the most characters each column is meant to show, to size it.
    OdsWriter(QIODevice& out, const QStringList& columns, const QList<int>& widths);
    ~OdsWriter();
    OdsWriter(const OdsWriter&) = delete;
    OdsWriter& operator=(const OdsWriter&) = delete;

    // One row of UTF-8 values, as many as columns. Returns an empty text, or why the
    // row cannot be put in a spreadsheet (a character that XML cannot hold, text
    // that is not UTF-8); then nothing of it was written.
    QString row(const QByteArrayView* values);
    // Writes the rest of the file; false when a write failed.
    bool finish();

private:
    class Archive;
    std::unique_ptr<Archive> m_archive;
    int m_columns;
    QStringList m_names;
};

}
