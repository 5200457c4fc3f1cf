#pragma once

#include <QStringList>

namespace velmor::tool {

struct CheckReport {
    enum class Outcome { Sound, Problems, Unreadable };
    Outcome outcome = Outcome::Sound;
    QStringList lines; // the report as printed, one finding a line
    QStringList problems; // the findings that are problems, also among lines
};

// Examines a catalogue file without changing it: the engine's integrity check,
// both tables with their columns in order, every datos_cd row paired with a
// canciones row and the other way round, no null values, unique keys within the key
// range, texts the value rules accept, and nothing stored in the file (triggers,
// CHECK conditions, unique indexes, unknown collations) that makes a save fail.
CheckReport checkCatalog(const QString& path);

}
