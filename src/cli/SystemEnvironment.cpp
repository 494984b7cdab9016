#include "SystemEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include "platform/PortNaming.h"
#include "platform/QtPortProvider.h"
#include "platform/QtSerialPort.h"
#include "platform/QtTcpPort.h"

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velorin {

QString SystemEnvironment::deviceOf(const QString& name) {
    const auto com = comNumberOf(name);
    if (!com)
        return name;
    for (const PortName& p : systemPorts())
        if (p.comNumber == *com)
            return p.device;
    return {};  // a COM name with nothing behind it
}

std::unique_ptr<SerialPort> SystemEnvironment::createPort(const QString& name) {
    const QString device = deviceOf(name);
    if (device.isEmpty())
        return nullptr;
    return std::make_unique<QtSerialPort>(m_wait, device);
}

std::unique_ptr<SerialPort> SystemEnvironment::createGatewayPort(const QString& host, int port,
                                                                 Micros connectTimeout) {
    return std::make_unique<QtTcpPort>(
        m_wait, host, port, std::chrono::duration_cast<std::chrono::milliseconds>(connectTimeout));
}

std::vector<CliPort> SystemEnvironment::listPorts() {
    std::vector<CliPort> out;
    // Never a trial open: it would raise and drop DTR on whatever device is on the port.
    for (const PortName& p : systemPorts()) {
        const PortState state = portStateOf(p.device);
        out.push_back({QStringLiteral("COM%1").arg(p.comNumber), p.device, p.description,
                       state == PortState::InUse          ? OpenResult::InUse
                       : state == PortState::NoPermission ? OpenResult::NoPermission
                                                          : OpenResult::Ok});
    }
    return out;
}

QString SystemEnvironment::permissionFix(const QString& portName) const {
    const QString device = deviceOf(portName);
    const QString group = QFileInfo(device).group();
    if (!group.isEmpty() && group != QLatin1String("root"))
        return QStringLiteral(
                   "add your user to the group %1 (sudo usermod -aG %1 $USER), then "
                   "log out and in again")
            .arg(group);
    return QStringLiteral("ask the administrator for read and write access to %1").arg(device);
}

bool SystemEnvironment::notASerialPort(const QString& name) const {
#ifdef Q_OS_WIN
    Q_UNUSED(name);
    return false;  // COM names only
#else
    const QByteArray device = QFile::encodeName(deviceOf(name));
    struct stat info {};
    if (device.isEmpty() || ::stat(device.constData(), &info) != 0)
        return false;
    if (!S_ISCHR(info.st_mode))
        return true;  // a regular file, a directory, a FIFO, a socket
    // A character device carries a line only if it is a terminal. Asked only after the open
    // failed, so a working port is never opened twice.
    const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;  // cannot tell
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return !terminal;
#endif
}

}  // namespace velorin
