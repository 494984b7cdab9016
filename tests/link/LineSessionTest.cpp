// The line session on simulated drives: operations in order, stop and close, observers, block
// reads whatever blocks a drive takes or shifts; timing and trust on the line, one rule a case.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>

#include "link/LineSession.h"
#include "model/DriveFacts.h"
#include "sim/SimulatedPort.h"
#include "support/DriveWrites.h"
#include "support/LineTap.h"
#include "support/SessionOnDrive.h"

using namespace velorin;
using namespace std::chrono_literals;
using Order = LineSession::Order;
using test::SessionOnDrive;

namespace velorin {
void PrintTo(LinkOutcome outcome, std::ostream* os) {
    *os << linkOutcomeName(outcome);
}
}  // namespace velorin

namespace {

// A line session on a simulated drive at `settings`, station 1, each transaction's purpose and
// sending time recorded.
struct DriveRig {
    explicit DriveRig(const char* settings, Micros responseDelay = Micros{2000},
                      bool adapterEchoes = false) {
        drive.setLink(1, *rateIndexOf(settings), *formatIndexOf(settings));
        drive.setResponseDelay(responseDelay);
        line.setLocalEcho(adapterEchoes);
        session.setFraming(drive.framing());
        EXPECT_EQ(session.open(1, settings), OpenResult::Ok);
    }
    bool rtu() const { return isRtu(drive.framing()); }
    ReplyCheck transactHere(FunctionCode function, std::uint16_t reg, std::uint16_t word) {
        return transact(port, drive.framing(), 1, function, reg, word);
    }
    Micros onLine(int chars) const {
        const LineSettings l = drive.line();
        return Micros{(1'000'000LL * chars * l.bitsPerCharacter() + l.baud - 1) / l.baud};
    }
    int requestChars() const { return rtu() ? 8 : 17; }
    int readReplyChars() const { return rtu() ? 7 : 15; }
    long count(RequestPurpose p) const { return std::count(purposes.begin(), purposes.end(), p); }

    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    std::unique_ptr<SimulatedPort> owned = std::make_unique<SimulatedPort>(line, clock);
    SimulatedPort& port = *owned;
    LineSession session{std::move(owned)};
    std::vector<RequestPurpose> purposes;
    std::vector<Micros> sentAt;
    test::LineTap tap{session.observers(), [this](const TransactionRecord& t) {
                          purposes.push_back(t.purpose);
                          sentAt.push_back(t.notes.sentAt);
                      }};
};

// Block reads from a drive that takes `maxBlock` registers a request, has no register at `gaps`
// (the session knows them as likely gaps) and, with `shift`, answers a block across them shifted.
struct BlockRig : SessionOnDrive {
    BlockRig(int maxBlock, const std::vector<std::uint16_t>& gaps, bool shift) {
        session.setBlockReads(true);
        session.setLikelyBlockGaps(gaps);
        session.setOnBlocksDisagree([this] { ++told; });
        drive.setMaxBlock(maxBlock);
        drive.setBlockGaps(gaps);
        if (shift)
            drive.setFaultMode(DriveFault{DriveFault::Kind::BlockShift});
    }
    int told = 0;
};

// The evidence rules' drive: RTU at 115200,E,8,1, registers 0-39 each its own value.
struct TrustRig : DriveRig {
    TrustRig() : DriveRig("115200,E,8,1") {
        for (int r = 0; r < 40; ++r) drive.setReg(r, static_cast<std::uint16_t>(1000 + 37 * r));
    }
};

}  // namespace

