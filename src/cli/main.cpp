// velorin-cli: the link to one drive from the command line. Everything but the process itself
// (the signal handlers, the terminal check) lives in the velorin_cli library.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
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

// Set by Ctrl+C, SIGTERM or SIGHUP to the signal's number: a scan, a series of reads or a write
// sequence stops at its next transaction, tells what was done and closes the port, and the
// program ends with 128 + the number. A second signal of the same kind ends the program at once
// (the handler puts the default back); the first signal is the one reported.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, signal);
}

void installStopHandlers() {
#ifdef Q_OS_WIN
    // The C runtime runs this on its console-control thread; it only sets the flag.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    // Without SA_RESTART: a call blocked in the system (an open that waits, a read of a slow
    // device) returns with EINTR, so the command sees the stop instead of waiting on.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
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
    // A report's PDF is laid out with Qt's fonts, which need a GUI application; it needs no
    // display.
    const bool prints = std::any_of(argv + 1, argv + argc, [](const char* arg) {
        return std::strcmp(arg, "report") == 0;
    });
    if (prints && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        prints ? std::make_unique<QGuiApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velorin-cli"));
    installStopHandlers();

    velorin::SystemEnvironment env(g_stopSignal, stderrIsTerminal());
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velorin::runCli(QCoreApplication::arguments(), env, out, err);
}
