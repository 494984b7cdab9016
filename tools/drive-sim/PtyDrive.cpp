#include "PtyDrive.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace velorin {

namespace {

int baudOf(speed_t s) {
    switch (s) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        default: return 0;
    }
}

}  // namespace

PtyDrive::PtyDrive(SimulatedDrive& drive) : m_drive(drive) {}

PtyDrive::~PtyDrive() {
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
}

bool PtyDrive::open() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return false;
    const char* name = ::ptsname(m_master);
    if (!name) return false;
    m_path = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0) return false;
    // Raw until the other side sets its own settings: no echo, no line editing.
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(m_slave, TCSANOW, &t);
    return true;
}

bool PtyDrive::lineSettings(LineSettings& out) const {
    termios t{};
    if (::tcgetattr(m_slave, &t) != 0) return false;
    out.baud = baudOf(::cfgetospeed(&t));
    out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    out.parity = 'N';
    out.dataBits = 8;
    return true;
}

void PtyDrive::serve(const std::atomic<bool>& stop, int stdinFd) {
    using Clock = std::chrono::steady_clock;
    std::uint8_t buf[512];
    while (!stop) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {stdinFd, POLLIN, 0}};
        const int n = ::poll(fds, stdinFd >= 0 ? 2 : 1, 100);
        if (n <= 0) continue;
        if (stdinFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            char c;
            if (::read(stdinFd, &c, 1) <= 0) return;  // the program that started us is gone
        }
        if (!(fds[0].revents & POLLIN)) continue;
        const auto heard = Clock::now();
        const ssize_t got = ::read(m_master, buf, sizeof buf);
        if (got <= 0) continue;
        LineSettings line;
        if (!lineSettings(line)) continue;
        const std::size_t logged = m_drive.writeLog().size();
        auto chunks = m_drive.hear(std::span(buf, static_cast<std::size_t>(got)), line,
                                   LineMatch::RateAndStopBits);
        if (m_onWrite)
            for (std::size_t i = logged; i < m_drive.writeLog().size(); ++i)
                m_onWrite(m_drive.writeLog()[i]);
        for (const auto& chunk : chunks) {
            std::this_thread::sleep_until(heard + chunk.at);
            std::size_t off = 0;
            while (off < chunk.bytes.size()) {
                const ssize_t w =
                    ::write(m_master, chunk.bytes.data() + off, chunk.bytes.size() - off);
                if (w <= 0) break;
                off += static_cast<std::size_t>(w);
            }
        }
    }
}

}  // namespace velorin
