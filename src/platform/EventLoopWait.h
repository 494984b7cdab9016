#pragma once
// The timed wait of the running program: a monotonic clock, and Qt's event loop kept turning
// while the line is awaited, so timers tick, windows repaint and enabled controls react.

#include <QElapsedTimer>

#include "link/TimedWait.h"

namespace velorin {

class EventLoopWait : public TimedWait {
public:
    EventLoopWait();
    Micros now() const override;
    bool wait(Micros duration, const std::function<bool()>& done = {}) override;

private:
    QElapsedTimer m_clock;
};

}  // namespace velorin
