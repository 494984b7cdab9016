// The link through the real serial port layer to velorin-drive-sim on a pseudo-terminal.

#include <gtest/gtest.h>

#include "link/MBus.h"
#include "platform/EventLoopWait.h"
#include "platform/QtSerialPort.h"
#include "support/DriveSimProcess.h"

using namespace velorin;
using velorin::test::DriveSimProcess;

TEST(LinkOverPty, AsciiReadAndWrite) {
    DriveSimProcess sim({"--station", "1", "--settings", "9600,N,7,2", "--set", "300=65526", "--log"});
    ASSERT_TRUE(sim.started()) << DriveSimProcess::program().toStdString();
    EventLoopWait wait;
    QtSerialPort port(wait, sim.devicePath());
    ASSERT_TRUE(port.setSettings("9600,N,7,2"));
    ASSERT_EQ(port.open(), OpenResult::Ok);
    EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, port), "1");
    EXPECT_EQ(ReadDataASCII(1, 1, 44, 0, 1, port), "-10");
    EXPECT_TRUE(WriteDataASCII("01", "01", "300", "1234", port));
    EXPECT_EQ(ReadDataASCII(1, 1, 44, 0, 1, port), "1234");
    EXPECT_EQ(ReadDataASCII(2, 1, 240, 0, 1, port), "") << "another station's request";
    port.close();
    EXPECT_EQ(sim.writes(), QStringList{QStringLiteral("300 1234")});
}

TEST(LinkOverPty, RtuReadAndWrite) {
    DriveSimProcess sim({"--station", "3", "--settings", "19200,E,8,1", "--set", "300=65526"});
    ASSERT_TRUE(sim.started());
    EventLoopWait wait;
    QtSerialPort port(wait, sim.devicePath());
    ASSERT_TRUE(port.setSettings("19200,E,8,1"));
    ASSERT_EQ(port.open(), OpenResult::Ok);
    EXPECT_EQ(ReadData(3, 1, 240, 0, 1, port), "3");
    EXPECT_EQ(ReadData(3, 1, 44, 0, 1, port), "65526");
    EXPECT_TRUE(WriteData(3, 1, 44, 0x04, 0xD2, port));
    EXPECT_EQ(ReadData(3, 1, 44, 0, 1, port), "1234");
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
