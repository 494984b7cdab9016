#pragma once
// The fault history read from the drive through its line session: the 29 registers of the
// history and the two of its running time, in blocks where the session reads blocks; else one
// request each, the running hours of the places that hold a fault only. And the clearing of the
// history, P17.08 = 8.

#include <cstdint>
#include <map>
#include <optional>

#include "link/LineSession.h"
#include "records/FaultHistory.h"

namespace velorin {

struct FaultHistoryRead {
    // Empty when a register went unanswered, the session was stopped or the port lost.
    std::optional<FaultHistory> history;
    ReplyCheck failure;  // the read that failed
    std::uint16_t failedRegister = 0;
    std::map<int, std::int32_t> values;  // what was read, as the drive keeps it
};

// Runs on the line now; the caller submits it as a line operation where windows share the line.
FaultHistoryRead readFaultHistory(LineSession& line);

// Writes P17.08 = 8: the drive forgets its faults. The write's outcome as the session gives it.
ReplyCheck clearFaultHistory(LineSession& line);

// A register's value as the drive keeps it: negative where the register holds negatives.
std::int32_t driveValue(int reg, std::uint16_t word);

}  // namespace velorin
