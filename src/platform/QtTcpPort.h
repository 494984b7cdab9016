#pragma once
// The connection to a network gateway over Qt's QTcpSocket, behind the same port interface as a
// serial adapter. Received bytes are collected while the wait turns the event loop, which is
// woken when they arrive; take() hands them over. A connection the gateway or the network drops
// closes the port, so the link sees a lost port, never a silent drive. Connecting is bounded in
// time (3 s unless set), so an address nobody answers at does not hold the technician up.

#include <QTcpSocket>
#include <chrono>

#include "link/NetworkAddress.h"
#include "link/SerialPort.h"

namespace velorin {

inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{3000};

class QtTcpPort : public SerialPort {
public:
    QtTcpPort(TimedWait& wait, QString host, int port,
              std::chrono::milliseconds connectTimeout = kDefaultConnectTimeout);
    ~QtTcpPort() override;

    // The gateway's serial side, as far as it is known: it times the wait for a reply. Any
    // settings string the link can read is taken; nothing is sent anywhere.
    bool setSettings(std::string_view settings) override;
    OpenResult open() override;
    void close() override;
    bool isOpen() const override;
    void discardInput() override;
    bool send(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> take() override;
    // "192.168.1.50:502"
    std::string deviceName() const override;
    bool isNetwork() const override { return true; }

private:
    QTcpSocket m_socket;
    QString m_host;
    int m_port;
    std::chrono::milliseconds m_connectTimeout;
    bool m_connecting = false;
};

// What a failed connection means to the user: no such host, nobody listening, no answer in time.
OpenResult classifyConnectError(QAbstractSocket::SocketError error);

}  // namespace velorin
