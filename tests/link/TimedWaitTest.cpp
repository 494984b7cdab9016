#include <gtest/gtest.h>

#include "link/TimedWait.h"

using namespace velorin;
using namespace std::chrono_literals;

TEST(VirtualClock, WaitsJumpToTheDeadlineOrTheFirstMomentTheConditionHolds) {
    VirtualClock clock;
    EXPECT_FALSE(clock.wait(100ms));
    EXPECT_EQ(clock.now(), Micros{100000});

    // Something the line announces ends the wait as soon as it is there.
    const Micros arrival = clock.now() + 30ms;
    clock.wakeAt(arrival);
    EXPECT_TRUE(clock.wait(100ms, [&] { return clock.now() >= arrival; }));
    EXPECT_EQ(std::tuple(clock.now(), clock.waits(), clock.waited()),
              std::tuple(arrival, 2, Micros{130000}));
}

TEST(VirtualClock, ScheduledActionsRunInsideLaterWaitsInTimeOrder) {
    VirtualClock clock;
    std::vector<std::pair<int, Micros>> ran;
    clock.after(150ms, [&] { ran.push_back({2, clock.now()}); });
    clock.after(50ms, [&] { ran.push_back({1, clock.now()}); });
    clock.wait(100ms);
    EXPECT_EQ(ran, (std::vector<std::pair<int, Micros>>{{1, Micros{50000}}}));
    // An action may itself wait (a handler that talks to the drive) without losing its place.
    clock.after(10ms, [&] { clock.wait(20ms); });
    clock.wait(100ms);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[1].first, 2);
    EXPECT_GE(ran[1].second, Micros{150000});
    int pumped = 0;
    clock.setPump([&] { ++pumped; });
    clock.wait(1ms);
    EXPECT_GT(pumped, 0);
}
