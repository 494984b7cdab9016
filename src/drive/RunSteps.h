#pragma once
// The run panel's registers and the numbers its session's files share.

#include <cstdint>
#include <string>

#include "link/NumberText.h"

namespace velorin::runsteps {

// Registers of the panel (register number = parameter number).
inline constexpr std::uint16_t kRunSource = 5;          // P00.05: 2 = the link
inline constexpr std::uint16_t kFrequencySource = 25;   // P01.00: 0 = frequency command 0
inline constexpr std::uint16_t kDirectionLimit = 28;    // P01.03: 0 = both directions
inline constexpr std::uint16_t kFrequencyCommand = 32;  // P01.07, hundredths of a hertz
inline constexpr std::uint16_t kJogFrequency = 48;      // P01.23, hundredths of a hertz
inline constexpr std::uint16_t kMaxFrequency = 248;     // P09.02, hundredths of a hertz

// 400.00 Hz, the top of the slider: the frequency command and the maximum output frequency
// while the panel is open.
inline constexpr std::uint16_t kPanelTop = 40000;
inline constexpr double kLowestFrequency = 1.5;
inline constexpr double kHighestFrequency = 400;
inline constexpr std::int64_t kLongestRamp = 60000;


inline std::string hertzText(int hundredths) {
    return formatNumber(static_cast<std::uint16_t>(hundredths) / 100.0, "0.00");
}

}  // namespace velorin::runsteps
