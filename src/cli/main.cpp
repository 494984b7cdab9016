// velorin-cli: the link to one drive from the command line. Everything but the process itself
// (the interrupt handler, the terminal check) lives in the velorin_cli library.

#include <QCoreApplication>
#include <QTextStream>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "CliCommands.h"
#include "SystemEnvironment.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Raised by Ctrl+C: a scan or a series of reads stops at its next transaction and closes the
// port. A second Ctrl+C ends the program at once (the handler puts the default back).
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) {
    g_interrupted.store(true);
}

void installInterruptHandler() {
#ifdef Q_OS_WIN
    // The C runtime runs this on its console-control thread; it only sets the flag.
    std::signal(SIGINT, onInterrupt);
#else
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
#endif
}

bool stderrIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velorin-cli"));
    installInterruptHandler();

    velorin::SystemEnvironment env(g_interrupted, stderrIsTerminal());
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velorin::runCli(QCoreApplication::arguments(), env, out, err);
}
