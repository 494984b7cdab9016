#pragma once
// The serial ports of the running program: COM1..COM16 stand for the system's serial devices
// (and any extra device named on the command line, such as a pseudo-terminal).

#include <QDateTime>
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

// What the port list can learn of a device without opening it, from its permissions and the
// lock files in `lockFolders`.
PortState portStateOf(const QString& device,
                      const QStringList& lockFolders = {QStringLiteral("/var/lock"),
                                                        QStringLiteral("/run/lock"),
                                                        QStringLiteral("/var/spool/locks")});

// Where velorin-drive-sim keeps a link to its pseudo-terminal while it runs (named by its process
// id): $XDG_RUNTIME_DIR/velorin-drive-sim, else /tmp/velorin-drive-sim-<uid>. The port list shows
// those devices, so a simulator started while the connection screen is open appears in it.
QString simulatedDriveFolder();
// The devices of the simulators running now.
QStringList simulatedDriveDevices();

class QtPortProvider : public PortProvider {
public:
    explicit QtPortProvider(QStringList extraDevices = {});
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override;
    std::unique_ptr<SerialPort> createGatewayPort(TimedWait& wait,
                                                  const NetworkAddress& address) override;
    // A number without a device yet makes it look at the system's devices again, so adapters
    // plugged in since the start are found.
    QString deviceOf(int comNumber) const override;
    // The devices that exist now, in use by another program when a live process holds their
    // lock file, barred when this user may not read and write them.
    std::vector<ListedPort> listPorts() override;
    // A COM number for a port that the program provides itself (the demo's simulated drive).
    int reserve(const QString& name);

private:
    // Looks at the system's devices again only when the device folder changed since the last
    // look (an adapter plugged in or out): the system's own listing reads hundreds of files.
    void refresh() const;
    QStringList m_extraDevices;
    mutable ComAssignment m_assignment;
    mutable std::optional<QDateTime> m_devicesSeenAt;
    mutable QStringList m_simulatedSeen;
};

}  // namespace velorin
