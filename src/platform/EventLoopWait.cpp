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
    // The event loop's timers count whole milliseconds: they take the wait to the last one, and
    // the fraction left (an RTU gap of 1.75 ms has one) is slept without events.
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    const auto wholeMillis = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now());
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (wholeMillis().count() >= 1)
            timer.start(wholeMillis());
        else
            loop.quit();
    });
    if (wholeMillis().count() >= 1) {
        timer.start(wholeMillis());
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

}  // namespace velorin
