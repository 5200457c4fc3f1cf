// The catalogue file check and verificar on mutated catalogue files: either may
// refuse a file, neither may crash, hang or change it.
#include "catalogcheck.h"

#include "data/catalogfile.h"
#include "data/dataerror.h"
#include "require.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <unistd.h>

namespace {
QString scratchPath()
{
    static const QString path = QDir::tempPath()
        + QStringLiteral("/velmor-fuzz-%1.mdb").arg(qint64(getpid()));
    return path;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = scratchPath();
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        require(file.write(bytes) == bytes.size());
    }
    try {
        velmor::CatalogFile::check(path);
    } catch (const velmor::DataError& error) {
        require(!error.description.isEmpty());
    }
    const velmor::tool::CheckReport report = velmor::tool::checkCatalog(path);
    require(!report.lines.isEmpty());
    require((report.outcome == velmor::tool::CheckReport::Outcome::Sound) == report.problems.isEmpty());
    QFile file(path);
    require(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
    file.close();
    QFile::remove(path);
    return 0;
}
