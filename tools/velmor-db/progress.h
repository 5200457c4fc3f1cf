#pragma once

#include <QString>

class QTextStream;

namespace velmor::tool {

// Percentage of a long export, import or conversion on standard error. Small jobs
// stay quiet so that scripts see only the report.
class Progress {
public:
    static constexpr qint64 quietUpTo = 5000; // CDs

    // stream may be null for no output at all. On a terminal one line is rewritten;
    // elsewhere (a log file) a line is written at each tenth.
    Progress(QTextStream* stream, QString activity, bool terminal);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // done out of total units of work (rows, bytes), after cds CDs.
    void update(qint64 done, qint64 total, qint64 cds);
    void finish();

private:
    QTextStream* m_stream;
    QString m_activity;
    bool m_terminal;
    int m_shown = -1;
};

}
