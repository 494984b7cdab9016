// The fault history read through a line session: one request per register, or blocks where the
// session reads blocks; a register without a reply ends the read without a history; the
// clearing writes P17.08 = 8.

#include <gtest/gtest.h>

#include <set>

#include "drive/FaultHistoryRead.h"
#include "support/DriveWrites.h"
#include "support/LineTap.h"
#include "support/SessionOnDrive.h"

namespace velorin {
namespace {

struct Bench : test::SessionOnDrive {
    Bench() {
        const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
        drive.setFaultHistory(faults);
        drive.setReg(543, 1210);
        drive.setReg(413, static_cast<std::uint16_t>(-1500));
    }
};

TEST(FaultHistoryRead, SingleReadsOrBlocksGiveOneHistory) {
    for (const bool blocks : {false, true}) {
        Bench b;
        b.session.setBlockReads(blocks);
        std::set<int> singles;
        int largest = 0;
        test::LineTap tap(b.session.observers(), [&](const TransactionRecord& t) {
            if (t.word == 1)
                singles.insert(t.reg);
            largest = std::max<int>(largest, t.word);
        });
        const FaultHistoryRead read = readFaultHistory(b.session);
        ASSERT_TRUE(read.history) << blocks;
        // The decoding is FaultHistory's; here the words come whole and signed (P12.13).
        EXPECT_EQ(std::pair(read.history->records.size(), read.values.at(413)),
                  std::pair(std::size_t{2}, -1500));
        // Blocks: P12.03-P12.31 in one. Single reads: each register of its own, but the hours
        // of the six empty places (the session may confirm a run of like values by a block
        // where the drive reads blocks).
        if (blocks)
            EXPECT_GE(largest, 29);
        else
            EXPECT_EQ(singles.size(), 25u);
    }
}

TEST(FaultHistoryRead, AnUnansweredRegisterGivesNoHistory) {
    Bench b;
    b.drive.injectFault({.kind = DriveFault::Kind::NoReply, .onlyRegister = 424}, LineSession::kTries);
    const FaultHistoryRead read = readFaultHistory(b.session);
    EXPECT_FALSE(read.history);
    EXPECT_EQ(std::tuple(read.failedRegister, read.failure.outcome),
              std::tuple(std::uint16_t{424}, LinkOutcome::NoReply));
}

TEST(FaultHistoryRead, ClearingWritesLockResetEight) {
    Bench b;
    EXPECT_EQ(clearFaultHistory(b.session).outcome, LinkOutcome::Ok);
    EXPECT_EQ(test::writesOf(b.drive).back(), (std::pair{546, 8}));
    EXPECT_TRUE(readFaultHistory(b.session).history->records.empty());
}

}  // namespace
}  // namespace velorin
