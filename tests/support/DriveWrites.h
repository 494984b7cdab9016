#pragma once
// The writes a simulated drive carried out, as (register, value) pairs in order.

#include <utility>
#include <vector>

#include "sim/SimulatedDrive.h"

namespace velorin::test {

using Writes = std::vector<std::pair<int, int>>;

inline Writes writesOf(const SimulatedDrive& drive) {
    Writes out;
    for (const WriteRecord& w : drive.writeLog()) out.emplace_back(w.reg, w.value);
    return out;
}

}  // namespace velorin::test
