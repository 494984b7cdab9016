// The program's wait keeps the windows alive and looks at the line when woken, not on a clock.

#include <gtest/gtest.h>
#include <QTimer>

#include "platform/EventLoopWait.h"

using namespace velorin;
using namespace std::chrono_literals;

TEST(EventLoopWait, TimersFireDuringTheWaitAndAWakeEndsItEarly) {
    EventLoopWait wait;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        wait.wakeNow();  // as a port does when bytes arrive
    });
    timer.start(5);
    const Micros t0 = wait.now();
    EXPECT_FALSE(wait.wait(60ms));
    EXPECT_GE(wait.now() - t0, Micros{60000});
    EXPECT_GT(ticks, 2) << "events are processed while waiting";

    const Micros t1 = wait.now();
    EXPECT_TRUE(wait.wait(5s, [&] { return ticks >= 20; }));
    EXPECT_LT(wait.now() - t1, Micros{2000000});
}

TEST(EventLoopWait, TheConditionIsAskedOnWakesNotOnAClock) {
    EventLoopWait wait;
    QTimer quiet;  // events that announce nothing for the line
    QObject::connect(&quiet, &QTimer::timeout, [] {});
    quiet.start(2);
    int asked = 0;
    EXPECT_FALSE(wait.wait(50ms, [&] {
        ++asked;
        return false;
    }));
    EXPECT_LE(asked, 2) << "once at the start and once at the deadline";

    // A wake from inside a nested wait also ends the outer wait once the inner one is over.
    bool outerDone = false, innerDone = false;
    QTimer::singleShot(5, [&] {
        QTimer::singleShot(5, [&] {
            outerDone = true;
            wait.wakeNow();
        });
        wait.wait(20ms, [&] { return innerDone; });
    });
    const Micros t0 = wait.now();
    EXPECT_TRUE(wait.wait(2s, [&] { return outerDone; }));
    EXPECT_LT(wait.now() - t0, Micros{1000000});
}
