#pragma once
// The demo mode's ports: the system's serial ports plus one more COM port with three simulated
// drives on its line, at the factory settings (9600,N,7,2, Modbus ASCII) and stations 1, 2 and 3.

#include <memory>

#include "platform/QtPortProvider.h"
#include "sim/SimulatedGateway.h"
#include "sim/SimulatedPort.h"

namespace velorin {

class DemoPortProvider : public PortProvider {
public:
    explicit DemoPortProvider(QStringList extraDevices = {});
    ~DemoPortProvider() override;

    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override;
    // kDemoGateway is a simulated Modbus TCP gateway in front of the demo's drive; any other
    // address a real one.
    std::unique_ptr<SerialPort> createGatewayPort(TimedWait& wait,
                                                  const NetworkAddress& address) override;
    QString deviceOf(int comNumber) const override;
    std::vector<ListedPort> listPorts() override;

    // The COM number of the simulated drive; 0 when all 16 are taken by the system's ports.
    int simulatedCom() const { return m_simCom; }
    // The drive at station 1.
    SimulatedDrive& drive() { return m_drive; }
    SimulatedLine& line() { return m_line; }

private:
    QtPortProvider m_system;
    SimulatedDrive m_drive;
    SimulatedDrive m_second, m_third;  // at stations 2 and 3 on the same line
    SimulatedLine m_line{m_drive};
    GatewayLink m_gateway{m_drive, Framing::Mbap};
    int m_simCom = 0;
};

// The address of the demo's simulated gateway, as typed into the connection screen.
inline constexpr const char* kDemoGateway = "demo-gateway";

// What the port list shows behind the simulated drive's COM number.
QString simulatedDeviceName();

}  // namespace velorin
