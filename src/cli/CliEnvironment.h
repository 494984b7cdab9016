#pragma once
// What velorin-cli needs from the machine: the serial ports, the clock, Ctrl+C and the terminal.
// The program hands it real serial ports and the real clock, the tests the simulated drive and a
// virtual clock.

#include <QString>
#include <csignal>
#include <memory>
#include <vector>

#include "records/ChangeLog.h"
#include "link/SerialPort.h"
#include "link/TimedWait.h"

namespace velorin {

// The exit status of velorin-cli, as --help and docs/cli.md list it.
enum class CliExit : int {
    Ok = 0,
    NoUsableReply = 1,  // no drive answered, a read got no usable reply, a scan found nothing
    Usage = 2,          // the command line is wrong
    PortUnusable = 3,   // the port cannot be opened (in use, not found, no permission, not a
                        // serial port) or was lost during the command
    WriteNotConfirmed = 4,
    Refused = 5,        // a range check refused a value, or a parameter file is unsound
    Different = 6,      // diff found parameters that differ
    NotLogged = 7,      // all done, but writes sent to the drive are missing from the change log
    SomeDrivesFailed = 8,  // backup or restore of several drives: one or more of them failed
    Interrupted = 130,  // Ctrl+C (SIGINT); SIGTERM and SIGHUP end with 128 + their number
};

inline int exitCode(CliExit e) {
    return static_cast<int>(e);
}

// A serial port of the machine as `velorin-cli ports` lists it.
struct CliPort {
    QString comName;                    // "COM3"
    QString device;                     // "/dev/ttyUSB0"
    QString description;                // what the system says about the adapter
    OpenResult state = OpenResult::Ok;  // in use (a lock file) or barred, learned without an open
};

class CliEnvironment {
public:
    virtual ~CliEnvironment() = default;

    virtual TimedWait& timedWait() = 0;
    // The port behind a COM name ("COM3") or a device path ("/dev/ttyUSB0"); nullptr when the
    // name stands for nothing (the open will then be reported as "not found").
    virtual std::unique_ptr<SerialPort> createPort(const QString& name) = 0;
    // The connection to a network gateway at `host`:`port`, not yet made (open() makes it, within
    // `connectTimeout`); nullptr where the environment has no network.
    virtual std::unique_ptr<SerialPort> createGatewayPort(const QString& /*host*/, int /*port*/,
                                                          Micros /*connectTimeout*/) {
        return nullptr;
    }
    // The machine's serial ports; none is opened.
    virtual std::vector<CliPort> listPorts() = 0;
    // What the technician can do about a port they may not open ("add your user to dialout").
    virtual QString permissionFix(const QString& portName) const = 0;
    // The name stands for something that exists but carries no line: a regular file, a
    // directory, a FIFO, a device that is no terminal (/dev/null).
    virtual bool notASerialPort(const QString& /*name*/) const { return false; }
    // Ctrl+C was pressed (or SIGTERM or SIGHUP came): a running command stops after its current
    // transaction.
    virtual bool stopRequested() const = 0;
    // The signal that asked for the stop; the exit status is 128 + its number.
    virtual int stopSignal() const { return SIGINT; }
    // Whether stderr is a terminal (the scan then keeps one live progress line).
    virtual bool errIsTerminal() const = 0;
    // The change log every write to a drive goes into, and where `log` reads it; none: nothing
    // is logged.
    virtual ChangeLog* changeLog() { return nullptr; }
    virtual QString changeLogPath() const { return {}; }
};

}  // namespace velorin
