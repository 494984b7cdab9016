#pragma once
// velorin-cli's environment on a real machine: the system's serial ports through QSerialPort,
// COM names as the desktop tool hands them out, the real clock with Qt's event loop turning.

#include <atomic>

#include "CliEnvironment.h"
#include "platform/ChangeLogFile.h"
#include "platform/EventLoopWait.h"

namespace velorin {

class SystemEnvironment : public CliEnvironment {
public:
    // `stopSignal` is set by the signal handler to the signal that asks the command to stop (0
    // until then); `errIsTerminal` tells whether stderr is one.
    SystemEnvironment(const std::atomic<int>& stopSignal, bool errIsTerminal)
        : m_stop(stopSignal), m_errIsTerminal(errIsTerminal) {}

    TimedWait& timedWait() override { return m_wait; }
    std::unique_ptr<SerialPort> createPort(const QString& name) override;
    std::unique_ptr<SerialPort> createGatewayPort(const QString& host, int port,
                                                  Micros connectTimeout) override;
    std::vector<CliPort> listPorts() override;
    QString permissionFix(const QString& portName) const override;
    bool notASerialPort(const QString& name) const override;
    bool stopRequested() const override { return m_stop.load() != 0; }
    int stopSignal() const override { return m_stop.load(); }
    bool errIsTerminal() const override { return m_errIsTerminal; }
    ChangeLog* changeLog() override { return &m_changeLog; }
    QString changeLogPath() const override { return m_changeLog.path(); }

private:
    // The device behind "COM3", or the name itself when it is a device path.
    static QString deviceOf(const QString& name);

    EventLoopWait m_wait;
    const std::atomic<int>& m_stop;
    bool m_errIsTerminal;
    ChangeLogFile m_changeLog{changeLogFolder() + QLatin1Char('/') +
                              QLatin1String(kChangeLogFileName)};
};

}  // namespace velorin
