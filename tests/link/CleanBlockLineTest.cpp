// Block reads over the faulty line: a block reply names no register either, so whatever the line
// does, no register may get another register's value, whether it came in a block or alone.

#include <gtest/gtest.h>

#include <iostream>
#include <random>

#include "LineFaults.h"

using namespace velorin::fuzz;

TEST(CleanLine, BlockReadsNeverGiveARegisterAnotherRegistersValue) {
    using F = LineFault;
    const LineMix mixes[] = {{{}, 0},
                             {{F::Repeat, F::Late}, 20},
                             {{F::Repeat, F::Late, F::Reflect, F::Split, F::Noise, F::DropReply,
                               F::DropRequest, F::Corrupt, F::EchoOnly},
                              40}};
    for (const velorin::Framing framing : {velorin::Framing::Rtu, velorin::Framing::Ascii}) {
        LineTally t;
        // The seeds of the single-register property test, for each mix.
        for (const LineMix& mix : mixes) {
            for (std::uint32_t seed = 1; seed <= 150; ++seed) {
                std::mt19937 random(seed);
                EXPECT_EQ(runLineSequence(
                              framing, mix, [&] { return random(); }, 30, t, true),
                          "")
                    << "seed " << seed;
            }
        }
        std::cout << velorin::framingName(framing) << " in blocks: " << t.sequences
                  << " sequences, " << t.faults << " faults, " << t.blocks << " blocks, " << t.reads
                  << " reads (" << t.readsOk << " values taken, " << t.wrong << " wrong)\n";
        EXPECT_EQ(t.wrong, 0);
        EXPECT_GT(t.readsOk, t.reads * 7 / 10) << "the session still gets its values through";
        EXPECT_GT(t.blocks, t.sequences) << "the reads come in blocks";
    }
}
