// The run session without its window: what typing puts on the line, and refused settings.

#include "RunFixture.h"

using namespace velorin;
using namespace velorin::test;

namespace {
using Ramp = RunSession::Ramp;
}  // namespace

// Enter writes only a frequency the run buttons would run: 500 once went out as 500 Hz, which
// the buttons then refused.
TEST_P(RunFraming, EnterWritesOnlyAFrequencyTheRunButtonsTake) {
    RunSession& r = enterSession();
    // clang-format off
    const struct { const char* typed; int written; } cases[] = {  // -1: refused
        {"400.00", 40000}, {"1.50", 150}, {" 60.005 ", 6000},  // half to even
        {"500", -1}, {"400.01", -1}, {"1.49", -1}, {"655.35", -1}, {"0", -1},
        {"-5", -1}, {"-0.01", -1}, {"abc", -1}, {"", -1}, {"12abc", -1}, {"1,5", -1},
        {"1e400", -1}, {"1e5", -1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        forget();
        EXPECT_EQ(r.enterFrequency(c.typed), c.written >= 0);
        EXPECT_EQ(writes(), (c.written < 0 ? Writes{} : Writes{{32, c.written}}));
        EXPECT_EQ(s.dialogs.messages(), (c.written < 0 ? Texts{kRange} : Texts{}));
        if (c.written < 0)
            EXPECT_EQ(s.dialogs.shown().at(0).title, QStringLiteral("範圍錯誤"));
    }
}

TEST_P(RunFraming, ASettingTheDriveDidNotTakeIsTold) {
    RunSession& r = enterSession();
    // Refused: the drive keeps 0.01 s, and the panel shows it.
    aim({kWrite, 96, DriveFault::Kind::Exception});
    r.chooseRampUnit(1);
    EXPECT_EQ(r.rampUnit(), 0);
    EXPECT_EQ(r.rampTimeText(Ramp::Accel), "10.00");
    unconfirmed(97);
    r.enterRampTime(Ramp::Accel, "12.345");
    aim({kWrite, 98, DriveFault::Kind::Exception});
    r.enterRampTime(Ramp::Decel, "3");
    EXPECT_EQ(s.dialogs.messages(),
              (Texts{QStringLiteral("P03.00 加減速時間單位 未能設定為 1，請重新設定。"),
                     QStringLiteral("P03.01 加速時間1 未能設定為 12.34，請重新設定。"),
                     QStringLiteral("P03.02 減速時間1 未能設定為 3.00，請重新設定。")}));
    for (const auto& shown : s.dialogs.shown()) EXPECT_EQ(shown.title, kCommError);
    // Taken: nothing to tell.
    forget();
    r.chooseRampUnit(1);
    r.enterRampTime(Ramp::Accel, "12.3");
    EXPECT_EQ(writes(), (Writes{{96, 1}, {97, 123}}));
    EXPECT_TRUE(s.dialogs.shown().empty());
}

// The framings are instantiated with the window tests.
