#pragma once
// velorin-cli in-process: a simulated drive behind COM3 and /dev/ttyUSB0, a second behind COM4.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTextStream>
#include <functional>

#include "cli/CliCommands.h"
#include "platform/ChangeLogFile.h"
#include "sim/RequestReader.h"
#include "sim/SimulatedPort.h"
#include "support/Files.h"

namespace velorin::test {

// Every frame sent, as "19200,E,8,1@3" and its function, and a hook run as each goes out.
struct LineLog {
    std::vector<std::string> sent;
    std::vector<FunctionCode> functions;
    // Runs before the frame numbered `index` (from 0) goes out with `function`.
    std::function<void(SerialPort& port, int index, FunctionCode function)> onSend;
};

struct RecordingPort : SimulatedPort {
    RecordingPort(SimulatedLine& line, TimedWait& wait, LineLog& log)
        : SimulatedPort(line, wait, "/dev/ttyUSB0"), log(log) {}
    bool send(std::span<const std::uint8_t> bytes) override {
        const bool eightDataBits = parseSettings(settings())->dataBits == 8;  // RTU
        const DriveRequest request =
            RequestReader(eightDataBits ? Framing::Rtu : Framing::Ascii).feed(bytes).at(0);
        const int index = static_cast<int>(log.sent.size());
        log.sent.push_back(settings() + "@" + std::to_string(request.station));
        const FunctionCode function{request.function};
        log.functions.push_back(function);
        if (log.onSend)
            log.onSend(*this, index, function);
        return SimulatedPort::send(bytes);
    }
    LineLog& log;
};

struct RefusingPort : SimulatedPort {
    RefusingPort(SimulatedLine& line, TimedWait& wait, const QString& name, OpenResult result)
        : SimulatedPort(line, wait, name.toStdString()), result(result) {}
    OpenResult open() override { return result; }
    OpenResult result;
};

struct SimEnvironment : CliEnvironment {
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    LineLog log;
    // A second drive on COM4, for carrying parameters from one drive to another.
    SimulatedDrive drive2;
    SimulatedLine line2{drive2};
    LineLog log2;
    bool stop = false;

    TimedWait& timedWait() override { return clock; }
    std::unique_ptr<SerialPort> createPort(const QString& name) override {
        if (name == QLatin1String("COM3") || name == QLatin1String("/dev/ttyUSB0"))
            return std::make_unique<RecordingPort>(line, clock, log);
        if (name == QLatin1String("COM4"))
            return std::make_unique<RecordingPort>(line2, clock, log2);
        for (auto [device, refusal] : {std::pair{"/dev/ttyS7", OpenResult::NoPermission},
                                       {"/dev/ttyS8", OpenResult::BadSettings},
                                       {"/dev/ttyS9", OpenResult::InUse}})
            if (name == QLatin1String(device))
                return std::make_unique<RefusingPort>(line, clock, name, refusal);
        return nullptr;
    }
    std::vector<CliPort> listPorts() override { return {}; }
    QString permissionFix(const QString& port) const override {
        return QStringLiteral("join dialout for ") + port;
    }
    bool stopRequested() const override { return stop; }
    bool errIsTerminal() const override { return false; }
    // The change log, in a folder of the test's own.
    QTemporaryDir logFolder;
    ChangeLogFile changeLogFile{logFolder.filePath("changes.log")};
    ChangeLog* changeLog() override { return &changeLogFile; }
    QString changeLogPath() const override { return changeLogFile.path(); }
};

// Factory values but for P11.14 (so P09.15 and P10.15 pass) and P15.03 (else 0, below 3).
inline void soundValues(SimulatedDrive& drive, int responseTime = 5) {
    drive.setReg(382, 1000);  // P11.14 100.0
    drive.setReg(499, static_cast<std::uint16_t>(responseTime));
}

struct Outcome {
    int code;
    std::string out, err;
};

inline Outcome cli(SimEnvironment& env, const QString& line) {
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const QStringList args = QStringList{"velorin-cli"} + line.split(' ', Qt::SkipEmptyParts);
    const int code = runCli(args, env, outStream, errStream);
    return {code, out.toStdString(), err.toStdString()};
}

}  // namespace velorin::test
