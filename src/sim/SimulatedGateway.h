#pragma once
// The simulated drive behind a network gateway: Modbus TCP translated for the drive, or RTU and
// ASCII frames passed through to it unchanged, with what a network does to the bytes on the way
// (segments split anywhere, latency, a segment sent twice, a connection dropped). One
// GatewayLink serves the in-process port (tests, demo) and velorin-drive-sim --tcp.

#include <deque>
#include <random>
#include <string>

#include "link/SerialPort.h"
#include "sim/SimulatedDrive.h"

namespace velorin {

// What the network does between the technician's computer and the gateway.
struct NetworkFaults {
    bool splitEveryByte = false;  // every byte of a reply in a segment of its own
    Micros latencyMost{0};        // each reply held up by a time drawn in [0, this]
    int duplicatePercent = 0;     // this share of the replies comes twice (a whole frame again:
                                  // TCP itself never repeats a byte)
    int dropPercent = 0;          // this share of the requests ends the connection: the request
                                  // is carried out, its reply never comes
    long dropAt = 0;              // the connection ends at this request (counted from 1 over the
                                  // link's life; 0: never), carried out and unanswered
    std::uint32_t seed = 1;
    bool operator==(const NetworkFaults&) const = default;
};

class GatewayLink {
public:
    // `framing`: Mbap for a translating gateway; Rtu or Ascii for a pass-through one, whose
    // serial side runs at the drive's own line settings.
    GatewayLink(SimulatedDrive& drive, Framing framing, NetworkFaults faults = {});

    SimulatedDrive& drive() { return m_drive; }
    Framing framing() const { return m_framing; }
    void setFaults(const NetworkFaults& faults);
    // A new connection: nothing half-heard carries over.
    void connected();

    struct Heard {
        std::vector<ReplyChunk> segments;  // `at`: arrival, on the clock `now` was read from
        bool dropped = false;              // the connection ends now
    };
    // Bytes the master sent at `now`.
    Heard hear(std::span<const std::uint8_t> bytes, Micros now);
    // Requests the gateway took so far.
    long requests() const { return m_requests; }

private:
    bool drawn(int percent);

    SimulatedDrive& m_drive;
    Framing m_framing;
    NetworkFaults m_faults;
    std::mt19937 m_draw;
    Micros m_lastAt{0};  // segments keep their order on a connection
    long m_requests = 0;
};

// The in-process connection to a simulated gateway, through the ordinary port interface.
class SimulatedGatewayPort : public SerialPort {
public:
    SimulatedGatewayPort(GatewayLink& link, TimedWait& wait,
                         std::string address = "192.168.1.50:502");
    // Whether the gateway accepts connections (else an open fails as not found).
    void setReachable(bool reachable) { m_reachable = reachable; }
    long connects() const { return m_connects; }

    bool setSettings(std::string_view settings) override;
    OpenResult open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void discardInput() override;
    bool send(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> take() override;
    std::string deviceName() const override { return m_address; }
    bool isNetwork() const override { return true; }

private:
    GatewayLink& m_link;
    std::string m_address;
    bool m_open = false;
    bool m_reachable = true;
    long m_connects = 0;
    std::deque<ReplyChunk> m_incoming;  // `at` on the wait's clock
};

}  // namespace velorin
