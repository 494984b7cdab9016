// The link through the real serial port layer to velorin-drive-sim on a pseudo-terminal.

#include <gtest/gtest.h>

#include "link/MBus.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"
#include "support/DriveSimProcess.h"

using namespace velorin;
using velorin::test::DriveSimProcess;

TEST(LinkOverPty, ReadAndWriteInBothFramings) {
    for (const bool rtu : {false, true}) {
        const QString settings = rtu ? "19200,E,8,1" : "9600,N,7,2";
        DriveSimProcess sim({"--station", "3", "--settings", settings, "--set", "300=65526", "--log"});
        ASSERT_TRUE(sim.started()) << DriveSimProcess::program().toStdString();
        EventLoopWait wait;
        QtSerialPort port(wait, sim.devicePath());
        ASSERT_TRUE(port.setSettings(settings.toStdString()));
        ASSERT_EQ(port.open(), OpenResult::Ok);
        auto read = [&](std::uint8_t station, int reg) {
            return rtu ? ReadData(station, reg >> 8, reg & 0xFF, 0, 1, port)
                       : ReadDataASCII(station, reg >> 8, reg & 0xFF, 0, 1, port);
        };
        EXPECT_EQ(read(3, 496), "3");
        EXPECT_EQ(read(3, 300), rtu ? "65526" : "-10");
        EXPECT_TRUE(rtu ? WriteData(3, 1, 44, 0x04, 0xD2, port)
                        : WriteDataASCII("03", "01", "300", "1234", port));
        EXPECT_EQ(read(3, 300), "1234");
        EXPECT_EQ(read(2, 496), "") << "another station's request";
        port.close();
        EXPECT_EQ(sim.writes(), QStringList{QStringLiteral("300 1234")});
    }
}

TEST(LinkOverPty, MasterAtOtherLineSettingsGetsNoAnswer) {
    DriveSimProcess sim({"--settings", "9600,N,7,2"});
    ASSERT_TRUE(sim.started());
    EventLoopWait wait;
    QtSerialPort port(wait, sim.devicePath());
    for (const char* other : {"19200,N,7,2", "9600,E,7,1"}) {  // another rate; one stop bit
        ASSERT_TRUE(port.setSettings(other));
        ASSERT_EQ(port.open(), OpenResult::Ok);
        const Micros t0 = wait.now();
        EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, port), "") << other;
        EXPECT_GE(wait.now() - t0, Micros{100000});
        port.close();
    }
    ASSERT_TRUE(port.setSettings("9600,N,7,2"));
    ASSERT_EQ(port.open(), OpenResult::Ok);
    EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, port), "1");
}

TEST(LinkOverPty, SecondOpenOfTheSameDeviceIsInUse) {
    DriveSimProcess sim;
    ASSERT_TRUE(sim.started());
    EventLoopWait wait;
    QtSerialPort first(wait, sim.devicePath()), second(wait, sim.devicePath());
    ASSERT_EQ(first.open(), OpenResult::Ok);
    EXPECT_EQ(second.open(), OpenResult::InUse);
    first.close();
    EXPECT_EQ(second.open(), OpenResult::Ok);
    QtSerialPort missing(wait, QStringLiteral("/dev/velorin-no-such-port"));
    EXPECT_EQ(missing.open(), OpenResult::NotFound);
}
