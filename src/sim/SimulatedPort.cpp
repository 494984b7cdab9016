#include "SimulatedPort.h"

#include <algorithm>

namespace velorin {

SimulatedDrive* SimulatedLine::driveAt(std::uint8_t station) const {
    for (SimulatedDrive* d : m_drives)
        if (d->station() == station)
            return d;
    return nullptr;
}

SimulatedPort::SimulatedPort(SimulatedLine& line, TimedWait& wait, std::string name)
    : SerialPort(wait), m_line(&line), m_name(std::move(name)) {
    m_settings = "9600,N,8,1";
}

SimulatedPort::~SimulatedPort() {
    close();
}

bool SimulatedPort::setSettings(std::string_view settings) {
    if (!parseSettings(settings))
        return false;
    m_settings = settings;
    return true;
}

OpenResult SimulatedPort::open() {
    if (isOpen())
        return OpenResult::Ok;
    if (!m_line->m_present)
        return OpenResult::NotFound;
    if (m_line->isHeld())
        return OpenResult::InUse;
    m_line->m_holder = this;
    ++m_line->m_opens;
    m_incoming.clear();
    return OpenResult::Ok;
}

void SimulatedPort::close() {
    if (isOpen())
        m_line->m_holder = nullptr;
    m_incoming.clear();
}

void SimulatedPort::discardInput() {
    const Micros now = timedWait().now();
    while (!m_incoming.empty() && m_incoming.front().at <= now) m_incoming.pop_front();
}

bool SimulatedPort::send(std::span<const std::uint8_t> bytes) {
    if (!isOpen() || !m_line->m_present)
        return false;
    const Micros now = timedWait().now();
    if (m_line->m_localEcho)
        m_incoming.push_back({{bytes.begin(), bytes.end()}, now});
    for (auto& chunk : hearOnBus(m_line->drives(), bytes, *parseSettings(m_settings))) {
        chunk.at += now;
        timedWait().wakeAt(chunk.at);
        // Kept in order of arrival: a slow reply to an earlier request may come after this one.
        auto pos = std::upper_bound(m_incoming.begin(), m_incoming.end(), chunk.at,
                                    [](Micros t, const ReplyChunk& c) { return t < c.at; });
        m_incoming.insert(pos, std::move(chunk));
    }
    return true;
}

std::vector<std::uint8_t> SimulatedPort::take() {
    std::vector<std::uint8_t> out;
    const Micros now = timedWait().now();
    while (!m_incoming.empty() && m_incoming.front().at <= now) {
        auto& b = m_incoming.front().bytes;
        out.insert(out.end(), b.begin(), b.end());
        m_incoming.pop_front();
    }
    return out;
}

}  // namespace velorin
