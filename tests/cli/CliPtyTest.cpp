// The built velorin-cli against velorin-drive-sim on a pseudo-terminal: real processes, time and
// serial port layer (a pty carries rate and stop bits, not parity or data bits).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <map>

#include "support/DriveSimProcess.h"
#include "support/Files.h"

namespace velorin {
namespace {

using namespace ::testing;
using test::DriveSimProcess;

struct Outcome {
    int code = -1;
    std::string out, err;
};

// velorin-cli on `port` with the words of `line`; `meanwhile` gets the running program.
Outcome cli(const QString& port, const QString& line,
            const std::function<void(QProcess&)>& meanwhile = {}) {
    QProcess p;
    p.start(QDir(qEnvironmentVariable("VELORIN_BUILD_DIR")).filePath("src/cli/velorin-cli"),
            QStringList{"--port", port} + line.split(' ', Qt::SkipEmptyParts));
    if (meanwhile)
        meanwhile(p);
    if (!p.waitForFinished(30000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

Outcome cli(const DriveSimProcess& sim, const QString& line,
            const std::function<void(QProcess&)>& meanwhile = {}) {
    return cli(sim.devicePath(), line, meanwhile);
}

// Each framing at a rate and stop bits of its own; the scan of station 3 finds 9600,N,7,2 with
// its second probe, 38400,N,8,1 with its 24th.
TEST(CliOverPty, ProbeAndScanInBothFramings) {
    using Framing = std::tuple<const char*, const char*, const char*>;  // settings, name, scan
    for (const auto& [settings, name, scanProbe] : {Framing{"9600,N,7,2", "ASCII", "probe 2 of 35"},
                                                    {"38400,N,8,1", "RTU", "probe 24 of 35"}}) {
        SCOPED_TRACE(name);
        const std::string found =
            std::string("settings=") + settings + " framing=" + name + " station=3\n";
        DriveSimProcess sim({"--station", "3", "--settings", settings, "--wire-time"});
        ASSERT_TRUE(sim.started());
        auto r = cli(sim, QStringLiteral("-s %1 --station 3 probe").arg(settings));
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, found)) << r.err;
        r = cli(sim, "scan --stations 3");
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, found)) << r.err;
        EXPECT_THAT(r.err, HasSubstr(scanProbe));
    }
}

// Registers 0-60 each with a value of its own: one taken for another register shows.
QStringList distinctValues() {
    QStringList args;
    for (int reg = 0; reg <= 60; ++reg)
        args << QStringLiteral("--set") << QStringLiteral("%1=%2").arg(reg).arg(1000 + 37 * reg);
    return args;
}

// A backup over a line with doubled or late replies, or in blocks from a drive that refuses (or
// shifts) blocks across 14-15, is byte for byte a clean line's, or fails and leaves no file:
// never exit 0 with a neighbour's value in it.
TEST(CliOverPty, EveryBackupIsTheOneACleanLineGivesOrNothing) {
    QTemporaryDir dir;
    const QString blocks = QStringLiteral("--max-block 16 --block-gaps 14-15");
    // The first row of each set of pages gives the file the others must match.
    // clang-format off
    const struct {
        const char* settings; QString sim; const char *pages, *options; bool faulty, disagree;
    } rows[] = {
        {"115200,N,8,1", "", "P00,P01", "", false, false},
        {"115200,N,8,1", "--fault duplicate --fault-rate 20 --seed 1", "P00,P01", "", true, false},
        {"115200,N,7,2", "--fault duplicate --fault-rate 20 --seed 2", "P00,P01", "", true, false},
        {"115200,N,7,2", "--fault late --fault-rate 10 --seed 3", "P00,P01", "", true, false},
        {"115200,N,8,1", "--fault late --fault duplicate --fault-rate 15 --seed 4", "P00,P01", "",
         true, false},
        {"115200,N,8,1", blocks, "P00,P03,P04", "", false, false},
        {"115200,N,8,1", blocks, "P00,P03,P04", "--block-reads", false, false},
        {"115200,N,8,1", blocks + " --fault block-shift", "P00,P03,P04", "--block-reads", false,
         true}};
    // clang-format on
    std::map<std::string, std::string> clean;  // by the pages
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.settings) + " " + row.sim.toStdString() + " " + row.options);
        DriveSimProcess sim(QStringList{"--settings", row.settings} +
                            row.sim.split(' ', Qt::SkipEmptyParts) + distinctValues());
        ASSERT_TRUE(sim.started());
        const QString file = dir.filePath(QStringLiteral("backup%1.txt").arg(++n));
        const Outcome r = cli(sim, QStringLiteral("-s %1 %2 backup --pages %3 ")
                                       .arg(row.settings, row.options, row.pages) + file);
        if (row.faulty && r.code != 0) {
            EXPECT_FALSE(QFile::exists(file)) << "exit " << r.code << " left a file";
            continue;
        }
        ASSERT_EQ(r.code, 0) << r.err;
        clean.try_emplace(row.pages, test::fileBytes(file));
        EXPECT_EQ(test::fileBytes(file), clean[row.pages]) << "exit 0 with values not the drive's";
        // A sound drive's blocks never disagree (a loaded machine may keep the shifting one's
        // from being told: its file is right either way).
        const bool told = r.err.find("block reads disagree with single reads") != std::string::npos;
        EXPECT_TRUE(row.disagree || !told) << r.err;
    }
}

// SIGTERM stops a restore between two writes as Ctrl+C does, with exit status 128 + 15; the
// change log is the private home's (the user's folders: tests/support/user_folders.sh).
TEST(CliOverPty, SigtermDuringRestoreTellsTheWritesConfirmed) {
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    {
        DriveSimProcess first({"--settings", "115200,N,8,1"});  // values the fields can show
        ASSERT_TRUE(first.started());
        ASSERT_EQ(cli(first, "-s 115200,N,8,1 backup --pages P00,P01 " + file).code, 0);
    }
    // Slow enough to be caught in the middle: about 60 ms a write.
    DriveSimProcess sim({"--response-delay-ms", "40", "--wire-time", "--log"});
    ASSERT_TRUE(sim.started());
    const Outcome r = cli(sim, "restore " + file, [&sim](QProcess& p) {
        for (int i = 0; i < 500 && sim.writes().size() < 5; ++i) p.waitForFinished(10);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    });
    EXPECT_EQ(r.code, 143) << r.err;
    const QStringList written = sim.writes();
    EXPECT_THAT(written.size(), AllOf(Ge(5), Lt(40)));
    EXPECT_THAT(r.err, HasSubstr("the write stopped at SIGTERM: " + std::to_string(written.size()) +
                                 " writes confirmed, the rest not written"));
    EXPECT_THAT(r.err, HasSubstr("interrupted; the port is closed"));
    EXPECT_THAT(test::fileBytes(
                    QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("velorin/changes.log")),
                HasSubstr("restore " + file.toStdString()));
}

TEST(CliOverPty, AFileIsNotASerialPort) {
    QTemporaryDir dir;
    const QString file = dir.filePath("notes.txt"), fifo = dir.filePath("fifo");
    ASSERT_TRUE(test::writeFile(file, ""));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& port : {file, fifo, QStringLiteral("/dev/null"), dir.path()}) {
        SCOPED_TRACE(port.toStdString());
        const Outcome r = cli(port, "probe");
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(3, ""));
        EXPECT_THAT(r.err, HasSubstr("port " + port.toStdString() + " is not a serial port"));
    }
}

}  // namespace
}  // namespace velorin
