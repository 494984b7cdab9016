#pragma once
// velorin-cli without its process: the commands run against whatever the environment hands them
// (real serial ports and the real clock in the program, the simulated drive and a virtual clock
// in tests).

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <vector>

#include "link/SerialPort.h"
#include "link/TimedWait.h"

namespace velorin {

// The exit status of velorin-cli, as --help and docs/cli.md list it.
enum class CliExit : int {
    Ok = 0,
    NoUsableReply = 1,  // no drive answered, a read got no usable reply, a scan found nothing
    Usage = 2,          // the command line is wrong
    PortUnusable = 3,   // the port cannot be opened: in use, not found, no permission
    WriteNotConfirmed = 4,
    Interrupted = 130,  // Ctrl+C
};

// A serial port of the machine as `velorin-cli ports` lists it.
struct CliPort {
    QString comName;                    // "COM3"
    QString device;                     // "/dev/ttyUSB0"
    QString description;                // what the system says about the adapter
    OpenResult state = OpenResult::Ok;  // what a trial open gave
};

class CliEnvironment {
public:
    virtual ~CliEnvironment() = default;

    virtual TimedWait& timedWait() = 0;
    // The port behind a COM name ("COM3") or a device path ("/dev/ttyUSB0"); nullptr when the
    // name stands for nothing (the open will then be reported as "not found").
    virtual std::unique_ptr<SerialPort> createPort(const QString& name) = 0;
    // The machine's serial ports, each tried once.
    virtual std::vector<CliPort> listPorts() = 0;
    // What the technician can do about a port they may not open ("add your user to dialout").
    virtual QString permissionFix(const QString& portName) const = 0;
    // The name stands for something that exists but carries no line: a regular file, a
    // directory, a FIFO, a device that is no terminal (/dev/null).
    virtual bool notASerialPort(const QString& /*name*/) const { return false; }
    // Ctrl+C was pressed: a running command stops at its next transaction.
    virtual bool stopRequested() const = 0;
    // Whether stderr is a terminal (the scan then keeps one live progress line).
    virtual bool errIsTerminal() const = 0;
};

// Runs velorin-cli with `args` (the program name first, as QCoreApplication::arguments() gives
// it). Results go to `out`, messages, progress and the trace to `err`. Returns the exit status.
int runCli(const QStringList& args, CliEnvironment& env, QTextStream& out, QTextStream& err);

// The text of --help, with the commands and the exit status.
QString cliHelpText();

}  // namespace velorin
