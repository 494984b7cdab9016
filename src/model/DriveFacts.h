#pragma once
// What the drive offers on the line and what the program relies on it for, in one place for the
// windows, the command line and the simulated drive: the command and status registers and their
// words, the link and reset parameters, the probe rule and the order in which a scan tries the
// line.

#include <cstdint>
#include <optional>
#include <string>

#include "link/LinkSettings.h"
#include "link/Transaction.h"

namespace velorin {

struct ReplyCheck;

namespace drive {

// Command register: the run panel's run, jog and stop words go here.
inline constexpr std::uint16_t kCommandRegister = 0x2000;
inline constexpr std::uint16_t kStop = 1;
inline constexpr std::uint16_t kRunForward = 18;
inline constexpr std::uint16_t kJogForward = 19;
inline constexpr std::uint16_t kRunReverse = 34;
inline constexpr std::uint16_t kJogReverse = 35;

// Status register: bit 0 is set while the motor runs.
inline constexpr std::uint16_t kStatusRegister = 0x2101;
inline constexpr std::uint16_t kRunningBit = 0x0001;
inline bool motorRuns(std::uint16_t status) {
    return (status & kRunningBit) != 0;
}

// What one register word carries: signed parameters -32768..32767, the others 0..65535. Any value
// from the lowest to the highest travels as its 16 bits (a negative as its two's complement).
inline constexpr std::int32_t kLowestWord = -32768;
inline constexpr std::int32_t kHighestSignedWord = 32767;
inline constexpr std::int32_t kHighestWord = 65535;

// Parameters whose value changes how others are shown, bounded or read.
inline constexpr std::uint16_t kRampUnitParameter = 96;       // P03.00: ramp times in 0.01 s (0)
                                                              // or 0.1 s (1)
inline constexpr std::uint16_t kStepUnitParameter = 229;      // P08.03: unit of the step times
inline constexpr std::uint16_t kRatedCurrentParameter = 382;  // P11.14: bounds the motor currents
inline constexpr std::uint16_t kPidFullScaleParameter = 470;  // P13.34: the PID set point's 100 %
inline constexpr std::uint16_t kPidDecimalsParameter = 471;   // P13.35: decimals of the set point
inline constexpr std::uint16_t kAccelTimeParameter = 97;      // P03.01: acceleration time 1
inline constexpr std::uint16_t kDecelTimeParameter = 98;      // P03.02: deceleration time 1

// Decimals of the ramp times (P03.01-P03.10): 0.01 s under ramp unit 0, 0.1 s under unit 1; empty
// under any other value, whose times cannot be read.
inline std::optional<int> rampTimeDecimals(std::int32_t rampUnit) {
    if (rampUnit == 0 || rampUnit == 1)
        return rampUnit == 0 ? 2 : 1;
    return std::nullopt;
}
// Decimals of the program-run step times (P08.04 on): 0.1 s under step unit 0, 1 s under unit 1.
inline std::optional<int> stepTimeDecimals(std::int32_t stepUnit) {
    if (stepUnit == 0 || stepUnit == 1)
        return stepUnit == 0 ? 1 : 0;
    return std::nullopt;
}

// Link parameters: a write of one of them changes how the drive must be reached next.
inline constexpr std::uint16_t kStationParameter = 496;  // P15.00: 1..254
inline constexpr std::uint16_t kRateParameter = 497;     // P15.01: rate / 100 (48 .. 1152)
inline constexpr std::uint16_t kFormatParameter = 498;   // P15.02: index in kFormats
// Lock and reset: 2..7 put the drive back to its factory values (9600,N,7,2, ASCII, station 1)
// and take about 2 s.
inline constexpr std::uint16_t kResetParameter = 546;  // P17.08
inline bool isFactoryReset(std::int32_t value) {
    return value >= 2 && value <= 7;
}
// Whether a write moves the drive's link: after it the drive answers at another station, rate or
// format, or (a reset) at its factory link, never again at the one the write went out on.
inline WriteEffect writeEffect(std::uint16_t reg, std::int32_t value) {
    if (reg == kCommandRegister)
        return WriteEffect::Command;
    const bool moves = reg == kStationParameter || reg == kRateParameter ||
                       reg == kFormatParameter || (reg == kResetParameter && isFactoryReset(value));
    return moves ? WriteEffect::MovesLink : WriteEffect::Ordinary;
}
inline constexpr const char* kFactorySettings = "9600,N,7,2";
inline constexpr Framing kFactoryFraming = Framing::Ascii;
inline constexpr std::uint8_t kFactoryStation = 1;

// The probe: the drive's own station register read at the station tried. The drive is there when
// it answers with a number above 0, read as the framing reads it (unsigned over RTU, signed over
// ASCII).
inline constexpr std::uint16_t kProbeRegister = kStationParameter;
bool probeFound(const ReplyCheck& reply, Framing framing);

}  // namespace drive

// One combination a scan tries.
struct ScanStep {
    int station = 1;
    int format = 0;  // index in kFormats
    int rate = 0;    // index in kRates

    Framing framing() const { return kFormats[format].framing; }
    std::string settings() const { return settingsString(rate, format); }
};

// The order in which a scan tries the line: station by station; within a station the ASCII
// formats before the RTU formats (format index 0..6, the drive's P498 order); within a format
// the rates from 4800 upwards. A drive at station 1 with 9600,N,7,2 answers the second probe.
class ScanOrder {
public:
    static constexpr int kFirstStation = 1;
    static constexpr int kLastStation = 254;
    static constexpr long kProbesPerStation =
        static_cast<long>(kFormats.size()) * static_cast<long>(kRates.size());  // 35

    // Stations `first`..`last`, both within 1..254 and first <= last.
    ScanOrder(int first = kFirstStation, int last = kLastStation);

    int firstStation() const { return m_first; }
    int lastStation() const { return m_last; }
    // Probes in the whole scan (8890 for all stations).
    long total() const { return (m_last - m_first + 1) * kProbesPerStation; }
    // The probe numbered `index` (0-based) in the scan.
    ScanStep step(long index) const;

private:
    int m_first;
    int m_last;
};

}  // namespace velorin
