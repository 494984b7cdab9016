#pragma once
// Finding the drive on a port, without widgets: a probe at the settings the technician chose,
// and when that finds nothing (or a rate or format was left open) the search over every station,
// format and rate. The connection screen presents it; `velorin-cli probe` and `scan` run it too.
//
// The session opens the line through its hooks (the caller owns the line session and says why a
// port cannot be used), tells the search's progress and asks between probes whether to stop.

#include <functional>
#include <optional>
#include <string>

#include "drive/Scan.h"
#include "link/LineSession.h"
#include "model/DriveFacts.h"

namespace velorin {

// Where the drive was found: what the link state takes on.
struct FoundLink {
    std::string settings;
    Framing framing = Framing::Ascii;
    std::uint8_t station = 0;
    std::optional<int> rate, format;  // indices in kRates / kFormats, where the tables hold them
};

struct ConnectHooks {
    // Opens the line at `settings`: the session to probe on, or null when the port cannot be used.
    std::function<LineSession*(const std::string& settings)> open;
    // Before each probe of a search.
    std::function<void(const ScanProgress&)> progress;
    // Asked between probes: true ends the search there.
    std::function<bool()> stopRequested;
};

struct ConnectResult {
    enum class End {
        Found,         // `link` says where
        NotFound,      // nothing answered as the drive
        Stopped,       // the technician stopped the search
        PortUnusable,  // the port could not be opened (the open hook said why)
        PortLost,      // the port went away during a probe
    };
    End end = End::NotFound;
    FoundLink link;
    std::optional<ReplyCheck>
        probe;  // the reply to the probe at the chosen settings, if one went out
    std::optional<ScanResult> search;  // the search, if one ran
};

class ConnectSession {
public:
    ConnectSession(TimedWait& clock, ConnectHooks hooks)
        : m_clock(clock), m_hooks(std::move(hooks)) {}

    // One probe: the drive's station register read at `station` with `settings` and `framing`.
    // The line stays open on Found; it is closed otherwise.
    ConnectResult probe(const std::string& settings, Framing framing, std::uint8_t station);

    // The search over `order`; on Found the line is closed and the caller opens it at the link.
    ConnectResult search(const ScanOrder& order);

    // What the connect button does: the probe at the chosen rate and format, and the search over
    // every station, format and rate when that finds nothing or either was left open.
    ConnectResult connect(std::uint8_t station, std::optional<int> rate, std::optional<int> format);

    // Through a network gateway: the rate and format belong to the gateway's serial side, so on
    // one connection (opened at `settings`, which only time the wait) the probe at `station` (when
    // above 0), then stations `first`..`last` in turn at the gateway's `framing`. The progress
    // hook hears each station of the search (its format and rate left at 0).
    ConnectResult connectThroughGateway(const std::string& settings, Framing framing,
                                        std::uint8_t station, int first = ScanOrder::kFirstStation,
                                        int last = ScanOrder::kLastStation);

private:
    bool stopAsked() const { return m_hooks.stopRequested && m_hooks.stopRequested(); }
    // The line opened at `settings` and set to `framing`; null when the port cannot be used.
    LineSession* openAt(const std::string& settings, Framing framing);

    TimedWait& m_clock;
    ConnectHooks m_hooks;
};

}  // namespace velorin
