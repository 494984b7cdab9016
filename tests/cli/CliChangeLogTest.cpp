// The change log from the command line: the lines set, restore and write leave on the simulated
// drive, --no-log, a log that cannot be written, and `log --since --station`.

#include <QDir>
#include <QFile>

#include "CliSim.h"
#include "support/DriveWrites.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

std::vector<ChangeEntry> logOf(const SimEnvironment& env) {
    std::vector<ChangeEntry> entries;
    QFile file(env.changeLogFile.path());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const auto entry = parseChangeLogLine(file.readLine().toStdString());
        EXPECT_TRUE(entry);
        if (entry)
            entries.push_back(*entry);
    }
    return entries;
}

TEST(CliChangeLog, EveryWriteLeavesOneLinePerRegister) {
    const struct {
        const char* command;
        int exitCode;
        bool confirmed;
    } rows[] = {
        {"-p COM3 set P01.06 12.34", 0, true},
        {"-p COM3 write 31 1234", 0, true},
        {"-p COM3 set P01.06 12.34", 4, false},  // the reply to the write is lost
    };
    for (const auto& row : rows) {
        SimEnvironment env;
        env.log.loseWriteReplies = !row.confirmed;
        const auto r = cli(env, row.command);
        ASSERT_EQ(r.code, row.exitCode) << row.command << r.err;
        const std::vector<ChangeEntry> entries = logOf(env);
        ASSERT_EQ(entries.size(), 1u) << row.command;
        const ChangeEntry& e = entries.front();
        EXPECT_EQ(std::tie(e.port, e.settings, e.station, e.code, e.name),
                  std::tuple("COM3 (/dev/ttyUSB0)", "9600,N,7,2 ASCII", 1, "P01.06", "起動轉速"));
        EXPECT_EQ(std::tie(e.oldRaw, e.newRaw, e.oldShown, e.newShown, e.confirmed),
                  std::tuple(std::optional(0), 1234, "0.00", "12.34", row.confirmed));
        EXPECT_EQ(e.command, std::string("velorin-cli ") + row.command);
    }
}

TEST(CliChangeLog, ARestoreLogsWhatTheDriveGotAndNoLogLeavesNothing) {
    SimEnvironment env;
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    env.drive.setReg(382, 1000);  // values the range checks pass
    env.drive.setReg(499, 5);
    ASSERT_EQ(cli(env, "-p COM3 backup " + file).code, 0);
    env.drive.setReg(31, 77);
    env.drive.clearWriteLog();
    ASSERT_EQ(cli(env, "-p COM3 restore --changed-only " + file).code, 0);
    Writes logged;
    for (const ChangeEntry& e : logOf(env)) {
        logged.emplace_back(Catalogue::registerOf(e.code).value_or(-1), e.newRaw);
        EXPECT_TRUE(e.confirmed);
    }
    EXPECT_EQ(logged, writesOf(env.drive));
    EXPECT_EQ(logged.size(), 1u);

    QFile::remove(env.changeLogFile.path());
    for (const QString& command : {"restore --no-log " + file, "restore --dry-run " + file,
                                   QStringLiteral("set --no-log P01.06 1")})
        EXPECT_EQ(cli(env, "-p COM3 " + command).code, 0) << command.toStdString();
    EXPECT_FALSE(QFile::exists(env.changeLogFile.path()));
}

TEST(CliChangeLog, ALogThatCannotBeWrittenIsToldOnceAndTheWriteGoesOn) {
    SimEnvironment env;
    ASSERT_TRUE(QDir().mkpath(env.changeLogFile.path()));
    const auto r = cli(env, "-p COM3 set P01.06 12.34 P00.00 2");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("P01.06\t起動轉速\t12.34\n"));
    EXPECT_EQ(writesOf(env.drive).size(), 2u);
    const auto told = QString::fromStdString(r.err).count("the change log cannot be written");
    EXPECT_EQ(told, 1) << r.err;
}

TEST(CliChangeLog, LogPrintsTheLinesSinceADateForAStation) {
    SimEnvironment env;
    const LinkState link{3, Framing::Rtu, false, 3, "19200,E,8,1"};
    std::string text;
    std::vector<std::string> lines;
    for (auto [time, station] : {std::pair{"2026-11-30T23:59:59+08:00", 3},
                                 {"2026-12-01T08:00:00+08:00", 3},
                                 {"2026-12-01T09:00:00+08:00", 4},
                                 {"2026-12-02T10:00:00+08:00", 3}}) {
        ChangeEntry entry = wordChange({"COM3", &link, "寫入變頻機"}, 31, 1234, true);
        entry.time = time;
        entry.station = station;
        lines.push_back(changeLogLine(entry));
        text += lines.back();
    }
    text += "a line that is not one\n";
    QFile file(env.changeLogPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();

    const struct {
        const char* options;
        std::string out;
    } rows[] = {
        {"", lines[0] + lines[1] + lines[2] + lines[3]},
        {"--since 2026-12-01 --station 3", lines[1] + lines[3]},
        {"--since 2026-12-01T08:30", lines[2] + lines[3]},
        {"--station 5", ""},
    };
    for (const auto& row : rows) {
        const auto r = cli(env, QStringLiteral("log ") + row.options);
        EXPECT_EQ(std::tuple(r.code, r.out), std::tuple(0, row.out)) << row.options;
        EXPECT_THAT(r.err, HasSubstr("1 lines of")) << row.options;
    }
    for (const char* bad : {"log --since 2026-12", "log --station 256", "probe --since 2026-12-01",
                            "log -p COM3 --no-log"})
        EXPECT_EQ(cli(env, bad).code, 2) << bad;
}

}  // namespace
}  // namespace velorin
