#include "csvwriter.h"

#include <QIODevice>

namespace velmor::tool {

namespace {
    constexpr qsizetype flushThreshold = 1 << 20;

    bool needsQuotes(QByteArrayView text)
    {
        for (char c : text) {
            if (c == ',' || c == '"' || c == '\r' || c == '\n')
                return true;
        }
        return false;
    }

    void appendField(QByteArray& out, QByteArrayView text)
    {
        if (!needsQuotes(text)) {
            out.append(text);
            return;
        }
        out.append('"');
        for (char c : text) {
            if (c == '"')
                out.append('"');
            out.append(c);
        }
        out.append('"');
    }
}

CsvWriter::CsvWriter(QIODevice& device)
    : m_device(device)
{
    m_buffer.reserve(flushThreshold + 4096);
}

CsvWriter::~CsvWriter() { flush(); }

void CsvWriter::field(QByteArrayView utf8)
{
    if (!m_firstField)
        m_buffer.append(',');
    m_firstField = false;
    appendField(m_buffer, utf8);
}

void CsvWriter::endRecord()
{
    m_buffer.append("\r\n");
    m_firstField = true;
    if (m_buffer.size() >= flushThreshold)
        flush();
}

bool CsvWriter::flush()
{
    if (!m_buffer.isEmpty() && !m_failed)
        m_failed = m_device.write(m_buffer) != m_buffer.size();
    m_buffer.clear();
    return !m_failed;
}

QByteArray CsvWriter::encodeField(QByteArrayView utf8)
{
    QByteArray out;
    appendField(out, utf8);
    return out;
}

}
