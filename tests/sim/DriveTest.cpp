// The simulated drive's own obligations: link parameters, reset, command and status registers.

#include <gtest/gtest.h>

#include "SimLine.h"

using namespace velorin;

TEST(SimulatedDrive, LinkParametersTakeEffectAfterTheReply) {
    Line b("9600,N,7,2");
    EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, b.port), "1");
    ASSERT_TRUE(WriteDataASCII("01", "01", "496", "7", b.port));  // station 7
    EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, b.port), "");
    EXPECT_EQ(ReadDataASCII(7, 1, 240, 0, 1, b.port), "7");
    ASSERT_TRUE(WriteDataASCII("07", "01", "498", "5", b.port));  // format 5: E,8,1 RTU
    b.settings("9600,E,8,1");
    EXPECT_EQ(ReadData(7, 1, 242, 0, 1, b.port), "5");
    ASSERT_TRUE(WriteData(7, 1, 241, 0, 192, b.port));  // 19200 baud
    EXPECT_EQ(ReadData(7, 1, 241, 0, 1, b.port), "");
    b.settings("19200,E,8,1");
    EXPECT_EQ(ReadData(7, 1, 241, 0, 1, b.port), "192");
    EXPECT_EQ(b.drive.settings(), "19200,E,8,1");
    EXPECT_FALSE(WriteData(7, 1, 241, 0, 100, b.port)) << "no such rate";
    EXPECT_FALSE(WriteData(7, 1, 242, 0, 7, b.port)) << "no such format";
}

TEST(SimulatedDrive, LockResetTwoToSevenRestoresFactorySettings) {
    for (int v : {2, 7}) {
        Line b("9600,N,7,2");
        b.drive.setLink(9, 4, 6);
        b.settings("115200,O,8,1");
        b.drive.setReg(100, 4321);
        std::uint8_t bytes[2];
        ASSERT_TRUE(D2Byte(std::to_string(v), bytes));
        ASSERT_TRUE(WriteData(9, 2, 0x22, bytes[0], bytes[1], b.port));
        EXPECT_EQ(b.drive.settings(), "9600,N,7,2");
        EXPECT_EQ(b.drive.station(), 1);
        EXPECT_EQ(b.drive.reg(100), factoryRegisterValues()[100]);
        b.settings("9600,N,7,2");
        EXPECT_EQ(ReadDataASCII(1, 1, 240, 0, 1, b.port), "1");
    }
    Line b("9600,N,7,2");
    ASSERT_TRUE(WriteDataASCII("01", "02", "546", "8", b.port));  // clear the fault history
    EXPECT_EQ(b.drive.reg(546), 8);
    EXPECT_EQ(b.drive.settings(), "9600,N,7,2");
}

TEST(SimulatedDrive, CommandWordsSetAndClearTheRunningBit) {
    Line b("9600,N,7,2");
    const std::pair<const char*, const char*> steps[] = {
        // word, status after it
        {"18", "1"}, {"1", "0"}, {"34", "1"}, {"1", "0"}, {"19", "1"}, {"35", "1"}, {"1", "0"}};
    for (const auto& [word, status] : steps) {
        ASSERT_TRUE(WriteDataASCII("01", "32", "00", word, b.port)) << word;
        EXPECT_EQ(ReadDataASCII(1, 0x21, 0x01, 0, 1, b.port), status) << "after " << word;
    }
    EXPECT_FALSE(WriteDataASCII("01", "33", "1", "1", b.port))
        << "the status register is read-only";
    EXPECT_FALSE(WriteDataASCII("01", "32", "00", "99", b.port)) << "no such command word";
    ASSERT_EQ(b.drive.writeLog().size(), 7u);
    EXPECT_EQ(std::tuple(b.drive.writeLog().back().reg, b.drive.writeLog().back().value),
              std::tuple(drive::kCommandRegister, 1));
}
