// Block reads: the checks of a block reply, and the session's block reads against the simulated
// drive, whatever blocks it takes and however it answers them wrongly.

#include <gtest/gtest.h>

#include <algorithm>

#include "link/LineSession.h"
#include "sim/SimulatedPort.h"
#include "support/LineTap.h"

using namespace velorin;

TEST(BlockReply, CarriesExactlyTheRegistersAskedForWithItsChecksumRight) {
    const struct {
        const char* name;
        std::uint16_t asked;
        int byteCount, registersSent;
        bool corrupt;
        LinkOutcome outcome;
    } cases[] = {
        {"a block of three", 3, 6, 3, false, LinkOutcome::Ok},
        {"the reply for two registers", 3, 4, 2, false, LinkOutcome::Malformed},
        {"the reply for four registers", 3, 8, 4, false, LinkOutcome::Malformed},
        {"a block cut short", 3, 6, 2, false, LinkOutcome::Malformed},
        {"a wrong checksum", 3, 6, 3, true, LinkOutcome::BadChecksum},
        {"more than a request may ask for", 126, 252, 126, false, LinkOutcome::Malformed},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> payload{1, 3, static_cast<std::uint8_t>(c.byteCount)};
        for (int i = 1; i <= c.registersSent; ++i)
            payload.insert(payload.end(), {static_cast<std::uint8_t>(i), 44});
        const auto request = rtuRequest(1, FunctionCode::ReadRegisters, 0, 10, c.asked >> 8,
                                        c.asked & 0xFF);
        std::vector<std::uint8_t> rtu = payload;
        const std::uint16_t crc = crc16(payload) ^ (c.corrupt ? 1 : 0);
        rtu.insert(rtu.end(), {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
        std::string fields;
        for (const auto b : payload) fields += hex2(b);
        const std::string ascii =
            ":" + fields + (c.corrupt ? hex2(std::stoi(lrc(fields), nullptr, 16) ^ 1) : lrc(fields)) +
            "\r\n";
        const ReplyCheck checks[] = {
            checkRtuReply(request, rtu),
            checkAsciiReply(asciiRequest("0103000A" + hex2(c.asked >> 8) + hex2(c.asked & 0xFF)),
                            ascii)};
        for (const ReplyCheck& r : checks) {
            EXPECT_EQ(r.outcome, c.outcome) << c.name;
            if (c.outcome == LinkOutcome::Ok)
                EXPECT_EQ(r.values, (std::vector<std::uint16_t>{300, 556, 812})) << c.name;
        }
    }
}

namespace {

struct BlockCase {
    const char* name;
    int maxBlock;
    std::vector<std::uint16_t> gaps;
    bool shift;
    bool disagree;
    int largestBlock;  // the largest block answered with values
};

}  // namespace

TEST(BlockReads, EveryValueIsTheRegistersOwnWhateverBlocksTheDriveTakes) {
    // Two pages of 50 registers: the first block asks for the whole page, and half as many
    // each time the drive refuses.
    const BlockCase cases[] = {
        {"the drive takes 32", 32, {}, false, false, 25},
        {"the drive takes 16", 16, {}, false, false, 12},
        {"the drive takes no blocks", 1, {}, false, false, 0},
        {"blocks across gaps refused", 32, {14, 15, 60}, false, false, 12},
        {"blocks across gaps shifted", 32, {14, 15}, true, true, 25},
    };
    for (const BlockCase& c : cases) {
        VirtualClock clock;
        SimulatedDrive drive;
        SimulatedLine simLine{drive};
        LineSession session{std::make_unique<SimulatedPort>(simLine, clock)};
        session.follow({1, Framing::Ascii, false, 1, "9600,N,7,2"});
        ASSERT_EQ(session.open(1, "9600,N,7,2"), OpenResult::Ok);
        session.setBlockReads(true);
        int told = 0;
        session.setOnBlocksDisagree([&] { ++told; });
        drive.setMaxBlock(c.maxBlock);
        drive.setBlockGaps(c.gaps);
        if (c.shift)
            drive.setFaultMode(DriveFault{DriveFault::Kind::BlockShift});
        for (int r = 0; r < 100; ++r) drive.setReg(r, static_cast<std::uint16_t>(1000 + 7 * r));
        int largest = 0, blocksAfterTold = 0;
        test::LineTap tap(session.observers(), [&](const TransactionRecord& t) {
            if (t.word > 1 && t.check.outcome == LinkOutcome::Ok)
                largest = std::max<int>(largest, t.word);
            if (t.word > 1 && told > 0)
                ++blocksAfterTold;
        });
        std::vector<std::uint16_t> regs(100);
        for (int r = 0; r < 100; ++r) regs[r] = static_cast<std::uint16_t>(r);
        std::vector<ReplyCheck> got = session.readRegisters(std::span(regs).first(50));
        const auto second = session.readRegisters(std::span(regs).subspan(50));
        got.insert(got.end(), second.begin(), second.end());
        ASSERT_EQ(got.size(), 100u) << c.name;
        for (int r = 0; r < 100; ++r) {
            EXPECT_EQ(got[r].outcome, LinkOutcome::Ok) << c.name << ", register " << r;
            EXPECT_EQ(got[r].value, 1000 + 7 * r) << c.name << ", register " << r;
        }
        EXPECT_EQ(told, c.disagree ? 1 : 0) << c.name;
        EXPECT_EQ(largest, c.largestBlock) << c.name;
        EXPECT_EQ(blocksAfterTold, 0) << c.name << ": blocks read after they disagreed";
    }
}
