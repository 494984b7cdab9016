// velorin-cli's commands in-process: the simulated drive on a virtual clock behind the port
// names COM3 and /dev/ttyUSB0.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTextStream>

#include "cli/CliCommands.h"
#include "cli/ScanOrder.h"
#include "sim/SimulatedPort.h"

namespace velorin {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Probe {
    std::string settings;
    int station;
};

class SimEnvironment;

// Remembers the settings and station of every probe, in the order they went out.
class RecordingPort : public SimulatedPort {
public:
    RecordingPort(SimulatedLine& line, TimedWait& wait, std::vector<Probe>& log)
        : SimulatedPort(line, wait, "/dev/ttyUSB0"), m_log(log) {}
    bool send(std::span<const std::uint8_t> bytes) override {
        const bool rtu = parseSettings(settings())->dataBits == 8;
        const int station =
            rtu ? bytes[0]
                : std::stoi(std::string(bytes.begin() + 1, bytes.begin() + 3), nullptr, 16);
        m_log.push_back({settings(), station});
        return SimulatedPort::send(bytes);
    }

private:
    std::vector<Probe>& m_log;
};

// A port the user may not open.
class ForbiddenPort : public SimulatedPort {
public:
    using SimulatedPort::SimulatedPort;
    OpenResult open() override { return OpenResult::NoPermission; }
};

class SimEnvironment : public CliEnvironment {
public:
    VirtualClock clock;
    SimulatedDrive drive;
    SimulatedLine line{drive};
    std::vector<Probe> sent;
    std::vector<CliPort> portList;
    bool stop = false;
    bool terminal = false;

