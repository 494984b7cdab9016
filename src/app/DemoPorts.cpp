#include "DemoPorts.h"

#include <algorithm>

#include "model/FaultRegisters.h"
#include "platform/QtSerialPort.h"

namespace velorin {

namespace {

// A window's port in the demo: its port number picks, at every open, either the simulated drive
// or a real device.
class RoutedPort : public SerialPort {
public:
    RoutedPort(TimedWait& wait, DemoPortProvider& provider, SimulatedLine& line)
        : SerialPort(wait), m_provider(provider), m_line(line) {
        m_settings = "9600,N,8,1";
    }
    ~RoutedPort() override { close(); }

    bool setSettings(std::string_view settings) override {
        if (!parseSettings(settings))
            return false;
        if (m_active && !m_active->setSettings(settings))
            return false;
        m_settings = settings;
        return true;
    }
    OpenResult open() override {
        if (isOpen())
            return OpenResult::Ok;
        std::unique_ptr<SerialPort> port;
        if (commPort() == m_provider.simulatedCom()) {
            port = std::make_unique<SimulatedPort>(m_line, timedWait(),
                                                   simulatedDeviceName().toStdString());
        } else {
            port = std::make_unique<QtSerialPort>(timedWait(),
                                                  [this](int n) { return m_provider.deviceOf(n); });
        }
        port->setCommPort(commPort());
        if (!port->setSettings(m_settings))
            return OpenResult::BadSettings;
        const OpenResult r = port->open();
        if (r == OpenResult::Ok)
            m_active = std::move(port);
        return r;
    }
    void close() override { m_active.reset(); }
    bool isOpen() const override { return m_active && m_active->isOpen(); }
    void discardInput() override {
        if (m_active)
            m_active->discardInput();
    }
    bool send(std::span<const std::uint8_t> bytes) override {
        return m_active && m_active->send(bytes);
    }
    std::vector<std::uint8_t> take() override {
        return m_active ? m_active->take() : std::vector<std::uint8_t>{};
    }
    bool carriesWireTime() const override { return m_active && m_active->carriesWireTime(); }
    std::string deviceName() const override {
        return m_active ? m_active->deviceName() : m_provider.deviceOf(commPort()).toStdString();
    }

private:
    DemoPortProvider& m_provider;
    SimulatedLine& m_line;
    std::unique_ptr<SerialPort> m_active;
};

}  // namespace

QString simulatedDeviceName() {
    return QStringLiteral("模擬變頻機");
}

DemoPortProvider::DemoPortProvider(QStringList extraDevices) : m_system(std::move(extraDevices)) {
    m_simCom = m_system.reserve(simulatedDeviceName());
    // The demo's drive answers as a real one on a USB adapter would, so the program shows its
    // real speed: wire time and a few milliseconds of spread.
    m_drive.setAnswerProfile(SimulatedDrive::realisticProfile(), 1);
    // A drive with a past, so the fault history has something to show: an overcurrent while
    // accelerating, an overload, and latest a V/F curve set wrongly; 1290.5 hours of running.
    const RecordedFault history[] = {{21, 1284}, {6, 1190}, {3, 1187}};
    m_drive.setFaultHistory(history);
    m_drive.setReg(faultregs::kRunHours, 1290);
    m_drive.setReg(faultregs::kRunSeconds, 1800);
    // Two more drives on the same pair of wires, as in a cabinet: younger, one without a fault.
    const RecordedFault secondHistory[] = {{6, 402}};
    int station = 2;
    for (SimulatedDrive* other : {&m_second, &m_third}) {
        other->setLink(static_cast<std::uint8_t>(station), m_drive.rateIndex(),
                       m_drive.formatIndex());
        other->setAnswerProfile(SimulatedDrive::realisticProfile(),
                                static_cast<std::uint32_t>(station));
        m_line.addDrive(*other);
        ++station;
    }
    m_second.setFaultHistory(secondHistory);
    m_second.setReg(faultregs::kRunHours, 455);
    m_third.setReg(faultregs::kRunHours, 12);
}

DemoPortProvider::~DemoPortProvider() = default;

std::unique_ptr<SerialPort> DemoPortProvider::createPort(TimedWait& wait) {
    return std::make_unique<RoutedPort>(wait, *this, m_line);
}

std::unique_ptr<SerialPort> DemoPortProvider::createGatewayPort(TimedWait& wait,
                                                                const NetworkAddress& address) {
    if (address.host == kDemoGateway)
        return std::make_unique<SimulatedGatewayPort>(m_gateway, wait, address.text());
    return m_system.createGatewayPort(wait, address);
}

QString DemoPortProvider::deviceOf(int comNumber) const {
    return m_system.deviceOf(comNumber);
}

std::vector<ListedPort> DemoPortProvider::listPorts() {
    std::vector<ListedPort> ports = m_system.listPorts();
    if (m_simCom != 0)
        ports.push_back({m_simCom, simulatedDeviceName(), PortState::Free});
    std::sort(ports.begin(), ports.end(),
              [](const ListedPort& a, const ListedPort& b) { return a.comNumber < b.comNumber; });
    return ports;
}

}  // namespace velorin
