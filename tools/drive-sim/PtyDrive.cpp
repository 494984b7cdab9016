#include "PtyDrive.h"

#include "StarterWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace velorin {

namespace {

int baudOf(speed_t s) {
    switch (s) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

}  // namespace

PtyDrive::PtyDrive(std::vector<SimulatedDrive*> drives) : m_drives(std::move(drives)) {}

PtyDrive::~PtyDrive() {
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyDrive::open() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    const char* name = ::ptsname(m_master);
    if (!name)
        return false;
    m_path = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return false;
    // Never block on our side of the terminal: a stop request must always be heard.
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
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
    if (::tcgetattr(m_slave, &t) != 0)
        return false;
    out.baud = baudOf(::cfgetospeed(&t));
    out.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    out.parity = 'N';
    out.dataBits = 8;
    return true;
}

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often a stop request is looked at, and how long a reply may wait for room.
constexpr std::chrono::milliseconds kStopCheck{100};
constexpr std::chrono::milliseconds kWriteBound{1000};

// Sleeps until `when` in short steps, so a stop request is heard within a tenth of a second.
bool sleepUntil(SteadyClock::time_point when, const std::atomic<bool>& stop) {
    while (!stop) {
        const auto now = SteadyClock::now();
        if (now >= when)
            return true;
        std::this_thread::sleep_for(std::min<SteadyClock::duration>(when - now, kStopCheck));
    }
    return false;
}

}  // namespace

bool PtyDrive::put(std::span<const std::uint8_t> bytes, const std::atomic<bool>& stop) {
    // A real line carries a reply whether anyone listens or not; here the terminal's buffers can
    // fill when the other end stops reading. Whatever does not get through in time is lost, as
    // it would be on the line.
    const auto giveUp = SteadyClock::now() + kWriteBound;
    while (!bytes.empty() && !stop) {
        const ssize_t w = ::write(m_master, bytes.data(), bytes.size());
        if (w > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(w));
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (SteadyClock::now() >= giveUp)
            return false;
        pollfd out{m_master, POLLOUT, 0};
        ::poll(&out, 1, static_cast<int>(kStopCheck.count()));
    }
    return bytes.empty();
}

void PtyDrive::serve(const std::atomic<bool>& stop, int stdinFd) {
    std::uint8_t buf[512];
    while (!stop) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {stdinFd, POLLIN, 0}};
        const int n = ::poll(fds, stdinFd >= 0 ? 2 : 1, static_cast<int>(kStopCheck.count()));
        if (n == 0)
            for (SimulatedDrive* d : m_drives) d->silence();  // a tenth of a second, no character
        if (n <= 0)
            continue;
        if (starterGone(fds[1]))
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        const auto heard = SteadyClock::now();
        const ssize_t got = ::read(m_master, buf, sizeof buf);
        if (got <= 0)
            continue;
        LineSettings line;
        if (!lineSettings(line))
            continue;
        auto chunks = hearOnBus(m_drives, std::span(buf, static_cast<std::size_t>(got)), line,
                                LineMatch::RateAndStopBits);
        for (SimulatedDrive* d : m_drives) {
            if (m_onWrite)
                for (const WriteRecord& w : d->writeLog()) m_onWrite(d->station(), w);
            d->clearWriteLog();  // served for hours: the log must not grow with every write
        }
        for (const auto& chunk : chunks) {
            if (!sleepUntil(heard + chunk.at, stop))
                return;
            put(chunk.bytes, stop);
        }
    }
}

}  // namespace velorin
