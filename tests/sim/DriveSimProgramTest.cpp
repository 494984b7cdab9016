// The built velorin-drive-sim as a program: its exit status on unusable options, and that it
// ends on SIGTERM even while the other end of its terminal has stopped reading.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>

#include "link/Transaction.h"
#include "support/DriveSimProcess.h"

using velorin::test::DriveSimProcess;

// Each option's checks are in SimOptionsTest; here only that the program stops on a refused one.
TEST(DriveSimProgram, UnusableOptionsExitWithStatusTwo) {
    QProcess p;
    p.start(DriveSimProcess::program(), {"--station", "abc"});
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("--station: \"abc\" is not a station 0..254"));
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << "no device path: it did not start";
}

// A master that sends and never reads fills the terminal's buffers; the simulator must still
// hear SIGTERM instead of hanging in a write for ever.
TEST(DriveSimProgram, EndsOnSigtermWhileTheOtherEndStopsReading) {
    DriveSimProcess sim({"--response-delay-ms", "0", "--no-stdin"});
    ASSERT_TRUE(sim.started());
    const QByteArray path = QFile::encodeName(sim.devicePath());
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    t.c_cflag |= CSTOPB;  // the drive's 9600,N,7,2
    ::tcsetattr(fd, TCSANOW, &t);

    const std::string request = velorin::asciiRequest("010300640001");
    std::size_t sent = 0;
    // Requests until the simulator no longer takes them (its replies pile up unread), at most
    // 4 MB of them.
    while (sent < (4u << 20)) {
        const ssize_t w = ::write(fd, request.data(), request.size());
        if (w > 0) {
            sent += static_cast<std::size_t>(w);
            continue;
        }
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, 300) == 0)
            break;
    }
    const bool ended = sim.stop();
    ::close(fd);
    EXPECT_TRUE(ended) << "still running 3 s after SIGTERM, " << sent << " bytes sent";
}
