#pragma once
// A port on a simulated drive at the given line settings, with every request sent recorded.

#include <gtest/gtest.h>

#include "link/MBus.h"
#include "sim/SimulatedPort.h"

namespace velorin {

struct Line {
    explicit Line(const char* settings, std::uint8_t station = 1) {
        drive.setLink(station, *rateIndexOf(settings), *formatIndexOf(settings));
        port.setSettings(settings);
        EXPECT_EQ(port.open(), OpenResult::Ok);
        // The tests know the line has no echoing adapter (those that want one switch it on).
        port.setEcho(AdapterEcho::Silent);
        setLinkTrace([this](const LinkTraceEvent& e) {
            if (e.sent) sent.emplace_back(e.bytes.begin(), e.bytes.end());
        });
    }
    ~Line() { setLinkTrace({}); }
    bool rtu() const { return drive.rtu(); }
    void settings(const char* s) { port.setSettings(s); }
    std::string read(int reg) {
        return rtu() ? ReadData(drive.station(), reg >> 8, reg & 0xFF, 0, 1, port)
                     : ReadDataASCII(drive.station(), reg >> 8, reg & 0xFF, 0, 1, port);
    }
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    SimulatedPort port{line, clock};
    std::vector<std::string> sent;
};

}  // namespace velorin
