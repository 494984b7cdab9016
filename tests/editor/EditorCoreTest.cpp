// The editor's core against the simulated drive on the virtual clock: what a page read puts on
// the line, what every field of every page shows for the values read, and what happens when the
// drive stops answering.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

// ---- Every display rule over all 30 pages ----

// Parameters whose range reaches below zero: P04.00-P04.03, P04.09, P04.10, P04.28, P12.13,
// P12.17-P12.20, P12.23, P13.18, P13.20. Choice fields are signed too (-1: nothing selected).
bool signedByRange(int reg) {
    for (int r : {115, 116, 117, 118, 124, 125, 143, 413, 417, 418, 419, 420, 423, 454, 456})
        if (r == reg)
            return true;
    return false;
}

std::string fixed(std::int32_t v, int decimals) {
    if (decimals == 0)
        return std::to_string(v);
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v / std::pow(10.0, decimals));
    return text;
}

struct Expectation {
    std::int32_t rampUnit, stepUnit, pidDecimals;
};

// What the rule of the table shows for drive value v.
std::string expected(const std::string& rule, int reg, std::int32_t v, const Expectation& e) {
    const auto options = static_cast<std::int32_t>(Catalogue::instance().options(reg).size());
    if (rule == "position")
        return v == -1 || (v >= 0 && v < options) ? "#" + std::to_string(v) : "unchanged";
    if (rule == "integer")
        return fixed(v, 0);
    if (rule == "ramp unit")
        return fixed(v, e.rampUnit == 0 ? 2 : 1);
    if (rule == "step unit")
        return fixed(v, e.stepUnit == 0 ? 1 : 0);
    if (rule == "pid decimals")
        return e.pidDecimals >= 0 && e.pidDecimals <= 4 ? fixed(v, e.pidDecimals) : "unchanged";
    if (rule == "rate map") {
        const int codes[] = {48, 96, 192, 384, 1152};
        for (int i = 0; i < 5; ++i)
            if (codes[i] == v)
                return "#" + std::to_string(i);
        return "unchanged";
    }
    const auto zeros = rule.find("\"0.");  // ÷N "0.00"
    if (zeros != std::string::npos)
        return fixed(v, static_cast<int>(rule.find('"', zeros + 1) - zeros - 3));
    ADD_FAILURE() << "unknown rule " << rule;
    return {};
}

// A second set of drive values: negatives for the number fields, every kind of position for
// the choice fields (none, first, last, one past the list), both unit switches at 1, P13.35 at 3.
std::uint16_t secondValue(int reg, const std::string& rule) {
    switch (reg) {
        case 96:
        case 229:
            return 1;
        case 97:
            return 1234;
        case 230:
            return 25;
        case 471:
            return 3;
        case 497:
            return 192;
        default:
            break;
    }
    if (rule == "position") {
        const int options = static_cast<int>(Catalogue::instance().options(reg).size());
        const int choices[] = {-1, 0, options - 1, options};
        return static_cast<std::uint16_t>(choices[reg % 4]);
    }
    return static_cast<std::uint16_t>((reg * 7919) % 4001 - 2000);
}

class DisplayAllPages : public CoreFixture,
                        public ::testing::WithParamInterface<std::tuple<Framing, bool>> {};

