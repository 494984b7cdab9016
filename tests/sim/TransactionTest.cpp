// The link's transactions against the simulated drive, in both framings, on the virtual clock.

#include <gtest/gtest.h>

#include "SimLine.h"

using namespace velorin;

TEST(Transaction, AnythingButACheckedReplyReadsAsNoValue) {
    using K = DriveFault::Kind;
    for (const char* settings : {"9600,N,7,2", "19200,E,8,1"}) {
        Line l(settings);
        l.drive.setReg(200, 1234);
        EXPECT_EQ(l.read(600), "") << "a register the drive does not have";
        for (K k : {K::NoReply, K::CorruptChecksum, K::Truncated, K::Exception, K::OtherStation,
                    K::Noise, K::Slow}) {
            l.drive.injectFault({k, ExceptionCode::DriveFailure, Micros{200000}});
            EXPECT_EQ(l.read(200), "") << settings << " fault " << static_cast<int>(k);
            // The next transaction discards whatever came late and gets its own reply.
            EXPECT_EQ(l.read(200), "1234") << settings << " after fault " << static_cast<int>(k);
        }
        l.drive.injectFault({K::Split, ExceptionCode::DriveFailure, Micros{30000}});
        EXPECT_EQ(l.read(200), "1234") << "a reply in two parts is put together";
    }
}

// A read carries the whole word in both framings (the ASCII reading shows it signed); a write
// reports whether the drive confirmed it.
TEST(Transaction, AReadCarriesTheWholeWordAndAWriteWhetherTheDriveConfirmedIt) {
    Line rtu("9600,N,8,2"), l("9600,N,7,2");
    rtu.drive.setReg(100, 0x8001);
    l.drive.setReg(100, 0xFFF6);
    EXPECT_EQ(rtu.read(100) + " " + l.read(100), "32769 -10");
    EXPECT_TRUE(rtu.write(300, 1234));
    EXPECT_EQ(rtu.drive.reg(300), 1234);
    EXPECT_TRUE(l.write(32, 0xFFF6));
    l.drive.injectFault({DriveFault::Kind::Exception, ExceptionCode::DriveFailure});
    EXPECT_FALSE(l.write(32, 5));
    EXPECT_EQ(l.drive.reg(32), 0xFFF6) << "a refused write changes nothing";
    l.drive.injectFault({DriveFault::Kind::CorruptChecksum});
    EXPECT_FALSE(l.write(32, 7));
    EXPECT_TRUE(l.write(496, 5));
}

TEST(Transaction, WrongLineSettingsOrClosedPortGetNothing) {
    Line l("9600,N,7,2");
    for (const auto& [settings, read] :
         {std::pair{"9600,E,7,1", ""}, {"19200,N,7,2", ""}, {"9600,N,7,2", "1"}}) {
        l.port.setSettings(settings);
        EXPECT_EQ(l.read(496), read) << settings;
    }
    l.port.close();
    const Micros t0 = l.clock.now();
    EXPECT_EQ(l.read(496), "");
    EXPECT_EQ(l.transactHere(FunctionCode::ReadRegisters, 496, 1).outcome, LinkOutcome::PortError);
    EXPECT_GE(l.clock.now() - t0, Micros{100000});
}
