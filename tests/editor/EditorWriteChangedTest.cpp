// The write of the changed parameters only, against the simulated drive's write log in both
// framings: which registers go out and in which order, with the unit switch's page read again,
// the link parameters last, and the unlock codes and the reset after them.

#include "editor/CoreFixture.h"
#include "link/DriveFacts.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class WriteChanged : public CoreFixture, public ::testing::WithParamInterface<Framing> {
protected:
    void SetUp() override { connect(GetParam()); }
    WriteOutcome write() {
        record.clear();
        drive.clearWriteLog();
        return core.writeToDrive(link, {}, WriteScope::ChangedOnly);
    }
    void readAndTake(std::initializer_list<int> pages) {
        for (int reg : {545, 547, 548}) drive.setReg(reg, 0);
        for (int page : pages) {
            ASSERT_TRUE(core.readPage(page).ok());
            takeShownValues(page);
        }
    }
};

TEST_P(WriteChanged, OnlyWhatDiffersGoesOutInTheOrderAndWithTheStepsOfTheFullWrite) {
    readAndTake({0, 5, 25, 28});
    // P01-2 is present as a parameter file makes it, never read: the drive's values are not
    // known, so all of it goes out.
    core.setPagePresent(2, true);
    for (int reg = 49; reg <= 54; ++reg) core.working()[reg] = reg;
    core.working()[5] = core.driveValue(5) + 1;
    core.working()[96] = 1;  // the ramp unit: P03 is read again
    core.working()[496] = 5;
    core.working()[546] = 8;
    const WriteOutcome outcome = write();
    EXPECT_TRUE(outcome.complete());
    Writes expected = {{5, core.working()[5]}};
    for (int reg = 49; reg <= 54; ++reg) expected.emplace_back(reg, reg);
    expected.insert(expected.end(), {{96, 1}, {496, 5}, {547, 0}, {548, 0}, {546, 8}});
    EXPECT_EQ(writes(), expected);
    std::vector<int> reads = span(96, 111);
    reads.insert(reads.begin(), drive::kStatusRegister);
    EXPECT_EQ(record.reads(), reads);
    EXPECT_EQ(link.station, 5);
    // What was confirmed is the drive's now: the same write again sends nothing.
    EXPECT_TRUE(write().complete());
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(record.reads(), std::vector<int>{drive::kStatusRegister});
}

// The unlock codes go out when one of them changed, and both before a change of P17.08.
TEST_P(WriteChanged, UnlockCodesGoOutWhenChangedOrBeforeTheLockValue) {
    readAndTake({28});
    const struct {
        std::vector<std::pair<int, int>> edits;
        Writes written;
    } cases[] = {
        {{}, {}},
        {{{547, 1234}}, {{547, 1234}}},
        {{{546, 8}}, {{547, 1234}, {548, 0}, {546, 8}}},
        {{{545, 1}, {548, 7}}, {{545, 1}, {548, 7}}},
    };
    for (const auto& c : cases) {
        for (const auto& [reg, value] : c.edits) core.working()[reg] = value;
        write();
        EXPECT_EQ(writes(), c.written) << c.written.size();
    }
}

// A write that was not confirmed leaves the register changed: the next write sends it again.
TEST_P(WriteChanged, AnUnconfirmedWriteIsReportedAndSentAgainNextTime) {
    readAndTake({0});
    core.working()[2] = 9;
    core.working()[4] = 3;
    faultAfter(1, {DriveFault::Kind::Exception, ExceptionCode::IllegalValue});
    const WriteOutcome outcome = write();
    ASSERT_EQ(outcome.unconfirmed.size(), 1u);
    EXPECT_EQ(outcome.unconfirmed[0].reg, 2);
    record.onReply = {};
    write();
    EXPECT_EQ(writes(), (Writes{{2, 9}}));
}

INSTANTIATE_TEST_SUITE_P(Framings, WriteChanged, ::testing::Values(Framing::Ascii, Framing::Rtu));

}  // namespace
