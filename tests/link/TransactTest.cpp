// Timing and trust on the line: when a reply counts, what a late reply or an adapter's echo is
// never taken for, and an adapter unplugged during a read.

#include <gtest/gtest.h>

#include "DriveRig.h"

using namespace velorin;
using namespace std::chrono_literals;

namespace velorin {
void PrintTo(LinkOutcome outcome, std::ostream* os) {
    *os << linkOutcomeName(outcome);
}
}  // namespace velorin

using Rig = test::DriveRig;

TEST(ReplyDeadline, CountsFromTheEndOfTheRequestOnTheLine) {
    // The drive's reply is complete `answer` after the last character of the request left.
    // clang-format off
    const struct { const char* settings; Micros answer; bool taken; } cases[] = {
        {"9600,N,7,2", 99ms, true}, {"9600,N,7,2", 101ms, false}, {"9600,E,8,1", 99ms, true},
        {"9600,E,8,1", 101ms, false}, {"4800,O,8,1", 99ms, true}, {"115200,N,8,2", 99ms, true},
        {"115200,N,8,2", 101ms, false}};
    // clang-format on
    for (const auto& c : cases) {
        Rig r(c.settings);
        r.drive.setReg(7, 1234);
        r.drive.setResponseDelay(c.answer - r.onLine(r.readReplyChars()));
        const ReplyCheck got = r.session.probeAt(1, 7);  // asked once
        EXPECT_EQ(got.outcome, c.taken ? LinkOutcome::Ok : LinkOutcome::NoReply)
            << c.settings << " answer " << c.answer.count();
        if (!c.taken)
            EXPECT_EQ(r.clock.now() - r.sentAt.back(), r.onLine(r.requestChars()) + 100ms)
                << c.settings;
    }
}

TEST(LateReply, NeverTakenForTheNextRegister) {
    // A drive slower than the deadline: a read reply names no register, so a late one must not
    // pass for the next; the first lengthens the wait and no register is missed.
    for (const char* settings : {"9600,N,7,2", "9600,E,8,1", "19200,N,8,2", "115200,O,7,1"}) {
        for (const Micros delay : {95ms, 130ms, 180ms}) {
            Rig r(settings, delay);
            for (int reg = 0; reg < 3; ++reg) r.drive.setReg(reg, 1000 + reg);
            int missed = 0;
            for (int round = 0; round < 2; ++round) {
                for (int reg = 0; reg < 3; ++reg) {
                    const ReplyCheck got = r.session.read(reg);
                    if (got.outcome != LinkOutcome::Ok) {
                        ++missed;
                        continue;
                    }
                    EXPECT_EQ(got.value, 1000 + reg) << settings << " after " << delay.count();
                }
            }
            const long late = r.session.lateReplies();
            EXPECT_EQ(std::pair(missed, late <= 1), std::pair(0, true))
                << settings << " after " << delay.count();
            if (late)
                EXPECT_GE(r.session.replyTimeout(), delay) << settings;
            if (delay == 95ms && std::string_view(settings).starts_with("115200"))
                EXPECT_EQ(late, 0) << "a reply complete within 0.1 s of the request is taken";
        }
    }
}

TEST(LateReply, ListenedForOnlyWhileTheLineSettingsStayTheSame) {
    Rig r("9600,N,7,2");
    r.drive.injectFault({DriveFault::Kind::NoReply});
    EXPECT_EQ(r.session.probeAt(1, 1).outcome, LinkOutcome::NoReply);
    const Micros deadline = r.clock.now() - r.sentAt.back();
    // Nothing comes: the next request waits one more deadline for a late reply, then goes out.
    EXPECT_EQ(r.session.read(1).outcome, LinkOutcome::Ok);
    EXPECT_EQ(r.sentAt[1] - r.sentAt[0], 2 * deadline);

    // New settings (as in a scan): no reply to wait for there.
    r.drive.injectFault({DriveFault::Kind::NoReply});
    EXPECT_EQ(r.session.probeAt(1, 1).outcome, LinkOutcome::NoReply);
    const Micros failedAt = r.clock.now();
    ASSERT_TRUE(r.session.changeSettings("19200,N,7,2"));
    r.session.probeAt(1, 1);
    EXPECT_EQ(r.sentAt.back(), failedAt);
    EXPECT_EQ(r.session.lateReplies(), 0);
}

