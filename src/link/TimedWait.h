#pragma once
// Waiting on the line. A wait ends when its condition holds or its time is up; while it waits
// the program keeps processing user-interface events, so timers tick and enabled controls react.

#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace velorin {

using Micros = std::chrono::microseconds;

class TimedWait {
public:
    virtual ~TimedWait() = default;

    // Time on a clock that never jumps backwards.
    virtual Micros now() const = 0;

    // Waits until `done()` holds or `duration` has passed, processing events meanwhile; `done`
    // is asked again whenever something may have arrived. Returns whether `done()` held.
    virtual bool wait(Micros duration, const std::function<bool()>& done = {}) = 0;

    // A source of data (a simulated line) says that something will happen at `when`, so a
    // clock that jumps can stop there instead of stepping.
    virtual void wakeAt(Micros /*when*/) {}

    // A source of data says that something happened (bytes arrived, the device went away): the
    // condition of a wait under way is asked again at once.
    virtual void wakeNow() {}
};

// Real time without event processing: for tools without windows that have nothing to process
// (the pseudo-terminal simulator, benchmarks).
class SteadyWait : public TimedWait {
public:
    Micros now() const override;
    bool wait(Micros duration, const std::function<bool()>& done = {}) override;
};

// A clock for tests: time moves only inside wait(), jumping to the next moment something is due
// (a reply a simulated drive schedules, an action a test schedules, or the deadline), so an hour
// of line time passes in milliseconds.
class VirtualClock : public TimedWait {
public:
    Micros now() const override { return m_now; }
    bool wait(Micros duration, const std::function<bool()>& done = {}) override;
    void wakeAt(Micros when) override;

    // Runs `action` when the clock reaches `at` inside some wait (a click that arrives while
    // the program waits for a reply).
    void at(Micros when, std::function<void()> action);
    void after(Micros delay, std::function<void()> action) { at(m_now + delay, std::move(action)); }

    // Called at every step of every wait (tests hook event processing here).
    void setPump(std::function<void()> pump) { m_pump = std::move(pump); }

    // Moves the clock forward outside any wait (time the user spends between actions).
    void advance(Micros by);

    // Total time spent inside wait() and the number of waits.
    Micros waited() const { return m_waited; }
    long waits() const { return m_waits; }

private:
    void runDue();

    Micros m_now{0};
    Micros m_waited{0};
    long m_waits = 0;
    std::multimap<Micros, std::function<void()>> m_actions;
    std::vector<Micros> m_wakes;
    std::function<void()> m_pump;
};

}  // namespace velorin
