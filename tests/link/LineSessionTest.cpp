// The line session: operations in order, a stop that overtakes queued writes but no run command,
// a close taken once idle, a fresh port's echo, what observers are told; block reads from a drive
// whatever blocks it takes or shifts.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/DriveWrites.h"
#include "support/LineTap.h"
#include "support/SessionOnDrive.h"

using namespace velorin;
using namespace std::chrono_literals;
using Order = LineSession::Order;
using test::SessionOnDrive;

TEST(LineSession, QueuedOperationsRunInOrderAndAStopOvertakesOnlyPlainWrites) {
    SessionOnDrive d;
    std::vector<std::string> events;
    // Clicked while the first write waits: two frequency writes, a run, another, then the stop.
    d.clock.after(10ms, [&] {
        EXPECT_TRUE(d.session.busy());
        d.session.submit([&] { d.session.write(32, 1); });
        d.session.submit([&] { d.session.write(33, 1); });
        d.session.submit([&] { d.session.write(0x2000, 18); }, Order::Barrier);
        d.session.submit([&] { d.session.write(34, 1); });
        d.session.submit([&] { d.session.write(0x2000, 1); }, Order::Urgent);
        events.push_back("queued");
    });
    d.session.submit([&] { d.session.write(31, 1); });
    EXPECT_FALSE(d.session.busy());
    EXPECT_EQ(events, std::vector<std::string>{"queued"});
    // The stop right behind the run command.
    EXPECT_EQ(test::writesOf(d.drive),
              (test::Writes{{31, 1}, {32, 1}, {33, 1}, {0x2000, 18}, {0x2000, 1}, {34, 1}}));
}

TEST(LineSession, StopEndsTheOperationBetweenTransactionsAndACloseWaitsForIdle) {
    SessionOnDrive d;
    std::vector<LinkOutcome> outcomes;
    bool closed = false;
    d.clock.after(250ms, [&] {
        d.session.stop();
        d.session.whenIdle([&] { closed = true; });
        d.session.submit([&] { outcomes.push_back(LinkOutcome::Ok); });  // dropped: stopping
    });
    d.session.submit([&] {
        for (int reg = 0; reg < 20; ++reg) {
            const ReplyCheck r = d.session.read(static_cast<std::uint16_t>(reg));
            outcomes.push_back(r.outcome);
            if (r.outcome == LinkOutcome::Stopped)
                break;
            EXPECT_FALSE(closed);
        }
    });
    EXPECT_TRUE(closed);
    ASSERT_GE(outcomes.size(), 2u);
    EXPECT_LT(outcomes.size(), 10u);
    EXPECT_EQ(outcomes.back(), LinkOutcome::Stopped);
    EXPECT_FALSE(d.session.stopRequested()) << "cleared once idle";
    EXPECT_EQ(d.session.read(0).outcome, LinkOutcome::Ok);
}

// An echoing adapter with no drive behind it: its copy of a write never confirms it.
TEST(LineSession, EchoingAdapterWithoutDriveNeverConfirmsAWrite) {
    for (Framing framing : {Framing::Ascii, Framing::Rtu}) {
        SessionOnDrive d;
        d.line.setLocalEcho(true);
        d.drive.setLink(1, 0, 0);  // the drive listens at 4800 baud: nothing answers
        d.session.open(1, isRtu(framing) ? "9600,N,8,2" : "9600,N,7,2");
        d.session.setFraming(framing);
        EXPECT_NE(d.session.write(32, 1234).outcome, LinkOutcome::Ok) << framingName(framing);
        EXPECT_TRUE(d.drive.writeLog().empty());
    }
}

// An observer hears each transaction as it ends: its bytes, times and purpose.
TEST(LineSession, ObserversHearEachTransactionWithItsBytesTimesAndPurpose) {
    SessionOnDrive d;
    using P = RequestPurpose;
    std::vector<std::tuple<P, FunctionCode, int, LinkOutcome>> heard;
    std::vector<std::string> frames;
    test::LineTap tap(d.session.observers(), [&](const TransactionRecord& t) {
        heard.emplace_back(t.purpose, t.function, t.reg, t.check.outcome);
        frames.emplace_back(t.request.begin(), t.request.end());
        frames.back() += "|" + std::string(t.received.begin(), t.received.end());
        EXPECT_LT(t.notes.sentAt, t.notes.requestEnd);
        EXPECT_LE(t.notes.requestEnd, t.notes.endedAt);
    });
    ASSERT_EQ(d.session.write(32, 5).outcome, LinkOutcome::Ok);
    d.drive.injectFault({DriveFault::Kind::NoReply});
    d.session.read(32);
    d.session.read(32);
    constexpr auto R = FunctionCode::ReadRegisters, W = FunctionCode::WriteRegister;
    constexpr auto Ok = LinkOutcome::Ok;
    EXPECT_EQ(heard, (std::vector<std::tuple<P, FunctionCode, int, LinkOutcome>>{
                         {P::BeforeWrite, R, 32, Ok}, {P::Write, W, 32, Ok},
                         {P::Read, R, 32, LinkOutcome::NoReply}, {P::ReadAgain, R, 32, Ok},
                         {P::ReadAgain, R, 32, Ok}, {P::Read, R, 32, Ok},
                         {P::ReadAgain, R, 32, Ok}}));
    const std::string write = ":010600200005" + lrc("010600200005") + "\r\n";
    EXPECT_EQ(frames[1], write + "|" + write);
}

