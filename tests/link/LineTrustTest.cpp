// The evidence rules, one case each: what sets a reply aside, what only raises doubt, and what a
// doubt costs, reading registers 10 to 17 through a line session.

#include <gtest/gtest.h>

#include <functional>

#include "DriveRig.h"
#include "model/DriveFacts.h"

using namespace velorin;
using namespace std::chrono_literals;

namespace {

// RTU at 115200,E,8,1, registers 0-39 each its own value.
struct Rig : test::DriveRig {
    Rig() : DriveRig("115200,E,8,1") {
        for (int r = 0; r < 40; ++r) drive.setReg(r, static_cast<std::uint16_t>(1000 + 37 * r));
    }
};

}  // namespace

TEST(LineTrust, EachRuleOnItsOwn) {
    using P = RequestPurpose;
    using K = DriveFault::Kind;
    const struct Case {
        const char* rule;
        std::function<void(Rig&)> setUp;
        long requests;   // that the drive heard for the eight reads
        long readAgain;  // of them asked again
    } cases[] = {
        // clang-format off
        {"a clean line: one request a register", [](Rig&) {}, 8, 0},
        {"no wire time and no response delay: every reply taken at once",
         [](Rig& r) { r.drive.setWireTime(false); r.drive.setResponseDelay(0us); }, 8, 0},
        {"answers spread from 0 to 40 ms: quicker or slower, each taken",
         [](Rig& r) { r.drive.setAnswerProfile({Micros{0}, 40ms, {}, {}, 0, {}}, 7); }, 8, 0},
        {"a USB adapter's latency timer, bytes in pieces",
         [](Rig& r) { r.drive.setAnswerProfile({Micros{-1}, Micros{-1}, 16ms, {}, 0, {}}, 3); }, 8, 0},
        {"one reply lost: asked again, and values count twice while its reply may come",
         [](Rig& r) { r.drive.injectFault({K::NoReply, {}, 20ms, 12}); }, 19, 11},
        {"a reply like the one before (registers 12 and 13 alike): a further read agrees",
         [](Rig& r) { r.drive.setReg(13, r.drive.reg(12)); }, 9, 1},
        {"a run of alike values: one block across it",
         [](Rig& r) { for (int reg = 11; reg <= 16; ++reg) r.drive.setReg(reg, 0); }, 9, 1},
        {"a drive that reads no blocks: its refusal is no reply too soon, each alike value read again",
         [](Rig& r) {
             for (int reg = 11; reg <= 16; ++reg) r.drive.setReg(reg, 0);
             r.drive.setMaxBlock(1);
         }, 14, 6},
        {"register 11's reply twice, 4 ms apart, and the request for 12 lost", [](Rig& r) {
             r.drive.injectFault({K::Duplicate, {}, 4ms, 11});
             r.drive.injectFault({K::NoReply, {}, 20ms, 12});
         }, -1, -1},
        // clang-format on
    };
    for (const Case& c : cases) {
        Rig r;
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

// A write is confirmed by its reply once the adapter is known silent; a lost reply is read back
// and sent again, but never at an old link.
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
        Rig r;
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

// Alike values confirmed at the least cost: a run of them by one block; a second run whose block
// would read byte for byte as the first's takes a neighbour along instead of leaving each value to
// be read again; a lone one by a block with a neighbour taken already, not by a long block across
// the values between; and a value taken before another like it is not doubted for that one, which
// was not yet asked when it came.
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
        Rig r;
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
