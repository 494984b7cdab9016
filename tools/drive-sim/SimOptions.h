#pragma once
// velorin-drive-sim's command line: every option checked in full before the drive starts, so a
// typing error stops the simulator with a message instead of starting a different drive.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/SimulatedGateway.h"

namespace velorin {

// What one drive of several on the line has of its own (--set S:REG=VALUE and the like); what is
// given without a station holds for every drive.
struct StationOptions {
    std::vector<std::pair<int, std::uint16_t>> registers;
    std::optional<Micros> responseDelay;
    std::vector<DriveFault> faults;
    std::optional<std::vector<RecordedFault>> faultHistory;
};

struct SimOptions {
    int station = 1;
    // --stations 1,2,5: one drive per station on the one line (each at --settings).
    std::vector<int> stations;
    std::map<int, StationOptions> ownOptions;  // by station
    std::string settings = "9600,N,7,2";
    std::vector<std::pair<int, std::uint16_t>> registers;  // --set REG=VALUE, in order
    Micros responseDelay{2000};
    bool wireTime = false;
    AnswerProfile profile;  // --answer-ms, --answer-profile
    // Met by every request, or by --fault-rate percent of them (one picked at random when
    // --fault is given more than once).
    std::vector<DriveFault> faults;
    int faultRate = 100;
    std::uint32_t seed = 1;
    int maxBlock = 32;                     // the most registers one read is answered for
    std::vector<std::uint16_t> blockGaps;  // registers a block read may not include
    // --tcp PORT: the drive behind a network gateway on 127.0.0.1:PORT (0: a free port) instead
    // of a pseudo-terminal, speaking --framing; with the network's faults.
    std::optional<int> tcpPort;
    Framing gatewayFraming = Framing::Mbap;
    NetworkFaults network;
    std::vector<RecordedFault> faultHistory;  // latest first
    bool log = false;
    bool watchStdin = true;
    bool help = false;
};

inline constexpr long long kMaxResponseDelayMs = 60000;
// A late reply comes this long after the usual time: beyond the master's 0.1 s wait, and more
// than the one wait the master listens on after a reply it gave up on.
inline constexpr long long kDefaultLateMs = 230;
// A duplicated reply comes again this long after its end, when the master may already have sent
// its next request.
inline constexpr long long kDefaultDuplicateMs = 20;
// The drive's line settings behind a pass-through gateway given --framing rtu and no --settings:
// the first RTU format in the drive's list.
inline constexpr const char* kDefaultRtuSettings = "9600,N,8,2";

// The options after the program name; empty with `error` set when any of them is unusable.
std::optional<SimOptions> parseSimOptions(const std::vector<std::string_view>& args,
                                          std::string& error);

// The stations of the drives the options put on the line, in order.
std::vector<int> stationsOf(const SimOptions& options);

// Sets up `drive` as the options say for the drive at `station`.
void configure(SimulatedDrive& drive, const SimOptions& options, int station);
void configure(SimulatedDrive& drive, const SimOptions& options);

std::string simUsage();

}  // namespace velorin
