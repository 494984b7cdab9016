#pragma once
// Where the drive keeps its fault history and its running time, for the program that reads them
// and the simulated drive that keeps them.

#include <cstdint>

namespace velorin::faultregs {

inline constexpr int kSlots = 8;        // faults the drive remembers
inline constexpr int kFirstCode = 403;  // P12.03, the latest fault; P12.10 the oldest
inline constexpr int kFirstSeen = 411;  // P12.11 ... P12.23: seen at the latest fault
inline constexpr int kLastSeen = 423;
inline constexpr int kInputTerminals = 421;   // P12.21: M0 in bit 0 ... M9 in bit 9
inline constexpr int kOutputTerminals = 422;  // P12.22: RL1 in bit 0 ... DO3 in bit 4
inline constexpr int kFirstHours = 424;       // P12.24 ... P12.31: running hours at each fault
inline constexpr int kPowerOnHours = 541;     // P17.03, P17.04: hours and seconds powered
inline constexpr int kPowerOnSeconds = 542;
inline constexpr int kRunHours = 543;  // P17.05, P17.06: hours and seconds of running
inline constexpr int kRunSeconds = 544;
inline constexpr int kModel = 549;  // P17.11
// P17.08's value that clears the history (its 2-7 reset the drive).
inline constexpr std::uint16_t kClearHistory = 8;

}  // namespace velorin::faultregs
