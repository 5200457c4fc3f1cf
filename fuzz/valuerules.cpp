// The value rules on arbitrary text, in the Spanish locale the program runs in:
// a number written by numberText reads back as the same number.
#include "data/valuerules.h"

#include <QLocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
void require(bool condition)
{
    if (!condition)
        std::abort();
}
}

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
    velmor::upperCaseForm(text);
    return 0;
}
