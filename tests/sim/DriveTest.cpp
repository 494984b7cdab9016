// The simulated drive's own obligations: link parameters, reset, command and status registers.

#include <gtest/gtest.h>

#include "SimLine.h"

using namespace velorin;

TEST(SimulatedDrive, LinkParametersTakeEffectAfterTheReply) {
    Line b("9600,N,7,2");
    EXPECT_EQ(b.read(496), "1");
    ASSERT_TRUE(b.write(496, 7));  // station 7
    EXPECT_EQ(b.read(496), "");
    EXPECT_EQ(b.read(496, 7), "7");
    ASSERT_TRUE(b.write(498, 5, 7));  // format 5: E,8,1 RTU
    b.settings("9600,E,8,1");
    EXPECT_EQ(b.read(498, 7), "5");
    ASSERT_TRUE(b.write(497, 192, 7));  // 19200 baud
    EXPECT_EQ(b.read(497, 7), "");
    b.settings("19200,E,8,1");
    EXPECT_EQ(b.read(497, 7), "192");
    EXPECT_EQ(b.drive.settings(), "19200,E,8,1");
    EXPECT_FALSE(b.write(497, 100, 7)) << "no such rate";
    EXPECT_FALSE(b.write(498, 7, 7)) << "no such format";
}

TEST(SimulatedDrive, LockResetTwoToSevenRestoresFactorySettings) {
    for (int v : {2, 7}) {
        Line b("9600,N,7,2");
        b.drive.setLink(9, 4, 6);
        b.settings("115200,O,8,1");
        b.drive.setReg(100, 4321);
        ASSERT_TRUE(b.write(546, v, 9));
        EXPECT_EQ(std::tuple(b.drive.settings(), b.drive.station(), b.drive.reg(100)),
                  std::tuple("9600,N,7,2", 1, factoryRegisterValues()[100]));
        b.settings("9600,N,7,2");
        EXPECT_EQ(b.read(496), "1");
    }
    Line b("9600,N,7,2");
    ASSERT_TRUE(b.write(546, 8));  // clear the fault history
    EXPECT_EQ(std::tuple(b.drive.reg(546), b.drive.settings()), std::tuple(8, "9600,N,7,2"));
}

TEST(SimulatedDrive, CommandWordsSetAndClearTheRunningBit) {
    Line b("9600,N,7,2");
    const std::pair<int, const char*> steps[] = {
        // word, status after it
        {18, "1"}, {1, "0"}, {34, "1"}, {1, "0"}, {19, "1"}, {35, "1"}, {1, "0"}};
    for (const auto& [word, status] : steps) {
        ASSERT_TRUE(b.write(drive::kCommandRegister, word)) << word;
        EXPECT_EQ(b.read(drive::kStatusRegister), status) << "after " << word;
    }
    EXPECT_FALSE(b.write(drive::kStatusRegister, 1)) << "the status register is read-only";
    EXPECT_FALSE(b.write(drive::kCommandRegister, 99)) << "no such command word";
    ASSERT_EQ(b.drive.writeLog().size(), 7u);
    EXPECT_EQ(std::tuple(b.drive.writeLog().back().reg, b.drive.writeLog().back().value),
              std::tuple(drive::kCommandRegister, 1));
}