namespace {

// A line session reading in blocks from a simulated drive at 9600,N,7,2.
struct BlockRig : SessionOnDrive {
    BlockRig() { session.setBlockReads(true); }
};

}  // namespace

TEST(BlockReads, EveryValueIsTheRegistersOwnWhateverBlocksTheDriveTakes) {
    // Two pages of 50 registers, blocks halved at each refusal; `largest`: the largest answered.
    const struct {
        const char* name;
        int maxBlock;
        std::vector<std::uint16_t> gaps;
        bool shift;
        int largest;
    } cases[] = {
        {"the drive takes 32", 32, {}, false, 25},
        {"the drive takes 16", 16, {}, false, 12},
        {"the drive takes no blocks", 1, {}, false, 0},
        {"blocks across gaps refused", 32, {14, 15, 60}, false, 12},
        {"blocks across gaps shifted", 32, {14, 15}, true, 25},
        // The first block taken (0-5) crosses no gap: the first across one is checked too.
        {"shifted across gaps the first block does not reach", 8, {20, 21}, true, 6},
    };
    for (const auto& c : cases) {
        BlockRig rig;
        SimulatedDrive& drive = rig.drive;
        LineSession& session = rig.session;
        session.setLikelyBlockGaps(c.gaps);  // the drive's gaps are registers without a field
        int told = 0, largest = 0, blocksAfterTold = 0;
        session.setOnBlocksDisagree([&] { ++told; });
        drive.setMaxBlock(c.maxBlock);
        drive.setBlockGaps(c.gaps);
        if (c.shift)
            drive.setFaultMode(DriveFault{DriveFault::Kind::BlockShift});
        std::vector<std::uint16_t> regs(100);
        for (int r = 0; r < 100; ++r) {
            regs[r] = static_cast<std::uint16_t>(r);
            drive.setReg(r, static_cast<std::uint16_t>(1000 + 7 * r));
        }
        test::LineTap tap(session.observers(), [&](const TransactionRecord& t) {
            if (t.word > 1 && t.check.outcome == LinkOutcome::Ok)
                largest = std::max<int>(largest, t.word);
            blocksAfterTold += t.word > 1 && told > 0;
        });
        std::vector<ReplyCheck> got = session.readRegisters(std::span(regs).first(50));
        const auto second = session.readRegisters(std::span(regs).subspan(50));
        got.insert(got.end(), second.begin(), second.end());
        ASSERT_EQ(got.size(), 100u) << c.name;
        for (int r = 0; r < 100; ++r)
            EXPECT_EQ(std::pair(got[r].outcome, got[r].value),
                      std::pair(LinkOutcome::Ok, std::uint16_t(1000 + 7 * r)))
                << c.name << ", register " << r;
        EXPECT_EQ(told, c.shift ? 1 : 0) << c.name;
        EXPECT_EQ(largest, c.largest) << c.name;
        EXPECT_EQ(blocksAfterTold, 0) << c.name << ": blocks read after they disagreed";
    }
}

TEST(BlockReads, NoShiftingDriveGivesAWrongValueWhereverItsGapsAndAlikeValuesLie) {
    // Random drives shifting every block across their gaps, 4 to 32 registers a block, some
    // values alike over a run, read in random pages.
    int wrong = 0, told = 0;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        std::mt19937 random(seed);
        const auto draw = [&](int n) { return static_cast<int>(random() % n); };
        BlockRig rig;
        SimulatedDrive& drive = rig.drive;
        LineSession& session = rig.session;
        session.setOnBlocksDisagree([&] { ++told; });
        std::vector<std::uint16_t> gaps;
        for (int run = 1 + draw(3); run > 0; --run)
            for (int at = 1 + draw(190), n = 1 + draw(3); n > 0; --n)
                gaps.push_back(static_cast<std::uint16_t>(at + n));
        drive.setMaxBlock(4 << draw(4));
        drive.setBlockGaps(gaps);
        session.setLikelyBlockGaps(gaps);
        drive.setFaultMode(DriveFault{DriveFault::Kind::BlockShift});
        const int alikeFrom = draw(200), alikeTo = alikeFrom + draw(60);
        for (int r = 0; r < 200; ++r)
            drive.setReg(r, static_cast<std::uint16_t>(
                                alikeFrom <= r && r <= alikeTo ? 5 : 1000 + draw(50000)));
        for (int first = 0; first < 200;) {
            const int last = std::min(199, first + 5 + draw(35));
            std::vector<std::uint16_t> regs;
            for (int r = first; r <= last; ++r) regs.push_back(static_cast<std::uint16_t>(r));
            const auto got = session.readRegisters(regs);
            ASSERT_EQ(got.size(), regs.size()) << "seed " << seed;
            for (std::size_t i = 0; i < got.size(); ++i)
                wrong += got[i].outcome != LinkOutcome::Ok || got[i].value != drive.reg(regs[i]);
            first = last + 1;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(told, 200) << "most shifting drives are found out";
}
