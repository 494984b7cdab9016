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

namespace {

// A register's value; "" without a usable reply.
std::string readText(SerialPort& port, Framing framing, std::uint8_t station, std::uint16_t reg) {
    const ReplyCheck r = transact(port, framing, station, FunctionCode::ReadRegisters, reg, 1);
    return r.outcome == LinkOutcome::Ok ? std::to_string(r.value) : std::string();
}

}  // namespace

TEST(LinkOverPty, MasterAtOtherLineSettingsGetsNoAnswerAndASecondOpenIsInUse) {
    DriveSimProcess sim({"--settings", "9600,N,7,2"});
    ASSERT_TRUE(sim.started());
    EventLoopWait wait;
    QtSerialPort port(wait, sim.devicePath());
    for (const char* other : {"19200,N,7,2", "9600,E,7,1"}) {  // another rate; one stop bit
        ASSERT_TRUE(port.setSettings(other));
        ASSERT_EQ(port.open(), OpenResult::Ok);
        const Micros t0 = wait.now();
        EXPECT_EQ(readText(port, Framing::Ascii, 1, 496), "") << other;
        EXPECT_GE(wait.now() - t0, Micros{100000});
        port.close();
    }
    ASSERT_TRUE(port.setSettings("9600,N,7,2"));
    ASSERT_EQ(port.open(), OpenResult::Ok);
    EXPECT_EQ(readText(port, Framing::Ascii, 1, 496), "1");
    // A second open of the same device finds it in use until the first is closed.
    QtSerialPort second(wait, sim.devicePath());
    EXPECT_EQ(second.open(), OpenResult::InUse);
    port.close();
    EXPECT_EQ(second.open(), OpenResult::Ok);
    QtSerialPort missing(wait, QStringLiteral("/dev/velorin-no-such-port"));
    EXPECT_EQ(missing.open(), OpenResult::NotFound);
}

TEST(LinkOverPty, SymlinkedPseudoTerminalTakesSevenBitAndParitySettings) {
    // Virtual serial pairs are usually reached by a name that links to /dev/pts/N.
    for (const char* settings : {"9600,N,7,2", "9600,E,8,1"}) {
        DriveSimProcess sim({"--settings", settings});
        ASSERT_TRUE(sim.started());
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyDrive"));
        ASSERT_TRUE(QFile::link(sim.devicePath(), link));
        EventLoopWait wait;
        QtSerialPort port(wait, link);
        ASSERT_TRUE(port.setSettings(settings));
        ASSERT_EQ(port.open(), OpenResult::Ok) << settings;
        const Framing framing =
            std::string_view(settings).ends_with("8,1") ? Framing::Rtu : Framing::Ascii;
        EXPECT_EQ(readText(port, framing, 1, 496), "1") << settings;
    }
}

TEST(LinkOverPty, OtherEndClosedIsAPortErrorNotASilentDrive) {
    // The other end of the pseudo-terminal goes away as an unplugged adapter does: during a read,
    // and before a request.
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
