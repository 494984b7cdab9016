#include "SimulatedDrive.h"
#include "model/Rules.h"

namespace velorin {

// The drive's factory settings are the editor's factory defaults at the drive's resolution:
// number fields as their default text times their scale, choice fields as their position,
// P15.01 as its baud code (station 1, 9600 baud, format 0). Negative values are held as 16-bit
// two's complement, as the drive keeps them.
std::array<std::uint16_t, kParameterCount> factoryRegisterValues() {
    std::array<std::uint16_t, kParameterCount> regs{};
    for (int r = 0; r < kParameterCount; ++r)
        regs[r] = static_cast<std::uint16_t>(factoryDriveValue(r));
    // The drive's own rated current is no setting: this is a 100.0 A drive, so the motor
    // currents at their factory 100.0 A lie within its 20-135 %.
    regs[382] = 1000;  // P11.14
    return regs;
}

}  // namespace velorin
