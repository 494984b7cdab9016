#pragma once
// The serial port over Qt's QSerialPort. Received bytes are collected while the wait turns the
// event loop; take() hands them over.

#include <QSerialPort>
#include <functional>

#include "link/SerialPort.h"

namespace velorin {

class QtSerialPort : public SerialPort {
public:
    // `deviceOf` names the device behind a port number at open() (empty: no such port).
    QtSerialPort(TimedWait& wait, std::function<QString(int)> deviceOf);
    // A port on one fixed device, whatever its number.
    QtSerialPort(TimedWait& wait, const QString& device);
    ~QtSerialPort() override;

    bool setSettings(std::string_view settings) override;
    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    void discardInput() override;
    bool send(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> take() override;
    std::string deviceName() const override;

private:
    bool apply();

    QSerialPort m_port;
    std::function<QString(int)> m_deviceOf;
    QString m_device;  // the device of the last open
};

// What a failed open means to the user (in use, not found, no permission).
OpenResult classifyOpenError(QSerialPort::SerialPortError error, const QString& device);

}  // namespace velorin
