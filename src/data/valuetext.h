#pragma once

// The text form of a column value, as the forms show it and as the data layer tells
// stored values apart; the forms see it through recordset.h. Made in values.cpp.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVariant>

namespace velmor {

// A whole number as its digits, a real as numberText writes it, text as stored, a
// null as empty text.
QString valueText(const QVariant& value);

// A column value as the engine holds it while a row is handed over, with nothing
// copied: the bytes are valid only until the next row.
struct ValueView {
    enum class Kind : quint8 { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArrayView bytes; // Text (UTF-8) and Blob
    const QVariant* variant = nullptr; // the value itself, where a set keeps it

    // As the set's Fields would give it.
    QVariant toVariant() const;
};

// valueText of the value, in UTF-8: its own bytes for a text, or a text made in
// `scratch`.
QByteArrayView valueTextUtf8(const ValueView& value, QByteArray& scratch);
}
