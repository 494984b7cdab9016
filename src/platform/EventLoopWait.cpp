#include "EventLoopWait.h"

#include <QEventLoop>
#include <QTimer>

namespace velorin {

EventLoopWait::EventLoopWait() { m_clock.start(); }

Micros EventLoopWait::now() const { return Micros{m_clock.nsecsElapsed() / 1000}; }

bool EventLoopWait::wait(Micros duration, const std::function<bool()>& done) {
    const Micros deadline = now() + duration;
    if (done && done()) return true;
    if (duration <= Micros{0}) return false;
    bool ok = false;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    // Arrived data is looked at every millisecond; a reply is taken within 1 ms of its end.
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done && done()) {
            ok = true;
            loop.quit();
        } else if (now() >= deadline) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return ok;
}

}  // namespace velorin
