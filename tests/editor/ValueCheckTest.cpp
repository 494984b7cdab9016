// Range checks: the check list against the catalogue, and the messages for given values.

#include <gtest/gtest.h>

#include <set>

#include "editor/Rules.h"
#include "editor/ValueCheck.h"

namespace velorin {
namespace {

using Values = std::array<std::int32_t, kRegisterCount>;
using Pages = std::array<std::int16_t, kPageCount + 1>;

const std::vector<RangeCheck>& checks() {
    return Catalogue::instance().checks();
}

Pages onlyPage(std::initializer_list<int> pages) {
    Pages flags{};
    for (int k : pages) flags[k] = 1;
    return flags;
}

// Working values that pass every check (with Flag382 = 100): each tested register at its lower
// bound where that is a number, the motor currents at the rated current.
Values passing() {
    Values v{};
    for (const auto& c : checks())
        if (c.lower.kind == CheckBound::Kind::Constant)
            v[c.reg] = std::max(v[c.reg], c.lower.value);
    v[261] = v[322] = 100;
    return v;
}

std::vector<std::string> messages(const Values& v, const Pages& pages, std::int16_t flag382 = 100,
                                  std::int16_t flag470 = 10000) {
    std::vector<std::string> texts;
    for (const auto& f : valueCheck(v, pages, flag382, flag470)) texts.push_back(f.message);
    return texts;
}

TEST(CheckList, EveryCheckTestsAFieldOfItsOwnPage) {
    int previousPage = 0;
    for (const auto& c : checks()) {
        const auto& p = Catalogue::instance().parameter(c.reg);
        EXPECT_TRUE(p.shown) << c.code;
        EXPECT_EQ(p.page, c.page) << c.code;
        EXPECT_EQ(Catalogue::codeOf(c.reg), c.code);
        EXPECT_NE(p.kind, FieldKind::Choice) << c.code;
        EXPECT_GE(c.page, previousPage) << c.code;  // page order is run order
        EXPECT_LT(c.page, 29);
        previousPage = c.page;
    }
}

// The bounds text shows the raw bounds in the field's display format on all but a few checks; a
// mistyped bound or text shows up here.
TEST(CheckList, BoundsTextsMatchTheBoundsExceptTheKnownOnes) {
    std::set<std::string> differing;
    for (const auto& c : checks()) {
        if (c.lower.kind != CheckBound::Kind::Constant ||
            c.upper.kind != CheckBound::Kind::Constant)
            continue;
        auto text = [&](std::int32_t raw) {
            return std::get<ShowText>(displayValue(c.reg, raw)).text;
        };
        if (text(c.lower.value) + "~" + text(c.upper.value) != c.boundsText)
            differing.insert(c.code + " " + c.boundsText);
    }
    const std::set<std::string> expected = {
        "P02.40 0.00~400", "P05.01 1~1023",     "P07.03 0~200.0",     "P07.05 0~820.0",
        "P07.06 0~200.0",  "P07.13 0.01~100.0", "P09.26 0~99.0",      "P09.28 0.000~0.100",
        "P13.05 0~60000",  "P13.06 0.00~1.00",  "P16.03 20.0~135.0%",
    };
    EXPECT_EQ(differing, expected);
}

TEST(CheckList, PageTwentyThreeTestsP1324AndP1327Twice) {
    std::vector<std::string> page23;
    for (const auto& c : checks())
        if (c.page == 23)
            page23.push_back(c.code + " " + c.boundsText);
    const std::vector<std::string> expected = {
        "P13.24 0.00~100.00", "P13.27 0.00~100.00", "P13.24 0.00~30.00",
        "P13.27 0.00~30.00",  "P13.30 0.00~30.00",  "P13.32 1~999",
        "P13.33 0~2",         "P13.34 1~60000",     "P13.35 0~4"};
    EXPECT_EQ(page23, expected);
}

TEST(ValueCheck, NothingIsTestedOnPagesNotHeld) {
    Values v{};
    v.fill(-99999);
    EXPECT_TRUE(messages(v, Pages{}).empty());
    EXPECT_TRUE(
        messages(passing(), onlyPage({0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                      15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28}))
            .empty());
    v = passing();
    v[2] = 14;  // P00.02, page 0
    EXPECT_TRUE(messages(v, onlyPage({1, 2, 29})).empty());
}

struct MessageCase {
    int page;
    int reg;
    std::int32_t value;
    std::vector<std::string> expected;
};

TEST(ValueCheck, SingleValuesOutOfRange) {
    const std::vector<MessageCase> cases = {
        {0, 2, 14, {"P00.02 範圍不在0~13。"}},
        {0, 2, 13, {}},
        {0, 4, 5, {"P00.04 範圍不在0~4。"}},
        {0, 3, 0, {"P00.03 範圍不在1~60000。"}},
        {0, 3, 60000, {}},
        {0, 3, 60001, {"P00.03 範圍不在1~60000。"}},
        {1, 31, 40001, {"P01.06 範圍不在0.00~400.00。"}},
        {3, 66, 60001, {"P02.11 範圍不在0~60000。"}},
        {12, 266, 499, {"P09.20 範圍不在500~60000。"}},
        {6, 115, -30001, {"P04.00 範圍不在-300.00~300.00。"}},
        {6, 115, -30000, {}},
        {6, 143, -6, {"P04.28 範圍不在-5~5。"}},
        {7, 147, 1024, {"P05.01 範圍不在1~1023。"}},
        {26, 508, 19, {"P16.03 範圍不在20.0~135.0%。"}},
        {23, 460, 3001, {"P13.24 範圍不在0.00~30.00。"}},
        {23, 460, 10001, {"P13.24 範圍不在0.00~100.00。", "P13.24 範圍不在0.00~30.00。"}},
        {23, 463, 10001, {"P13.27 範圍不在0.00~100.00。", "P13.27 範圍不在0.00~30.00。"}},
        {23, 462, 99999, {}},  // detection values are not tested
        {5, 106, 60001, {"P03.10 範圍不在0.00~600.00。"}},
        {21, 424, 65536, {"P12.24 範圍不在0~65535。"}},
    };
    for (const auto& c : cases) {
        Values v = passing();
        v[c.reg] = c.value;
        EXPECT_EQ(messages(v, onlyPage({c.page})), c.expected) << c.reg << " " << c.value;
    }
}

TEST(ValueCheck, UpperBoundFromP0237) {
    Values v = passing();
    v[92] = 500;
    v[91] = 500;
    EXPECT_TRUE(messages(v, onlyPage({4})).empty());
    v[91] = 501;
    EXPECT_EQ(messages(v, onlyPage({4})), std::vector<std::string>{"P02.36 範圍不在0.00~P02.37。"});
    v[91] = -1;
    EXPECT_EQ(messages(v, onlyPage({4})).size(), 1u);
}

TEST(ValueCheck, MotorCurrentsAgainstTheRatedCurrent) {
    struct Case {
        std::int16_t flag382;
        std::int32_t value;
        bool passes;
    };
    const std::vector<Case> cases = {
        {100, 20, true}, {100, 135, true}, {100, 19, false},  {100, 136, false},
        {0, 0, true},    {0, 1, false},    {101, 20, false},   // 20.2 is the lower bound
        {101, 21, true}, {101, 136, true}, {101, 137, false},  // 136.35 the upper
    };
    for (const auto& c : cases) {
        for (const auto& [page, reg, code] :
             {std::tuple{12, 261, "P09.15"}, std::tuple{15, 322, "P10.15"}}) {
            Values v = passing();
            v[reg] = c.value;
            const auto got = messages(v, onlyPage({page}), c.flag382);
            if (c.passes)
                EXPECT_TRUE(got.empty()) << code << " " << c.flag382 << " " << c.value;
            else
                EXPECT_EQ(got,
                          std::vector<std::string>{std::string(code) + " 範圍不在20.0~135.0%。"});
        }
    }
}

TEST(ValueCheck, PidSetpointAgainstFlag470) {
    Values v = passing();
    v[440] = 10000;
    EXPECT_TRUE(messages(v, onlyPage({22}), 100, 10000).empty());
    EXPECT_EQ(messages(v, onlyPage({22}), 100, 9999),
              std::vector<std::string>{"P13.04 範圍不在0~P13.34。"});
    v[440] = -1;
    EXPECT_EQ(messages(v, onlyPage({22}), 100, 10000).size(), 1u);
}

TEST(ValueCheck, RampAndStepTimeMessagesFollowTheirUnit) {
    Values v = passing();
    v[97] = 60001;
    v[96] = 0;
    EXPECT_EQ(messages(v, onlyPage({5})), std::vector<std::string>{"P03.01 範圍不在0.00~600.00。"});
    v[96] = 1;
    EXPECT_EQ(messages(v, onlyPage({5})), std::vector<std::string>{"P03.01 範圍不在0.0~6000.0。"});
    v[105] = 60001;
    EXPECT_EQ(
        messages(v, onlyPage({5})),
        (std::vector<std::string>{"P03.01 範圍不在0.0~6000.0。", "P03.09 範圍不在0.0~6000.0。"}));

    v = passing();
    v[245] = 60001;
    v[229] = 0;
    EXPECT_EQ(messages(v, onlyPage({11})), std::vector<std::string>{"P08.19 範圍不在0.0~6000.0。"});
    v[229] = 1;
    EXPECT_EQ(messages(v, onlyPage({11})), std::vector<std::string>{"P08.19 範圍不在0.0~60000。"});
}

TEST(ValueCheck, FailuresComeInPageThenListOrder) {
    Values v = passing();
    v[4] = 5;     // P00.04, page 0
    v[2] = 14;    // P00.02, page 0, listed first
    v[400] = 11;  // P12.00, page 20
    const auto failures = valueCheck(v, onlyPage({20, 0}), 100, 10000);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0], (CheckFailure{2, "P00.02 範圍不在0~13。"}));
    EXPECT_EQ(failures[1], (CheckFailure{4, "P00.04 範圍不在0~4。"}));
    EXPECT_EQ(failures[2], (CheckFailure{400, "P12.00 範圍不在0~10。"}));
}

}  // namespace
}  // namespace velorin
