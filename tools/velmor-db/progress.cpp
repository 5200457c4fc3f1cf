#include "progress.h"

#include <QTextStream>
#include <algorithm>

namespace velmor::tool {

Progress::Progress(QTextStream* stream, QString activity, bool terminal)
    : m_stream(stream)
    , m_activity(std::move(activity))
    , m_terminal(terminal)
{
}

Progress::~Progress() { finish(); }

void Progress::update(qint64 done, qint64 total, qint64 cds)
{
    if (!m_stream || total <= 0 || (m_shown < 0 && cds <= quietUpTo))
        return;
    const int percent = int(std::clamp<qint64>(done * 100 / total, 0, 100));
    const int step = m_terminal ? percent : percent / 10 * 10;
    if (step <= m_shown)
        return;
    m_shown = step;
    *m_stream << (m_terminal ? "\r" : "") << m_activity << ": " << step << " %"
              << (m_terminal ? "" : "\n");
    m_stream->flush();
}

void Progress::finish()
{
    if (m_shown < 0 || !m_stream)
        return;
    if (m_shown < 100)
        *m_stream << (m_terminal ? "\r" : "") << m_activity << ": 100 %"
                  << (m_terminal ? "" : "\n");
    if (m_terminal)
        *m_stream << '\n';
    m_stream->flush();
    m_shown = -1;
}

}
