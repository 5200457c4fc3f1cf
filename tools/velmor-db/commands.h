#pragma once

#include <QStringList>

class QIODevice;

namespace velmor::tool {

// Exit codes shared by every sub-command.
namespace ExitCode {
    inline constexpr int done = 0;
    inline constexpr int problems = 1; // verificar found damage, importar refused lines,
                                       // convertir left rows out
    inline constexpr int failed = 2; // a file cannot be read or written, or bad usage
}

// Runs one invocation of velmor-db; arguments exclude the program name. Reports go
// to out (except for an export to standard output, whose report goes to err) and
// failures to err. terminal tells whether err is a terminal, for the progress line.
int runCommand(const QStringList& arguments, QIODevice& out, QIODevice& err, bool terminal);

}
