#include "statements.h"

namespace velmor {

namespace {

    const char* sqlOperator(Operador op)
    {
        static const char* const operators[] = { "=", "<>", "<", "<=", ">", ">=" };
        return operators[int(op)];
    }

    QString enComillas(const QString& value)
    {
        QString v = value;
        v.replace(QLatin1Char('\''), QLatin1String("''"));
        // A NUL is left out: the engine reads a statement only up to its first NUL,
        // which would leave the quoted value open.
        v.remove(QChar(0));
        return v;
    }

}

QString quoted(const QString& value)
{
    return QLatin1Char('\'') + enComillas(value) + QLatin1Char('\'');
}

QString criterioNombre(const QString& typed) { return QStringLiteral("nombre=") + quoted(typed); }

QString criterioArtista(const QString& typed) { return QStringLiteral("artista=") + quoted(typed); }

QString criterioId(const StoredNumber& id) { return QStringLiteral("id=") + numberText(id); }

QString consultaPorId(Operador op, const QString& value)
{
    return QStringLiteral("select * from datos_cd where id ") + QLatin1String(sqlOperator(op))
        + numberText(leadingNumber(value));
}

QString consultaPorNombre(Operador op, const QString& value)
{
    return QStringLiteral("select * from datos_cd where nombre ") + QLatin1String(sqlOperator(op))
        + quoted(upperCaseForm(value));
}

QString consultaPorArtista(Operador op, const QString& value)
{
    return QStringLiteral("select * from datos_cd where artista ") + QLatin1String(sqlOperator(op))
        + quoted(upperCaseForm(value));
}

QString consultaPorCancion(Operador op, const QString& value)
{
    const QString v = enComillas(upperCaseForm(value));
    QString sql = QStringLiteral("select * from canciones where cancion1")
        + QLatin1String(sqlOperator(op)) + QLatin1Char('\'') + v;
    for (int i = 2; i <= 20; ++i)
        sql += QStringLiteral("' or cancion%1='").arg(i) + v;
    return sql + QLatin1Char('\'');
}

QString cancionesDelCd(const StoredNumber& id)
{
    return QStringLiteral("select * from canciones where id=") + numberText(id);
}

}
