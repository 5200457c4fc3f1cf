#include "dataerror.h"

namespace velmor {

DataError::DataError(int n, QString d)
    : number(n)
    , description(std::move(d))
    , m_what(QStringLiteral("%1: %2").arg(number).arg(description).toUtf8())
{
}

const char* DataError::what() const noexcept { return m_what.constData(); }

DataError noCurrentRecord()
{
    return DataError(ErrorNumber::NoCurrentRecord, QStringLiteral("No hay ningún registro activo."));
}

}
