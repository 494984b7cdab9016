#include "QtPortProvider.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "QtSerialPort.h"
#include "QtTcpPort.h"

#ifndef Q_OS_WIN
#include <unistd.h>
#include <cerrno>
#include <csignal>
#endif

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

QString simulatedDriveFolder() {
#ifdef Q_OS_WIN
    return {};
#else
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QStringLiteral("/tmp/velorin-drive-sim-%1").arg(::getuid())
                             : runtime + QStringLiteral("/velorin-drive-sim");
#endif
}

QStringList simulatedDriveDevices() {
    QStringList devices;
#ifndef Q_OS_WIN
    // One link per running simulator, named by its process and pointing at its device.
    const QDir folder(simulatedDriveFolder());
    for (const QFileInfo& link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        bool number = false;
        const qint64 pid = link.fileName().toLongLong(&number);
        const QString device = link.symLinkTarget();
        if (number && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) &&
            device.startsWith(QLatin1String("/dev/")) && QFileInfo::exists(device))
            devices << device;
    }
#endif
    return devices;
}

void QtPortProvider::refresh() const {
#ifdef Q_OS_WIN
    m_assignment.update(systemPorts(m_extraDevices));
#else
    // A device node appearing or going changes the folder's time; a simulated drive on a
    // pseudo-terminal is listed while its simulator runs.
    const QDateTime changed = QFileInfo(QStringLiteral("/dev")).lastModified();
    const QStringList simulated = simulatedDriveDevices();
    if (m_devicesSeenAt && changed.isValid() && changed == *m_devicesSeenAt &&
        simulated == m_simulatedSeen)
        return;
    m_devicesSeenAt = changed;
    m_simulatedSeen = simulated;
    QStringList extra = m_extraDevices;
    for (const QString& device : simulated)
        if (!extra.contains(device))
            extra << device;
    m_assignment.update(systemPorts(extra));
#endif
}

std::vector<ListedPort> QtPortProvider::listPorts() {
    refresh();
    std::vector<ListedPort> out;
    for (int n = 1; n <= kComPorts; ++n) {
        const QString device = m_assignment.deviceOf(n);
#ifdef Q_OS_WIN
        if (device.isEmpty())
            continue;
#else
        // A number keeps its device after an unplug; a device that is gone is not listed.
        if (device.isEmpty() || !QFileInfo::exists(device))
            continue;
#endif
        out.push_back({n, device, portStateOf(device)});
    }
    return out;
}

PortState portStateOf(const QString& device, const QStringList& lockFolders) {
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    Q_UNUSED(lockFolders);
    return PortState::Free;  // the system keeps no lock files; an open in use fails
#else
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return PortState::NoPermission;
    // UUCP lock files: "LCK..ttyUSB0" holding the owner's process id, in text or as a binary int,
    // named for the device a link leads to; Qt names those below /dev by their path there
    // ("LCK..pts_3").
    const QString real = resolvedDevice(device);
    QStringList names{QStringLiteral("LCK..") + QFileInfo(real).fileName()};
    if (real.startsWith(QLatin1String("/dev/")))
        names << QStringLiteral("LCK..") + real.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    names.removeDuplicates();
    for (const QString& folder : lockFolders)
        for (const QString& name : names) {
            QFile lock(folder + QLatin1Char('/') + name);
            if (!lock.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = lock.read(64);
            bool isText = false;
            qint64 pid = bytes.trimmed().toLongLong(&isText);
            if (!isText && bytes.size() == 4)
                pid = *reinterpret_cast<const qint32*>(bytes.constData());
            if (pid > 0 && pid != ::getpid() &&
                (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
                return PortState::InUse;
        }
    return PortState::Free;
#endif
}

std::unique_ptr<SerialPort> QtPortProvider::createPort(TimedWait& wait) {
    return std::make_unique<QtSerialPort>(wait, [this](int n) { return deviceOf(n); });
}

std::unique_ptr<SerialPort> QtPortProvider::createGatewayPort(TimedWait& wait,
                                                              const NetworkAddress& address) {
    return std::make_unique<QtTcpPort>(wait, QString::fromStdString(address.host), address.port);
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
