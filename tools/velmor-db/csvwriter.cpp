#include "csvwriter.h"

#include <QIODevice>

namespace velmor::tool {

namespace {
    constexpr qsizetype flushThreshold = 1 << 20;

    bool needsQuotes(QByteArrayView text, char separator)
    {
        for (char c : text) {
            if (c == separator || c == '"' || c == '\r' || c == '\n')
                return true;
        }
        return false;
    }

    void appendField(QByteArray& out, QByteArrayView text, char separator)
    {
        if (!needsQuotes(text, separator)) {
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

CsvWriter::CsvWriter(QIODevice& device, char separator)
    : m_device(device)
    , m_separator(separator)
{
    m_buffer.reserve(flushThreshold + 4096);
}

CsvWriter::~CsvWriter() { flush(); }

void CsvWriter::field(QByteArrayView utf8)
{
    if (!m_firstField)
        m_buffer.append(m_separator);
    m_firstField = false;
    appendField(m_buffer, utf8, m_separator);
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

QByteArray CsvWriter::encodeField(QByteArrayView utf8, char separator)
{
    QByteArray out;
    appendField(out, utf8, separator);
    return out;
}

}
