// restore --changed-only and set write only what differs from the drive, in-process on the
// simulated drive and the virtual clock.

#include <QTemporaryDir>

#include "CliSim.h"
#include "support/DriveWrites.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

TEST(CliWriteChanged, RestoreChangedOnlySendsTheThreeParametersThatDiffer) {
    SimEnvironment env;
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    env.drive.setReg(382, 1000);  // P11.14 100.0 and P15.03 5: values the range checks pass
    env.drive.setReg(499, 5);
    auto r = cli(env, "-p COM3 backup " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    Writes expected;
    for (auto [reg, value] : {std::pair{0, 3}, {31, 1234}, {230, 77}}) {
        expected.emplace_back(reg, env.drive.reg(reg));
        env.drive.setReg(reg, static_cast<std::uint16_t>(value));
    }
    env.drive.clearWriteLog();
    r = cli(env, "-p COM3 restore --changed-only " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;
    EXPECT_EQ(writesOf(env.drive), expected);
    EXPECT_THAT(r.err, HasSubstr("restore done: 3 writes sent, 3 confirmed, "));
    // Once more: the drive holds the file.
    env.drive.clearWriteLog();
    r = cli(env, "-p COM3 restore --changed-only " + file);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(env.drive.writeLog(), IsEmpty());
    EXPECT_THAT(cli(env, "-p COM3 set --changed-only P00.00 1").err,
                HasSubstr("--changed-only belongs to restore"));
}

// set writes the parameters named and those whose raw value follows from them (here the times of
// P03 at the new ramp unit, each printed), nothing else of their pages.
TEST(CliWriteChanged, SetWritesTheNamedParametersAndWhatFollowsFromThemOnly) {
    SimEnvironment env;
    auto r = cli(env, "-p COM3 set P01.06 12.34 P01.08 5");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(writesOf(env.drive), (Writes{{31, 1234}, {33, 500}}));
    env.drive.clearWriteLog();
    env.drive.setReg(97, 1234);
    r = cli(env, "-p COM3 set P03.00 1");
    EXPECT_EQ(r.code, 0) << r.err;
    const Writes writes = writesOf(env.drive);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front(), (std::pair{96, 1}));
    std::size_t followers = 0;
    for (auto at = r.out.find(" -> "); at != std::string::npos; at = r.out.find(" -> ", at + 1))
        ++followers;
    EXPECT_EQ(writes.size(), 1 + followers);
    EXPECT_THAT(r.out, HasSubstr("P03.01 加速時間1 12.34 -> 12.3\n"));
}

}  // namespace
}  // namespace velorin
