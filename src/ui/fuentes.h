#pragma once

#include <QStringList>

namespace velmor {

// A font's families as the forms ask for them: a classic family first and its
// metric-compatible substitute after it. When the classic family is not installed
// the font engine would first search the system's fallbacks for it, a costly
// search whose result is then thrown away for the substitute that follows in
// the list; the families that are not installed are therefore left out as long
// as a later one is installed. With none of them installed the list stays as it
// is, so the system's own substitution still applies.
QStringList familiasInstaladas(const QStringList& familias);

// The same choice against a given list of installed families (names as the font
// database lists them, with a foundry in brackets when several provide one).
QStringList familiasInstaladas(const QStringList& familias, const QStringList& instaladas);

}
