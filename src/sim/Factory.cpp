#include "SimulatedDrive.h"

namespace velorin {

std::array<std::uint16_t, kParameterCount> factoryRegisterValues() {
    std::array<std::uint16_t, kParameterCount> regs{};
    regs[496] = 1;   // station
    regs[497] = 96;  // 9600 baud
    regs[498] = 0;   // 9600,N,7,2 Modbus ASCII
    return regs;
}

}  // namespace velorin
