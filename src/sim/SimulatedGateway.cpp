#include "SimulatedGateway.h"

#include <algorithm>

namespace velorin {

std::vector<ReplyChunk> SimulatedDrive::hearMbap(std::span<const std::uint8_t> bytes) {
    m_mbapHeld.insert(m_mbapHeld.end(), bytes.begin(), bytes.end());
    std::vector<ReplyChunk> replies;
    std::size_t at = 0;
    for (;;) {
        const std::span<const std::uint8_t> rest = std::span(m_mbapHeld).subspan(at);
        if (rest.size() < kMbapHeader)
            break;
        const std::size_t length = rest[4] * 256u + rest[5];
        if (rest[2] != 0 || rest[3] != 0 || length < 2 || length > 253) {
            at = m_mbapHeld.size();  // out of step: nothing held can be trusted
            break;
        }
        if (rest.size() < kMbapHeader - 1 + length)
            break;
        const auto frame = rest.first(kMbapHeader - 1 + length);
        at += frame.size();
        if (length != 6)
            continue;  // no request of function 3 or 6
        ++m_heard;
        const DriveRequest rq{frame[6], frame[7],
                              static_cast<std::uint16_t>(frame[8] << 8 | frame[9]),
                              static_cast<std::uint16_t>(frame[10] << 8 | frame[11])};
        if (rq.station != m_station)
            continue;  // the gateway's serial side hears no answer
        m_mbapAnswering = mbapTransaction(frame);
        // On the gateway's serial side the request is an RTU frame of 8 characters.
        auto r = answer(rq, RequestReader::kRtuFrame);
        m_mbapAnswering.reset();
        replies.insert(replies.end(), r.begin(), r.end());
    }
    m_mbapHeld.erase(m_mbapHeld.begin(), m_mbapHeld.begin() + static_cast<std::ptrdiff_t>(at));
    return replies;
}

GatewayLink::GatewayLink(SimulatedDrive& drive, Framing framing, NetworkFaults faults)
    : m_drive(drive), m_framing(framing) {
    setFaults(faults);
}

void GatewayLink::setFaults(const NetworkFaults& faults) {
    m_faults = faults;
    m_draw.seed(faults.seed);
}

void GatewayLink::connected() {
    m_drive.clearMbap();
    m_drive.silence();
}

bool GatewayLink::drawn(int percent) {
    // By hand from the engine's output, as the drive's draws: the same run everywhere.
    return percent > 0 && static_cast<int>(m_draw() % 100) < percent;
}

GatewayLink::Heard GatewayLink::hear(std::span<const std::uint8_t> bytes, Micros now) {
    const long before = m_drive.requestsHeard();
    // A pass-through gateway's serial side runs at the drive's own settings.
    std::vector<ReplyChunk> replies =
        m_framing == Framing::Mbap ? m_drive.hearMbap(bytes) : m_drive.hear(bytes, m_drive.line());
    const long heard = m_drive.requestsHeard() - before;
    Heard out;
    for (long i = 0; i < heard; ++i) {
        ++m_requests;
        if (m_requests == m_faults.dropAt || drawn(m_faults.dropPercent))
            out.dropped = true;
    }
    if (out.dropped)
        return out;
    const Micros latency{m_faults.latencyMost.count() > 0
                             ? static_cast<long long>(m_draw() % (m_faults.latencyMost.count() + 1))
                             : 0};
    // TCP itself never repeats a byte; a gateway can send a whole frame twice.
    const auto send = [&](const std::vector<std::uint8_t>& bytes, Micros at) {
        at = std::max(m_lastAt, at);
        if (m_faults.splitEveryByte) {
            // A tenth of a millisecond apart, so each byte reaches the master on its own.
            for (std::size_t i = 0; i < bytes.size(); ++i)
                out.segments.push_back({{bytes[i]}, at + Micros{100 * static_cast<long long>(i)}});
        } else {
            out.segments.push_back({bytes, at});
        }
        m_lastAt = out.segments.back().at;
    };
    for (const ReplyChunk& reply : replies) {
        if (reply.bytes.empty())
            continue;
        send(reply.bytes, now + reply.at + latency);
        if (drawn(m_faults.duplicatePercent))
            send(reply.bytes, m_lastAt);
    }
    return out;
}

SimulatedGatewayPort::SimulatedGatewayPort(GatewayLink& link, TimedWait& wait, std::string address)
    : SerialPort(wait), m_link(link), m_address(std::move(address)) {
    m_settings = "9600,N,8,1";
}

bool SimulatedGatewayPort::setSettings(std::string_view settings) {
    if (!parseSettings(settings))
        return false;
    m_settings = settings;
    return true;
}

OpenResult SimulatedGatewayPort::open() {
    if (m_open)
        return OpenResult::Ok;
    if (!m_reachable)
        return OpenResult::NotFound;
    m_open = true;
    ++m_connects;
    m_incoming.clear();
    m_link.connected();
    return OpenResult::Ok;
}

void SimulatedGatewayPort::close() {
    m_open = false;
    m_incoming.clear();
}

void SimulatedGatewayPort::discardInput() {
    const Micros now = timedWait().now();
    while (!m_incoming.empty() && m_incoming.front().at <= now) m_incoming.pop_front();
}

bool SimulatedGatewayPort::send(std::span<const std::uint8_t> bytes) {
    if (!m_open)
        return false;
    GatewayLink::Heard heard = m_link.hear(bytes, timedWait().now());
    if (heard.dropped) {
        close();  // the connection is gone: the wait under way learns it at once
        timedWait().wakeNow();
        return true;
    }
    for (ReplyChunk& segment : heard.segments) {
        timedWait().wakeAt(segment.at);
        m_incoming.push_back(std::move(segment));  // in order: a connection keeps it
    }
    return true;
}

std::vector<std::uint8_t> SimulatedGatewayPort::take() {
    std::vector<std::uint8_t> out;
    const Micros now = timedWait().now();
    while (!m_incoming.empty() && m_incoming.front().at <= now) {
        const auto& b = m_incoming.front().bytes;
        out.insert(out.end(), b.begin(), b.end());
        m_incoming.pop_front();
    }
    return out;
}

}  // namespace velorin
