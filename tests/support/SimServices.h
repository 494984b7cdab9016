#pragma once
// Services for window tests: simulated drives on COM ports, scripted dialogs, the virtual clock.

#include <QTemporaryDir>
#include <map>
#include <memory>

#include "ScriptedDialogs.h"
#include "platform/Services.h"
#include "sim/SimulatedGateway.h"
#include "sim/SimulatedPort.h"

namespace velorin::test {

// COM numbers mapped to simulated lines; every other number is a port that does not exist.
class SimPortProvider : public PortProvider {
public:
    void attach(int comNumber, SimulatedLine& line) { m_lines[comNumber] = &line; }
    // A port whose every open fails with `result` (no permission, say).
    void refuse(int comNumber, OpenResult result) { m_refusals[comNumber] = result; }
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override;
    // A simulated gateway at `host` (any port); every other address refuses connections.
    void attachGateway(const std::string& host, GatewayLink& link) { m_gateways[host] = &link; }
    std::unique_ptr<SerialPort> createGatewayPort(TimedWait& wait,
                                                  const NetworkAddress& address) override {
        const auto it = m_gateways.find(address.host);
        auto port = std::make_unique<SimulatedGatewayPort>(
            it == m_gateways.end() ? m_nowhere : *it->second, wait, address.text());
        port->setReachable(it != m_gateways.end());
        m_lastCreated = port.get();
        return port;
    }
    QString deviceOf(int comNumber) const override;
    // The ports whose line is there, held by another program as the line says; opens nothing.
    std::vector<ListedPort> listPorts() override;
    // How many times a port of this provider was opened, by the windows or anyone.
    int opens() const { return m_opens; }
    // The port made last (the newest window's), while that window lives.
    const SerialPort* lastCreated() const { return m_lastCreated; }

private:
    const SerialPort* m_lastCreated = nullptr;
    std::map<int, SimulatedLine*> m_lines;
    std::map<int, OpenResult> m_refusals;
    std::map<std::string, GatewayLink*> m_gateways;
    SimulatedDrive m_nobody;
    GatewayLink m_nowhere{m_nobody, Framing::Mbap};
    int m_opens = 0;
};

class TempFolders : public Folders {
public:
    QString programFolder() const override { return m_program.path(); }
    QString desktopFolder() const override { return m_desktop.path(); }

private:
    QTemporaryDir m_program, m_desktop;
};

// Everything a window needs, with one simulated drive on COM1 at its factory settings.
struct SimServices {
    SimServices();
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    SimPortProvider ports;
    ScriptedDialogs dialogs;
    TempFolders folders;
    Services services;
    bool quitCalled = false;
};

}  // namespace velorin::test