TEST(ReplyDeadline, CountsFromTheEndOfTheRequestOnTheLine) {
    // The drive's reply is complete `answer` after the last character of the request left.
    // clang-format off
    const struct { const char* settings; Micros answer; bool taken; } cases[] = {
        {"9600,N,7,2", 99ms, true}, {"9600,N,7,2", 101ms, false}, {"9600,E,8,1", 99ms, true},
        {"9600,E,8,1", 101ms, false}, {"4800,O,8,1", 99ms, true}, {"115200,N,8,2", 99ms, true},
        {"115200,N,8,2", 101ms, false}};
    // clang-format on
    for (const auto& c : cases) {
        DriveRig r(c.settings);
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
            DriveRig r(settings, delay);
            for (int reg = 0; reg < 3; ++reg) r.drive.setReg(reg, 1000 + reg);
            for (int round = 0; round < 2; ++round) {
                for (int reg = 0; reg < 3; ++reg) {
                    const ReplyCheck got = r.session.read(reg);
                    EXPECT_EQ(std::pair(got.outcome, got.value),
                              std::pair(LinkOutcome::Ok, std::uint16_t(1000 + reg)))
                        << settings << " after " << delay.count();
                }
            }
            const long late = r.session.lateReplies();
            EXPECT_LE(late, 1) << settings << " after " << delay.count();
            if (late)
                EXPECT_GE(r.session.replyTimeout(), delay) << settings;
            if (delay == 95ms && std::string_view(settings).starts_with("115200"))
                EXPECT_EQ(late, 0) << "a reply complete within 0.1 s of the request is taken";
        }
    }
}

TEST(LateReply, ListenedForOnlyWhileTheLineSettingsStayTheSame) {
    DriveRig r("9600,N,7,2");
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
        DriveRig r(settings);
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
            DriveRig r(settings, 2ms, c.adapterEchoes);
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
        // The session's write through an echoing adapter with no drive behind it.
        DriveRig r(settings, 2ms, true);
        r.drive.setLink(1, 0, 0);  // the drive listens at 4800 baud: nothing answers
        EXPECT_NE(r.session.write(32, 1234).outcome, LinkOutcome::Ok) << settings;
        EXPECT_TRUE(r.drive.writeLog().empty());
    }
}

TEST(PortLoss, AdapterUnpluggedDuringAReadIsAPortErrorReportedOnce) {
    DriveRig r("9600,N,7,2", 50ms);
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
    DriveRig raw("9600,E,8,1", 50ms);
    raw.clock.after(10ms, [&] { raw.line.setPresent(false); });
    EXPECT_EQ(raw.transactHere(FunctionCode::ReadRegisters, 0, 1).outcome, LinkOutcome::PortError);
    EXPECT_FALSE(raw.port.isOpen());
}

TEST(Garbage, ToldAsDataOnTheLineThatIsNoReply) {
    DriveRig r("9600,N,7,2");
    r.drive.injectFault({DriveFault::Kind::Noise});
    const ReplyCheck got = r.transactHere(FunctionCode::ReadRegisters, 0, 1);
    EXPECT_EQ(got.outcome, LinkOutcome::NotAReply);
}

