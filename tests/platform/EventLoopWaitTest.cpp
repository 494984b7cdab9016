// The program's timed wait keeps the windows alive while it waits on the line.

#include <QTimer>
#include <gtest/gtest.h>

#include "platform/EventLoopWait.h"

using namespace velorin;
using namespace std::chrono_literals;

TEST(EventLoopWait, TimersFireDuringTheWaitAndAConditionEndsItEarly) {
    EventLoopWait wait;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    const Micros t0 = wait.now();
    EXPECT_FALSE(wait.wait(60ms));
    EXPECT_GE(wait.now() - t0, Micros{60000});
    EXPECT_GT(ticks, 2) << "events are processed while waiting";

    const Micros t1 = wait.now();
    EXPECT_TRUE(wait.wait(5s, [&] { return ticks >= 20; }));
    EXPECT_LT(wait.now() - t1, Micros{2000000});
}
