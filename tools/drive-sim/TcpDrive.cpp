#include "TcpDrive.h"

#include "StarterWatch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace velorin {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr int kStopCheckMs = 100;

Micros sinceStart(SteadyClock::time_point start) {
    return std::chrono::duration_cast<Micros>(SteadyClock::now() - start);
}

}  // namespace

TcpDrive::~TcpDrive() {
    dropClient();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool TcpDrive::listen(int port) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0)
        return false;
    const int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0)
        return false;
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    return true;
}

void TcpDrive::dropClient() {
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
}

void TcpDrive::serve(const std::atomic<bool>& stop, int stdinFd) {
    const auto start = SteadyClock::now();
    std::uint8_t buf[512];
    while (!stop) {
        pollfd fds[3] = {{m_listener, POLLIN, 0}, {stdinFd, POLLIN, 0}, {m_client, POLLIN, 0}};
        const int n = ::poll(fds, 3, kStopCheckMs);
        if (n <= 0)
            continue;
        if (starterGone(fds[1]))
            return;
        if (fds[0].revents & POLLIN) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client >= 0) {
                dropClient();
                m_client = client;
                const int yes = 1;
                ::setsockopt(m_client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
                m_link.connected();
            }
            continue;
        }
        if (m_client < 0 || !(fds[2].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t got = ::read(m_client, buf, sizeof buf);
        if (got <= 0) {
            dropClient();
            continue;
        }
        GatewayLink::Heard heard =
            m_link.hear(std::span(buf, static_cast<std::size_t>(got)), sinceStart(start));
        SimulatedDrive& drive = m_link.drive();
        if (m_onWrite)
            for (const WriteRecord& w : drive.writeLog()) m_onWrite(w);
        drive.clearWriteLog();  // served for hours: the log must not grow with every write
        if (heard.dropped) {
            dropClient();
            continue;
        }
        for (const ReplyChunk& segment : heard.segments) {
            while (!stop && sinceStart(start) < segment.at)
                std::this_thread::sleep_for(
                    std::min<Micros>(segment.at - sinceStart(start), Micros{kStopCheckMs * 1000}));
            if (m_client < 0 || stop)
                break;
            if (::send(m_client, segment.bytes.data(), segment.bytes.size(), MSG_NOSIGNAL) < 0)
                dropClient();
        }
    }
}

}  // namespace velorin
