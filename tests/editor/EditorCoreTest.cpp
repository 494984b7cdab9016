// The editor's core in both framings: how values read are shown, and page reads of a silent drive.

#include <algorithm>

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using CoreFraming = FramedCore;

// A word is signed only where the range reaches below zero and for a choice, whatever the
// framing; times and the set point show at the unit and decimals read at the opening.
TEST_P(CoreFraming, ValuesReadShowSignedOnlyWhereTheRangeGoesBelowZeroAndInTheUnitsRead) {
    const std::tuple<int, std::uint16_t, std::string> cases[] = {
        {115, 0xFF9C, "-1.00"}, {456, 0xFFFF, "-0.01"}, {3, 60000, "60000"}, {10, 0xFFFF, "655.35"},
        {25, 0xFFFF, "#-1"},    {0, 99, "unchanged"},  {97, 1234, "123.4"}, {230, 25, "25"},
        {497, 192, "#2"},       {440, 1234, "1.234"}};
    for (const auto& [reg, word, text] : cases) drive.setReg(reg, word);
    for (auto [reg, word] : {std::pair{96, 1}, {229, 1}, {471, 3}}) drive.setReg(reg, word);
    core.readOpeningCopies();
    for (const auto& [reg, word, text] : cases) {
        const int page = Catalogue::instance().parameter(reg).page;
        if (!core.pagePresent(page))
            ASSERT_EQ(core.readPage(page).kind, PageReadOutcome::Kind::Read) << page;
        EXPECT_EQ(shownOnPage(page, reg), text) << reg;
        EXPECT_EQ(core.unshown(reg), text == "unchanged") << reg;
    }
}

TEST_P(CoreFraming, TheDrivesCopiesAreSignedAskedAgainAndRefreshedByEveryPageRead) {
    for (auto [reg, word] : {std::pair{470, 40000}, {471, 4}, {382, 77}, {497, 192}, {546, 8}})
        drive.setReg(reg, word);
    drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 382});  // P11.14
    core.readOpeningCopies();
    EXPECT_EQ(record.firstReads(), (std::vector<int>{96, 229, 382, 470, 471}));
    EXPECT_EQ(drive.faultsQueued(), 0u);
    const DriveCopies& c = core.copies();
    EXPECT_EQ(std::tuple(c.ratedCurrent, c.pidFullScale, c.pidDecimals), std::tuple(77, 40000, 4));
    ASSERT_TRUE(core.readPage(25).ok() && core.readPage(28).ok());
    EXPECT_EQ(c.rate, 192);
    core.copies().rate = 48;
    core.copies().lockReset = 5;
    ASSERT_TRUE(core.readPage(1).ok());
    EXPECT_EQ(std::tuple(c.rate, c.lockReset), std::tuple(192, 8));
}

TEST_P(CoreFraming, AnUnansweredRegisterIsAskedThreeTimesThenThePageReadStops) {
    for (int lost : {2, 3}) {
        connect(GetParam());
        record.clear();
        drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 4}, lost);  // P00.04
        const PageReadOutcome outcome = core.readPage(0);
        // P00.04 asked three times at most; those read before it asked again (a late reply
        // might pass for theirs).
        const std::vector<int> reads = record.reads();
        const auto asked = std::ranges::count(reads, 4);
        EXPECT_TRUE(lost == 3 ? asked == 3 && reads.back() == 4 : asked > lost) << asked;
        for (int reg : {0, 1, 2, 3}) EXPECT_GE(std::ranges::count(reads, reg), 2) << reg;
        EXPECT_EQ(core.pagePresent(0), lost == 2);
        EXPECT_EQ(outcome.failedRegister, lost == 2 ? -1 : 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Framings, CoreFraming, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
