#pragma once
// velorin-cli without its process: the command line is parsed into a request, and the request
// runs against whatever the environment hands it (real serial ports and the real clock in the
// program, the simulated drive and a virtual clock in tests).

#include <QStringList>
#include <QTextStream>

#include "CliEnvironment.h"
#include "CliRequest.h"

namespace velorin {

// Runs velorin-cli with `args` (the program name first, as QCoreApplication::arguments() gives
// it). Results go to `out`, messages, progress and the trace to `err`. Returns the exit status.
int runCli(const QStringList& args, CliEnvironment& env, QTextStream& out, QTextStream& err);

// Runs one parsed request.
int runRequest(const CliRequest& request, CliEnvironment& env, QTextStream& out, QTextStream& err);

}  // namespace velorin
