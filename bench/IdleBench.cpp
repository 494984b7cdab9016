// The desktop tool at rest: the connection screen (its port list following the system's ports)
// and the line monitor open over the system's real serial ports, the event loop running for a
// while. Prints the processor time used as a share of one core.
//
//   QT_QPA_PLATFORM=offscreen build/bench/idle_bench 60

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include "ui/connection/ConnectionWindow.h"
#include "records/LineMonitor.h"
#include "ui/monitor/MonitorWindow.h"
#include "platform/EventLoopWait.h"
#include "platform/QtDialogs.h"
#include "platform/QtFolders.h"
#include "platform/QtPortProvider.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    velorin::QtPortProvider ports;
    velorin::EventLoopWait wait;
    velorin::QtDialogs dialogs;
    velorin::QtFolders folders;
    velorin::Services services;
    services.dialogs = &dialogs;
    services.folders = &folders;
    services.ports = &ports;
    services.wait = &wait;
    velorin::LineMonitor monitor(wait);
    services.lineObservers.add(monitor);
    auto* connection = new velorin::ConnectionWindow(services);
    connection->show();
    auto* monitorWindow = new velorin::MonitorWindow(monitor, dialogs);
    monitorWindow->show();

    // The windows settle first; then the quiet time is measured.
    double cpuAtStart = 0;
    QElapsedTimer clock;
    QTimer::singleShot(2000, [&] {
        cpuAtStart = cpuSeconds();
        clock.start();
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    });
    app.exec();
    const double cpu = cpuSeconds() - cpuAtStart;
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("idle: %.3f s of processor time in %.1f s = %.2f %% of one core "
                "(connection screen and line monitor open, %zu ports listed)\n",
                cpu, wall, 100.0 * cpu / wall, ports.listPorts().size());
    std::fflush(stdout);
    std::_Exit(0);  // as the program's quit: the windows go with the process
}
