// Block replies' checks, and block reads from a drive whatever blocks it takes or shifts.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/LineTap.h"
#include "support/SessionOnDrive.h"

using namespace velorin;

namespace {

// A line session reading in blocks from a simulated drive at 9600,N,7,2.
struct BlockRig : test::SessionOnDrive {
    BlockRig() { session.setBlockReads(true); }
};

}  // namespace

TEST(BlockReply, CarriesExactlyTheRegistersAskedForWithItsChecksumRight) {
    // Asked for `asked` registers from 10; the reply's byte count, the registers it carries.
    const struct {
        std::uint16_t asked;
        int byteCount, sent;
        bool corrupt;
        LinkOutcome outcome;
    } cases[] = {
        {3, 6, 3, false, LinkOutcome::Ok},         {3, 4, 2, false, LinkOutcome::Malformed},
        {3, 8, 4, false, LinkOutcome::Malformed},  {3, 6, 2, false, LinkOutcome::Malformed},
        {3, 6, 3, true, LinkOutcome::BadChecksum}, {126, 252, 126, false, LinkOutcome::Malformed},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> rtu{1, 3, static_cast<std::uint8_t>(c.byteCount)};
        for (int i = 1; i <= c.sent; ++i) rtu.insert(rtu.end(), {static_cast<std::uint8_t>(i), 44});
        std::string fields;
        for (const auto b : rtu) fields += hex2(b);
        const std::uint16_t crc = crc16(rtu) ^ c.corrupt;
        rtu.insert(rtu.end(),
                   {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
        const std::string ascii = ":" + fields + lrc(c.corrupt ? fields + "01" : fields) + "\r\n";
        const std::string asked = hex2(c.asked >> 8) + hex2(c.asked & 0xFF);
        const auto request =
            rtuRequest(1, FunctionCode::ReadRegisters, 0, 10, c.asked >> 8, c.asked & 0xFF);
        for (const ReplyCheck& r : {checkRtuReply(request, rtu),
                                    checkAsciiReply(asciiRequest("0103000A" + asked), ascii)}) {
            EXPECT_EQ(r.outcome, c.outcome) << c.asked << " " << c.byteCount << " " << c.sent;
            if (c.outcome == LinkOutcome::Ok)
                EXPECT_EQ(r.values, (std::vector<std::uint16_t>{300, 556, 812}));
        }
    }
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
