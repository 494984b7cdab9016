#include "QtPortProvider.h"

#include "QtSerialPort.h"

namespace velorin {

int ComAssignment::lowestFree() const {
    for (int n = 1; n <= kComPorts; ++n)
        if (!m_devices.count(n))
            return n;
    return 0;
}

void ComAssignment::update(const std::vector<PortName>& ports) {
    for (const auto& p : ports) {
        if (comOf(p.device))
            continue;
        int n = p.comNumber;
        if (n < 1 || n > kComPorts || m_devices.count(n))
            n = lowestFree();
        if (n == 0)
            continue;
        m_devices[n] = p.device;
    }
}

int ComAssignment::reserve(const QString& name) {
    const int n = lowestFree();
    if (n != 0)
        m_devices[n] = name;
    return n;
}

QString ComAssignment::deviceOf(int comNumber) const {
    const auto it = m_devices.find(comNumber);
    return it == m_devices.end() ? QString() : it->second;
}

std::optional<int> ComAssignment::comOf(const QString& device) const {
    for (const auto& [n, d] : m_devices)
        if (d == device)
            return n;
    return std::nullopt;
}

QtPortProvider::QtPortProvider(QStringList extraDevices) : m_extraDevices(std::move(extraDevices)) {
    refresh();
}

void QtPortProvider::refresh() const {
    m_assignment.update(systemPorts(m_extraDevices));
}

std::unique_ptr<SerialPort> QtPortProvider::createPort(TimedWait& wait) {
    return std::make_unique<QtSerialPort>(wait, [this](int n) { return deviceOf(n); });
}

QString QtPortProvider::deviceOf(int comNumber) const {
    // A number keeps its device once it has one: only a free number needs a new look.
    QString device = m_assignment.deviceOf(comNumber);
    if (device.isEmpty()) {
        refresh();
        device = m_assignment.deviceOf(comNumber);
    }
    return device;
}

int QtPortProvider::reserve(const QString& name) {
    return m_assignment.reserve(name);
}

}  // namespace velorin
