#include "QtTcpPort.h"

#include "link/LinkSettings.h"

namespace velorin {

QtTcpPort::QtTcpPort(TimedWait& wait, QString host, int port,
                     std::chrono::milliseconds connectTimeout)
    : SerialPort(wait), m_host(std::move(host)), m_port(port), m_connectTimeout(connectTimeout) {
    m_settings = "9600,N,8,1";
    QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { timedWait().wakeNow(); });
    QObject::connect(&m_socket, &QTcpSocket::connected, [this] { timedWait().wakeNow(); });
    // A dropped connection: the wait under way learns of it at once.
    QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] { timedWait().wakeNow(); });
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred,
                     [this](QAbstractSocket::SocketError) { timedWait().wakeNow(); });
}

QtTcpPort::~QtTcpPort() {
    close();
}

bool QtTcpPort::setSettings(std::string_view settings) {
    if (!parseSettings(settings))
        return false;
    m_settings = settings;
    return true;
}

OpenResult classifyConnectError(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::HostNotFoundError:
            return OpenResult::NotFound;
        case QAbstractSocket::SocketAccessError:
            return OpenResult::NoPermission;
        default:
            return OpenResult::Failed;  // refused, unreachable, no answer in time
    }
}

OpenResult QtTcpPort::open() {
    if (isOpen())
        return OpenResult::Ok;
    m_socket.abort();
    m_connecting = true;
    bool failed = false;
    const auto onError =
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred,
                         [&failed](QAbstractSocket::SocketError) { failed = true; });
    m_socket.connectToHost(m_host, static_cast<quint16>(m_port));
    const bool connected = timedWait().wait(
        std::chrono::duration_cast<Micros>(m_connectTimeout),
        [&] { return failed || m_socket.state() == QAbstractSocket::ConnectedState; });
    QObject::disconnect(onError);
    m_connecting = false;
    if (connected && !failed && m_socket.state() == QAbstractSocket::ConnectedState) {
        // Requests are small and must go out at once, not wait to be joined with the next.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        return OpenResult::Ok;
    }
    const OpenResult result = failed ? classifyConnectError(m_socket.error()) : OpenResult::Failed;
    m_socket.abort();
    return result;
}

void QtTcpPort::close() {
    m_socket.abort();
}

bool QtTcpPort::isOpen() const {
    return !m_connecting && m_socket.state() == QAbstractSocket::ConnectedState;
}

void QtTcpPort::discardInput() {
    if (isOpen())
        m_socket.readAll();
}

bool QtTcpPort::send(std::span<const std::uint8_t> bytes) {
    if (!isOpen())
        return false;
    const qint64 written = m_socket.write(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qint64>(bytes.size()));
    // Handed to the system now, not when the event loop next turns.
    m_socket.flush();
    return isOpen() && written == static_cast<qint64>(bytes.size());
}

std::vector<std::uint8_t> QtTcpPort::take() {
    // What came before the connection dropped is still there to read.
    const QByteArray data = m_socket.readAll();
    return {data.begin(), data.end()};
}

std::string QtTcpPort::deviceName() const {
    return NetworkAddress{m_host.toStdString(), m_port}.text();
}

}  // namespace velorin
