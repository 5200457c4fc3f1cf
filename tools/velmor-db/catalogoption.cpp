#include "catalogoption.h"

#include <QDir>

namespace velmor::tool {

namespace {
    constexpr QLatin1String option("--catalogo");
    constexpr QLatin1String optionWithValue("--catalogo=");
    constexpr QLatin1String endOfOptions("--");
}

QString userCatalog()
{
    // The launcher's folder: $XDG_DATA_HOME when it is an absolute path (a relative one
    // is no valid setting, and the launcher ignores it too), else ~/.local/share.
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString folder = QDir::isAbsolutePath(data)
        ? data
        : QDir::homePath() + QStringLiteral("/.local/share");
    return folder + QStringLiteral("/velmor/velmor.mdb");
}

bool takeCatalogOption(QStringList& arguments, QString& catalog)
{
    catalog.clear();
    for (qsizetype i = 0; i < arguments.size() && arguments[i] != endOfOptions;) {
        const QString arg = arguments[i];
        if (arg != option && !arg.startsWith(optionWithValue)) {
            ++i;
            continue;
        }
        const QString value = arg == option ? userCatalog() : arg.mid(optionWithValue.size());
        if (!catalog.isEmpty() || value.isEmpty())
            return false;
        // In its place among the arguments, a name starting with a dash would read as
        // an option or as standard input.
        catalog = value.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + value : value;
        arguments.removeAt(i);
    }
    return true;
}

void placeCatalog(QStringList& args, const QString& catalog, int position)
{
    qsizetype at = 0;
    bool options = true;
    for (; at < args.size(); ++at) {
        if (options && args[at] == endOfOptions) {
            options = false;
            continue;
        }
        if (options && args[at].startsWith(endOfOptions))
            continue;
        if (position-- == 0)
            break;
    }
    args.insert(at, catalog);
}

QString catalogNote()
{
    return QStringLiteral("\nCon --catalogo, la orden usa su propio catálogo en lugar de la RUTA\n"
                          "del catálogo; con --catalogo=RUTA, el de esa RUTA. Su catálogo es\n"
                          "  %1\n")
        .arg(userCatalog());
}

QString catalogOptionMisused()
{
    return QStringLiteral("--catalogo va una sola vez: solo (su catálogo, %1) o como "
                          "--catalogo=RUTA.")
        .arg(userCatalog());
}

}
