#pragma once
// The serial ports of the running program: COM1..COM16 stand for the system's serial devices
// (and any extra device named on the command line, such as a pseudo-terminal).

#include <QStringList>
#include <map>
#include <optional>
#include <vector>

#include "PortNaming.h"
#include "Services.h"

namespace velorin {

// COM numbers handed out for the whole run. A device keeps its number once it has one, so an
// adapter that vanishes during a scan leaves a port that cannot be opened instead of letting
// another adapter answer to its number, and one that comes back gets its old number again.
class ComAssignment {
public:
    // Gives each port that has no number yet the number it proposes, or the lowest free one
    // when that is taken; ports beyond COM16 get none.
    void update(const std::vector<PortName>& ports);
    // Takes the lowest free number for a port that is no system device; 0 when none is free.
    int reserve(const QString& name);
    QString deviceOf(int comNumber) const;
    std::optional<int> comOf(const QString& device) const;

private:
    int lowestFree() const;
    std::map<int, QString> m_devices;
};

class QtPortProvider : public PortProvider {
public:
    explicit QtPortProvider(QStringList extraDevices = {});
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override;
    // A number without a device yet makes it look at the system's devices again, so adapters
    // plugged in since the start are found.
    QString deviceOf(int comNumber) const override;
    // A COM number for a port that the program provides itself (the demo's simulated drive).
    int reserve(const QString& name);

private:
    void refresh() const;
    QStringList m_extraDevices;
    mutable ComAssignment m_assignment;
};

}  // namespace velorin
