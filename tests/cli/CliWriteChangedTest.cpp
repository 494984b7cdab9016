// restore --changed-only, in-process on the simulated drive and the virtual clock.

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
    ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
    Writes expected;
    for (auto [reg, value] : {std::pair{0, 3}, {31, 1234}, {230, 77}}) {
        expected.emplace_back(reg, env.drive.reg(reg));
        env.drive.setReg(reg, static_cast<std::uint16_t>(value));
    }
    env.drive.clearWriteLog();
    const auto r = cli(env, "-p COM3 restore --changed-only " + file);
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "")) << r.err;
    EXPECT_EQ(writesOf(env.drive), expected);
    EXPECT_THAT(r.err, HasSubstr("restore done: 3 writes sent, 3 confirmed, "));
}

}  // namespace
}  // namespace velorin
