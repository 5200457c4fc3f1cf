#include "fuentes.h"

#include <QFontDatabase>
#include <QSet>

namespace velmor {

QStringList familiasInstaladas(const QStringList& familias)
{
    return familiasInstaladas(familias, QFontDatabase::families());
}

QStringList familiasInstaladas(const QStringList& familias, const QStringList& instaladas)
{
    QSet<QString> nombres;
    for (const QString& instalada : instaladas) {
        // "Family [Foundry]" names one of several foundries of the same family.
        const qsizetype corchete = instalada.indexOf(QLatin1String(" ["));
        nombres.insert((corchete < 0 ? instalada : instalada.left(corchete)).toCaseFolded());
    }
    for (qsizetype i = 0; i < familias.size(); ++i)
        if (nombres.contains(familias[i].toCaseFolded()))
            return familias.mid(i);
    return familias;
}

}
