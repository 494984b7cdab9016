#pragma once
// A faulty line for the line session: which faults it may inject, how often, and a sequence of
// random reads and writes through one session over it (see LineSessionCheck.cpp).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/LinkSettings.h"

namespace velorin::fuzz {

// EchoOnly: a copy of the request comes back (an adapter's echo) and the drive hears nothing.
// clang-format off
enum class LineFault { Repeat, Late, Reflect, Split, Noise, DropReply, DropRequest, Corrupt, EchoOnly };
// clang-format on

struct LineMix {
    std::vector<LineFault> faults;
    int percent = 0;  // of the requests that meet one of them
};

struct LineTally {
    long sequences = 0, reads = 0, readsOk = 0, wrong = 0, writes = 0, confirmed = 0, untaken = 0,
         faults = 0, blocks = 0;  // blocks: block replies the drive sent
    long switches = 0;   // turns from one drive to another
    long misplaced = 0;  // writes whose value landed on another drive or register
};

// `operations` random reads and writes through a fresh line session over a faulty line, `draw`
// deciding every fault, delay and operation; with `blockReads` runs are read in blocks (the drive
// takes up to kLineMaxBlock). With several `stations` a drive answers at each of 1..stations and
// the session turns from one to another at random between operations. Returns the last fault
// found, empty when none; `tally` adds up.
std::string runLineSequence(Framing framing, const LineMix& mix,
                            std::function<std::uint32_t()> draw, int operations, LineTally& tally,
                            bool blockReads = false, int stations = 1);
inline constexpr int kLineMaxBlock = 20;

}  // namespace velorin::fuzz
