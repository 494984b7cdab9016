#pragma once
// A port on the virtual clock for the fuzz checks: bytes arrive at the moments given them, in
// time order, and take() hands over what has arrived by now. Subclasses decide what arrives.

#include <algorithm>
#include <deque>
#include <utility>

#include "link/SerialPort.h"

namespace velorin::fuzz {

class TimedPort : public SerialPort {
public:
    TimedPort(TimedWait& wait, std::string_view settings, bool open = false)
        : SerialPort(wait), m_open(open) {
        m_settings = settings;
    }
    bool setSettings(std::string_view settings) override {
        if (!parseSettings(settings))
            return false;
        m_settings = settings;
        return true;
    }
    OpenResult open() override {
        m_open = true;
        return OpenResult::Ok;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    void discardInput() override { TimedPort::take(); }
    std::vector<std::uint8_t> take() override {
        std::vector<std::uint8_t> out;
        while (!m_arriving.empty() && m_arriving.front().first <= timedWait().now()) {
            const auto& bytes = m_arriving.front().second;
            out.insert(out.end(), bytes.begin(), bytes.end());
            m_arriving.pop_front();
        }
        return out;
    }

protected:
    // `bytes` arrive at `at`, after whatever arrives at the same moment.
    void arrive(Micros at, std::vector<std::uint8_t> bytes) {
        timedWait().wakeAt(at);
        const auto pos = std::upper_bound(m_arriving.begin(), m_arriving.end(), at,
                                          [](Micros t, const auto& c) { return t < c.first; });
        m_arriving.insert(pos, {at, std::move(bytes)});
    }

private:
    bool m_open;
    std::deque<std::pair<Micros, std::vector<std::uint8_t>>> m_arriving;
};

}  // namespace velorin::fuzz
