#pragma once
// What the line monitor keeps: one row per transaction of the line session in use, the last
// 10 000 of them, with counters over everything since it was opened or cleared. The window shows
// it and saves it as CSV; it holds no widget, so the rows' words and the file are tested here.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Frames.h"
#include "link/LinkSettings.h"
#include "link/TimedWait.h"
#include "link/Transaction.h"

namespace velorin {

// One transaction as the monitor keeps it.
struct MonitorRow {
    Micros at{0};  // the request handed over, counted from the monitor's start
    std::uint8_t station = 0;
    FunctionCode function = FunctionCode::ReadRegisters;
    std::uint16_t reg = 0;
    std::uint16_t word = 0;  // a write's value
    Framing framing = Framing::Ascii;
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> received;  // everything that came while the reply was awaited
    ReplyCheck check;
    bool askedAgain = false;  // a read sent again because the line was in doubt
    bool setAside = false;    // a reply that was not this request's was heard and set aside
    int copies = 0;           // copies of the request that came back (an adapter's echo)
    std::optional<Micros> latency;  // from the request's end on the line to the reply's end
    std::string settings;           // the line settings it went out with ("9600,N,7,2")
    std::int64_t timeOfDayMs = 0;   // the clock time it was handed over, ms since midnight
};

struct MonitorCounts {
    long requests = 0;
    long failed = 0;    // without a usable reply (a refusal is a reply)
    long repeated = 0;  // sent again because the line was in doubt
    long late = 0;      // replies heard late or too soon and set aside
    long answered = 0;
    Micros latencySum{0};
    Micros latencyMax{0};
    Micros averageLatency() const { return answered ? latencySum / answered : Micros{0}; }
};

// Added to the services' line observers, it hears every transaction of the session in use.
class LineMonitor : public TransactionObserver {
public:
    static constexpr std::size_t kRowsKept = 10000;

    // The clock time of day in milliseconds since midnight (the program gives local time).
    using TimeOfDay = std::function<std::int64_t()>;
    // Times count from now on `clock`, the one the line sessions wait on; the clock time of a
    // row is `timeOfDay` now plus that (UTC when none is given).
    explicit LineMonitor(TimedWait& clock, TimeOfDay timeOfDay = {});

    // Takes a row, always: a paused window stops its view, never the record. The oldest row goes
    // once 10 000 are kept.
    void record(MonitorRow row);
    void onTransaction(const TransactionRecord& record) override;
    // Forgets every row and counter; times count from now on.
    void clear();

    const std::deque<MonitorRow>& rows() const { return m_rows; }
    const MonitorCounts& counts() const { return m_counts; }
    // Rows recorded since the start, those that went included: a view adds the rows past the
    // last count it saw.
    long recorded() const { return m_recorded; }

private:
    TimedWait& m_clock;
    std::deque<MonitorRow> m_rows;
    MonitorCounts m_counts;
    long m_recorded = 0;
    Micros m_start;
    TimeOfDay m_timeOfDay;
    std::int64_t m_startOfDayMs = 0;
};

// The bytes as the line carried them: hexadecimal for RTU, the text for ASCII (its CR LF left
// out, other control characters as <0D>).
std::string monitorBytesText(Framing framing, const std::vector<std::uint8_t>& bytes);
// "08:30:05.123"
std::string monitorClockText(std::int64_t timeOfDayMs);
// A time in milliseconds with one decimal: "12.3".
std::string monitorMillisecondsText(Micros t);

}  // namespace velorin
