#include <gtest/gtest.h>

#include "link/LinkSettings.h"

using namespace velorin;

TEST(SettingsString, BuiltFromTheTablesAndEditedByItsLastSixCharacters) {
    EXPECT_EQ(settingsString(4, 0), "115200,N,7,2");
    EXPECT_EQ(replaceFormat("115200,N,7,2", 5), "115200,E,8,1");
    EXPECT_EQ(replaceRate("9600,O,8,1", 2), "19200,O,8,1");
    EXPECT_EQ(replaceRate(replaceFormat("4800,N,7,2", 3), 4), "115200,N,8,2");
    for (std::size_t f = 0; f < kFormats.size(); ++f) {
        EXPECT_EQ(kFormats[f].suffix.size(), 6u);
        EXPECT_EQ(kFormats[f].framing, framingOfFormat(static_cast<int>(f)));
        // The list text names the same data bits, parity and stop bits as the suffix.
        const auto s = kFormats[f].suffix, t = kFormats[f].listText;
        const std::string tail{s[3], ',', s[1], ',', s[5]};
        EXPECT_EQ(t.substr(t.size() - 5), tail);
    }
}

TEST(SettingsString, ParsedIntoLineSettings) {
    const auto ls = parseSettings("19200,E,8,1");
    ASSERT_TRUE(ls);
    EXPECT_EQ(std::tuple(ls->baud, ls->parity, ls->dataBits, ls->stopBits, ls->bitsPerCharacter()),
              std::tuple(19200, 'E', 8, 1, 11));
    EXPECT_EQ(parseSettings("9600,N,7,2")->bitsPerCharacter(), 10);
    for (const char* bad : {"", "9600", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "abc,N,8,1",
                            "9600,N,8,1,", "-9600,N,8,1"})
        EXPECT_FALSE(parseSettings(bad)) << bad;
    EXPECT_EQ(std::tuple(rateIndexOf("38400,O,7,1"), formatIndexOf("38400,O,7,1")),
              std::tuple(3, 2));
    EXPECT_FALSE(rateIndexOf("57600,N,8,1") || formatIndexOf("9600,N,7,1"));
}
