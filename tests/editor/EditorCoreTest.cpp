// The editor's core against the simulated drive on the virtual clock: what every field of every
// page shows for the values read, in both framings, and how page reads meet a silent drive.

#include <cmath>
#include <cstdio>
#include <map>

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

// Parameters whose range reaches below zero: P04.00-P04.03, P04.09, P04.10, P04.28, P12.13,
// P12.17-P12.20, P12.23, P13.18, P13.20. Choice fields are signed too (-1: nothing selected).
bool signedByRange(int reg) {
    static const std::vector<int> regs = {115, 116, 117, 118, 124, 125, 143, 413,
                                          417, 418, 419, 420, 423, 454, 456};
    return std::find(regs.begin(), regs.end(), reg) != regs.end();
}

std::string fixed(std::int32_t v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v / std::pow(10.0, decimals));
    return text;
}

// What a rule of the table shows for drive value v.
std::string expected(const std::string& rule, int reg, std::int32_t v, std::int32_t rampUnit,
                     std::int32_t stepUnit, std::int32_t pidDecimals) {
    const auto options = static_cast<std::int32_t>(Catalogue::instance().options(reg).size());
    const std::vector<int> rates = {48, 96, 192, 384, 1152};
    const auto rate = std::find(rates.begin(), rates.end(), v) - rates.begin();
    if (rule == "position")
        return v == -1 || (v >= 0 && v < options) ? "#" + std::to_string(v) : "unchanged";
    if (rule == "rate map")
        return rate < 5 ? "#" + std::to_string(rate) : "unchanged";
    if (rule == "pid decimals")
        return pidDecimals >= 0 && pidDecimals <= 4 ? fixed(v, pidDecimals) : "unchanged";
    if (rule == "ramp unit")
        return fixed(v, rampUnit == 0 ? 2 : 1);
    if (rule == "step unit")
        return fixed(v, stepUnit == 0 ? 1 : 0);
    if (rule == "integer")
        return fixed(v, 0);
    const auto pattern = rule.find("\"0.");  // ÷N "0.00": as many decimals as zeros
    EXPECT_NE(pattern, std::string::npos) << rule;
    return fixed(v, static_cast<int>(rule.size() - pattern - 4));
}

// A second set of drive values: negatives in number fields, every kind of position in choice
// fields (none, first, last, one past the list), both unit switches at 1, P13.35 at 3.
std::uint16_t secondValue(int reg, const std::string& rule) {
    const std::map<int, int> chosen = {{96, 1},   {229, 1}, {97, 1234},
                                       {230, 25}, {471, 3}, {497, 192}};
    if (chosen.count(reg))
        return static_cast<std::uint16_t>(chosen.at(reg));
    const int options = static_cast<int>(Catalogue::instance().options(reg).size());
    if (rule == "position")
        return static_cast<std::uint16_t>(std::vector<int>{-1, 0, options - 1, options}[reg % 4]);
    return static_cast<std::uint16_t>((reg * 7919) % 4001 - 2000);
}

class DisplayAllPages : public CoreFixture,
                        public ::testing::WithParamInterface<std::tuple<Framing, bool>> {};

TEST_P(DisplayAllPages, EveryFieldShowsItsValueByItsPageRule) {
    const auto [framing, second] = GetParam();
    std::map<int, std::string> ruleOf;
    for (const RuleEntry& e : ruleTable(VELORIN_EDITOR_TEST_DATA "/display_rules.tsv"))
        for (int reg : e.regs)
            if (Catalogue::instance().parameter(reg).shown)
                ruleOf[reg] = e.rule;
    ASSERT_EQ(ruleOf.size(), 501u);
    connect(framing);
    if (second)
        for (const auto& [reg, rule] : ruleOf) drive.setReg(reg, secondValue(reg, rule));
    core.readOpeningCopies();
    auto value = [&](int reg) -> std::int32_t {
        const std::uint16_t word = drive.reg(reg);
        return ruleOf[reg] == "position" || signedByRange(reg) ? std::int16_t(word) : word;
    };
    for (int page = 0; page < kPageCount; ++page) {
        ASSERT_EQ(core.readPage(page).kind, PageReadOutcome::Kind::Read) << page;
        for (const FieldView& v : core.showPage(page)) {
            const std::string want =
                expected(ruleOf[v.reg], v.reg, value(v.reg), value(96), value(229), value(471));
            EXPECT_EQ(shown(v.display), want) << "register " << v.reg << " raw " << value(v.reg);
            EXPECT_EQ(v.unshowable && core.unshown(v.reg), want == "unchanged") << v.reg;
        }
    }
    if (second) {  // the examples the second set was built around
        EXPECT_EQ(shownOnPage(5, 97), "123.4");
        EXPECT_EQ(shownOnPage(11, 230), "25");
        EXPECT_EQ(shownOnPage(25, 497), "#2");
    }
}

INSTANTIATE_TEST_SUITE_P(BothFramingsBothValueSets, DisplayAllPages,
                         ::testing::Combine(::testing::Values(Framing::Ascii, Framing::Rtu),
                                            ::testing::Bool()));

class CoreFraming : public CoreFixture, public ::testing::WithParamInterface<Framing> {};

TEST_P(CoreFraming, OpeningCopiesAreSignedAndAskedAgainWhenUnanswered) {
    connect(GetParam());
    drive.setReg(470, 40000);
    drive.setReg(471, 4);
    drive.setReg(382, 77);
    faultAfter(2, {DriveFault::Kind::NoReply});  // P11.14
    core.readOpeningCopies();
    // After the unanswered request every value counts once two reads agree: its reply may still
    // come and pass for another register's.
    EXPECT_EQ(record.reads(), (std::vector<int>{96, 229, 382, 382, 382, 470, 470, 471, 471}));
    EXPECT_EQ(core.copies().ratedCurrent, 77);
    EXPECT_EQ(core.copies().pidFullScale, -25536);
    EXPECT_EQ(core.copies().pidDecimals, 4);
}

TEST_P(CoreFraming, AnUnansweredRegisterIsAskedOnceMoreThenThePageReadStops) {
    for (int lost : {1, 2}) {
        connect(GetParam());
        record.clear();
        DriveFault silent{DriveFault::Kind::NoReply};
        silent.onlyRegister = 4;  // P00.04
        drive.injectFault(silent, lost);
        const PageReadOutcome outcome = core.readPage(0);
        // The registers read just before it are asked again until two reads agree (its reply may
        // still come and pass for theirs), then P00.04 once more on its own.
        std::vector<int> expected = {0, 1, 2, 3, 4, 0, 1, 2, 3, 0, 1, 2, 3, 4};
        std::vector<int> reads = record.reads();
        reads.resize(std::min(reads.size(), expected.size()));
        EXPECT_EQ(reads, expected);
        EXPECT_EQ(core.pagePresent(0), lost == 1);
        EXPECT_EQ(outcome.message, lost == 1 ? "" : "P00.04 參數讀取失敗，變頻機未回應。");
    }
}

TEST_P(CoreFraming, EveryPageReadRefreshesTheLinkAndLockCopies) {
    connect(GetParam());
    drive.setReg(497, 192);
    drive.setReg(546, 8);
    ASSERT_TRUE(core.readPage(25).ok() && core.readPage(28).ok());
    EXPECT_EQ(core.copies().rate, 192);
    core.copies().rate = 48;
    core.copies().lockReset = 5;
    ASSERT_TRUE(core.readPage(1).ok());
    EXPECT_EQ(core.copies().rate, 192);
    EXPECT_EQ(core.copies().lockReset, 8);
}

INSTANTIATE_TEST_SUITE_P(Framings, CoreFraming, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
