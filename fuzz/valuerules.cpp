// The value rules on arbitrary text, in the Spanish locale the program runs in:
// a number written by numberText reads back as the same number.
#include "data/valuerules.h"
#include "require.h"

#include <QLocale>
#include <cmath>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const double value = velmor::leadingNumber(text);
    require(!std::isnan(value));
    const QString written = velmor::numberText(value);
    require(velmor::leadingNumber(written) == value);
    if (velmor::isWholeKey(value))
        require(written == QString::number(qint64(value)));
    velmor::isNumericText(text);
    // The upper-case form keeps the length and is its own upper-case form; what the
    // boxes let through holds no character the rules refuse; a stored text is
    // accepted or refused as the same text is.
    const QString upper = velmor::upperCaseForm(text);
    require(upper.size() == text.size() && velmor::upperCaseForm(upper) == upper);
    for (auto column : { velmor::TextColumn::Nombre, velmor::TextColumn::Descripcion }) {
        require(velmor::characterProblem(column, velmor::boxText(column, text)).isEmpty());
        require(velmor::storedTextProblem(column, text.toUtf8()).isEmpty()
            == velmor::textProblem(column, text).isEmpty());
    }
    return 0;
}
