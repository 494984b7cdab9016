// The link through the real serial port layer to velorin-drive-sim on a pseudo-terminal.

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "link/Transaction.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"
#include "support/DriveSimProcess.h"

using namespace velorin;
using velorin::test::DriveSimProcess;

// Virtual serial pairs are usually reached by a name that links to /dev/pts/N; a pseudo-terminal's
// fixed character format must not refuse 7-bit or parity settings.
TEST(LinkOverPty, OnlyTheDrivesSettingsAnswerThroughALinkedNameAndASecondOpenIsInUse) {
    const struct {
        const char* settings;
        Framing framing;
        const char* others[2];  // another rate; other stop bits
    } lines[] = {{"9600,N,7,2", Framing::Ascii, {"19200,N,7,2", "9600,E,7,1"}},
                 {"9600,E,8,1", Framing::Rtu, {"19200,E,8,1", "9600,E,8,2"}}};
    EventLoopWait wait;
    for (const auto& line : lines) {
        SCOPED_TRACE(line.settings);
        DriveSimProcess sim({"--settings", line.settings});
        ASSERT_TRUE(sim.started());
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyDrive"));
        ASSERT_TRUE(QFile::link(sim.devicePath(), link));
        QtSerialPort port(wait, link);
        const auto read496 = [&] {
            return transact(port, line.framing, 1, FunctionCode::ReadRegisters, 496, 1);
        };
        for (const char* other : line.others) {
            ASSERT_TRUE(port.setSettings(other));
            ASSERT_EQ(port.open(), OpenResult::Ok);
            const Micros t0 = wait.now();
            EXPECT_EQ(read496().outcome, LinkOutcome::NoReply) << other;
            EXPECT_GE(wait.now() - t0, Micros{100000});
            port.close();
        }
        ASSERT_TRUE(port.setSettings(line.settings));
        ASSERT_EQ(port.open(), OpenResult::Ok);
        const ReplyCheck r = read496();
        EXPECT_EQ(std::pair(r.outcome, r.value), std::pair(LinkOutcome::Ok, std::uint16_t{1}));
        QtSerialPort second(wait, link);
        EXPECT_EQ(second.open(), OpenResult::InUse);
        port.close();
        EXPECT_EQ(second.open(), OpenResult::Ok);
    }
    QtSerialPort missing(wait, QStringLiteral("/dev/velorin-no-such-port"));
    EXPECT_EQ(missing.open(), OpenResult::NotFound);
}

TEST(LinkOverPty, OtherEndClosedIsAPortErrorNotASilentDrive) {
    // The other end goes away as an unplugged adapter does.
    for (const bool duringRead : {true, false}) {
        const int other = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(other >= 0 && ::grantpt(other) == 0 && ::unlockpt(other) == 0);
        EventLoopWait wait;
        QtSerialPort port(wait, QString::fromLocal8Bit(::ptsname(other)));
        ASSERT_TRUE(port.setSettings("9600,N,8,1"));
        ASSERT_EQ(port.open(), OpenResult::Ok);
        if (duringRead)
            QTimer::singleShot(20, [other] { ::close(other); });
        else
            ::close(other);
        EXPECT_EQ(transact(port, Framing::Rtu, 1, FunctionCode::ReadRegisters, 0, 1).outcome,
                  LinkOutcome::PortError)
            << (duringRead ? "during a read" : "before a request");
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(transact(port, Framing::Rtu, 1, FunctionCode::ReadRegisters, 1, 1).outcome,
                  LinkOutcome::PortError);
    }
}