    TimedWait& timedWait() override { return clock; }
    std::unique_ptr<SerialPort> createPort(const QString& name) override {
        if (name == QLatin1String("COM3") || name == QLatin1String("/dev/ttyUSB0"))
            return std::make_unique<RecordingPort>(line, clock, sent);
        if (name == QLatin1String("/dev/ttyS7"))
            return std::make_unique<ForbiddenPort>(line, clock, "/dev/ttyS7");
        return nullptr;
    }
    std::vector<CliPort> listPorts() override { return portList; }
    QString permissionFix(const QString& port) const override {
        return QStringLiteral("join dialout for ") + port;
    }
    bool stopRequested() const override { return stop; }
    bool errIsTerminal() const override { return terminal; }
};

struct Outcome {
    int code;
    QString out;
    QString err;
};

Outcome cli(SimEnvironment& env, QStringList args) {
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    args.prepend(QStringLiteral("velorin-cli"));
    const int code = runCli(args, env, outStream, errStream);
    return {code, out, err};
}

std::string text(const QString& s) {
    return s.toStdString();
}

struct Framing {
    const char* settings;
    int rate, format;
    const char* name;
};
const Framing kFramings[] = {{"9600,N,7,2", 1, 0, "ASCII"}, {"19200,E,8,1", 2, 5, "RTU"}};

TEST(CliCommands, ProbeReadWriteInBothFramings) {
    for (const Framing& f : kFramings) {
        SCOPED_TRACE(f.name);
        SimEnvironment env;
        env.drive.setLink(5, f.rate, f.format);
        env.drive.setReg(100, 65526);  // -10
        const QStringList link{"--port", "COM3", "--settings", f.settings, "--station", "5"};

        auto r = cli(env, link + QStringList{"probe"});
        EXPECT_EQ(r.code, 0) << text(r.err);
        EXPECT_EQ(text(r.out),
                  std::string("settings=") + f.settings + " framing=" + f.name + " station=5\n");

        r = cli(env, link + QStringList{"read", "100", "0x2101", "0X01f0"});
        EXPECT_EQ(r.code, 0) << text(r.err);
        EXPECT_EQ(text(r.out), "100 65526\n0x2101 0\n0x01F0 5\n");
        r = cli(env, link + QStringList{"--signed", "read", "100"});
        EXPECT_EQ(text(r.out), "100 -10\n");

        // A negative value travels as its two's complement; hexadecimal register and value.
        r = cli(env, link + QStringList{"write", "101", "-32768"});
        EXPECT_EQ(r.code, 0) << text(r.err);
        EXPECT_EQ(text(r.out), "101 32768\n");
        EXPECT_EQ(env.drive.reg(101), 0x8000);
        r = cli(env, link + QStringList{"write", "0x2000", "0x12"});  // run forward
        EXPECT_EQ(r.code, 0) << text(r.err);
        EXPECT_TRUE(env.drive.running());
        EXPECT_EQ(text(cli(env, link + QStringList{"read", "8449"}).out), "8449 1\n");

        EXPECT_FALSE(env.line.isHeld());  // every command closes the port
    }
}

TEST(CliCommands, WriteOfTheStationIsFollowedByTheDrive) {
    SimEnvironment env;
    auto r = cli(env, {"-p", "/dev/ttyUSB0", "write", "496", "7"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(text(r.err), HasSubstr("answers at station 7"));
    EXPECT_EQ(cli(env, {"-p", "/dev/ttyUSB0", "probe"}).code, 1);
    r = cli(env, {"-p", "/dev/ttyUSB0", "--station", "7", "probe"});
    EXPECT_EQ(text(r.out), "settings=9600,N,7,2 framing=ASCII station=7\n");
}

TEST(CliCommands, FailuresOnTheLine) {
    struct Case {
        const char* what;
        std::function<void(SimulatedDrive&)> arrange;
        QStringList args;
        int code;
        const char* out;
        const char* err;
    };
    using K = DriveFault::Kind;
    const std::vector<Case> cases = {
        {"probe at another station",
         {},
         {"--station", "6", "probe"},
         1,
         "",
         "no drive answered at station 6 with 9600,N,7,2 (Modbus ASCII) on COM3 (/dev/ttyUSB0): no "
         "reply"},
        {"probe of a drive whose P496 holds 0",
         [](auto& d) { d.setReg(496, 0); },
         {"probe"},
         1,
         "",
         "holds 0"},
        {"probe at other settings", {}, {"-s", "9600,E,7,1", "probe"}, 1, "", "no reply"},
        {"read of a register the drive lacks, among good ones",
         {},
         {"read", "1", "600", "2"},
         1,
         "1 ",
         "register 600: no usable reply: exception 2 (illegal data address)"},
        {"read with a corrupt LRC",
         [](auto& d) { d.injectFault({K::CorruptChecksum}); },
         {"read", "1"},
         1,
         "",
         "bad LRC"},
        {"write the drive refuses",
         {},
         {"write", "498", "9"},
         4,
         "",
         "write of 9 to register 498 not confirmed: exception 3 (illegal data value)"},
        {"write without echo",
         [](auto& d) { d.injectFault({K::NoReply}); },
         {"write", "1", "2"},
         4,
         "",
         "may or may not have taken it"},
        {"write echoed by another station",
         [](auto& d) { d.injectFault({K::OtherStation}); },
         {"write", "1", "2"},
         4,
         "",
         "wrong station"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimEnvironment env;
        if (c.arrange)
            c.arrange(env.drive);
        const auto r = cli(env, QStringList{"--port", "COM3"} + c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_THAT(text(r.out), ::testing::StartsWith(c.out));
        EXPECT_THAT(text(r.err), HasSubstr(c.err));
        EXPECT_FALSE(env.line.isHeld());
    }
}

TEST(CliCommands, TraceShowsFramesTimesAndChecks) {
    SimEnvironment rtu;
    rtu.drive.setLink(1, 1, 3);
    auto r = cli(rtu, {"-p", "COM3", "-s", "9600,N,8,2", "--trace", "read", "496"});
    EXPECT_THAT(text(r.err), HasSubstr("] -> 01 03 01 F0 00 01 85 C5\n"));
    EXPECT_THAT(text(r.err), HasSubstr("] <- 01 03 02 00 01 "));
    EXPECT_THAT(text(r.err), HasSubstr("  ok\n"));
    EXPECT_THAT(text(r.err), ::testing::ContainsRegex("^\\[ +0\\.0[0-9]{5}\\] ->"));
    rtu.drive.injectFault({DriveFault::Kind::CorruptChecksum});
    r = cli(rtu, {"-p", "COM3", "-s", "9600,N,8,2", "--trace", "read", "496"});
    EXPECT_THAT(text(r.err), HasSubstr("  bad CRC\n"));
    rtu.drive.injectFault({DriveFault::Kind::Exception, 4});
    r = cli(rtu, {"-p", "COM3", "-s", "9600,N,8,2", "--trace", "read", "496"});
    EXPECT_THAT(text(r.err), HasSubstr("<- 01 83 04 40 F3  exception 4 (drive failure)\n"));

    SimEnvironment ascii;
    r = cli(ascii, {"-p", "COM3", "--trace", "read", "496"});
    EXPECT_THAT(text(r.err), HasSubstr("] -> :010301F000010A\\r\\n\n"));
    EXPECT_THAT(text(r.err), HasSubstr("] <- :0103020001F9\\r\\n  ok\n"));
    r = cli(ascii, {"-p", "COM3", "--station", "2", "--trace", "read", "496"});
    EXPECT_THAT(text(r.err), HasSubstr("] <- (nothing)  no reply\n"));
    // Without --trace the link is quiet.
    r = cli(ascii, {"-p", "COM3", "read", "496"});
    EXPECT_THAT(text(r.err), Not(HasSubstr("->")));
}

TEST(CliCommands, ScanOrderLandmarks) {
    const ScanOrder all;
    EXPECT_EQ(all.total(), 8890);
    struct Case {
        long probe;  // 1-based, as the technician counts them
        int station;
        const char* settings;
    };
    for (const Case& c :
         {Case{1, 1, "4800,N,7,2"}, Case{2, 1, "9600,N,7,2"}, Case{6, 1, "4800,E,7,1"},
          Case{15, 1, "115200,O,7,1"}, Case{16, 1, "4800,N,8,2"}, Case{35, 1, "115200,O,8,1"},
          Case{36, 2, "4800,N,7,2"}, Case{98, 3, "19200,E,8,1"}, Case{8890, 254, "115200,O,8,1"}}) {
        const ScanStep s = all.step(c.probe - 1);
        EXPECT_EQ(s.station, c.station) << c.probe;
        EXPECT_EQ(s.settings(), c.settings) << c.probe;
    }
    EXPECT_EQ(ScanOrder(10, 12).step(35).station, 11);
}

TEST(CliCommands, ScanFindsStation3At19200E81WithThe98thProbe) {
    SimEnvironment env;
    env.drive.setLink(3, 2, 5);
    const auto r = cli(env, {"--port", "COM3", "scan"});
    EXPECT_EQ(r.code, 0) << text(r.err);
    EXPECT_EQ(text(r.out), "settings=19200,E,8,1 framing=RTU station=3\n");
    EXPECT_THAT(text(r.err), HasSubstr("found by probe 98 of 8890"));
    EXPECT_EQ(env.line.opens(), 98);  // one open per probe
    ASSERT_EQ(env.sent.size(), 98u);
    // What went out on the line, against the order the technician expects.
    const ScanOrder order;
    for (long i = 0; i < 98; ++i) {
        EXPECT_EQ(env.sent[i].settings, order.step(i).settings()) << i;
        EXPECT_EQ(env.sent[i].station, order.step(i).station) << i;
    }
    // 97 probes without an answer each waited out their deadline (longer at 4800 ASCII).
    EXPECT_GT(env.clock.now(), Micros{97 * 100000});
    EXPECT_LT(env.clock.now(), Micros{98 * 130000});
    EXPECT_FALSE(env.line.isHeld());
    EXPECT_THAT(text(r.err), HasSubstr("scanning station 3 of 1-254\n"));
}

TEST(CliCommands, ScanWithoutAnswerTriesEveryCombinationOnce) {
    SimEnvironment env;
    env.drive.setReg(496, 0);  // answers, but never counts as found
    auto r = cli(env, {"--port", "COM3", "scan"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(env.line.opens(), 8890);
    EXPECT_THAT(text(r.err),
                HasSubstr("no drive found on COM3 (/dev/ttyUSB0) at stations 1-254 (8890 probes)"));
    EXPECT_EQ(r.out, QString());

    SimEnvironment two;
    two.drive.setLink(9, 1, 0);
    r = cli(two, {"--port", "COM3", "scan", "--stations", "1-2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(two.line.opens(), 70);
    EXPECT_EQ(cli(two, {"--port", "COM3", "scan", "--stations", "9"}).code, 0);
}

TEST(CliCommands, CtrlCStopsTheScanWithThePortClosed) {
    SimEnvironment env;
    env.drive.setLink(200, 1, 0);
    env.clock.at(Micros{5000000}, [&] { env.stop = true; });
    const auto r = cli(env, {"--port", "COM3", "scan"});
    EXPECT_EQ(r.code, 130);
    EXPECT_THAT(text(r.err), HasSubstr("scan stopped before probe"));
    EXPECT_THAT(text(r.err), HasSubstr("interrupted; the port is closed"));
    EXPECT_FALSE(env.line.isHeld());
    EXPECT_GT(env.line.opens(), 30);
    EXPECT_LT(env.line.opens(), 60);  // it stopped within a probe of the press
}

TEST(CliCommands, ScanOnATerminalKeepsOneLiveLineWithTheTimeLeft) {
    SimEnvironment env;
    env.terminal = true;
    env.drive.setLink(2, 0, 0);
    const auto r = cli(env, {"--port", "COM3", "scan"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(text(r.out), "settings=4800,N,7,2 framing=ASCII station=2\n");
    const std::string err = text(r.err);
    EXPECT_THAT(err, HasSubstr("\rscan: station 1 of 1-254, ASCII,7,N,2, 4800 baud, about"));
    EXPECT_THAT(err, HasSubstr("\rscan: station 2 of 1-254, ASCII,7,N,2, 4800 baud, about"));
    EXPECT_THAT(err, ::testing::ContainsRegex("RTU,8,O,1, 115200 baud, about 1[45] min [0-9]+ s "
                                              "left"));
    EXPECT_THAT(err, Not(HasSubstr("scanning station")));
    // The live line is wiped before the result line.
    EXPECT_THAT(err, ::testing::ContainsRegex("\r +\rfound by probe 36 of 8890"));
}

TEST(CliCommands, PortThatCannotBeOpened) {
    struct Case {
        const char* port;
        bool held;
        const char* err;
    };
    for (const Case& c :
         {Case{"COM3", true, "port COM3 (/dev/ttyUSB0) is in use by another program"},
          Case{"COM9", false, "port COM9 not found"},
          Case{"/dev/ttyS7", false,
               "no permission to open port /dev/ttyS7; fix: join dialout for "
               "/dev/ttyS7"}}) {
        for (const char* command : {"probe", "scan"}) {
            SCOPED_TRACE(std::string(c.port) + " " + command);
            SimEnvironment env;
            env.line.setHeldElsewhere(c.held);
            const auto r = cli(env, {"--port", c.port, command});
            EXPECT_EQ(r.code, 3);
            EXPECT_THAT(text(r.err), HasSubstr(c.err));
        }
    }
    // The adapter pulled out in the middle of a scan.
    SimEnvironment env;
    env.drive.setLink(100, 1, 0);
    env.clock.at(Micros{2000000}, [&] { env.line.setPresent(false); });
    const auto r = cli(env, {"--port", "COM3", "scan"});
    EXPECT_EQ(r.code, 3);
    EXPECT_THAT(text(r.err), HasSubstr("not found"));
    EXPECT_THAT(text(r.err), HasSubstr("scan stopped at station 1, "));
}

TEST(CliCommands, UsageErrors) {
    struct Case {
        QStringList args;
        const char* err;
    };
    const std::vector<Case> cases = {
        {{}, "no command given"},
        {{"-p", "COM3", "erase"}, "unknown command \"erase\""},
        {{"-p", "COM3", "--bogus", "probe"}, "Unknown option 'bogus'"},
        {{"probe"}, "no port given"},
        {{"read", "1"}, "no port given"},
        {{"-p", "COM3", "-s", "9600,N,8,3", "probe"}, "unknown settings string \"9600,N,8,3\""},
        {{"-p", "COM3", "-s", "1200,N,7,2", "probe"}, "unknown settings string"},
        {{"-p", "COM3", "-s", "9600,N,7,1", "probe"}, "unknown settings string"},
        {{"-p", "COM3", "--station", "0", "probe"}, "station \"0\" is out of range 1..254"},
        {{"-p", "COM3", "read"}, "read needs at least one register"},
        {{"-p", "COM3", "read", "65536"}, "register 65536 is out of range 0..65535"},
        {{"-p", "COM3", "read", "1", "0x10000"}, "register 0x10000 is out of range"},
        {{"-p", "COM3", "read", "-1"}, "register -1 is out of range"},
        {{"-p", "COM3", "read", "P496"}, "register \"P496\" is not a number"},
        {{"-p", "COM3", "write", "1"}, "write needs a register and a value"},
        {{"-p", "COM3", "write", "1", "65536"}, "value 65536 is out of range -32768..65535"},
        {{"-p", "COM3", "write", "1", "-32769"}, "value -32769 is out of range"},
        {{"-p", "COM3", "write", "1", "1.5"}, "value \"1.5\" is not a number"},
        {{"-p", "COM3", "--stations", "1-2", "probe"}, "--stations belongs to scan"},
        {{"-p", "COM3", "-s", "9600,N,7,2", "scan"}, "narrow it with --stations"},
        {{"-p", "COM3", "scan", "--stations", "5-2"}, "--stations \"5-2\""},
        {{"-p", "COM3", "scan", "--stations", "0-3"}, "--stations \"0-3\""},
        {{"-p", "COM3", "ports", "x"}, "ports takes no arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(text(c.args.join(' ')));
        SimEnvironment env;
        const auto r = cli(env, c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_THAT(text(r.err), ::testing::StartsWith("velorin-cli: "));
        EXPECT_THAT(text(r.err), HasSubstr(c.err));
        EXPECT_THAT(text(r.err), HasSubstr("--help"));
        EXPECT_EQ(r.out, QString());
        EXPECT_EQ(env.line.opens(), 0);  // nothing reached the line
    }
    // Settings are taken in any case and with blanks.
    SimEnvironment env;
    EXPECT_EQ(cli(env, {"-p", "COM3", "-s", " 9600, n,7,2", "probe"}).code, 0);
}

TEST(CliCommands, PortsListing) {
    SimEnvironment env;
    auto r = cli(env, {"ports"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(text(r.err), HasSubstr("no serial ports found"));
    env.portList = {{"COM1", "/dev/ttyUSB0", "FT232R USB UART", OpenResult::Ok},
                    {"COM2", "/dev/ttyS0", "", OpenResult::InUse},
                    {"COM16", "/dev/ttyS1", "", OpenResult::NoPermission}};
    r = cli(env, {"ports"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(text(r.out),
              "COM1   /dev/ttyUSB0  free           FT232R USB UART\n"
              "COM2   /dev/ttyS0    in-use\n"
              "COM16  /dev/ttyS1    no-permission  (fix: join dialout for COM16)\n");
}

TEST(CliCommands, HelpListsTheExitStatus) {
    SimEnvironment env;
    const auto r = cli(env, {"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char* line : {"  0    done", "  1    no usable reply", "  2    usage error",
                             "  3    the port cannot be opened", "  4    the write was not",
                             "  130  interrupted", "--trace", "--stations <A-B>"})
        EXPECT_THAT(text(r.out), HasSubstr(line));
}

}  // namespace
}  // namespace velorin
