// The write of the changed parameters only, on the simulated drive's write log in both framings.

#include "editor/CoreFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class WriteChanged : public CoreFixture, public ::testing::WithParamInterface<Framing> {
protected:
    void SetUp() override { connect(GetParam()); }
};

// Only what differs goes out, in the full write's order and with its steps: a page never read
// (its drive values unknown) whole, the ramp unit with P03 read again, the station after the
// pages with the line following, both unlock codes before P17.08. Then nothing is left to send.
TEST_P(WriteChanged, OnlyWhatDiffersGoesOutWithEveryStepOfTheFullWrite) {
    for (int reg : {547, 548}) drive.setReg(reg, 0);
    for (int page : {0, 5, 25, 28}) {
        ASSERT_TRUE(core.readPage(page).ok());
        takeShownValues(page);
    }
    core.setPagePresent(2, true);
    Writes expected = {{5, core.driveValue(5) + 1}};
    for (int reg = 49; reg <= 54; ++reg) expected.emplace_back(reg, reg);
    expected.insert(expected.end(), {{96, 1}, {496, 5}, {547, 0}, {548, 0}, {546, 8}});
    for (auto [reg, value] : expected) core.working()[reg] = value;
    for (bool again : {false, true}) {
        record.clear();
        drive.clearWriteLog();
        EXPECT_TRUE(core.writeToDrive(link, {}, WriteScope::ChangedOnly).complete());
        EXPECT_EQ(writes(), again ? Writes{} : expected);
        EXPECT_EQ(record.reads().size(), again ? 1u : 17u);  // the running check, P03 again
    }
    EXPECT_EQ(link.station, 5);
}

INSTANTIATE_TEST_SUITE_P(Framings, WriteChanged, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
