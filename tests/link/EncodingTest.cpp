#include <gtest/gtest.h>

#include "link/MBus.h"

using namespace velorin;

TEST(D2Byte, SplitsTextIntoHighAndLowByteAndLeavesThemAloneOnOverflow) {
    // clang-format off
    const struct { const char* text; int high, low; } cases[] = {
        {"32767", 0x7F, 0xFF}, {"32768", 0x80, 0x00}, {"-32768", 0x80, 0x00}, {"-1", 0xFF, 0xFF},
        {"-10", 0xFF, 0xF6},   {"1.5", 0x00, 0x02},   {"2.5", 0x00, 0x02},    {" 562", 0x02, 0x32},
        {"abc", 0x00, 0x00},   {"40000", 0x9C, 0x40}, {"65535", 0xFF, 0xFF},  {"70000", 0x11, 0x70},
        {"32767.5", 0x80, 0x00}};
    // clang-format on
    for (const auto& c : cases) {
        std::uint8_t b[3] = {0xAA, 0xAA, 0xAA};
        ASSERT_TRUE(D2Byte(c.text, b)) << c.text;
        EXPECT_EQ(std::tuple(b[0], b[1], b[2]), std::tuple(c.high, c.low, 0xAA)) << c.text;
    }
    for (const char* text : {"-40000", "-32768.6", "2147483647.5", "1E10", "1e400", "-1e400"}) {
        std::uint8_t b[2] = {1, 2};
        EXPECT_FALSE(D2Byte(text, b)) << text;
        EXPECT_EQ(std::tuple(b[0], b[1]), std::tuple(1, 2)) << text;
    }
}

TEST(HexText, FourUpperCaseDigitsOutAndEveryCharacterKeepsItsPlaceIn) {
    EXPECT_EQ(D2H(240), "00F0");
    EXPECT_EQ(D2H(-5), "0000");
    EXPECT_EQ(D2H(65536), "10000");
    EXPECT_EQ(D2H(65535), "FFFF");
    EXPECT_EQ(H2D("0105"), 261);
    EXPECT_EQ(H2D("ff"), 255);
    EXPECT_EQ(H2D(""), 0);
    EXPECT_EQ(H2D("1G"), 16);
    EXPECT_EQ(H2D("0007FFFFFFF"), 2147483647);
    EXPECT_FALSE(H2D("80000000"));
    EXPECT_FALSE(H2D("100000000"));
}
