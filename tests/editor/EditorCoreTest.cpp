// The editor's core against the simulated drive on the virtual clock, in both framings: how the
// values read are shown, and how page reads meet a silent drive. Which rule each field shows by
// is the catalogue's data; the rules themselves are the display table's test (RulesTest).

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class CoreFraming : public CoreFixture, public ::testing::WithParamInterface<Framing> {};

// A word read is signed where the field's range reaches below zero and for a choice ("nothing
// selected"), unsigned elsewhere, whatever the framing reads; times and the set point show at
// the unit and decimals read at the opening; a value no field can show is marked.
TEST_P(CoreFraming, ValuesReadShowSignedOnlyWhereTheRangeGoesBelowZeroAndInTheUnitsRead) {
    connect(GetParam());
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

// The copies the editor keeps of the drive's settings: read signed at the opening and asked
// again when unanswered; every page read refreshes the link and lock copies.
TEST_P(CoreFraming, TheDrivesCopiesAreSignedAskedAgainAndRefreshedByEveryPageRead) {
    connect(GetParam());
    for (auto [reg, word] : {std::pair{470, 40000}, {471, 4}, {382, 77}, {497, 192}, {546, 8}})
        drive.setReg(reg, word);
    faultAfter(2, {DriveFault::Kind::NoReply});  // P11.14
    core.readOpeningCopies();
    // After the unanswered request every value counts once two reads agree: its reply may still
    // come and pass for another register's.
    EXPECT_EQ(record.reads(), (std::vector<int>{96, 229, 382, 382, 382, 470, 470, 471, 471}));
    const DriveCopies& c = core.copies();
    EXPECT_EQ(std::tuple(c.ratedCurrent, c.pidFullScale, c.pidDecimals), std::tuple(77, 40000, 4));
    ASSERT_TRUE(core.readPage(25).ok() && core.readPage(28).ok());
    EXPECT_EQ(c.rate, 192);
    core.copies().rate = 48;
    core.copies().lockReset = 5;
    ASSERT_TRUE(core.readPage(1).ok());
    EXPECT_EQ(std::tuple(c.rate, c.lockReset), std::tuple(192, 8));
}

TEST_P(CoreFraming, AnUnansweredRegisterIsAskedOnceMoreThenThePageReadStops) {
    for (int lost : {1, 2}) {
        connect(GetParam());
        record.clear();
        drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 4}, lost);  // P00.04
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

INSTANTIATE_TEST_SUITE_P(Framings, CoreFraming, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
