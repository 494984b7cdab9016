#pragma once
// A line session on one simulated drive at `settings`, station 1, with the purpose and sending
// time of each transaction recorded.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "link/LineSession.h"
#include "sim/SimulatedPort.h"
#include "support/LineTap.h"

namespace velorin::test {

struct DriveRig {
    explicit DriveRig(const char* settings, Micros responseDelay = Micros{2000},
                      bool adapterEchoes = false) {
        drive.setLink(1, *rateIndexOf(settings), *formatIndexOf(settings));
        drive.setResponseDelay(responseDelay);
        line.setLocalEcho(adapterEchoes);
        session.setFraming(drive.framing());
        EXPECT_EQ(session.open(1, settings), OpenResult::Ok);
    }
    bool rtu() const { return isRtu(drive.framing()); }
    // One transaction straight through the port, outside the session.
    ReplyCheck transactHere(FunctionCode function, std::uint16_t reg, std::uint16_t word) {
        return transact(port, drive.framing(), 1, function, reg, word);
    }
    // Line time of `chars` characters at the drive's settings.
    Micros onLine(int chars) const {
        const LineSettings l = drive.line();
        return Micros{(1'000'000LL * chars * l.bitsPerCharacter() + l.baud - 1) / l.baud};
    }
    int requestChars() const { return rtu() ? 8 : 17; }
    int readReplyChars() const { return rtu() ? 7 : 15; }
    long count(RequestPurpose p) const { return std::count(purposes.begin(), purposes.end(), p); }

    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    std::unique_ptr<SimulatedPort> owned = std::make_unique<SimulatedPort>(line, clock);
    SimulatedPort& port = *owned;
    LineSession session{std::move(owned)};
    std::vector<RequestPurpose> purposes;
    std::vector<Micros> sentAt;
    LineTap tap{session.observers(), [this](const TransactionRecord& t) {
                    purposes.push_back(t.purpose);
                    sentAt.push_back(t.notes.sentAt);
                }};
};

}  // namespace velorin::test
