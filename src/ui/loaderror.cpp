#include "loaderror.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"

#include <QDir>
#include <QFileInfo>

namespace velmor {

QString loadErrorText(const DataError& error)
{
    const QString path = CatalogFile::path();
    if (error.number != ErrorNumber::FileNotFound || QFileInfo::exists(path))
        return error.description;
    return error.description + QStringLiteral("\rPara crear un catálogo vacío, ejecute:\r")
        + QStringLiteral("velmor-db crear \"%1\"").arg(QDir::toNativeSeparators(path));
}

}
