#include <gtest/gtest.h>

#include "link/NumberText.h"

using namespace velorin;

TEST(LenientNumber, ReadsAsFarAsTheTextFormsANumber) {
    // clang-format off
    const struct { const char* text; double value; } cases[] = {
        {"496", 496}, {" 496", 496}, {"05", 5}, {"1 2", 12}, {"12abc", 12}, {"1\t2\n3", 123},
        {"", 0}, {"abc", 0}, {"-2.5", -2.5}, {"+5", 5}, {"1.2.3", 1.2}, {".5", 0.5},
        {"1.5E3", 1500}, {"1D2", 100}, {"2e", 2}, {"2e+", 2}, {"- 3", -3}, {"&HFFFF", -1},
        {"&H8000", -32768}, {"&H7FFF", 32767}, {"&H10000", 65536}, {"&hff", 255}, {"&H", 0},
        {"&O17", 15}, {"&O177777", -1}, {"&HFFFFFFFF", -1}, {"60.005", 60.005}, {"1,5", 1}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(lenientNumber(c.text).value_or(-999), c.value) << c.text;
}

TEST(LenientNumber, ANumberTooLargeToHoldIsAFailureNotZero) {
    const std::string hugeDigits(400, '9');
    for (const std::string text : {"1e400", "-1E400", "1D309", "&H123456789", hugeDigits.c_str()})
        EXPECT_FALSE(lenientNumber(text)) << text;
    // Tiny numbers are no overflow, and a failure stays one through the rounding.
    EXPECT_EQ(lenientNumber("1e-400"), 0.0);
    EXPECT_EQ(lenientNumber("1.7e308"), 1.7e308);
    EXPECT_FALSE(roundTo<std::int32_t>(lenientNumber("1e400")));
    EXPECT_EQ(roundTo<std::int32_t>(lenientNumber("12.5")), 12);
}

TEST(StrictNumber, TakesOnlyOneWholeNumberInTheGivenFormat) {
    for (auto [text, point, value] : {std::tuple{" 12.5 ", '.', 12.5}, {"12,5", ',', 12.5},
                                      {"-3", '.', -3.0}, {"&HFF", '.', 255.0}, {"1e3", '.', 1e3}})
        EXPECT_EQ(strictNumber(text, point), value) << text;
    for (const char* bad : {"", "  ", "12abc", "1 2", "1.2.3", "&HFG", "abc", "-"})
        EXPECT_FALSE(strictNumber(bad)) << bad;
    EXPECT_FALSE(strictNumber("12.5", ','));
}

TEST(Rounding, HalvesGoToTheEvenNeighbourAndOverflowIsAnError) {
    for (auto [value, rounded] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-32768.5, -32768}})
        EXPECT_EQ(roundTo<std::int16_t>(value), rounded) << value;
    EXPECT_FALSE(roundTo<std::int16_t>(32767.5) || roundTo<std::int16_t>(-32769));
    EXPECT_EQ(roundTo<std::int32_t>(2147483647.4), 2147483647);
    EXPECT_FALSE(roundTo<std::int32_t>(2147483647.5));
    EXPECT_EQ(roundDown<std::int32_t>(-1.5), -2);
    EXPECT_EQ(roundDown<std::int32_t>(1.99), 1);
}

TEST(NumberToText, PlainBlankAndPatternForms) {
    EXPECT_EQ((std::vector{plainText(-10), plainText(1234.5), plainText(6000.0000000000009),
                           plainText(1e16), blankText(496), blankText(0), blankText(-10)}),
              (std::vector<std::string>{"-10", "1234.5", "6000", "1E+16", " 496", " 0", "-10"}));
    // clang-format off
    const struct { double value; const char* pattern; const char* text; } cases[] = {
        {5, "00", "05"}, {496, "00", "496"}, {2.5, "0", "3"}, {400, "00.00", "400.00"},
        {0.01, "00.00", "00.01"}, {1.5, "000.00", "001.50"}, {10, "0.0", "10.0"},
        {0.125, "0.00", "0.13"}, {1.005, "0.00", "1.01"}, {-5, "00", "-05"},
        {-0.001, "0.00", "0.00"}, {0.5, "0.0000", "0.5000"}, {99.995, "0.00", "100.00"},
        {1.23456, "0.000", "1.235"}, {-12.5, "0.0", "-12.5"}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(formatNumber(c.value, c.pattern), c.text) << c.value << " " << c.pattern;
    EXPECT_EQ(formatNumber(12.5, "0.00", ','), "12,50");
}

TEST(RegisterBytes, SplitsTextIntoHighAndLowByteAndLeavesThemAloneOnOverflow) {
    // clang-format off
    const struct { const char* text; int high, low; } cases[] = {
        {"32767", 0x7F, 0xFF}, {"32768", 0x80, 0x00}, {"-32768", 0x80, 0x00}, {"-1", 0xFF, 0xFF},
        {"-10", 0xFF, 0xF6},   {"1.5", 0x00, 0x02},   {"2.5", 0x00, 0x02},    {" 562", 0x02, 0x32},
        {"abc", 0x00, 0x00},   {"40000", 0x9C, 0x40}, {"65535", 0xFF, 0xFF},  {"70000", 0x11, 0x70},
        {"32767.5", 0x80, 0x00}};
    // clang-format on
    for (const auto& c : cases) {
        std::uint8_t b[3] = {0xAA, 0xAA, 0xAA};
        ASSERT_TRUE(registerBytes(c.text, b)) << c.text;
        EXPECT_EQ(std::tuple(b[0], b[1], b[2]), std::tuple(c.high, c.low, 0xAA)) << c.text;
    }
    for (const char* text : {"-40000", "-32768.6", "2147483647.5", "1E10", "1e400", "-1e400"}) {
        std::uint8_t b[2] = {1, 2};
        EXPECT_FALSE(registerBytes(text, b)) << text;
        EXPECT_EQ(std::tuple(b[0], b[1]), std::tuple(1, 2)) << text;
    }
}
