// velorin-drive-sim: its options, each checked in full, and the built program.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>

#include "SimOptions.h"
#include "link/Transaction.h"
#include "support/DriveSimProcess.h"

using namespace velorin;
using namespace ::testing;
using velorin::test::DriveSimProcess;

namespace {
std::string error;  // the message of the last refusal

// A drive set up by `args`, which must be accepted.
std::unique_ptr<SimulatedDrive> driveWith(const std::vector<std::string_view>& args) {
    const auto o = parseSimOptions(args, error);
    EXPECT_TRUE(o) << error;
    auto drive = std::make_unique<SimulatedDrive>();
    if (o)
        configure(*drive, *o);
    return drive;
}
}  // namespace

TEST(SimOptions, RefusesAnythingButAWholeValueInRange) {
    // `error`: part of the message; empty when the options are accepted.
    // clang-format off
    const struct { std::vector<std::string_view> args; const char* error; } cases[] = {
        {{"--station", "254", "--response-delay-ms", "0", "--set", "300=-10", "--fault", "slow"}, ""},
        {{"--station", "abc"}, "--station: \"abc\" is not a station 0..254"},
        {{"--station", "3x"}, "--station"}, {{"--station", "255"}, "--station"},
        {{"--station", "-1"}, "--station"}, {{"--station", ""}, "--station"},
        {{"--station"}, "--station needs a value"},
        {{"--response-delay-ms", "99999999999999999"}, "--response-delay-ms: \"99999999999999999\""},
        {{"--response-delay-ms", "60001"}, "--response-delay-ms"},
        {{"--response-delay-ms", "1.5"}, "--response-delay-ms"},
        {{"--response-delay-ms", "+5"}, "--response-delay-ms"},
        {{"--set", "300"}, "--set: \"300\""}, {{"--set", "563=1"}, "--set"},
        {{"--set", "1=65536"}, "--set"}, {{"--set", "1=-32769"}, "--set"}, {{"--set", "=1"}, "--set"},
        {{"--set", "1= 2"}, "--set"}, {{"--settings", "9600,N,8,3"}, "--settings"},
        {{"--settings", "1234,N,7,2"}, "--settings"},
        {{"--fault", "sometimes"}, "--fault: unknown fault \"sometimes\""},
        {{"--fault", "duplicate", "--fault", "late", "--fault-rate", "0", "--seed", "4294967295",
          "--late-ms", "60000", "--duplicate-ms", "0"}, ""},
        {{"--fault-rate", "101"}, "--fault-rate: \"101\""}, {{"--seed", "-1"}, "--seed"},
        {{"--late-ms", "0"}, "--late-ms"}, {{"--duplicate-ms", "60001"}, "--duplicate-ms"},
        // The drive keeps eight faults.
        {{"--faults-history", "1@1,2@2,3@3,4@4,5@5,6@6,7@7,8@8"}, ""}, {{"--faults-history", ""}, ""},
        {{"--faults-history", "1@1,2@2,3@3,4@4,5@5,6@6,7@7,8@8,9@9"}, "at most 8 faults"},
        {{"--faults-history", "20"}, "--faults-history"}, {{"--faults-history", "20@"}, "--faults"},
        {{"--faults-history", "20@1200,"}, "--faults"}, {{"--faults-history", "20@65536"}, "--faults"},
        {{"--faults-history", "-1@5"}, "--faults"}, {{"--faults-history", "20@12x"}, "--faults"},
        {{"--stations", "1,1"}, "--stations: \"1,1\" is not a list"},
        {{"--stations", "1,2", "--set", "9:1=2"}, "station 9 has options but no drive"},
        {{"--tcp", "0", "--framing", "rtu", "--split-segments", "--latency-ms", "300",
          "--duplicate-segments", "10", "--drop-at", "50", "--drop-rate", "1"}, ""},
        {{"--tcp", "65536"}, "--tcp: \"65536\" is not a port"}, {{"--latency-ms", "5"}, "belong to --tcp"}};
    // clang-format on
    for (const auto& c : cases) {
        const auto o = parseSimOptions(c.args, error);
        if (*c.error == 0) {
            EXPECT_TRUE(o) << error;
        } else {
            EXPECT_FALSE(o) << c.error;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

// The other options are shown by the command line's tests on velorin-drive-sim.
TEST(SimOptions, WireTimeDuplicateLateAndAShareOfTheRequests) {
    const auto rq = rtuRequest(1, FunctionCode::ReadRegisters, 1, 44, 0, 1);
    auto chunkTimes = [&rq](std::vector<std::string_view> args, int requests) {
        const auto drive = driveWith(args);
        drive->setLink(1, 4, 4);  // 115200,N,8,1 RTU
        std::vector<long long> at;
        for (int i = 0; i < requests; ++i)
            for (const ReplyChunk& c : drive->hear(rq, drive->line())) at.push_back(c.at.count());
        return at;
    };
    // 8 + 7 characters of 10 bits at 115200 baud, and the 25 ms.
    EXPECT_THAT(chunkTimes({"--response-delay-ms", "25", "--wire-time"}, 1),
                ElementsAre(695 + 25000 + 608));
    // Without --wire-time every reply starts at the 2 ms response delay.
    EXPECT_THAT(chunkTimes({"--fault", "duplicate", "--duplicate-ms", "5"}, 1),
                ElementsAre(2000, 7000));
    EXPECT_THAT(chunkTimes({"--fault", "late"}, 1), ElementsAre(232000));
    EXPECT_THAT(chunkTimes({"--late-ms", "400", "--fault", "late", "--fault", "slow"}, 1),
                AnyOf(ElementsAre(402000), ElementsAre(302000)));
    const std::vector<std::string_view> mix{"--fault", "duplicate", "--fault-rate", "10",
                                            "--seed", "3"};
    const auto times = chunkTimes(mix, 1000);
    EXPECT_THAT(times.size() - 1000, AllOf(Gt(50u), Lt(150u)));
    EXPECT_EQ(chunkTimes(mix, 1000), times);
}

// A fault for every request is a mode of the drive: the simulator once queued a billion copies
// of it and ran out of memory.
TEST(SimOptions, AFaultForEveryRequestStaysFlatInMemory) {
    const auto drive = driveWith({"--fault", "noreply"});
    EXPECT_LE(drive->faultsQueued(), 1u);
    const auto rq = asciiRequest("010300640001");
    const std::vector<std::uint8_t> bytes(rq.begin(), rq.end());
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(drive->hear(bytes, drive->line()).empty()) << "request " << i;
        ASSERT_LE(drive->faultsQueued(), 1u);
    }
    EXPECT_EQ(drive->requestsHeard(), 10000);
    // An injected fault goes first, then the mode again.
    drive->setFaultMode(std::nullopt);
    drive->injectFault({DriveFault::Kind::NoReply});
    EXPECT_TRUE(drive->hear(bytes, drive->line()).empty());
    EXPECT_EQ(drive->hear(bytes, drive->line()).size(), 1u);
}

// A drive of several takes what all share and what is given for its own station.
TEST(SimOptions, SeveralDrivesEachWithWhatIsTheirOwn) {
    const auto o = parseSimOptions({"--stations", "1,2", "--set", "300=9", "--set", "2:301=7",
                                    "--faults-history", "2:21@10"},
                                   error);
    ASSERT_TRUE(o) << error;
    SimulatedDrive one, two;
    configure(one, *o, 1);
    configure(two, *o, 2);
    EXPECT_EQ(std::tuple(stationsOf(*o), two.station(), two.reg(300), two.reg(301), two.reg(403)),
              std::tuple(std::vector<int>{1, 2}, 2, 9, 7, 21));
    EXPECT_EQ(std::tuple(one.station(), one.reg(300), one.reg(301) == 7, one.reg(403)),
              std::tuple(1, 9, false, 0));
}

// Each option's checks are above; here only that the program stops on a refused one.
TEST(DriveSimProgram, UnusableOptionsExitWithStatusTwo) {
    QProcess p;
    p.start(DriveSimProcess::program(), {"--station", "abc"});
    ASSERT_TRUE(p.waitForFinished(5000));
    // No device path on standard output: it did not start.
    const QByteArray told = p.readAllStandardError();
    EXPECT_EQ(std::tuple(p.exitCode(), p.readAllStandardOutput().isEmpty(),
                         told.contains("--station: \"abc\" is not a station 0..254")),
              std::tuple(2, true, true)) << told.toStdString();
}

// A master that never reads fills the terminal's buffers: SIGTERM must still end the simulator.
TEST(DriveSimProgram, EndsOnSigtermWhileTheOtherEndStopsReading) {
    DriveSimProcess sim({"--response-delay-ms", "0", "--no-stdin"});
    ASSERT_TRUE(sim.started());
    const QByteArray path = QFile::encodeName(sim.devicePath());
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetspeed(&t, B9600);
    t.c_cflag |= CSTOPB;  // the drive's 9600,N,7,2
    ::tcsetattr(fd, TCSANOW, &t);

    const std::string request = velorin::asciiRequest("010300640001");
    std::size_t sent = 0;
    // Requests until the simulator no longer takes them (its replies pile up unread), 4 MB at most.
    while (sent < (4u << 20)) {
        const ssize_t w = ::write(fd, request.data(), request.size());
        if (w > 0) {
            sent += static_cast<std::size_t>(w);
            continue;
        }
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, 300) == 0)
            break;
    }
    const bool ended = sim.stop();
    ::close(fd);
    EXPECT_TRUE(ended) << "still running 3 s after SIGTERM, " << sent << " bytes sent";
}
