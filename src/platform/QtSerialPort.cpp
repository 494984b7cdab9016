#include "QtSerialPort.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "PortNaming.h"
#include "link/LinkSettings.h"

namespace velorin {

QtSerialPort::QtSerialPort(TimedWait& wait, std::function<QString(int)> deviceOf)
    : SerialPort(wait), m_deviceOf(std::move(deviceOf)) {
    m_settings = "9600,N,8,1";
    QObject::connect(&m_port, &QSerialPort::readyRead, [this] { timedWait().wakeNow(); });
    QObject::connect(&m_port, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) { onError(e); });
}

QtSerialPort::QtSerialPort(TimedWait& wait, const QString& device)
    : QtSerialPort(wait, [device](int) { return device; }) {}

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::setSettings(std::string_view settings) {
    if (!parseSettings(settings))
        return false;
    const std::string old = m_settings;
    m_settings = settings;
    m_settingUp = true;
    bool ok = true;
    if (m_port.isOpen() && !apply()) {
        m_settings = old;
        apply();
        ok = false;
    }
    m_settingUp = false;
    return ok;
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    if (m_settingUp)
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError &&
        error != QSerialPort::ReadError)
        return;
    // The device is gone: EIO after an unplug or from a pseudo-terminal whose other side closed
    // (Qt reports it as a read, write or resource error). A closed port stops Qt retrying it
    // thousands of times a second, and the wait under way learns of it at once.
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
    timedWait().wakeNow();
}

bool QtSerialPort::apply() {
    const LineSettings s = *parseSettings(m_settings);
    const auto parity = s.parity == 'E'   ? QSerialPort::EvenParity
                        : s.parity == 'O' ? QSerialPort::OddParity
                                          : QSerialPort::NoParity;
    const bool rate =
        m_port.setBaudRate(s.baud) &&
        m_port.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    bool character = m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    character = m_port.setParity(parity) && character;
    // A pseudo-terminal (the simulated drive, a virtual serial pair) always carries 8 data bits
    // without parity and refuses other character formats; the rate and the stop bits still hold.
    const bool pseudoTerminal = !character && isPseudoTerminal(m_device);
    if (!character && pseudoTerminal)
        m_port.clearError();
    return rate && (character || pseudoTerminal);
}

OpenResult classifyOpenError(QSerialPort::SerialPortError error, const QString& device) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return OpenResult::NotFound;
        case QSerialPort::OpenError:
            return OpenResult::InUse;
        case QSerialPort::PermissionError: {
#ifdef Q_OS_WIN
            return OpenResult::InUse;  // Windows refuses a port another program holds
#else
            // A device we may read and write is refused because another program locked it.
            const QFileInfo fi(device);
            if (!fi.exists())
                return OpenResult::NotFound;
            // A regular file, a folder or a FIFO named as the port carries no line, whoever may
            // open it: no access right would help.
            struct stat info {};
            if (::stat(QFile::encodeName(device).constData(), &info) == 0 && !S_ISCHR(info.st_mode))
                return OpenResult::Failed;
            return fi.isReadable() && fi.isWritable() ? OpenResult::InUse
                                                      : OpenResult::NoPermission;
#endif
        }
        case QSerialPort::UnsupportedOperationError:
            return OpenResult::BadSettings;
        default:
            return OpenResult::Failed;
    }
}

OpenResult QtSerialPort::open() {
    if (m_port.isOpen())
        return OpenResult::Ok;
    const QString device = m_deviceOf(commPort());
    if (device.isEmpty())
        return OpenResult::NotFound;
    m_device = device;
    m_port.setPortName(resolvedDevice(device));
    m_settingUp = true;
    OpenResult result = OpenResult::Ok;
    if (!m_port.open(QIODevice::ReadWrite)) {
        result = classifyOpenError(m_port.error(), device);
    } else if (!apply()) {
        m_port.close();
        result = OpenResult::BadSettings;
    } else {
        // DTR high powers some adapters; RTS low leaves a 2-wire adapter that keys its
        // transmitter on RTS listening. A pseudo-terminal has neither line: its refusal is no
        // fault.
        m_port.setDataTerminalReady(true);
        m_port.setRequestToSend(false);
        m_port.clear(QSerialPort::AllDirections);
    }
    m_port.clearError();
    m_settingUp = false;
    return result;
}

void QtSerialPort::close() {
    if (m_port.isOpen())
        m_port.close();
}

void QtSerialPort::discardInput() {
    if (!m_port.isOpen())
        return;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
}

bool QtSerialPort::send(std::span<const std::uint8_t> bytes) {
    if (!m_port.isOpen())
        return false;
    const qint64 written = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<qint64>(bytes.size()));
    // Handed to the device now, not when the event loop next turns; a device that is gone
    // refuses it here (and onError closes the port).
    m_port.flush();
    return m_port.isOpen() && written == static_cast<qint64>(bytes.size());
}

std::vector<std::uint8_t> QtSerialPort::take() {
    if (!m_port.isOpen())
        return {};
    const QByteArray data = m_port.readAll();
    return {data.begin(), data.end()};
}

std::string QtSerialPort::deviceName() const {
    return (m_device.isEmpty() ? m_deviceOf(commPort()) : m_device).toStdString();
}

bool QtSerialPort::carriesWireTime() const {
    // A pseudo-terminal (velorin-drive-sim, a socat pair, a tap) passes bytes on at once,
    // whatever rate it is set to; a name that leads to one (a link socat made) is one too.
    const QString path = resolvedDevice(m_device);
    return !(path.startsWith(QLatin1String("/dev/pts/")) || path == QLatin1String("/dev/ptmx"));
}

}  // namespace velorin
