#include <gtest/gtest.h>

#include "link/MBus.h"

using namespace velorin;

TEST(D2Byte, SplitsTextIntoHighAndLowByte) {
    const struct {
        const char* text;
        int high, low;
    } cases[] = {
        {"32767", 0x7F, 0xFF},   {"32768", 0x80, 0x00}, {"-32768", 0x80, 0x00},
        {"-1", 0xFF, 0xFF},      {"-10", 0xFF, 0xF6},   {"1.5", 0x00, 0x02},
        {"2.5", 0x00, 0x02},     {" 562", 0x02, 0x32},  {"496", 0x01, 0xF0},
        {"abc", 0x00, 0x00},     {"", 0x00, 0x00},      {"40000", 0x9C, 0x40},
        {"65535", 0xFF, 0xFF},   {"70000", 0x11, 0x70}, {"05", 0x00, 0x05},
        {"32767.5", 0x80, 0x00},
    };
    for (const auto& c : cases) {
        std::uint8_t b[3] = {0xAA, 0xAA, 0xAA};
        ASSERT_TRUE(D2Byte(c.text, b)) << c.text;
        EXPECT_EQ(b[0], c.high) << c.text;
        EXPECT_EQ(b[1], c.low) << c.text;
        EXPECT_EQ(b[2], 0xAA) << "only two entries are written";
    }
}

TEST(D2Byte, OverflowLeavesTheBytesAlone) {
    for (const char* text : {"-40000", "-32768.6", "2147483647.5", "1E10", "1e400", "-1e400"}) {
        std::uint8_t b[2] = {1, 2};
        EXPECT_FALSE(D2Byte(text, b)) << text;
        EXPECT_EQ(b[0], 1);
        EXPECT_EQ(b[1], 2);
    }
}

TEST(D2H, AtLeastFourUpperCaseDigits) {
    EXPECT_EQ(D2H(240), "00F0");
    EXPECT_EQ(D2H(8192), "2000");
    EXPECT_EQ(D2H(0), "0000");
    EXPECT_EQ(D2H(-5), "0000");
    EXPECT_EQ(D2H(65536), "10000");
    EXPECT_EQ(D2H(65535), "FFFF");
    EXPECT_EQ(D2H(10), "000A");
}

TEST(H2D, EveryCharacterKeepsItsPlace) {
    EXPECT_EQ(H2D("0105"), 261);
    EXPECT_EQ(H2D("ff"), 255);
    EXPECT_EQ(H2D(""), 0);
    EXPECT_EQ(H2D("1G"), 16);
    EXPECT_EQ(H2D("7FFFFFFF"), 2147483647);
    EXPECT_EQ(H2D("0007FFFFFFF"), 2147483647);
    EXPECT_FALSE(H2D("80000000"));
    EXPECT_FALSE(H2D("100000000"));
}
