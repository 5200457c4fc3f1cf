#pragma once

#include <QString>
#include <array>

namespace velmor::tool {

inline constexpr int songCount = 20;

// One CD as the two tables hold it: the datos_cd row and the canciones row that
// share the key.
struct CdRecord {
    qint64 id = 0;
    QString nombre;
    QString artista;
    QString descripcion;
    std::array<QString, songCount> canciones;

    friend bool operator==(const CdRecord&, const CdRecord&) = default;
};

}
