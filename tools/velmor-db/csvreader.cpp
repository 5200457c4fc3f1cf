#include "csvreader.h"

#include <QIODevice>

namespace velmor::tool {

namespace {
    constexpr qint64 blockSize = 64 * 1024;
}

CsvReader::CsvReader(QIODevice& device, Limits limits)
    : m_device(device)
    , m_limits(limits)
{
}

CsvReader::CsvReader(QByteArrayView data, Limits limits)
    : m_owned(std::make_unique<QBuffer>())
    , m_device(*m_owned)
    , m_limits(limits)
{
    m_owned->setData(data.toByteArray());
    m_owned->open(QIODevice::ReadOnly);
}

CsvReader::~CsvReader() = default;

// Asking for no more than the device holds spares a large allocation per read
// on small inputs.
QByteArray CsvReader::readBlock()
{
    const qint64 available = m_device.bytesAvailable();
    return m_device.read(available > 0 ? qMin(available, blockSize) : blockSize);
}

// Makes at least two bytes available from m_pos unless the device is exhausted,
// so that a CR LF split between two blocks is still seen as one line end.
bool CsvReader::fill()
{
    if (m_end)
        return m_pos < m_block.size();
    if (m_block.size() - m_pos >= 2)
        return true;
    m_block.remove(0, m_pos);
    m_pos = 0;
    while (!m_end && m_block.size() < 2) {
        const QByteArray more = readBlock();
        if (more.isEmpty() && (m_device.atEnd() || !m_device.waitForReadyRead(-1)))
            m_end = true;
        m_block += more;
    }
    return !m_block.isEmpty();
}

int CsvReader::peek()
{
    if (m_pos >= m_block.size() || m_block.size() - m_pos < 2) {
        if (!fill())
            return -1;
    }
    return static_cast<unsigned char>(m_block[m_pos]);
}

int CsvReader::get()
{
    const int c = peek();
    if (c >= 0) {
        ++m_pos;
        ++m_consumed;
    }
    return c;
}

bool CsvReader::atLineEnd()
{
    const int c = peek();
    if (c == '\n')
        return true;
    if (c != '\r')
        return false;
    // peek() left two bytes in the block when there were two.
    return m_pos + 1 >= m_block.size() || m_block[m_pos + 1] == '\n';
}

void CsvReader::skipLineEnd()
{
    if (get() == '\r' && peek() == '\n')
        get();
    ++m_line;
}

void CsvReader::skipRestOfLine()
{
    while (peek() >= 0 && !atLineEnd())
        get();
    if (peek() >= 0)
        skipLineEnd();
}

void CsvReader::detectSeparator()
{
    if (peek() == 0xEF && m_block.size() - m_pos < 3)
        m_block += readBlock();
    if (QByteArrayView(m_block).sliced(m_pos).startsWith("\xEF\xBB\xBF")) {
        m_pos += 3;
        m_consumed += 3;
    }
    if (m_block.size() - m_pos < blockSize && !m_end)
        m_block += readBlock();
    // Counted on the first line only, outside quotes.
    qsizetype commas = 0, semicolons = 0;
    bool quoted = false;
    for (qsizetype i = m_pos; i < m_block.size(); ++i) {
        const char c = m_block[i];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\n')
            break;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
    }
    m_separator = semicolons > commas ? ';' : ',';
}

// Moves the bytes up to the next one that needs a decision (a quote, a line
// break, and outside quotes a separator or a CR) into the field, a block at a
// time: a byte at a time through peek() halves the speed of a large import.
void CsvReader::takeRun(QByteArray& field, bool quoted)
{
    while (peek() >= 0 && field.size() <= m_limits.field) {
        const char* begin = m_block.constData() + m_pos;
        const char* end = m_block.constData() + m_block.size();
        const char* p = begin;
        if (quoted) {
            while (p != end && *p != '"' && *p != '\n')
                ++p;
        } else {
            while (p != end && *p != m_separator && *p != '"' && *p != '\n' && *p != '\r')
                ++p;
        }
        field.append(begin, p - begin);
        m_pos += p - begin;
        m_consumed += p - begin;
        if (p != end)
            return;
    }
}

bool CsvReader::overLimit(Record& record, qsizetype fieldSize, qsizetype recordSize)
{
    if (fieldSize <= m_limits.field && recordSize <= m_limits.record)
        return false;
    record.error = fieldSize > m_limits.field
        ? QStringLiteral("un campo pasa de %1 bytes; no se lee el resto del archivo")
              .arg(m_limits.field)
        : QStringLiteral("la línea pasa de %1 bytes; no se lee el resto del archivo")
              .arg(m_limits.record);
    record.fields.clear();
    m_stopped = true;
    return true;
}

bool CsvReader::next(Record& record)
{
    if (m_stopped)
        return false;
    if (!m_separator)
        detectSeparator();
    while (peek() >= 0 && atLineEnd())
        skipLineEnd();
    if (peek() < 0)
        return false;

    record.line = m_line;
    record.fields.clear();
    record.error.clear();
    const qint64 start = m_consumed;

    for (;;) {
        QByteArray field;
        if (peek() == '"') {
            get();
            for (;;) {
                takeRun(field, true);
                if (overLimit(record, field.size(), m_consumed - start))
                    return true;
                const int c = get();
                if (c < 0) {
                    record.error = QStringLiteral("comillas sin cerrar");
                    return true;
                }
                if (c == '"') {
                    if (peek() != '"')
                        break;
                    get();
                } else if (c == '\n') {
                    ++m_line;
                }
                field.append(char(c));
                if (overLimit(record, field.size(), m_consumed - start))
                    return true;
            }
            record.fields.append(field);
            if (peek() >= 0 && !atLineEnd() && peek() != m_separator) {
                record.error = QStringLiteral("hay texto tras las comillas que cierran un campo");
                skipRestOfLine();
                return true;
            }
        } else {
            for (;;) {
                takeRun(field, false);
                if (overLimit(record, field.size(), m_consumed - start))
                    return true;
                if (peek() < 0 || peek() == m_separator || atLineEnd())
                    break;
                if (peek() == '"') {
                    record.error = QStringLiteral("comillas dentro de un campo sin comillas");
                    skipRestOfLine();
                    return true;
                }
                field.append(char(get()));
                if (overLimit(record, field.size(), m_consumed - start))
                    return true;
            }
            record.fields.append(field);
        }

        if (peek() < 0)
            return true;
        if (peek() == m_separator) {
            get();
            if (overLimit(record, 0, m_consumed - start))
                return true;
            if (peek() < 0) {
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
