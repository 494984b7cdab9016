// The line session: operations in order, a stop that overtakes queued writes but no run command,
// a close taken once idle, a fresh port's echo, and what observers are told.

#include <gtest/gtest.h>

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
