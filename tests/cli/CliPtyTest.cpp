// The built velorin-cli against velorin-drive-sim on a pseudo-terminal: real processes, real
// time, the real serial port layer. A pty carries the rate and the stop bits but not parity or
// data bits, so the simulator holds the CLI to rate, stop bits and framing only.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QProcess>
#include <QSerialPort>

#include "support/DriveSimProcess.h"

namespace velorin {
namespace {

using test::DriveSimProcess;
using ::testing::HasSubstr;

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

QString cliProgram() {
    return QDir(qEnvironmentVariable("VELORIN_BUILD_DIR"))
        .filePath(QStringLiteral("src/cli/velorin-cli"));
}

Outcome finish(QProcess& p) {
    if (!p.waitForFinished(30000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

Outcome cli(const QStringList& args) {
    QProcess p;
    p.start(cliProgram(), args);
    return finish(p);
}

struct Framing {
    const char* settings;
    const char* name;
};

TEST(CliOverPty, ProbeReadWriteInBothFramings) {
    for (const Framing& f : {Framing{"9600,N,7,2", "ASCII"}, Framing{"38400,N,8,1", "RTU"}}) {
        SCOPED_TRACE(f.name);
        DriveSimProcess sim(
            {"--station", "3", "--settings", f.settings, "--set", "100=65526", "--log"});
        ASSERT_TRUE(sim.started());
        const QStringList link{"--port",   sim.devicePath(), "--settings",
                               f.settings, "--station",      "3"};

        auto r = cli(link + QStringList{"probe"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out,
                  std::string("settings=") + f.settings + " framing=" + f.name + " station=3\n");

        r = cli(link + QStringList{"--signed", "read", "100", "0x01F0"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "100 -10\n0x01F0 3\n");

        r = cli(link + QStringList{"--trace", "write", "101", "-5"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "101 65531\n");
        EXPECT_THAT(r.err, HasSubstr("] -> "));
        EXPECT_THAT(r.err, HasSubstr("  ok\n"));
        EXPECT_THAT(sim.writes(), ::testing::Contains(QStringLiteral("101 65531")));
        EXPECT_EQ(cli(link + QStringList{"read", "101"}).out, "101 65531\n");

        // At another rate the drive stays silent.
        r = cli(
            {"--port", sim.devicePath(), "--settings", "4800,N,7,2", "--station", "3", "probe"});
        EXPECT_EQ(r.code, 1);
        EXPECT_THAT(r.err, HasSubstr("no reply"));
        r = cli(
            {"--port", sim.devicePath(), "--station", "4", "-s", f.settings, "write", "1", "2"});
        EXPECT_EQ(r.code, 4);
    }
}

TEST(CliOverPty, ScanInBothFramings) {
    struct Case {
        const char* driveSettings;
        const char* stations;
        const char* found;
        const char* probe;
    };
    // Station 2 at 9600,N,7,2: past the 35 probes of station 1, the second probe of station 2.
    // Station 2 at 4800,N,8,2: past the ASCII formats (the ASCII probe at 4800 with two stop
    // bits reaches the drive but is no RTU frame), the first RTU probe.
    for (const Case& c : {Case{"9600,N,7,2", "1-2", "settings=9600,N,7,2 framing=ASCII station=2\n",
                               "probe 37 of 70"},
                          Case{"4800,N,8,2", "2", "settings=4800,N,8,2 framing=RTU station=2\n",
                               "probe 16 of 35"}}) {
        SCOPED_TRACE(c.driveSettings);
        DriveSimProcess sim({"--station", "2", "--settings", c.driveSettings});
        ASSERT_TRUE(sim.started());
        const auto r = cli({"--port", sim.devicePath(), "scan", "--stations", c.stations});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, c.found);
        EXPECT_THAT(r.err, HasSubstr(c.probe));
    }
}

TEST(CliOverPty, InterruptStopsTheScan) {
    DriveSimProcess sim({"--station", "200"});
    ASSERT_TRUE(sim.started());
    QProcess p;
    p.start(cliProgram(), {"--port", sim.devicePath(), "scan"});
    ASSERT_TRUE(p.waitForStarted());
    // Let it get into the scan, then press Ctrl+C.
    p.setReadChannel(QProcess::StandardError);
    p.waitForReadyRead(5000);
    p.waitForFinished(800);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    const Outcome r = finish(p);
    EXPECT_EQ(r.code, 130);
    EXPECT_THAT(r.err, HasSubstr("interrupted; the port is closed"));
    // The port is free again: the next command opens it.
    EXPECT_EQ(cli({"--port", sim.devicePath(), "--station", "200", "probe"}).code, 0);
}

TEST(CliOverPty, PortHeldByAnotherProgramIsInUse) {
    DriveSimProcess sim;
    ASSERT_TRUE(sim.started());
    QSerialPort holder(sim.devicePath());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    const auto r = cli({"--port", sim.devicePath(), "probe"});
    EXPECT_EQ(r.code, 3);
    EXPECT_THAT(r.err, HasSubstr("is in use by another program"));
    holder.close();
    EXPECT_EQ(cli({"--port", sim.devicePath(), "probe"}).code, 0);

    const auto missing = cli({"--port", "/dev/velorin-no-such-port", "probe"});
    EXPECT_EQ(missing.code, 3);
    EXPECT_THAT(missing.err, HasSubstr("not found"));
    EXPECT_EQ(cli({"ports"}).code, 0);
}

}  // namespace
}  // namespace velorin
