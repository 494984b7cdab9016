#pragma once
// The simulated drive behind a network gateway on a TCP port of this machine (loopback only):
// Modbus TCP, or RTU or ASCII frames passed through, with the network's faults. One connection
// at a time is served; a new one takes over from the old, as a gateway with one slot does.

#include <atomic>
#include <functional>
#include <string>

#include "sim/SimulatedGateway.h"

namespace velorin {

class TcpDrive {
public:
    explicit TcpDrive(GatewayLink& link) : m_link(link) {}
    ~TcpDrive();

    // Listens on 127.0.0.1:`port` (0: a free port the system picks); false (with errno) on
    // failure.
    bool listen(int port);
    // The port listened on.
    int port() const { return m_port; }

    // Serves until `stop` is set or `stdinFd` (if >= 0) reaches its end.
    void serve(const std::atomic<bool>& stop, int stdinFd);

    // Called for every write the drive carried out.
    void onWrite(std::function<void(const WriteRecord&)> f) { m_onWrite = std::move(f); }

private:
    void dropClient();

    GatewayLink& m_link;
    int m_listener = -1;
    int m_client = -1;
    int m_port = 0;
    std::function<void(const WriteRecord&)> m_onWrite;
};

}  // namespace velorin
