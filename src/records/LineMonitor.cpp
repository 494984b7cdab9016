#include "LineMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace velorin {

namespace {

constexpr std::int64_t kDayMs = 24 * 60 * 60 * 1000;

std::int64_t utcTimeOfDayMs() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % kDayMs;
}

}  // namespace

LineMonitor::LineMonitor(TimedWait& clock, TimeOfDay timeOfDay)
    : m_clock(clock),
      m_start(clock.now()),
      m_timeOfDay(timeOfDay ? std::move(timeOfDay) : TimeOfDay(utcTimeOfDayMs)),
      m_startOfDayMs(m_timeOfDay()) {}

void LineMonitor::record(MonitorRow row) {
    MonitorCounts& c = m_counts;
    ++c.requests;
    const LinkOutcome o = row.check.outcome;
    if (o != LinkOutcome::Ok && o != LinkOutcome::Exception)
        ++c.failed;
    c.repeated += row.askedAgain;
    c.late += row.setAside;
    if (row.latency && row.check.complete()) {
        ++c.answered;
        c.latencySum += *row.latency;
        c.latencyMax = std::max(c.latencyMax, *row.latency);
    }
    row.at -= m_start;
    const std::int64_t sinceStartMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(row.at).count();
    row.timeOfDayMs = ((m_startOfDayMs + sinceStartMs) % kDayMs + kDayMs) % kDayMs;
    m_rows.push_back(std::move(row));
    if (m_rows.size() > kRowsKept)
        m_rows.pop_front();
    ++m_recorded;
}

void LineMonitor::onTransaction(const TransactionRecord& t) {
    MonitorRow row;
    row.at = t.notes.sentAt;
    row.station = t.station;
    row.function = t.function;
    row.reg = t.reg;
    row.word = t.word;
    row.framing = t.framing;
    row.request.assign(t.request.begin(), t.request.end());
    row.received.assign(t.received.begin(), t.received.end());
    row.check = t.check;
    row.askedAgain = t.purpose == RequestPurpose::ReadAgain;
    row.setAside = t.notes.tooSoon || t.notes.lateReplyHeard || t.notes.otherTransactions > 0;
    row.copies = t.notes.copies;
    row.settings = t.settings;
    if (t.check.complete() && t.notes.answeredAfter >= Micros{0})
        row.latency =
            std::max(Micros{0}, t.notes.sentAt + t.notes.answeredAfter - t.notes.requestEnd);
    record(std::move(row));
}

void LineMonitor::clear() {
    m_rows.clear();
    m_counts = {};
    m_recorded = 0;
    m_start = m_clock.now();
    m_startOfDayMs = m_timeOfDay();
}

std::string monitorBytesText(Framing framing, const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char hex[8];
    if (isBinary(framing)) {
        for (std::uint8_t b : bytes) {
            std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : " %02X", b);
            text += hex;
        }
        return text;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = bytes[i];
        const bool lineEnd = (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ||
                             (b == '\n' && i > 0 && bytes[i - 1] == '\r');
        if (lineEnd)
            continue;
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<char>(b);
        } else {
            std::snprintf(hex, sizeof hex, "<%02X>", b);
            text += hex;
        }
    }
    return text;
}

std::string monitorMillisecondsText(Micros t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(t.count()) / 1000.0);
    return text;
}

std::string monitorClockText(std::int64_t ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

}  // namespace velorin
