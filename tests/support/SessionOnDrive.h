#pragma once
// A line session, open, on one simulated drive at its factory link: station 1, 9600,N,7,2 ASCII.

#include <gtest/gtest.h>

#include "link/LineSession.h"
#include "sim/SimulatedPort.h"

namespace velorin::test {

struct SessionOnDrive {
    SessionOnDrive() {
        session.follow({1, Framing::Ascii, false, 1, "9600,N,7,2"});
        EXPECT_EQ(session.open(1, "9600,N,7,2"), OpenResult::Ok);
    }
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    LineSession session{std::make_unique<SimulatedPort>(line, clock)};
};

}  // namespace velorin::test
