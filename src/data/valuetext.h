#pragma once

// The text form of a column value, as the forms show it and as the data layer tells
// stored values apart; the forms see it through recordset.h. Made in values.cpp.

#include <QString>
#include <QVariant>

namespace velmor {

// A whole number as its digits, a real as numberText writes it, text as stored, a
// null as empty text.
QString valueText(const QVariant& value);

}
