#pragma once
// The timed wait of the running program: a monotonic clock, and Qt's event loop kept turning
// while the line is awaited, so timers tick, windows repaint and enabled controls react. The
// wait's condition is asked when a port says something arrived (wakeNow), when a port said
// something would arrive (wakeAt: the demo's simulated drive) and at the deadline.

#include <QElapsedTimer>
#include <QObject>
#include <vector>

#include "link/TimedWait.h"

namespace velorin {

class EventLoopWait : public TimedWait {
public:
    EventLoopWait();
    Micros now() const override;
    bool wait(Micros duration, const std::function<bool()>& done = {}) override;
    void wakeNow() override;
    void wakeAt(Micros when) override;

private:
    struct Waiting;
    QElapsedTimer m_clock;
    std::vector<Waiting*> m_waiting;  // the waits under way, outermost first
    QObject m_timers;                 // the timers of wakeAt go with the wait
};

}  // namespace velorin