TEST(LineTrust, EachRuleOnItsOwn) {
    using P = RequestPurpose;
    using K = DriveFault::Kind;
    const struct Case {
        const char* rule;
        std::function<void(TrustRig&)> setUp;
        long requests;   // that the drive heard for the eight reads
        long readAgain;  // of them asked again
    } cases[] = {
        // clang-format off
        {"a clean line: one request a register", [](TrustRig&) {}, 8, 0},
        {"no wire time and no response delay: every reply taken at once",
         [](TrustRig& r) { r.drive.setWireTime(false); r.drive.setResponseDelay(0us); }, 8, 0},
        {"answers spread from 0 to 40 ms: quicker or slower, each taken",
         [](TrustRig& r) { r.drive.setAnswerProfile({Micros{0}, 40ms, {}, {}, 0, {}}, 7); }, 8, 0},
        {"a USB adapter's latency timer, bytes in pieces",
         [](TrustRig& r) { r.drive.setAnswerProfile({Micros{-1}, Micros{-1}, 16ms, {}, 0, {}}, 3); }, 8, 0},
        {"one reply lost: asked again, and values count twice while its reply may come",
         [](TrustRig& r) { r.drive.injectFault({K::NoReply, {}, 20ms, 12}); }, 19, 11},
        {"a reply like the one before (registers 12 and 13 alike): a further read agrees",
         [](TrustRig& r) { r.drive.setReg(13, r.drive.reg(12)); }, 9, 1},
        {"a run of alike values: one block across it",
         [](TrustRig& r) { for (int reg = 11; reg <= 16; ++reg) r.drive.setReg(reg, 0); }, 9, 1},
        {"a drive that reads no blocks: its refusal is no reply too soon, each alike value read again",
         [](TrustRig& r) {
             for (int reg = 11; reg <= 16; ++reg) r.drive.setReg(reg, 0);
             r.drive.setMaxBlock(1);
         }, 14, 6},
        {"register 11's reply twice, 4 ms apart, and the request for 12 lost", [](TrustRig& r) {
             r.drive.injectFault({K::Duplicate, {}, 4ms, 11});
             r.drive.injectFault({K::NoReply, {}, 20ms, 12});
         }, -1, -1},
        // clang-format on
    };
    for (const Case& c : cases) {
        TrustRig r;
        c.setUp(r);
        const long before = r.drive.requestsHeard();
        const std::uint16_t regs[] = {10, 11, 12, 13, 14, 15, 16, 17};
        const auto got = r.session.readRegisters(regs);
        ASSERT_EQ(got.size(), 8u) << c.rule;
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(std::pair(got[i].outcome, got[i].value),
                      std::pair(LinkOutcome::Ok, r.drive.reg(regs[i])))
                << c.rule << ", register " << regs[i];
        if (c.requests >= 0)
            EXPECT_EQ(std::pair(r.drive.requestsHeard() - before, r.count(P::ReadAgain)),
                      std::pair(c.requests, c.readAgain))
                << c.rule;
    }
}

TEST(LineTrust, WritesAreConfirmedByTheirReplyAndNeverReadBackAtAnOldLink) {
    const struct Case {
        const char* what;
        bool wireTime;
        int faults;  // replies lost in a row
        std::uint16_t reg, value;
        LinkOutcome outcome;
        long writes, readBacks;  // requests the drive heard of each kind
    } cases[] = {
        {"a pseudo-terminal's reply at once", false, 0, 32, 5, LinkOutcome::Ok, 1, 0},
        {"a wire's reply", true, 0, 32, 5, LinkOutcome::Ok, 1, 0},
        // (two reads that agree: the write's own reply may still come)
        {"a lost reply: read back, the drive holds it", true, 1, 32, 5, LinkOutcome::Ok, 1, 2},
        {"a station change whose reply is lost", false, 1, drive::kStationParameter, 7,
         LinkOutcome::NoReply, 1, 0},
        {"a station change", false, 0, drive::kStationParameter, 7, LinkOutcome::Ok, 1, 0},
        // the register may hold the same word from before: only a reply confirms a command
        {"a stop whose reply is lost: sent again", true, 1, drive::kCommandRegister, drive::kStop,
         LinkOutcome::Ok, 2, 0},
    };
    for (const Case& c : cases) {
        TrustRig r;
        r.drive.setWireTime(c.wireTime);
        r.drive.setResponseDelay(c.wireTime ? 2ms : 0us);
        ASSERT_EQ(r.session.read(c.reg).outcome, LinkOutcome::Ok);  // the adapter: silent
        r.purposes.clear();
        for (int i = 0; i < c.faults; ++i) r.drive.injectFault({DriveFault::Kind::NoReply});
        const ReplyCheck w = r.session.write(c.reg, c.value, drive::writeEffect(c.reg, c.value));
        EXPECT_EQ(w.outcome, c.outcome) << c.what;
        EXPECT_EQ(std::pair(r.count(RequestPurpose::Write), r.count(RequestPurpose::ReadBack)),
                  std::pair(c.writes, c.readBacks))
            << c.what;
    }
}