TEST_P(DisplayAllPages, EveryFieldShowsItsValueByItsPageRule) {
    const auto [framing, second] = GetParam();
    const auto table = ruleTable(std::string(VELORIN_EDITOR_TEST_DATA) + "/display_rules.tsv");
    ASSERT_EQ(table.size(), 30u);
    std::map<int, std::string> ruleOf;
    for (const auto& [page, entries] : table)
        for (const RuleEntry& e : entries)
            for (int reg : e.regs)
                if (Catalogue::instance().parameter(reg).shown)
                    ruleOf[reg] = e.rule;
    ASSERT_EQ(ruleOf.size(), 501u);
    connect(framing);
    if (second)
        for (const auto& [reg, rule] : ruleOf) drive.setReg(reg, secondValue(reg, rule));
    core.readOpeningCopies();
    auto value = [&](int reg) {
        const std::uint16_t word = drive.reg(reg);
        const bool isSigned = ruleOf[reg] == "position" || signedByRange(reg);
        return isSigned ? static_cast<std::int16_t>(word) : static_cast<std::int32_t>(word);
    };
    const Expectation e{value(96), value(229), value(471)};
    int checked = 0;
    for (int page = 0; page < kPageCount; ++page) {
        ASSERT_EQ(core.readPage(page).kind, PageReadOutcome::Kind::Read) << page;
        for (const FieldView& v : core.showPage(page)) {
            const std::string want = expected(ruleOf[v.reg], v.reg, value(v.reg), e);
            EXPECT_EQ(shown(v.display), want) << "register " << v.reg << " raw " << value(v.reg);
            EXPECT_EQ(v.unshowable, want == "unchanged") << v.reg;
            EXPECT_EQ(core.unshown(v.reg), want == "unchanged") << v.reg;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 501);
    if (second) {  // the examples the table's second set was built around
        EXPECT_EQ(shownOnPage(5, 97), "123.4");
        EXPECT_EQ(shownOnPage(11, 230), "25");
        EXPECT_EQ(shownOnPage(25, 497), "#2");
    }
}

INSTANTIATE_TEST_SUITE_P(BothFramingsBothValueSets, DisplayAllPages,
                         ::testing::Combine(::testing::Values(Framing::Ascii, Framing::Rtu),
                                            ::testing::Bool()));

// ---- Single values: the unit switches and the framing-independent sign ----

class CoreFraming : public CoreFixture, public ::testing::WithParamInterface<Framing> {};

TEST_P(CoreFraming, ValuesShowAlikeInBothFramings) {
    // clang-format off
    const struct { int page; std::vector<std::pair<int, int>> regs; int reg; const char* text; } cases[] = {
        {5, {{96, 0}, {97, 1234}}, 97, "12.34"},
        {5, {{96, 1}, {97, 1234}}, 97, "123.4"},
        {11, {{229, 0}, {230, 25}}, 230, "2.5"},
        {11, {{229, 1}, {230, 25}}, 230, "25"},
        {6, {{115, -1}}, 115, "-0.01"},       // P04.00 at -1.00: not 655.35
        {0, {{3, 60000}}, 3, "60000"},        // P00.03: not -5536
        {20, {{413, -30000}}, 413, "-30000"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        connect(GetParam());
        for (auto [reg, value] : c.regs) drive.setReg(reg, static_cast<std::uint16_t>(value));
        ASSERT_TRUE(core.readPage(c.page).ok());
        EXPECT_EQ(shownOnPage(c.page, c.reg), c.text);
    }
}

TEST_P(CoreFraming, OpeningCopiesAreSignedAndKeptWhenUnanswered) {
    drive.setReg(96, 1);
    drive.setReg(470, 40000);
    drive.setReg(471, 4);
    connect(GetParam());
    core.copies().ratedCurrent = 77;
    loseReplies(3, 1);  // P11.14
    core.readOpeningCopies();
    EXPECT_EQ(record.reads(), (std::vector<int>{96, 229, 382, 470, 471}));
    EXPECT_EQ(core.copies().rampUnit, 1);
    EXPECT_EQ(core.copies().ratedCurrent, 77);
    EXPECT_EQ(core.copies().pidFullScale, static_cast<std::int16_t>(40000));
    EXPECT_EQ(core.copies().pidDecimals, 4);
}

INSTANTIATE_TEST_SUITE_P(Framings, CoreFraming, ::testing::Values(Framing::Ascii, Framing::Rtu));

// ---- Page reads on the line ----

TEST_F(CoreFixture, EveryPageReadRefreshesTheLinkCopies) {
    connect(Framing::Ascii);
    // After page P15, any page read takes the link copies from the values read again.
    drive.setReg(497, 192);
    drive.setReg(546, 8);
    ASSERT_TRUE(core.readPage(25).ok() && core.readPage(28).ok());
    EXPECT_EQ(core.copies().rate, 192);
    EXPECT_EQ(core.copies().station, 1);
    core.copies().rate = 48;
    core.copies().lockReset = 5;
    ASSERT_TRUE(core.readPage(1).ok());
    EXPECT_EQ(core.copies().rate, 192);
    EXPECT_EQ(core.copies().lockReset, 8);
}

TEST_F(CoreFixture, LostRepliesAreAskedOnceMoreThenTheReadStops) {
    const struct {
        Framing framing;
        int lost;
        bool read;
    } cases[] = {{Framing::Ascii, 1, true},
                 {Framing::Rtu, 1, true},
                 {Framing::Ascii, 2, false},
                 {Framing::Rtu, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lost);
        drive.resetToFactory();
        drive.clearFaults();
        core = EditorCore{};
        connect(c.framing);
        record.clear();
        loseReplies(5, c.lost);  // the fifth register, P00.04
        const PageReadOutcome outcome = core.readPage(0);
        std::vector<int> expected = {0, 1, 2, 3, 4, 4};
        if (c.read) {
            expected = span(0, 22);
            expected.insert(expected.begin() + 4, 4);
        }
        EXPECT_EQ(record.reads(), expected);
        EXPECT_EQ(core.pagePresent(0), c.read);
        if (!c.read) {
            EXPECT_EQ(outcome.kind, PageReadOutcome::Kind::Failed);
            EXPECT_EQ(outcome.failedRegister, 4);
            EXPECT_EQ(outcome.message, "P00.04 參數讀取失敗，變頻機未回應。");
            // The next visit reads the page from its start.
            record.onReply = {};
            record.clear();
            EXPECT_EQ(core.readPage(0).kind, PageReadOutcome::Kind::Read);
            EXPECT_EQ(record.reads(), span(0, 22));
        }
    }
}

TEST_F(CoreFixture, AStoppedSessionEndsThePageReadAfterTheRegisterOnTheLine) {
    connect(Framing::Rtu);
    record.onReply = [this](int n) {
        if (n == 3)
            session->stop();
    };
    session->submit([this] { EXPECT_EQ(core.readPage(1).kind, PageReadOutcome::Kind::Stopped); });
    EXPECT_EQ(record.reads(), (std::vector<int>{25, 26, 27}));
    EXPECT_FALSE(core.pagePresent(1));
}

}  // namespace
