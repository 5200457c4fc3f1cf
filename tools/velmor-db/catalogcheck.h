#pragma once

#include <QStringList>
#include <chrono>

namespace velmor::tool {

class Progress;

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
// Schema objects that would make the check evaluate code are problems, and then the
// integrity check is left out; a check that runs out of time (by default a minute
// and more for a large file) stops with a problem saying so. progress, when given,
// shows how far the check is.
CheckReport checkCatalog(const QString& path, Progress* progress = nullptr);
CheckReport checkCatalog(const QString& path, Progress* progress, std::chrono::milliseconds limit);

}
