#pragma once
// A port on a simulated drive at the given line settings.

#include <gtest/gtest.h>

#include "link/Transaction.h"
#include "sim/SimulatedPort.h"

namespace velorin {

struct Line {
    explicit Line(const char* settings, std::uint8_t station = 1) {
        drive.setLink(station, *rateIndexOf(settings), *formatIndexOf(settings));
        port.setSettings(settings);
        EXPECT_EQ(port.open(), OpenResult::Ok);
        port.setEcho(AdapterEcho::Silent);
    }
    // The master's framing follows its line settings: 8 data bits are RTU.
    Framing framing() const { return parseSettings(port.settings())->dataBits == 8 ? Framing::Rtu : Framing::Ascii; }
    void settings(const char* s) { port.setSettings(s); }
    ReplyCheck transactHere(FunctionCode function, int reg, int word, int station = 1) {
        return transact(port, framing(), static_cast<std::uint8_t>(station), function,
                        static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(word));
    }
    // The value as the framing reads it (unsigned over RTU, signed over ASCII); "" without a
    // usable reply.
    std::string read(int reg, int station = 1) {
        const ReplyCheck r = transactHere(FunctionCode::ReadRegisters, reg, 1, station);
        if (r.outcome != LinkOutcome::Ok)
            return {};
        return std::to_string(isRtu(framing()) ? r.value : static_cast<std::int16_t>(r.value));
    }
    bool write(int reg, int value, int station = 1) {
        return transactHere(FunctionCode::WriteRegister, reg, value, station).outcome == LinkOutcome::Ok;
    }
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    SimulatedPort port{line, clock};
};

}  // namespace velorin
