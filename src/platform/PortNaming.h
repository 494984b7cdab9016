#pragma once
// COM1..COM16 on every system. On Windows they are the system's own COM ports; elsewhere they
// stand for the system's serial devices in a stable order (USB adapters first, then the rest,
// each by name), so the same adapter keeps its COM name while nothing is plugged in or out.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace velorin {

inline constexpr int kComPorts = 16;

struct PortName {
    int comNumber;   // 1..16
    QString device;  // "/dev/ttyUSB0", "COM3"
    QString description;
};

// Orders device paths the way COM numbers are handed out.
QStringList orderDevices(QStringList devices);

// The system's serial ports with their COM numbers; `extraDevices` (pseudo-terminals, devices
// the system does not list) are placed after them.
std::vector<PortName> systemPorts(const QStringList& extraDevices = {});

// Whether `device` is a pseudo-terminal, also when reached through a symbolic link (socat's
// link= names its ends so): it carries 8 data bits without parity whatever it is told.
bool isPseudoTerminal(const QString& device);

// The device `device` names once links are followed: one port has one name whichever name
// reached it, for its lock and its state. A name that leads nowhere (a Windows COM name, a
// device that is gone) stays as it is.
QString resolvedDevice(const QString& device);

// "COM3" (any case) -> 3; empty for anything else.
std::optional<int> comNumberOf(const QString& name);

}  // namespace velorin
