#pragma once
// The serial port over Qt's QSerialPort. Received bytes are collected while the wait turns the
// event loop, which is woken when they arrive; take() hands them over. A device that goes away
// (adapter unplugged: a resource or write error) closes the port, so the link sees a port error
// instead of a silent drive and nothing more is tried on it.

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
    bool carriesWireTime() const override;

private:
    bool apply();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    std::function<QString(int)> m_deviceOf;
    QString m_device;          // the device of the last open
    bool m_settingUp = false;  // open() and settings: refusals there are no lost device
};

// What a failed open means to the user (in use, not found, no permission).
OpenResult classifyOpenError(QSerialPort::SerialPortError error, const QString& device);

}  // namespace velorin