// A second run whose block would read byte for byte as the first's takes a neighbour along; a lone
// alike value is confirmed with a neighbour taken already, not by a long block across the gap.
TEST(LineTrust, AlikeValuesAreConfirmedAtTheLeastCost) {
    const struct Case {
        const char* rule;
        std::vector<int> zeros;  // registers of 10..33 that hold 0
        long requests, readAgain, largest;
    } cases[] = {
        {"two runs of zeros whose blocks would read alike", {11, 12, 13, 27, 28}, 26, 2, 3},
        {"two zeros fifteen registers apart", {10, 25}, 25, 1, 2},
    };
    for (const Case& c : cases) {
        TrustRig r;
        for (int reg : c.zeros) r.drive.setReg(reg, 0);
        long largest = 0;
        test::LineTap blocks{r.session.observers(), [&](const TransactionRecord& t) {
                                 largest = std::max<long>(largest, t.word);
                             }};
        std::vector<std::uint16_t> regs;
        for (int reg = 10; reg <= 33; ++reg) regs.push_back(static_cast<std::uint16_t>(reg));
        const auto got = r.session.readRegisters(regs);
        ASSERT_EQ(got.size(), regs.size()) << c.rule;
        for (std::size_t i = 0; i < regs.size(); ++i)
            EXPECT_EQ(got[i].value, r.drive.reg(regs[i])) << c.rule << ", register " << regs[i];
        EXPECT_EQ(std::tuple(r.drive.requestsHeard(), r.count(RequestPurpose::ReadAgain), largest),
                  std::tuple(c.requests, c.readAgain, c.largest))
            << c.rule;
    }
}

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
        BlockRig rig(c.maxBlock, c.gaps, c.shift);
        int largest = 0, blocksAfterTold = 0;
        std::vector<std::uint16_t> regs(100);
        for (int r = 0; r < 100; ++r) {
            regs[r] = static_cast<std::uint16_t>(r);
            rig.drive.setReg(r, static_cast<std::uint16_t>(1000 + 7 * r));
        }
        test::LineTap tap(rig.session.observers(), [&](const TransactionRecord& t) {
            if (t.word > 1 && t.check.outcome == LinkOutcome::Ok)
                largest = std::max<int>(largest, t.word);
            blocksAfterTold += t.word > 1 && rig.told > 0;
        });
        std::vector<ReplyCheck> got = rig.session.readRegisters(std::span(regs).first(50));
        const auto second = rig.session.readRegisters(std::span(regs).subspan(50));
        got.insert(got.end(), second.begin(), second.end());
        ASSERT_EQ(got.size(), 100u) << c.name;
        for (int r = 0; r < 100; ++r)
            EXPECT_EQ(std::pair(got[r].outcome, got[r].value),
                      std::pair(LinkOutcome::Ok, std::uint16_t(1000 + 7 * r)))
                << c.name << ", register " << r;
        EXPECT_EQ(rig.told, c.shift ? 1 : 0) << c.name;
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
        std::vector<std::uint16_t> gaps;
        for (int run = 1 + draw(3); run > 0; --run)
            for (int at = 1 + draw(190), n = 1 + draw(3); n > 0; --n)
                gaps.push_back(static_cast<std::uint16_t>(at + n));
        BlockRig rig(4 << draw(4), gaps, true);
        const int alikeFrom = draw(200), alikeTo = alikeFrom + draw(60);
        for (int r = 0; r < 200; ++r)
            rig.drive.setReg(r, static_cast<std::uint16_t>(
                                alikeFrom <= r && r <= alikeTo ? 5 : 1000 + draw(50000)));
        for (int first = 0; first < 200;) {
            const int last = std::min(199, first + 5 + draw(35));
            std::vector<std::uint16_t> regs;
            for (int r = first; r <= last; ++r) regs.push_back(static_cast<std::uint16_t>(r));
            const auto got = rig.session.readRegisters(regs);
            ASSERT_EQ(got.size(), regs.size()) << "seed " << seed;
            for (std::size_t i = 0; i < got.size(); ++i)
                wrong += got[i].outcome != LinkOutcome::Ok ||
                         got[i].value != rig.drive.reg(regs[i]);
            first = last + 1;
        }
        told += rig.told;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(told, 200) << "most shifting drives are found out";
}
