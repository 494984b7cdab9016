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

// A port whose device is chosen by its port number at every open, as a window's port is.
class RoutedSimPort : public SerialPort {
public:
    RoutedSimPort(const std::map<int, SimulatedLine*>& lines,
                  const std::map<int, OpenResult>& refusals, TimedWait& wait, int& opens)
        : SerialPort(wait), m_lines(lines), m_refusals(refusals), m_opens(opens) {}
    bool setSettings(std::string_view s) override {
        if (!parseSettings(s)) return false;
        m_settings = s;
        if (m_port) m_port->setSettings(s);
        return true;
    }
    OpenResult open() override {
        if (isOpen()) return OpenResult::Ok;
        ++m_opens;
        if (auto r = m_refusals.find(commPort()); r != m_refusals.end()) return r->second;
        auto it = m_lines.find(commPort());
        if (it == m_lines.end()) return OpenResult::NotFound;
        m_port = std::make_unique<SimulatedPort>(*it->second, timedWait(),
                                                 "COM" + std::to_string(commPort()));
        m_port->setSettings(m_settings);
        OpenResult r = m_port->open();
        if (r != OpenResult::Ok) m_port.reset();
        return r;
    }
    void close() override { m_port.reset(); }
    bool isOpen() const override { return m_port && m_port->isOpen(); }
    void discardInput() override {
        if (m_port) m_port->discardInput();
    }
    bool send(std::span<const std::uint8_t> b) override { return m_port && m_port->send(b); }
    std::vector<std::uint8_t> take() override { return m_port ? m_port->take() : std::vector<std::uint8_t>{}; }
    std::string deviceName() const override { return "COM" + std::to_string(commPort()); }

private:
    const std::map<int, SimulatedLine*>& m_lines;
    const std::map<int, OpenResult>& m_refusals;
    int& m_opens;
    std::unique_ptr<SimulatedPort> m_port;
};

// COM numbers mapped to simulated lines; every other number is a port that does not exist.
class SimPortProvider : public PortProvider {
public:
    void attach(int comNumber, SimulatedLine& line) { m_lines[comNumber] = &line; }
    // A port whose every open fails with `result` (no permission, say).
    void refuse(int comNumber, OpenResult result) { m_refusals[comNumber] = result; }
    std::unique_ptr<SerialPort> createPort(TimedWait& wait) override {
        auto port = std::make_unique<RoutedSimPort>(m_lines, m_refusals, wait, m_opens);
        m_lastCreated = port.get();
        return port;
    }
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
    QString deviceOf(int comNumber) const override {
        return m_lines.count(comNumber) || m_refusals.count(comNumber)
                   ? QStringLiteral("SIM%1").arg(comNumber)
                   : QString();
    }
    // The ports whose line is there, held by another program as the line says; opens nothing.
    std::vector<ListedPort> listPorts() override {
        std::map<int, PortState> listed;
        for (const auto& [n, line] : m_lines)
            if (line->present())
                listed[n] = line->isHeld() ? PortState::InUse : PortState::Free;
        for (const auto& [n, refusal] : m_refusals)
            if (refusal == OpenResult::InUse || refusal == OpenResult::NoPermission)
                listed[n] = refusal == OpenResult::InUse ? PortState::InUse : PortState::NoPermission;
        std::vector<ListedPort> out;
        for (const auto& [n, state] : listed) out.push_back({n, deviceOf(n), state});
        return out;
    }
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
    SimServices() {
        ports.attach(1, line);
        services.dialogs = &dialogs;
        services.folders = &folders;
        services.ports = &ports;
        services.wait = &clock;
        services.quit = [this] { quitCalled = true; };
    }
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