TEST(SilentGap, KeptBeforeRtuRequestsOnly) {
    // ASCII frames are delimited by ':' and CR LF: the next request may follow the reply at once.
    for (const char* settings : {"9600,N,7,2", "9600,E,8,1", "115200,N,8,1"}) {
        Rig r(settings);
        const std::uint16_t regs[] = {1, 2};
        r.session.readRegisters(regs);
        ASSERT_EQ(r.sentAt.size(), 2u);
        const Micros exchange = r.onLine(r.requestChars()) + 2ms + r.onLine(r.readReplyChars());
        const Micros gap = r.rtu() ? silentGap(r.drive.line()) : Micros{0};
        EXPECT_EQ(r.sentAt[1] - r.sentAt[0], exchange + gap) << settings;
    }
}

TEST(AdapterEcho, OurOwnCopyNeverConfirmsAWrite) {
    enum class Drive { Answers, Silent, Refuses };
    // The port has shown whether it echoes when `readFirst`.
    // clang-format off
    using O = LinkOutcome;
    const struct { bool adapterEchoes; Drive drive; bool readFirst; O outcome; } cases[] = {
        {true, Drive::Answers, false, O::Ok},  // two copies: the second is the drive's
        {true, Drive::Silent, false, O::NoReply}, {true, Drive::Refuses, false, O::Exception},
        {true, Drive::Answers, true, O::Ok}, {true, Drive::Silent, true, O::NoReply},
        // One copy on a port that has not shown its echo is the drive's only when it comes
        // after the request has left the line, as the drive's reply does.
        {false, Drive::Answers, false, O::Ok}, {false, Drive::Answers, true, O::Ok},
        {false, Drive::Silent, true, O::NoReply}};
    // clang-format on
    for (const char* settings : {"9600,N,7,2", "19200,E,8,1"}) {
        for (const auto& c : cases) {
            Rig r(settings, 2ms, c.adapterEchoes);
            if (c.readFirst)
                ASSERT_EQ(r.transactHere(FunctionCode::ReadRegisters, 10, 1).outcome, LinkOutcome::Ok);
            if (c.drive == Drive::Silent)
                r.drive.injectFault({DriveFault::Kind::NoReply});
            if (c.drive == Drive::Refuses)
                r.drive.injectFault({DriveFault::Kind::Exception, ExceptionCode::DriveFailure});
            EXPECT_EQ(r.transactHere(FunctionCode::WriteRegister, 10, 77).outcome, c.outcome)
                << settings << (c.adapterEchoes ? " echoing" : " quiet") << " adapter, drive "
                << static_cast<int>(c.drive) << (c.readFirst ? ", after a read" : "");
        }
    }
}

TEST(PortLoss, AdapterUnpluggedDuringAReadIsAPortErrorReportedOnce) {
    Rig r("9600,N,7,2", 50ms);
    int reports = 0;
    r.session.setOnPortLost([&] { ++reports; });
    const Micros t0 = r.clock.now();
    r.clock.at(t0 + 30ms, [&] { r.line.setPresent(false); });
    EXPECT_EQ(r.session.read(0).outcome, LinkOutcome::PortError);
    EXPECT_EQ(r.clock.now() - t0, 30ms) << "the wait ends when the port goes, not at its deadline";
    for (int reg = 1; reg < 10; ++reg)
        EXPECT_EQ(r.session.read(reg).outcome, LinkOutcome::PortError);
    EXPECT_EQ(std::pair(reports, r.session.portLost()), std::pair(1, true));
    EXPECT_EQ(r.sentAt.size(), 1u) << "nothing more is sent to a lost port";

    // Raw transactions see the same: the port is gone, not the drive silent.
    Rig raw("9600,E,8,1", 50ms);
    raw.clock.after(10ms, [&] { raw.line.setPresent(false); });
    EXPECT_EQ(raw.transactHere(FunctionCode::ReadRegisters, 0, 1).outcome, LinkOutcome::PortError);
    EXPECT_FALSE(raw.port.isOpen());
}

// Bytes that are no reply are told as such, not as a silent drive.
TEST(Garbage, ToldAsDataOnTheLineThatIsNoReply) {
    Rig r("9600,N,7,2");
    r.drive.injectFault({DriveFault::Kind::Noise});
    const ReplyCheck got = r.transactHere(FunctionCode::ReadRegisters, 0, 1);
    EXPECT_EQ(got.outcome, LinkOutcome::NotAReply);
}
