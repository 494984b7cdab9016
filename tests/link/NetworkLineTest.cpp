// The line through a network gateway, in all three framings: replies split at every byte, held
// up by up to 300 ms, sent twice, connections dropped in the middle of a job. Whatever the
// network does, no register is given another register's value and no write is told confirmed
// that the drive did not take; a job the network cuts short says so (the port is lost), and the
// next job connects again once. On an honest network (every reply within the wait) no job fails.

#include <gtest/gtest.h>

#include <iostream>

#include "LineJobs.h"
#include "sim/SimulatedGateway.h"

using namespace velorin;
using namespace std::chrono_literals;

namespace {

struct Tally {
    long jobs = 0, failed = 0, lost = 0, values = 0, wrong = 0, writes = 0, untaken = 0;
    long connects = 0;
};

// Jobs on one session: a page of 20 registers read (in blocks or singly), a register written and
// its page read again. A job ends early only when the connection drops.
void runSession(Framing framing, const NetworkFaults& faults, Micros wait, bool blocks,
                std::uint32_t seed, Tally& t) {
    std::mt19937 random(seed);
    VirtualClock clock;
    SimulatedDrive drive;
    if (framing != Framing::Mbap)
        drive.setLink(1, 1, framing == Framing::Rtu ? 4 : 0);  // 9600, N,8,1 or N,7,2
    drive.setResponseDelay(Micros{static_cast<long long>(random() % 3000)});
    test::DistinctValues fresh{random};
    for (int r = 0; r <= test::kLastJobRegister; ++r) drive.setReg(r, fresh());
    GatewayLink link(drive, framing, faults);
    auto owned = std::make_unique<SimulatedGatewayPort>(link, clock);
    SimulatedGatewayPort& port = *owned;
    LineSession session(std::move(owned));
    session.setFraming(framing);
    session.setBlockReads(blocks);
    ASSERT_EQ(session.open(1, drive.settings()), OpenResult::Ok);
    session.setReplyTimeout(wait);
    for (int job = 0; job < 8; ++job) {
        test::PageTally page;
        session.submit([&] {
            test::readPage(session, drive, static_cast<int>(random() % 24) * 20, page);
            const auto reg = static_cast<std::uint16_t>(random() % (test::kLastJobRegister + 1));
            const std::uint16_t v = fresh();
            const ReplyCheck w = session.write(reg, v);
            ++t.writes;
            t.untaken += w.outcome == LinkOutcome::Ok && drive.reg(reg) != v;
            page.failed = page.failed || w.outcome != LinkOutcome::Ok;
            test::readPage(session, drive, reg / 20 * 20, page);
        });
        ++t.jobs;
        t.failed += page.failed;
        t.values += page.values;
        t.wrong += page.wrong;
        t.lost += session.portLost();
    }
    t.connects += port.connects();
}

}  // namespace

TEST(NetworkLine, NoRegisterTakesAnotherRegistersValueWhateverTheNetworkDoes) {
    // Another seed base from the environment (NETWORK_LINE_SEEDS) tries other networks.
    const std::uint32_t seedBase = test::seedBase("NETWORK_LINE_SEEDS");
    for (const Framing framing : {Framing::Mbap, Framing::Rtu, Framing::Ascii}) {
        Tally t;
        for (std::uint32_t seed = seedBase + 1; seed <= seedBase + 24; ++seed) {
            NetworkFaults faults;
            faults.seed = seed;
            faults.splitEveryByte = seed % 2 == 0;
            faults.latencyMost = 300ms;  // beyond the 100 ms wait: replies come late
            faults.duplicatePercent = 15;
            faults.dropPercent = seed % 4 == 0 ? 1 : 0;
            runSession(framing, faults, 100ms, seed % 3 == 0, seed * 7919, t);
        }
        std::cout << framingName(framing) << ": " << t.jobs << " jobs (" << t.failed
                  << " cut short, " << t.lost << " by a dropped connection), " << t.connects
                  << " connections, " << t.values << " values (" << t.wrong << " wrong), "
                  << t.writes << " writes (" << t.untaken << " told confirmed, not taken)\n";
        EXPECT_EQ(std::tuple(t.wrong, t.untaken), std::tuple(0, 0)) << framingName(framing);
        EXPECT_GT(t.connects, 24) << "dropped connections are made again for the next job";
        EXPECT_GT(t.values, t.jobs * 25) << "the values still get through";
    }
}

TEST(NetworkLine, AnHonestNetworkNeverFailsAJob) {
    for (const Framing framing : {Framing::Mbap, Framing::Rtu, Framing::Ascii}) {
        Tally t;
        for (std::uint32_t seed = 1; seed <= 12; ++seed) {
            NetworkFaults faults;
            faults.seed = seed;
            faults.splitEveryByte = seed % 2 == 1;
            faults.latencyMost = 300ms;  // within the wait
            runSession(framing, faults, 400ms, seed % 3 == 0, seed * 104729, t);
        }
        EXPECT_EQ(std::tuple(t.failed, t.wrong, t.connects), std::tuple(0, 0, 12))
            << framingName(framing);
    }
}

TEST(NetworkLine, ADroppedConnectionIsALostPortAndTheNextJobConnectsOnce) {
    VirtualClock clock;
    SimulatedDrive drive;
    NetworkFaults faults;
    faults.dropAt = 3;  // the third request is carried out, and the connection drops
    GatewayLink link(drive, Framing::Mbap, faults);
    auto owned = std::make_unique<SimulatedGatewayPort>(link, clock);
    SimulatedGatewayPort& port = *owned;
    LineSession session(std::move(owned));
    session.setFraming(Framing::Mbap);
    int toldLost = 0;
    session.setOnPortLost([&] { ++toldLost; });
    ASSERT_EQ(session.open(1, "9600,N,8,1"), OpenResult::Ok);
    std::vector<ReplyCheck> got;
    const std::uint16_t regs[] = {10, 11, 12, 13};
    session.submit([&] { got = session.readRegisters(regs); });
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(std::tuple(got[2].outcome, session.portLost(), toldLost),
              std::tuple(LinkOutcome::PortError, true, 1));
    // Nothing is sent inside the job once the port is lost.
    EXPECT_EQ(session.read(13).outcome, LinkOutcome::PortError);
    EXPECT_EQ(port.connects(), 1);
    // The next job connects again, once.
    session.submit([&] { got = session.readRegisters(regs); });
    EXPECT_EQ(port.connects(), 2);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[3].value, drive.reg(13));
    // A gateway that is gone: one try, then the port stays lost.
    link.setFaults({.dropAt = link.requests() + 2});
    session.submit([&] { got = session.readRegisters(regs); });
    EXPECT_TRUE(session.portLost());
    port.setReachable(false);
    session.submit([&] { got = session.readRegisters(regs); });
    port.setReachable(true);  // too late: that loss had its one try
    session.submit([&] { got = session.readRegisters(regs); });
    EXPECT_EQ(std::tuple(port.connects(), session.portLost(), got.front().outcome),
              std::tuple(2, true, LinkOutcome::PortError));
}
