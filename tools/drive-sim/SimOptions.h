#pragma once
// velorin-drive-sim's command line: every option checked in full before the drive starts, so a
// typing error stops the simulator with a message instead of starting a different drive.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/SimulatedDrive.h"

namespace velorin {

struct SimOptions {
    int station = 1;
    std::string settings = "9600,N,7,2";
    std::vector<std::pair<int, std::uint16_t>> registers;  // --set REG=VALUE, in order
    Micros responseDelay{2000};
    bool wireTime = false;
    std::optional<DriveFault> fault;  // met by every request
    bool log = false;
    bool watchStdin = true;
    bool help = false;
};

inline constexpr long long kMaxResponseDelayMs = 60000;

// The options after the program name; empty with `error` set when any of them is unusable.
std::optional<SimOptions> parseSimOptions(const std::vector<std::string_view>& args,
                                          std::string& error);

// Sets up `drive` as the options say.
void configure(SimulatedDrive& drive, const SimOptions& options);

std::string simUsage();

}  // namespace velorin
