#pragma once
// What the honest-line and network-line tests do on a session: pages of registers 0-489 (below
// the link parameters) read and checked against the drive, values no register holds yet, seeds.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "link/LineSession.h"
#include "sim/SimulatedDrive.h"

namespace velorin::test {

inline constexpr int kLastJobRegister = 489;

// The seed base from the environment variable `name` (other seeds, other lines), else 0.
inline std::uint32_t seedBase(const char* name) {
    const char* base = std::getenv(name);
    return base ? static_cast<std::uint32_t>(std::stoul(base)) : 0;
}

// Values no register holds yet.
struct DistinctValues {
    std::mt19937& random;
    std::set<std::uint16_t> used;
    std::uint16_t operator()() {
        std::uint16_t v = 0;
        do v = static_cast<std::uint16_t>(random());
        while (!used.insert(v).second);
        return v;
    }
};

struct PageTally {
    bool failed = false;
    long registers = 0, values = 0, wrong = 0;
};

// The page of up to 20 registers from `first`: every value must come and be the drive's.
inline void readPage(LineSession& session, const SimulatedDrive& drive, int first, PageTally& t) {
    std::vector<std::uint16_t> regs;
    for (int r = first; r < std::min(first + 20, kLastJobRegister + 1); ++r)
        regs.push_back(static_cast<std::uint16_t>(r));
    const auto got = session.readRegisters(regs);
    t.registers += static_cast<long>(regs.size());
    t.failed = t.failed || got.size() != regs.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        const bool ok = got[i].outcome == LinkOutcome::Ok;
        t.failed = t.failed || !ok;
        t.values += ok;
        t.wrong += ok && got[i].value != drive.reg(regs[i]);
    }
}

}  // namespace velorin::test
