#pragma once
// The in-process line to a simulated drive, reached through the ordinary SerialPort interface,
// for tests and the demo mode.

#include <deque>
#include <vector>

#include "link/SerialPort.h"
#include "sim/SimulatedDrive.h"

namespace velorin {

class SimulatedPort;

// The one device with the drives on it, shared by the port objects of all windows: only one of
// them may hold it open at a time. An RS-485 line is a bus: every drive on it hears every request
// and answers those for its own station.
class SimulatedLine {
public:
    explicit SimulatedLine(SimulatedDrive& drive) : m_drives{&drive} {}
    // The first drive on the line.
    SimulatedDrive& drive() { return *m_drives.front(); }
    // Another drive on the same pair of wires.
    void addDrive(SimulatedDrive& drive) { m_drives.push_back(&drive); }
    const std::vector<SimulatedDrive*>& drives() const { return m_drives; }
    // The drive that answers to `station` now, if one does.
    SimulatedDrive* driveAt(std::uint8_t station) const;

    // Another program holds the device: every open fails as "in use".
    void setHeldElsewhere(bool held) { m_heldElsewhere = held; }
    // The adapter is unplugged: the port that held it is closed, opens fail as "not found".
    void setPresent(bool present) {
        m_present = present;
        if (!present) m_holder = nullptr;
    }
    bool present() const { return m_present; }
    // The adapter echoes everything we send before the drive's reply.
    void setLocalEcho(bool echo) { m_localEcho = echo; }
    bool localEcho() const { return m_localEcho; }

    // Successful opens so far (one per probe during a scan).
    long opens() const { return m_opens; }
    bool isHeld() const { return m_holder != nullptr || m_heldElsewhere; }

private:
    friend class SimulatedPort;
    std::vector<SimulatedDrive*> m_drives;
    SimulatedPort* m_holder = nullptr;
    bool m_heldElsewhere = false;
    bool m_present = true;
    bool m_localEcho = false;
    long m_opens = 0;
};

class SimulatedPort : public SerialPort {
public:
    SimulatedPort(SimulatedLine& line, TimedWait& wait, std::string name = "SIM");
    ~SimulatedPort() override;

    bool setSettings(std::string_view settings) override;
    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return m_line->m_holder == this; }
    void discardInput() override;
    bool send(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> take() override;
    std::string deviceName() const override { return m_name; }
    bool carriesWireTime() const override { return m_line->drive().wireTime(); }

private:
    SimulatedLine* m_line;
    std::string m_name;
    std::deque<ReplyChunk> m_incoming;  // `at` is absolute time on the wait's clock
};

}  // namespace velorin
