#include "csvreader.h"

namespace velmor::tool {

CsvReader::CsvReader(QByteArrayView data)
    : m_data(data)
{
    if (m_data.startsWith("\xEF\xBB\xBF"))
        m_pos = 3;
    for (qsizetype i = m_pos; i < m_data.size() && m_data[i] != '\n'; ++i) {
        if (m_data[i] == ',' || m_data[i] == ';') {
            m_separator = m_data[i];
            break;
        }
    }
}

bool CsvReader::atLineEnd() const
{
    const char c = m_data[m_pos];
    return c == '\n' || (c == '\r' && m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '\n');
}

void CsvReader::skipLineEnd()
{
    m_pos += m_data[m_pos] == '\r' ? 2 : 1;
    ++m_line;
}

void CsvReader::skipRestOfLine()
{
    while (m_pos < m_data.size() && !atLineEnd())
        ++m_pos;
    if (m_pos < m_data.size())
        skipLineEnd();
}

void CsvReader::fail(Record& record, const QString& error)
{
    record.error = error;
    skipRestOfLine();
}

bool CsvReader::next(Record& record)
{
    while (m_pos < m_data.size() && atLineEnd())
        skipLineEnd();
    if (m_pos >= m_data.size())
        return false;

    record.line = m_line;
    record.fields.clear();
    record.error.clear();
    const qsizetype size = m_data.size();

    for (;;) {
        if (m_pos < size && m_data[m_pos] == '"') {
            ++m_pos;
            QByteArray field;
            for (;;) {
                if (m_pos >= size) {
                    record.error = QStringLiteral("comillas sin cerrar");
                    return true;
                }
                const char c = m_data[m_pos];
                if (c == '"') {
                    if (m_pos + 1 < size && m_data[m_pos + 1] == '"') {
                        field.append('"');
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    break;
                }
                if (c == '\n')
                    ++m_line;
                field.append(c);
                ++m_pos;
            }
            record.fields.append(field);
            if (m_pos < size && !atLineEnd() && m_data[m_pos] != m_separator) {
                fail(record, QStringLiteral("hay texto tras las comillas que cierran un campo"));
                return true;
            }
        } else {
            const qsizetype start = m_pos;
            while (m_pos < size && m_data[m_pos] != m_separator && !atLineEnd()) {
                if (m_data[m_pos] == '"') {
                    fail(record, QStringLiteral("comillas dentro de un campo sin comillas"));
                    return true;
                }
                ++m_pos;
            }
            record.fields.append(m_data.sliced(start, m_pos - start).toByteArray());
        }

        if (m_pos >= size)
            return true;
        if (m_data[m_pos] == m_separator) {
            ++m_pos;
            if (m_pos >= size) {
                record.fields.append(QByteArray());
                return true;
            }
            continue;
        }
        skipLineEnd();
        return true;
    }
}

}
