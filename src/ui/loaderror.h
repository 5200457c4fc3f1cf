#pragma once

#include <QString>

namespace velmor {

struct DataError;

// What a form says when it cannot open the catalogue: the data layer's description
// and, when the file is not there at all, the command that makes an empty one.
QString loadErrorText(const DataError& error);

}
