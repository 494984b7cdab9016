#include "TimedWait.h"

#include <algorithm>
#include <thread>

namespace velorin {

Micros SteadyWait::now() const {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

bool SteadyWait::wait(Micros duration, const std::function<bool()>& done) {
    const Micros deadline = now() + duration;
    for (;;) {
        if (done && done()) return true;
        const Micros left = deadline - now();
        if (left <= Micros{0}) return false;
        std::this_thread::sleep_for(std::min(left, Micros{200}));
    }
}

void VirtualClock::at(Micros when, std::function<void()> action) {
    m_actions.emplace(when, std::move(action));
}

void VirtualClock::wakeAt(Micros when) {
    if (when > m_now) m_wakes.push_back(when);
}

void VirtualClock::advance(Micros by) {
    m_now += by;
    runDue();
}

void VirtualClock::runDue() {
    while (!m_actions.empty() && m_actions.begin()->first <= m_now) {
        auto action = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
        action();
    }
    std::erase_if(m_wakes, [this](Micros w) { return w <= m_now; });
}

bool VirtualClock::wait(Micros duration, const std::function<bool()>& done) {
    ++m_waits;
    const Micros start = m_now;
    const Micros deadline = m_now + duration;
    bool ok = false;
    for (;;) {
        runDue();
        if (m_pump) m_pump();
        if (done && done()) {
            ok = true;
            break;
        }
        if (m_now >= deadline) break;
        Micros next = deadline;
        if (!m_actions.empty()) next = std::min(next, std::max(m_actions.begin()->first, m_now));
        for (Micros w : m_wakes) next = std::min(next, w);
        // Never stand still: a due action that scheduled nothing new still moves time on.
        m_now = std::max(next, m_now + Micros{1});
    }
    m_waited += m_now - start;
    return ok;
}

}  // namespace velorin
