#pragma once
// The search for a drive whose settings are not known: one probe per combination of station,
// format and rate, in the scan order, each on the port opened afresh at that combination's
// settings, until the drive answers. The connection window and `velorin-cli scan` both run this
// one loop and show its progress in their own words.

#include <functional>

#include "model/DriveFacts.h"
#include "link/LineSession.h"

namespace velorin {

// Where the scan stands before a probe goes out.
struct ScanProgress {
    long index = 0;  // the probe about to go out, 0-based
    long total = 0;
    ScanStep step;
    Micros left{0};  // what the rest of the scan should take, this probe included
};

struct ScanHooks {
    // Opens the line at the combination's settings: the session to probe on, or null when the
    // port cannot be used (the scan ends with PortUnusable; the caller has said why).
    std::function<LineSession*(const ScanStep&)> open;
    // Before each probe.
    std::function<void(const ScanProgress&)> progress;
    // Asked before each probe: true ends the scan there, with Stopped.
    std::function<bool()> stopRequested;
};

struct ScanResult {
    enum class End {
        Found,         // the drive answered the probe at `index`
        NotFound,      // every probe went out unanswered
        Stopped,       // stopped before the probe at `index` went out
        PortUnusable,  // the port could not be opened for the probe at `index`
        PortLost,      // the port went away during the probe at `index`
    };
    End end = End::NotFound;
    long index = 0;
    ScanStep step;
    Micros elapsed{0};  // from the first probe to the end
};

// The time one probe is taken to need before any was measured: the reply wait of one probe.
inline constexpr Micros kProbeGuess{100000};

// Runs the scan over `order`, timing it by `clock`. The line is closed after every probe that
// went out (on Found too: the caller opens it again at the step's settings, framing and
// station); a lost port is left to the caller.
ScanResult scanForDrive(const ScanOrder& order, TimedWait& clock, const ScanHooks& hooks);

// A time as whole seconds, rounded half up, for the texts that tell how long the scan has to go.
inline long long roundedSeconds(Micros t) {
    return (t.count() + 500000) / 1000000;
}

}  // namespace velorin
