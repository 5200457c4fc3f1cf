#pragma once

#include "valuerules.h"

#include <QString>

namespace velmor {

// Every statement and criterion text the forms hand to a record source is built
// here. Single quotes in a typed value are doubled so that the text stays one
// well-formed value whatever is typed.

enum class Operador { Igual = 0, Distinto, Menor, MenorIgual, Mayor, MayorIgual };

inline constexpr const char* tablaDatosCd = "datos_cd";
inline constexpr const char* tablaCanciones = "canciones";
inline constexpr const char* todosLosCd = "select * from datos_cd";
inline constexpr const char* todasLasCanciones = "select * from canciones";

// A value between single quotes, with every single quote in it doubled.
QString quoted(const QString& value);

// Criteria for FindFirst.
QString criterioNombre(const QString& typed); // nombre='...'
QString criterioArtista(const QString& typed); // artista='...'
// id=<number>. Ids read from a file come in only as numbers, so stored text never
// becomes part of a statement.
QString criterioId(const StoredNumber& id);

// Statements of the search. The key value is the leading number of the text; text
// values are upper-cased.
QString consultaPorId(Operador op, const QString& value);
QString consultaPorNombre(Operador op, const QString& value);
QString consultaPorArtista(Operador op, const QString& value);
QString consultaPorCancion(Operador op, const QString& value);

// Songs row of one CD: "select * from canciones where id=" + the id.
QString cancionesDelCd(const StoredNumber& id);

}
