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

// The stations a survey asks: Modbus gives a drive on a line one of 1..247.
inline constexpr int kFirstSurveyStation = 1;
inline constexpr int kLastSurveyStation = 247;

// A drive the survey found on the line.
struct SurveyedDrive {
    std::uint8_t station = 0;
    std::optional<std::uint16_t> model;  // P17.11, where the drive answered for it
    std::optional<std::uint16_t> hours;  // running hours, P17.05
    bool operator==(const SurveyedDrive&) const = default;
};

// The line's list of drives after a write that moved the drive in use from `before` to
// `after`: its entry moves to the new station (a drive listed there before is this one now); at
// another rate or format the others still answer at the old settings only and leave the list.
void followMovedDrive(std::vector<SurveyedDrive>& drives, const LinkState& before,
                      const LinkState& after);

struct SurveyResult {
    // Found: every station was asked and at least one drive answered (NotFound: none did);
    // Stopped and PortLost keep the drives found before.
    ConnectResult::End end = ConnectResult::End::NotFound;
    FoundLink link;  // the settings surveyed; its station the first drive's
    std::vector<SurveyedDrive> drives;  // by station
    std::optional<ScanResult> search;   // when the rate or format had to be searched first
    Micros elapsed{0};                  // of the survey itself
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

    // Every drive on the line: stations `first`..`last` probed in turn on one opening at
    // `settings` and `framing` (a silent station costs one reply wait), and each drive that
    // answers asked its model and running hours. The progress hook hears each station (its
    // format and rate as the settings give them), with the time left. The line stays open when
    // a drive was found, at the first one's station.
    SurveyResult survey(const std::string& settings, Framing framing,
                        int first = kFirstSurveyStation, int last = kLastSurveyStation);
    // The survey at the chosen rate and format; with either left open, the search finds the
    // line's settings first (as connect() does) and the survey follows at those.
    SurveyResult surveyAll(std::optional<int> rate, std::optional<int> format,
                           int first = kFirstSurveyStation, int last = kLastSurveyStation);

private:
    bool stopAsked() const { return m_hooks.stopRequested && m_hooks.stopRequested(); }
    // The line opened at `settings` and set to `framing`; null when the port cannot be used.
    LineSession* openAt(const std::string& settings, Framing framing);

    TimedWait& m_clock;
    ConnectHooks m_hooks;
};

}  // namespace velorin
