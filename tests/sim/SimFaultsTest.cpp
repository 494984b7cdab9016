// The simulated drive's fault history: what --faults-history takes, the trip a run command meets
// with a bad setting, and the clearing through P17.08.

#include <gtest/gtest.h>

#include "SimLine.h"

using namespace velorin;

TEST(SimFaults, HistoryText) {
    using F = std::vector<RecordedFault>;
    const std::pair<const char*, std::optional<F>> cases[] = {
        {"20@1200,6@1190", F{{20, 1200}, {6, 1190}}},
        {"", F{}},
        {"1@1,2@2,3@3,4@4,5@5,6@6,7@7,8@8",
         F{{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}}},
    };
    for (const auto& [text, faults] : cases) EXPECT_EQ(parseFaultHistory(text), faults) << text;
    // The drive keeps eight.
    for (const char* bad : {"1@1,2@2,3@3,4@4,5@5,6@6,7@7,8@8,9@9", "20", "20@", "20@1200,",
                            "20@65536", "-1@5", "20@12x"})
        EXPECT_EQ(parseFaultHistory(bad), std::nullopt) << bad;
}

TEST(SimFaults, RunWithABadSettingTripsAndIsRecorded) {
    // what, registers set, the fault the run command records (0: the motor runs)
    const struct { const char* what; std::vector<std::pair<int, int>> regs; int fault; } cases[] = {
        {"factory settings", {}, 0},
        {"M0 and M3 with one function", {{149, 3}, {152, 3}}, 20},
        {"motor 1: fe1 below fe0", {{254, 100}, {256, 200}}, 21},
        {"motor 2: fe4 below fe3", {{309, 1}}, 22},
        {"P02.36 above P02.37, its bound", {{91, 5000}, {92, 100}}, 19},
        {"a constant bound is the write's to refuse, not the run's", {{2, 99}}, 0},
    };
    for (const auto& c : cases) {
        Line b("9600,N,7,2");
        const RecordedFault before[] = {{6, 100}};
        b.drive.setFaultHistory(before);
        b.drive.setReg(543, 120);
        for (auto [reg, value] : c.regs) b.drive.setReg(reg, static_cast<std::uint16_t>(value));
        ASSERT_TRUE(b.write(drive::kCommandRegister, drive::kRunForward)) << c.what;
        EXPECT_EQ(b.drive.running(), c.fault == 0) << c.what;
        EXPECT_EQ(std::tuple(b.drive.reg(403), b.drive.reg(424)),
                  c.fault ? std::tuple(c.fault, 120) : std::tuple(6, 100))
            << c.what;
        if (c.fault)
            EXPECT_EQ(std::tuple(b.drive.reg(404), b.drive.reg(425)), std::tuple(6, 100)) << c.what;
    }
}

TEST(SimFaults, LockResetEightClearsTheHistoryOnly) {
    Line b("9600,N,7,2");
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    b.drive.setFaultHistory(faults);
    EXPECT_EQ(b.drive.reg(543), 1200) << "running hours raised to the latest fault's";
    b.drive.setReg(100, 7);
    ASSERT_TRUE(b.write(546, 8));
    for (int reg = 403; reg <= 431; ++reg) EXPECT_EQ(b.drive.reg(reg), 0) << reg;
    EXPECT_EQ(std::tuple(b.drive.reg(100), b.drive.reg(543)), std::tuple(7, 1200));
}
