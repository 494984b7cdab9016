// Block reads over the faulty line: a block reply names no register either, so whatever the line
// does, no register may get another register's value, whether it came in a block or alone.

#include <gtest/gtest.h>

#include <iostream>
#include <random>

#include "LineFaults.h"

using namespace velorin::fuzz;

TEST(CleanLine, BlockReadsNeverGiveARegisterAnotherRegistersValue) {
    using F = LineFault;
    const std::pair<const char*, LineMix> mixes[] = {
        {"clean", {{}, 0}},
        {"repeats and late", {{F::Repeat, F::Late}, 20}},
        {"lost, split and corrupted", {{F::DropReply, F::DropRequest, F::Split, F::Corrupt}, 20}},
        {"everything",
         {{F::Repeat, F::Late, F::Reflect, F::Split, F::Noise, F::DropReply, F::DropRequest,
           F::Corrupt, F::EchoOnly},
          40}},
    };
    for (const velorin::Framing framing : {velorin::Framing::Rtu, velorin::Framing::Ascii}) {
        LineTally t;
        for (const auto& [name, mix] : mixes) {
            for (std::uint32_t seed = 1; seed <= 120; ++seed) {
                std::mt19937 random(seed);
                const std::string fault = runLineSequence(
                    framing, mix, [&] { return static_cast<std::uint32_t>(random()); }, 30, t,
                    true);
                EXPECT_EQ(fault, "") << name << ", seed " << seed;
            }
        }
        std::cout << (velorin::isRtu(framing) ? "RTU  " : "ASCII") << " in blocks: "
                  << t.sequences << " sequences, " << t.faults << " faults, " << t.reads
                  << " reads (" << t.readsOk << " values taken, " << t.wrong << " wrong), "
                  << t.blocks << " block replies\n";
        EXPECT_EQ(t.wrong, 0);
        EXPECT_EQ(t.untaken, 0);
        EXPECT_GT(t.readsOk, t.reads * 7 / 10) << "the session still gets its values through";
        EXPECT_GT(t.blocks, t.sequences) << "the reads come in blocks";
    }
}
