// The change log from the command line: set and write, --no-log, an unwritable log, `log`.

#include <QDir>
#include <QFile>

#include "CliSim.h"
#include "support/LoggedChanges.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

TEST(CliChangeLog, EveryWriteLeavesOneLinePerRegister) {
    // clang-format off
    const struct { const char* command; bool replyLost; const char* logged; } rows[] = {
        {"-p COM3 set P01.06 12.34", false, "P01.06 0>1234 0.00>12.34 已確認 "},
        {"-p COM3 write 31 1234", false, "P01.06 0>1234 0.00>12.34 已確認 "},
        {"-p COM3 set P01.06 12.34", true, "P01.06 0>1234 0.00>12.34 未確認 "},
    };
    // clang-format on
    for (const auto& row : rows) {
        SimEnvironment env;
        // The write carried out, its reply and the reads back of it lost.
        env.log.onSend = [&env, lost = row.replyLost](SerialPort&, int, FunctionCode function) {
            if (lost && function == FunctionCode::WriteRegister)
                env.drive.injectFault({DriveFault::Kind::NoReply}, 4);
        };
        cli(env, row.command);
        EXPECT_EQ(shortChanges(env.changeLogPath()),
                  std::vector<std::string>{row.logged + std::string("velorin-cli ") + row.command});
        const ChangeEntry first = loggedChanges(env.changeLogPath()).front();
        EXPECT_EQ(std::tie(first.port, first.settings, first.station),
                  std::tuple("COM3 (/dev/ttyUSB0)", "9600,N,7,2 ASCII", 1));
    }
}

// A log that cannot be written is told once with the reason; the write goes on, exit 7.
TEST(CliChangeLog, NothingIsLoggedWithNoLogAndALogThatCannotBeWrittenIsToldOnce) {
    SimEnvironment env;
    for (const char* command : {"-p COM3 write --no-log 31 5", "-p COM3 set --no-log P01.06 1"})
        EXPECT_EQ(cli(env, command).code, 0) << command;
    EXPECT_EQ(env.drive.writeLog().size(), 2u);
    EXPECT_FALSE(QFile::exists(env.changeLogPath()));
    ASSERT_TRUE(QDir().mkpath(env.changeLogPath()));
    const auto r = cli(env, "-p COM3 set P01.06 12.34 P00.00 2");
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_THAT(r.out, HasSubstr("P01.06\t起動轉速\t12.34\n"));
    EXPECT_EQ(env.drive.writeLog().size(), 4u);
    EXPECT_EQ(QString::fromStdString(r.err).count("the change log cannot be written"), 1) << r.err;
    EXPECT_THAT(
        r.err, AllOf(HasSubstr("Is a directory"), HasSubstr("2 writes are not in the change log")));
    EXPECT_EQ(cli(env, "-p COM3 write 31 6").code, 7);
}

TEST(CliChangeLog, LogPrintsTheLinesSinceADateForAStation) {
    SimEnvironment env;
    const LinkState link{3, Framing::Rtu, false, 3, "19200,E,8,1"};
    std::vector<std::string> lines;
    std::string text;
    for (auto [time, station] : {std::pair{"2026-11-30T23:59:59+08:00", 3},
                                 {"2026-12-01T08:00:00+08:00", 3},
                                 {"2026-12-01T09:00:00+08:00", 4}}) {
        ChangeEntry entry = wordChange({"COM3", &link, "寫入變頻機"}, 31, 1234, true);
        entry.time = time;
        entry.station = station;
        lines.push_back(changeLogLine(entry));
        text += lines.back();
    }
    text += "a line that is not one\n";
    ASSERT_TRUE(writeFile(env.changeLogPath(), text));
    // clang-format off
    const struct { const char* options; std::string out; } rows[] = {
        {"", lines[0] + lines[1] + lines[2]},
        {"--since 2026-12-01 --station 3", lines[1]},
        {"--since 2026-12-01T08:30", lines[2]},
    };
    // clang-format on
    for (const auto& row : rows) {
        const auto r = cli(env, QStringLiteral("log ") + row.options);
        EXPECT_EQ(std::tuple(r.code, r.out), std::tuple(0, row.out)) << row.options;
        EXPECT_THAT(r.err, HasSubstr("1 lines of")) << row.options;
    }
}

}  // namespace
}  // namespace velorin
