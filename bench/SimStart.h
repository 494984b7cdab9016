#pragma once
// velorin-drive-sim started for a benchmark with its wire-time model: the device it serves, or
// empty (with a message) when it did not start.

#include <QProcess>
#include <QStringList>
#include <cstdio>

#include "link/LineSession.h"

namespace velorin::bench {

inline QString startDriveSim(QProcess& sim, const char* settings, int delayMs,
                             const QStringList& more = {}) {
    sim.start(QStringLiteral(VELORIN_DRIVE_SIM),
              QStringList{"--settings", settings, "--wire-time", "--response-delay-ms",
                          QString::number(delayMs)} +
                  more);
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return {};
    }
    return QString::fromUtf8(sim.readLine()).trimmed();
}

// Lets the simulator go.
inline void stopDriveSim(QProcess& sim) {
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(3000);
}

// Opens `line` on the simulated drive at station 1 with `settings`; false (told on stderr) when
// the port cannot be opened.
inline bool openSimLine(LineSession& line, const QString& device, const char* settings,
                        Framing framing) {
    line.follow({1, framing, false, 1, settings, {}});
    if (line.open(1, settings) == OpenResult::Ok)
        return true;
    std::fprintf(stderr, "cannot open %s\n", qPrintable(device));
    return false;
}

}  // namespace velorin::bench
