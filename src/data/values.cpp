#include "values.h"

#include "valuerules.h"
#include "valuetext.h"

#include <algorithm>
#include <charconv>
#include <sqlite3.h>

namespace velmor::detail {

ValueView columnView(sqlite3_stmt* st, int i)
{
    ValueView v;
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        v.kind = ValueView::Kind::Integer;
        v.integer = sqlite3_column_int64(st, i);
        break;
    case SQLITE_FLOAT:
        v.kind = ValueView::Kind::Real;
        v.real = sqlite3_column_double(st, i);
        break;
    case SQLITE_TEXT:
        v.kind = ValueView::Kind::Text;
        v.bytes = QByteArrayView(
            reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
        break;
    case SQLITE_BLOB:
        v.kind = ValueView::Kind::Blob;
        v.bytes = QByteArrayView(
            static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
        break;
    default:
        break;
    }
    return v;
}

QVariant columnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant::fromValue<qint64>(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(st, i);
    case SQLITE_TEXT: {
        // A text made by another program may run to hundreds of megabytes; no reader
        // shows more than shownTextLimit characters, and one more tells it was cut.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        const qsizetype bytes = sqlite3_column_bytes(st, i);
        if (bytes <= shownTextLimit + 1)
            return QString::fromUtf8(text, bytes);
        // No character takes more than four bytes; a cut falls between characters.
        qsizetype read = std::min(bytes, 4 * (shownTextLimit + 1));
        while (read < bytes && (text[read] & 0xC0) == 0x80)
            --read;
        return QString::fromUtf8(text, read).left(shownTextLimit + 1);
    }
    case SQLITE_BLOB:
        return QByteArray(
            static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i));
    default:
        return {};
    }
}

std::vector<QVariant> rowValues(sqlite3_stmt* st, int first, int count)
{
    std::vector<QVariant> row;
    row.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        row.push_back(columnValue(st, first + i));
    return row;
}

int bindValue(sqlite3_stmt* st, int index, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return sqlite3_bind_null(st, index);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Bool:
        return sqlite3_bind_int64(st, index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (isWholeKey(d))
            return sqlite3_bind_int64(st, index, qint64(d));
        return sqlite3_bind_double(st, index, d);
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(st, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    }
}

QString identity(const std::vector<QVariant>& values)
{
    QString out;
    for (const QVariant& v : values)
        out += QString::number(v.isNull() ? -1 : v.typeId()) + QLatin1Char(':')
            + (v.typeId() == QMetaType::QByteArray ? QString::fromLatin1(v.toByteArray().toHex())
                                                   : valueText(v))
            + QChar(0);
    return out;
}

}

namespace velmor {

QVariant ValueView::toVariant() const
{
    if (variant)
        return *variant;
    switch (kind) {
    case Kind::Integer:
        return QVariant::fromValue<qint64>(integer);
    case Kind::Real:
        return real;
    case Kind::Text:
        return QString::fromUtf8(bytes);
    case Kind::Blob:
        return bytes.toByteArray();
    case Kind::Null:
        break;
    }
    return {};
}

QByteArrayView valueTextUtf8(const ValueView& value, QByteArray& scratch)
{
    if (value.variant) {
        scratch = valueText(*value.variant).toUtf8();
        return scratch;
    }
    switch (value.kind) {
    case ValueView::Kind::Text:
        return value.bytes;
    case ValueView::Kind::Integer: {
        scratch.resize(24);
        const char* end
            = std::to_chars(scratch.data(), scratch.data() + scratch.size(), value.integer).ptr;
        scratch.truncate(end - scratch.constData());
        return scratch;
    }
    case ValueView::Kind::Null:
        return {};
    default:
        scratch = valueText(value.toVariant()).toUtf8();
        return scratch;
    }
}

QString valueText(const QVariant& value)
{
    // Texts, most values of a listing, skip the general conversion.
    if (value.metaType() == QMetaType::fromType<QString>())
        return *static_cast<const QString*>(value.constData());
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int: {
        // Every id of a listing comes this way; plain digits need no locale.
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, value.toLongLong()).ptr;
        return QString::fromLatin1(digits, end - digits);
    }
    case QMetaType::Double:
        return numberText(value.toDouble());
    default:
        return value.toString();
    }
}

}
