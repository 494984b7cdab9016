#include "EventLoopWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <thread>

namespace velorin {

struct EventLoopWait::Waiting {
    const std::function<bool()>* done;
    QEventLoop* loop;
    bool ok = false;
};

EventLoopWait::EventLoopWait() {
    m_clock.start();
}

Micros EventLoopWait::now() const {
    return Micros{m_clock.nsecsElapsed() / 1000};
}

bool EventLoopWait::wait(Micros duration, const std::function<bool()>& done) {
    const Micros deadline = now() + duration;
    if (done && done())
        return true;
    if (duration <= Micros{0})
        return false;

    QEventLoop loop;
    Waiting self{&done, &loop};
    m_waiting.push_back(&self);
    // The event loop's timers count whole milliseconds and may fire up to one late: they take
    // the wait to within 2 to 3 ms of its end, and the rest (all of an RTU gap above 19200 baud)
    // is slept, so the silence before a request is as long as it must be and no longer.
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    const auto loopTime = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now()) -
               std::chrono::milliseconds{2};
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (loopTime().count() >= 1)
            timer.start(loopTime());
        else
            loop.quit();
    });
    if (loopTime().count() >= 1) {
        timer.start(loopTime());
        loop.exec();
    }
    if (!self.ok) {
        const Micros left = deadline - now();
        if (left > Micros{0})
            std::this_thread::sleep_for(left);
        QCoreApplication::processEvents();  // what arrived meanwhile reaches its port
        if (!self.ok && done && done())
            self.ok = true;
    }
    m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), &self));
    return self.ok;
}

void EventLoopWait::wakeNow() {
    // An outer wait whose condition now holds ends as soon as the waits inside it are over.
    const std::vector<Waiting*> waiting = m_waiting;
    for (Waiting* w : waiting) {
        if (w->ok || !*w->done)
            continue;
        if ((*w->done)()) {
            w->ok = true;
            w->loop->quit();
        }
    }
}

void EventLoopWait::wakeAt(Micros when) {
    // A timer counts whole milliseconds: it fires at `when` or up to a millisecond after.
    const long long in = (when - now()).count();
    const int ms = in <= 0 ? 0 : static_cast<int>((in + 999) / 1000);
    QTimer::singleShot(ms, Qt::PreciseTimer, &m_timers, [this] { wakeNow(); });
}

}  // namespace velorin
