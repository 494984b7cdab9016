#pragma once
// velorin-drive-sim started for a benchmark, with a line session of the program's own serial
// port open on it.

#include <memory>

#include "SimStart.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"

namespace velorin::bench {

// velorin-drive-sim with a line session open on it at station 1, closed and let go with it.
class SimLine {
public:
    // False (told on stderr) when the simulator did not start or its device did not open.
    bool start(const char* settings, Framing framing, int delayMs, const QStringList& more = {}) {
        const QString device = startDriveSim(m_sim, settings, delayMs, more);
        if (device.isEmpty())
            return false;
        m_line = std::make_unique<LineSession>(std::make_unique<QtSerialPort>(m_wait, device));
        return openSimLine(*m_line, device, settings, framing);
    }
    LineSession& line() { return *m_line; }
    ~SimLine() {
        if (m_line)
            m_line->close();
        stopDriveSim(m_sim);
    }

private:
    QProcess m_sim;
    EventLoopWait m_wait;
    std::unique_ptr<LineSession> m_line;
};

}  // namespace velorin::bench
