#include "SimServices.h"

namespace velorin::test {

namespace {

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

}  // namespace

std::unique_ptr<SerialPort> SimPortProvider::createPort(TimedWait& wait) {
    auto port = std::make_unique<RoutedSimPort>(m_lines, m_refusals, wait, m_opens);
    m_lastCreated = port.get();
    return port;
}

QString SimPortProvider::deviceOf(int comNumber) const {
    return m_lines.count(comNumber) || m_refusals.count(comNumber)
               ? QStringLiteral("SIM%1").arg(comNumber)
               : QString();
}

std::vector<ListedPort> SimPortProvider::listPorts() {
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

SimServices::SimServices() {
    ports.attach(1, line);
    services.dialogs = &dialogs;
    services.folders = &folders;
    services.ports = &ports;
    services.wait = &clock;
    services.quit = [this] { quitCalled = true; };
}

}  // namespace velorin::test
