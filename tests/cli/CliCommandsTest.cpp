// velorin-cli's command line parsed into a request; its commands in-process on the simulated
// drive (CliSim.h), through a gateway and with several drives on one line; the docs' examples run.

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>

#include "CliSim.h"
#include "link/NetworkAddress.h"
#include "model/FaultRegisters.h"
#include "sim/SimulatedGateway.h"

namespace velorin {
namespace {

using namespace ::testing;
using namespace velorin::test;

ParsedCommandLine parse(const QString& line) {
    return parseCommandLine(QStringList{"velorin-cli"} + line.split(' ', Qt::SkipEmptyParts));
}

// What the commands rely on, in one comparable value.
std::string summary(const CliRequest& r) {
    QStringList regs;
    for (const RegisterArg& a : r.registers) regs << QStringLiteral("%1=%2").arg(a.text).arg(a.reg);
    return QStringLiteral("%1 %2 %3 %4 @%5 [%6] %7/%8 %9-%10%11%12")
        .arg(static_cast<int>(r.command))
        .arg(r.portName.isEmpty() ? QStringLiteral("-") : r.portName,
             QString::fromStdString(r.settings), QString::fromLatin1(framingName(r.framing)))
        .arg(r.station)
        .arg(regs.join(' '))
        .arg(r.value)
        .arg(r.word())
        .arg(r.firstStation)
        .arg(r.lastStation)
        .arg(r.signedValues ? " signed" : "", r.trace ? " trace" : "")
        .append(r.timeoutMs == 100 ? QString() : QStringLiteral(" timeout=%1").arg(r.timeoutMs))
        .append(r.verifyReads ? " verify-reads" : "")
        .append(r.gateway ? QStringLiteral(" gateway port=%1").arg(r.gatewayPort) : QString())
        .toStdString();
}

TEST(CliRequest, CommandLinesBecomeRequests) {
    const std::pair<const char*, const char*> cases[] = {
        // Ports needs no port; help and version win over anything else.
        {"ports", "2 - 9600,N,7,2 ASCII @1 [] 0/0 1-254"},
        {"--help erase", "0 - 9600,N,7,2 ASCII @1 [] 0/0 1-254"},
        {"-p COM3 --version probe", "1 - 9600,N,7,2 ASCII @1 [] 0/0 1-254"},
        // The factory link unless told otherwise; 8 data bits speak RTU; parity in lower case.
        {"-p COM3 probe", "3 COM3 9600,N,7,2 ASCII @1 [] 0/0 1-254"},
        {"--port /dev/ttyUSB0 -s 19200,e,8,1 --station 0x10 --signed --trace read 1 0x01f0 65535",
         "4 /dev/ttyUSB0 19200,E,8,1 RTU @16 [1=1 0x01F0=496 65535=65535] 0/0 1-254 signed trace"},
        // A negative value travels as its two's complement.
        {"-p COM3 write 0x2000 -5", "5 COM3 9600,N,7,2 ASCII @1 [0x2000=8192] -5/65531 1-254"},
        {"-p COM3 write 1 -32768", "5 COM3 9600,N,7,2 ASCII @1 [1=1] -32768/32768 1-254"},
        {"-p COM3 scan --stations 3", "6 COM3 9600,N,7,2 ASCII @1 [] 0/0 3-3"},
        {"-p COM3 --timeout 20 probe", "3 COM3 9600,N,7,2 ASCII @1 [] 0/0 1-254 timeout=20"},
        {"-p COM3 scan --timeout 5000", "6 COM3 9600,N,7,2 ASCII @1 [] 0/0 1-254 timeout=5000"},
        {"-p COM3 get P00 --verify-reads", "7 COM3 9600,N,7,2 ASCII @1 [] 0/0 1-254 verify-reads"},
        // A gateway's address is the port's name; its framing is Modbus TCP unless told.
        {"--tcp 192.168.1.50 probe",
         "3 192.168.1.50:502 9600,N,7,2 Modbus TCP @1 [] 0/0 1-254 gateway port=502"},
        {"--tcp gw.plant:1502 --framing rtu probe",
         "3 gw.plant:1502 9600,N,7,2 RTU @1 [] 0/0 1-254 gateway port=1502"},
        {"--tcp [fe80::1]:503 --framing ascii -s 19200,N,8,1 probe",
         "3 [fe80::1]:503 19200,N,8,1 ASCII @1 [] 0/0 1-254 gateway port=503"},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        const ParsedCommandLine p = parse(line);
        ASSERT_TRUE(p.request) << p.usageError.toStdString();
        EXPECT_EQ(summary(*p.request), expected);
    }
}

TEST(CliRequest, UsageErrorsSayWhatIsWrong) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command given: ports, probe, read, write, scan, survey, get, set, backup, restore, "
             "diff, catalogue, log, faults or report"},
        {"-p COM3 erase", "unknown command \"erase\""}, {"read 1", "no port given"},
        {"-p COM3 --bogus probe", "Unknown option 'bogus'"},
        {"-p COM3 -s", "Missing value after '-s'"},
        {"ports COM3", "ports takes no arguments"}, {"-p COM3 probe 1", "probe takes no arguments"},
        {"-p COM3 read", "read needs at least one register"},
        {"-p COM3 get", "get needs at least one parameter code"},
        {"-p COM3 write 1", "write needs a register and a value"},
        {"-p COM3 -s 9600,N,8,3 probe", "unknown settings string \"9600,N,8,3\""},
        {"-p COM3 read 1 0x10000", "register 0x10000 is out of range 0..65535"},
        {"-p COM3 read 1x", "register \"1x\" is not a number"},
        {"-p COM3 write 1 -32769", "value -32769 is out of range -32768..65535"},
        {"-p COM3 write 1 99999999999999999999", "value \"99999999999999999999\" is not a number"},
        {"-p COM3 -s 9600,N,7,2 scan", "scan tries every settings string and station"},
        {"-p COM3 scan --stations 5-2", "--stations \"5-2\""},
        {"-p COM3 scan --stations 1-255", "--stations \"1-255\""},
        {"-p COM3 --timeout 19 probe", "--timeout \"19\": give the milliseconds"},
        {"-p COM3 --timeout 5001 probe", "--timeout \"5001\""},
        {"-p COM3 --timeout 99999999999 probe", "--timeout \"99999999999\""},
        {"-p COM3 get P00.14", "P00.14 is no parameter of the drive's pages"},
        {"-p COM3 get P18.00", "\"P18.00\" is no parameter code"},
        {"-p COM3 get P03.09-P03.01", "\"P03.09-P03.01\" is no range"},
        {"-p COM3 set P01.06", "set needs pairs of a parameter code and a value"},
        {"-p COM3 set P03 1", "\"P03\" is no parameter code"},
        {"-p COM3 set P01.06 1 p01.06 2", "p01.06 is given twice"},
        {"-p COM3 backup", "backup needs one parameter file"},
        {"-p COM3 backup a.txt --pages P03,P99", "--pages: \"P99\" is no page"},
        {"-p COM3 backup a.txt --pages P17-2", "--pages: \"P17-2\" is no page"},
        // An option of other commands: one row for the table of which command owns which.
        {"-p COM3 --raw diff a.txt", "--raw belongs to get"},
        {"-p COM3 get P01.06 --format xml", "--format \"xml\": use text, csv or json"},
        {"-p COM3 diff --drive", "diff --drive needs --against FILE or --factory"},
        {"-p COM3 diff --drive a.txt --factory", "the drive or FILE, not both"},
        {"diff a.txt --against b.txt --factory", "--against FILE or --factory, not both"},
        {"diff --factory", "no port given"},
        {"catalogue --find P99", "--find \"P99\" names no parameter"},
        {"catalogue P00.00 --find 9.15", "takes codes or --find, not both"},
        {"log --since 2026-12", "--since \"2026-12\""},
        {"-p COM3 report r.txt", "report writes FILE.pdf or FILE.html, not \"r.txt\""},
        {"--tcp 192.168.1.50:0 probe", "port 1..65535"},
        {"--tcp :502 probe", "give HOST or HOST:PORT"},
        {"--tcp 192.168.1.50 --framing tcp probe", "use mbap, rtu or ascii"},
        {"--framing rtu -p COM3 probe", "--framing belongs to --tcp"},
        {"--tcp 192.168.1.50 -p COM3 probe", "not both"},
        {"--tcp 192.168.1.50 --connect-timeout 50 probe", "100..60000"},
        // Station 0, the broadcast address, is never taken for a write or a many-drives run.
        {"-p COM3 --station 0 write 3 5", "station \"0\" is out of range 1..254"},
        {"-p COM3 --stations 0-3 backup DIR", "station 0, the broadcast address"},
        {"-p COM3 --stations 0-3 survey", "1 <= A <= B <= 247"},
        {"-p COM3 --stations 0-3 scan", "1 <= A <= B <= 254"},
        {"-p COM3 --stations 1-3 write 3 5", "--stations belongs to scan, survey, backup and restore"},
        {"-p COM3 --stations 1-3 --station 2 backup DIR", "not both"},
        {"-p COM3 --station 2 survey", "survey asks every station"},
    };
    // clang-format on
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const ParsedCommandLine p = parse(line);
        EXPECT_FALSE(p.request);
        EXPECT_THAT(p.usageError.toStdString(), HasSubstr(message));
    }
}

// Codes, ranges, pages and groups name the registers with a field, each once, in order.
TEST(CliRequest, ParametersByCodeRangePageOrGroup) {
    auto regs = [](const QString& line) {
        const ParsedCommandLine p = parse(line);
        if (!p.request)
            return p.usageError.toStdString();
        std::string out;
        for (int reg : p.request->parameters) out += std::to_string(reg) + " ";
        for (int page : p.request->pages) out += "p" + std::to_string(page) + " ";
        for (const Assignment& a : p.request->assignments)
            out += std::to_string(a.reg) + "=" + a.text + " ";
        return out + (p.request->usesDrive() ? "drive" : "no drive");
    };
    const std::pair<const char*, const char*> cases[] = {
        {"-p COM3 get P01.06 p00.02", "31 2 drive"},
        {"-p COM3 get P03.01-P03.03 P03.02", "97 98 99 drive"},
        // P00 has no fields at 14 and 15; P03's page reads 96-111 and shows 96-111.
        {"-p COM3 get P00.12-P00.17", "12 13 16 17 drive"},
        {"-p COM3 get P9-3", "295 296 297 298 299 300 301 302 303 drive"},
        {"-p COM3 get P12-2 P12.24", "424 425 426 427 428 429 430 431 drive"},
        {"catalogue", "no drive"},
        {"-p COM3 set P03.01 12.34 P00.00 -1", "97=12.34 0=-1 drive"},
        {"-p COM3 backup a.txt --pages P15,p03,P09", "p5 p12 p13 p14 p25 drive"},
        {"-p COM3 diff a.txt", "drive"}, {"-p COM3 diff --factory", "drive"},
        {"diff a.txt --factory", "no drive"}, {"diff a.txt --against b.txt", "no drive"},
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(regs(line), expected);
    }
    // Every page of the group P09, then every parameter of P09.
    const ParsedCommandLine group = parse("-p COM3 get P09");
    ASSERT_TRUE(group.request);
    EXPECT_EQ(std::tuple(group.request->parameters.front(), group.request->parameters.back()),
              std::tuple(246, 303));
    EXPECT_EQ(parse("-p COM3 backup a.txt").request->pages.size(), 29u);
}

TEST(CliCommands, ReadAndWriteShowWhatTheyWereGiven) {
    SimEnvironment env;
    env.drive.setLink(5, 2, 5);  // 19200,E,8,1 RTU
    env.drive.setReg(100, 65526);  // -10
    const QString link = QStringLiteral("-p COM3 -s 19200,E,8,1 --station 5 ");
    // --signed; registers as given; one without a usable reply: no line, exit status 1.
    auto r = cli(env, link + "--signed read 100 0x2101 600 0X01f0");
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(1, "100 -10\n0x2101 0\n0x01F0 5\n"));
    EXPECT_THAT(r.err, HasSubstr("register 600: no usable reply: exception 2 (illegal data"));
    // After a write of the station the drive answers there, and the user is told so.
    EXPECT_THAT(cli(env, link + "write 496 7").err, HasSubstr("answers at station 7"));
    EXPECT_EQ(cli(env, "-p COM3 -s 19200,E,8,1 --station 7 probe").code, 0);
    // --timeout is every transaction's wait: a drive 0.25 s late is read with --timeout 300.
    env.drive.setResponseDelay(Micros{250000});
    r = cli(env, "-p COM3 -s 19200,E,8,1 --station 7 --timeout 300 read 496 497");
    EXPECT_EQ(std::tie(r.code, r.out), std::tuple(0, "496 7\n497 192\n")) << r.err;
}

TEST(CliCommands, ExitStatusAndMessages) {
    using K = DriveFault::Kind;  // args, exit status, message, fault of the drive
    const std::tuple<const char*, int, const char*, std::optional<K>> cases[] = {
        {"", 2, "no command given", {}},
        {"-p COM3 scan --stations 2-3", 1, "(/dev/ttyUSB0) at stations 2-3 (70 probes)", {}},
        {"-p COM3 --station 6 probe", 1, "station 6 with 9600,N,7,2 (Modbus ASCII)", {}},
        {"-p COM3 read 1", 1, "bad LRC", K::CorruptChecksum},
        {"-p COM9 probe", 3, "port COM9 not found", {}},
        {"-p /dev/ttyS7 scan", 3, "no permission to open port /dev/ttyS7; fix: join dialout", {}},
        {"-p COM3 write 1 2", 4, "not sent: no usable reply to reading it first: no reply",
         K::NoReply},
        {"-p /dev/ttyS8 probe", 3, "port /dev/ttyS8 refuses the settings 9600,N,7,2", {}},
        {"-p /dev/ttyS9 probe", 3, "port /dev/ttyS9 is in use by another program", {}},
        {"-p COM3 write 1 2", 4, "wrong station", K::OtherStation},
        {"faults /nonexistent/Data.txt", 5, "/nonexistent/Data.txt", {}},
        {"-p COM3 faults", 1, "P12.03 最新異常記錄: no usable reply", K::NoReply},
    };
    for (const auto& [args, code, message, fault] : cases) {
        SCOPED_TRACE(args);
        SimEnvironment env;
        if (fault)  // every request meets it: a request is asked three times
            env.drive.setFaultMode(DriveFault{*fault});
        const auto r = cli(env, args);
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(code, ""));
        EXPECT_THAT(r.err, AllOf(HasSubstr("velorin-cli: "), HasSubstr(message)));
        EXPECT_EQ(r.err.find("--help") != std::string::npos, code == 2);
        EXPECT_EQ(env.line.opens() > 0, code == 1 || code == 4);  // usage errors: no open
        EXPECT_THAT(env.drive.writeLog(), IsEmpty());
        EXPECT_FALSE(env.line.isHeld());
    }
}

// The trace of an RTU read and of a silent station are the examples of docs/cli.md, run as
// CliDocsExamples; here the time column, an ASCII reply and a bad CRC.
TEST(CliCommands, TraceShowsFramesTimesAndChecks) {
    SimEnvironment env;
    EXPECT_THAT(cli(env, "-p COM3 --trace read 496").err,
                AllOf(ContainsRegex("^\\[ +0\\.0[0-9]{5}\\] -> "),
                      HasSubstr("] -> :010301F000010A\\r\\n\n"),
                      HasSubstr("] <- :0103020001F9\\r\\n  ok\n")));
    env.drive.setLink(1, 1, 3);
    env.drive.injectFault({DriveFault::Kind::CorruptChecksum});
    EXPECT_THAT(cli(env, "-p COM3 --trace -s 9600,N,8,2 read 496").err, HasSubstr("  bad CRC\n"));
}

// The scan's order and probe count are the connection screen's and CliOverPty's; here it is
// stopped, one open a probe (a port lost mid-command: the Unplug rows below).
TEST(CliCommands, CtrlCStopsTheScanWithThePortClosed) {
    SimEnvironment env;
    env.drive.setLink(200, 1, 0);
    env.clock.at(Micros{5000000}, [&] { env.stop = true; });
    const auto r = cli(env, "-p COM3 scan");
    EXPECT_EQ(r.code, 130);
    EXPECT_THAT(r.err, AllOf(HasSubstr("scanning station 1 of 1-254\n"),
                             HasSubstr("scan stopped before probe"),
                             HasSubstr("interrupted; the port is closed")));
    EXPECT_THAT(env.line.opens(), AllOf(Gt(30), Lt(60)));  // stopped within a probe of the press
    EXPECT_FALSE(env.line.isHeld());
}

// A write is confirmed only by the drive (read first, so an echoing adapter shows itself; a lost
// reply read back, never sent twice); Ctrl+C, an unplugged adapter or a late drive mid-command.
TEST(CliCommands, WritesTrustNoEchoAndCtrlCUnplugOrLateReplyDuringATransaction) {
    enum Event { Plain, Echoing, LosingWriteReplies, Unconfirmed, CtrlC, Unplug, LateReply };
    // args, event, at frame, exit status, stdout, message (told once), frames sent, writes done
    const std::tuple<const char*, Event, int, int, const char*, const char*, int, int> cases[] = {
        {"write 0x2000 18", Plain, 0, 0, "0x2000 1 -> 18\n", "", 2, 1},
        {"write 0x2000 18", Echoing, 0, 0, "0x2000 1 -> 18\n", "", 2, 1},
        {"--station 9 write 0x2000 18", Echoing, 0, 4, "", "not sent", 3, 0},
        {"write 498 9", Echoing, 0, 4, "", "not confirmed: exception 3", 2, 0},
        {"write 32 18", LosingWriteReplies, 0, 0, "32 6000 -> 18\n", "", 4, 1},
        {"write 32 18", Unconfirmed, 0, 4, "",
         "not confirmed: no reply (the drive may or may not have taken it)", 5, 1},
        {"write 0x2000 18", LosingWriteReplies, 0, 4, "",
         "not confirmed: no reply (the drive may or may not have taken it)", 4, 3},
        {"probe", CtrlC, 0, 130, "", "interrupted; the port is closed", 1, 0},
        {"write 0x2000 18", CtrlC, 0, 130, "", "write of 18 to register 0x2000 not sent", 1, 0},
        {"write 0x2000 18", CtrlC, 1, 130, "0x2000 1 -> 18\n", "interrupted", 2, 1},
        {"read 496 497 498", CtrlC, 1, 130, "496 1\n497 96\n", "interrupted", 2, 0},
        {"probe", Unplug, 0, 3, "", "port lost", 1, 0},
        {"read 496 497 498", Unplug, 1, 3, "496 1\n", "port lost", 2, 0},
        {"write 0x2000 18", Unplug, 1, 3, "", "may or may not have taken it", 2, 0},
        // In doubt after the missed read, a value counts once two reads agree: 10 frames.
        {"read 496 497 498 496", LateReply, 0, 0, "496 1\n497 96\n498 0\n496 1\n",
         "velorin-cli: the drive answers later than 0.1 s", 10, 0},
    };
    for (const auto& [args, event, at, code, out, message, frames, writes] : cases) {
        SCOPED_TRACE(args);
        SimEnvironment env;
        const bool adapter = event <= Unconfirmed;
        if (adapter)
            env.drive.setLink(1, 2, 5);
        env.line.setLocalEcho(event == Echoing);
        env.log.onSend = [&env, event, at](SerialPort&, int index, FunctionCode function) {
            // A lost reply of a write carried out (and, unconfirmed, of three reads back).
            if ((event == LosingWriteReplies || event == Unconfirmed) &&
                function == FunctionCode::WriteRegister)
                env.drive.injectFault({DriveFault::Kind::NoReply}, event == Unconfirmed ? 4 : 1);
            if (index == at && event == CtrlC)
                env.stop = true;
            if (index == at && event == Unplug)
                env.line.setPresent(false);
        };
        if (event == LateReply)
            env.drive.setResponseDelay(Micros{130000});
        const auto r = cli(env, QString(adapter ? "-p COM3 -s 19200,E,8,1 " : "-p COM3 ") + args);
        EXPECT_EQ(std::tie(r.code, r.out), std::tuple(code, out));
        const QString err = QString::fromStdString(r.err);  // each told once
        if (*message)
            EXPECT_EQ(err.count(QString::fromUtf8(message)), 1) << r.err;
        EXPECT_EQ(std::tuple(err.count("port lost"), err.count("later than"), env.log.sent.size(),
                             env.drive.writeLog().size()),
                  std::tuple(event == Unplug, event == LateReply, frames, writes));
        // A write's read goes first, the write once at most (a lost command's three times).
        const bool write = std::string_view(args).find("write") != std::string_view::npos;
        EXPECT_TRUE(env.log.functions.empty() || env.log.functions[0] == FunctionCode::ReadRegisters);
        EXPECT_LE(std::ranges::count(env.log.functions, FunctionCode::WriteRegister),
                  write ? std::max(writes, 1) : 0);
        EXPECT_FALSE(env.line.isHeld());
    }
}

// The drive on COM3 is also behind a gateway at 192.168.1.50:502 (and any other address, which
// refuses connections) speaking `framing`.
struct GatewayEnvironment : SimEnvironment {
    Framing framing = Framing::Mbap;
    NetworkFaults faults;
    std::unique_ptr<GatewayLink> link;
    std::unique_ptr<SerialPort> createGatewayPort(const QString& host, int port,
                                                  Micros) override {
        link = std::make_unique<GatewayLink>(drive, framing, faults);
        auto p = std::make_unique<SimulatedGatewayPort>(
            *link, clock, NetworkAddress{host.toStdString(), port}.text());
        p->setReachable(host == QLatin1String("192.168.1.50") && port == 502);
        return p;
    }
};

QString gateway(Framing framing = Framing::Mbap) {
    const char* names[] = {"ascii", "rtu", "mbap"};  // in the order of Framing
    return QStringLiteral("--tcp 192.168.1.50 --framing %1 ").arg(names[int(framing)]);
}

// Through Modbus TCP a restore's trace names the transactions; a connection dropped in a backup
// is a lost port and the old file stays (each kind of gateway: tests/interop, interop_gateways).
TEST(CliGateway, ARestoreTracedAndABackupCutShortThroughModbusTcp) {
    GatewayEnvironment env;
    soundValues(env.drive);
    env.drive.setReg(40, 1234);
    QTemporaryDir dir;
    const QString file = dir.filePath("a.txt");
    ASSERT_EQ(cli(env, gateway() + "backup " + file).code, 0);
    const std::string saved = fileBytes(file);
    env.drive.setReg(40, 4321);
    auto r = cli(env, gateway() + "--trace restore " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("-> 00 01 00 00 00 06 01 03"), HasSubstr("(transaction 1)")));
    EXPECT_EQ(env.drive.reg(40), 1234);
    env.faults.dropAt = 200;
    r = cli(env, gateway() + "backup " + file);
    EXPECT_EQ(r.code, 3);
    EXPECT_THAT(r.err, AllOf(HasSubstr("connection lost: gateway 192.168.1.50:502"),
                             HasSubstr("no file was written")));
    EXPECT_EQ(fileBytes(file), saved);
}

TEST(CliGateway, WritesThatMoveTheLinkAreRefusedUnlessAllowed) {
    GatewayEnvironment env;
    env.framing = Framing::Ascii;  // a pass-through gateway to the drive at its factory link
    // clang-format off
    const struct { const char* words; int code; const char* says; bool sent; } cases[] = {
        {"write 497 192", 5, "talks at --settings 19200,N,7,2", false},
        {"write 546 3", 5, "resets its parameters", false},
        {"write 546 1", 0, "546 ", true},  // a lock, no reset
        {"--allow-link-change write 497 192", 0, "497 ", true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        env.drive.resetToFactory();
        env.drive.clearWriteLog();
        const auto r = cli(env, gateway(Framing::Ascii) + c.words);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_THAT(r.err + r.out, HasSubstr(c.says));
        EXPECT_EQ(!env.drive.writeLog().empty(), c.sent);
    }
}

TEST(CliGateway, AScanTriesStationsOnly) {
    GatewayEnvironment env;
    env.drive.setLink(3, 1, 0);
    const auto r = cli(env, gateway() + "scan");
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.err, HasSubstr("the scan tries stations only"));
    EXPECT_THAT(r.out, HasSubstr("framing=Modbus TCP station=3"));
}

constexpr int kMarked = 3;  // P00.03: a value of each drive's own

// Drives at stations 1, 2 and 3 on COM3, each with its own P00.03 and model.
struct ThreeDrives : SimEnvironment {
    SimulatedDrive second, third;
    ThreeDrives() {
        second.setLink(2, 1, 0);
        third.setLink(3, 1, 0);
        line.addDrive(second);
        line.addDrive(third);
        for (SimulatedDrive* d : {&drive, &second, &third}) {
            d->setReg(kMarked, static_cast<std::uint16_t>(1000 + d->station()));
            d->setReg(faultregs::kModel, 101);
        }
    }
};

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

// The backup surveys first and passes over station 3, silent within its pages; the restore by
// stations takes station 1 from its file, refuses station 2's file (named for another model, its
// sidecar lost: the name alone refuses it) and names station 3's missing file.
TEST(CliManyDrives, BackupAndRestoreByStationsGoOnPastTheDrivesThatFail) {
    ThreeDrives env;
    QTemporaryDir dir;
    env.log.onSend = [&env, seen = 0](SerialPort&, int index, FunctionCode) mutable {
        if (env.log.sent[index].ends_with("@3") && ++seen == 20)
            env.third.setFaultMode(DriveFault{DriveFault::Kind::NoReply});
    };
    auto r =
        cli(env, "-p COM3 -s 9600,N,7,2 --stations 1-5 --pages P00 --all backup " + dir.path());
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_THAT(r.err, AllOf(HasSubstr("3 drives found at 9600,N,7,2: stations 1,2,3"),
                             HasSubstr("2 of 3 drives backed up in " + dir.path().toStdString() +
                                       "; not backed up: station 3")));
    EXPECT_THAT(r.out, HasSubstr("station 3: read failed"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4);

    env.log.onSend = {};
    env.third.clearFaults();
    env.second.setReg(faultregs::kModel, 102);
    QFile::remove(dir.filePath("S02_M101_" + today() + ".txt.json"));
    for (SimulatedDrive* d : {&env.drive, &env.second, &env.third}) {
        d->setReg(kMarked, 7);
        d->clearWriteLog();
    }
    r = cli(env, "-p COM3 --stations 1-3 restore " + dir.path());
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_EQ(std::tuple(env.drive.reg(kMarked), env.second.reg(kMarked), env.third.reg(kMarked)),
              std::tuple(1001, 7, 7));
    EXPECT_TRUE(env.second.writeLog().empty());
    EXPECT_THAT(r.err,
                AllOf(HasSubstr("is named for model 101, the drive at station 2 is model 102"),
                      HasSubstr("1 of 3 drives restored; not restored: station 2, 3")));
    EXPECT_THAT(r.out, AllOf(HasSubstr("station 1: restored from "),
                             HasSubstr("station 2: failed (exit status 5)"),
                             HasSubstr("station 3: no file S03_M*_YYYYMMDD.txt")));
}

// Ctrl+C keeps what the survey found (the whole list is the drive jobs' Survey tests').
TEST(CliManyDrives, CtrlCEndsTheSurveyWithWhatItFound) {
    ThreeDrives env;
    env.third.setLink(7, 1, 0);
    env.log.onSend = [&](SerialPort&, int index, FunctionCode) {
        env.stop = env.log.sent[index].ends_with("@4");
    };
    const auto r = cli(env, "-p COM3 -s 9600,N,7,2 --stations 1-10 survey");
    EXPECT_EQ(r.code, 130);
    EXPECT_THAT(r.out, AllOf(HasSubstr("station=2 model=101"), Not(HasSubstr("station=7"))));
}

// Every velorin-cli command in the code blocks of README.md and docs/cli.md, run against the
// simulated drive: none may be a usage error or name a port that cannot be opened, and where the
// docs show what a command prints (a "$ " line and the lines under it), it prints that.
struct Example {
    QString where;      // "docs/cli.md:412"
    QString command;    // the words after velorin-cli, shell variables still in them
    QStringList shown;  // what the docs show it printing; empty when they show nothing
    QString block;      // the code block it is in: "docs/cli.md#12"
};

std::vector<Example> examplesIn(const QString& name) {
    QFile file(QStringLiteral(VELORIN_SOURCE_DIR "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    std::vector<Example> found;
    bool inBlock = false, showing = false;
    int block = 0;
    // A command, not the program's name inside what a command printed ("velorin-cli 1.0").
    static const QRegularExpression command(
        QStringLiteral("(?<![\\w\"-])velorin-cli ((?:\\$\\([^)]*\\)|[^&|;>)])+)"));
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n];
        if (line.startsWith(QLatin1String("```"))) {
            inBlock = !inBlock;
            showing = false;
            block += inBlock;
            continue;
        }
        if (!inBlock)
            continue;
        const bool prompt = line.startsWith(QLatin1String("$ "));
        if (showing && !prompt) {
            found.back().shown << line;
            continue;
        }
        QString code = line;
        code.remove(QRegularExpression(QStringLiteral("\\s+#.*$")));
        if (code.trimmed().startsWith('#'))
            continue;
        if (code.contains(QLatin1String("<command>")))
            continue;  // the synopsis, no example
        for (auto it = command.globalMatch(code); it.hasNext();) {
            const QString words = it.next().captured(1).trimmed();
            found.push_back({QStringLiteral("%1:%2").arg(name).arg(n + 1), words, {},
                             QStringLiteral("%1#%2").arg(name).arg(block)});
        }
        showing =
            prompt && !found.empty() && found.back().where.endsWith(QString(":%1").arg(n + 1));
    }
    return found;
}

QString expanded(QString words, const std::map<QString, QString>& variables) {
    words.replace(QStringLiteral("$(seq 96 111)"), QStringLiteral("96 97 98 99 100 101 102 103 104 "
                                                                  "105 106 107 108 109 110 111"));
    for (const auto& [name, value] : variables) {
        words.replace(QStringLiteral("\"$%1\"").arg(name), value);
        words.replace(QStringLiteral("$%1").arg(name), value);
    }
    return words;
}

// Printed lines but the progress and the trace's times, which depend on the line, in any order.
QStringList comparable(QStringList lines) {
    lines.removeIf([](const QString& l) { return l.startsWith(QLatin1String("reading page")); });
    lines.replaceInStrings(QRegularExpression(QStringLiteral("^\\[ *[0-9.]+\\]")),
                           QStringLiteral("[t]"));
    lines.sort();
    return lines;
}

TEST(CliDocsExamples, EveryExampleRunsAndPrintsWhatTheDocsShow) {
    std::vector<Example> examples = examplesIn(QStringLiteral("README.md"));
    const std::vector<Example> guide = examplesIn(QStringLiteral("docs/cli.md"));
    examples.insert(examples.end(), guide.begin(), guide.end());
    ASSERT_GE(examples.size(), 15u);

    QTemporaryDir work;  // the files the examples write (reference.txt, backup.txt)
    const QString before = QDir::currentPath();
    QDir::setCurrent(work.path());
    std::unique_ptr<SimEnvironment> env;
    QString lastBlock;
    std::map<QString, QString> variables{{"reg", "96"}, {"value", "0"}, {"pty", "COM3"}};
    for (const Example& example : examples) {
        SCOPED_TRACE(example.where.toStdString() + ": " + example.command.toStdString());
        // Each code block starts with a drive at its factory settings.
        if (!env || example.block != lastBlock)
            env = std::make_unique<SimEnvironment>();
        lastBlock = example.block;
        QStringList words = expanded(example.command, variables).split(' ', Qt::SkipEmptyParts);
        for (QString& w : words)
            if (w.startsWith(QLatin1String("/dev/pts/")))
                w = QStringLiteral("COM3");
        // The drive answers with the settings and station the command names, unless the docs
        // show it silent.
        const auto option = [&words](const char* name, const char* other, const char* given) {
            const qsizetype at = std::max(words.indexOf(name), words.indexOf(other));
            return at >= 0 && at + 1 < words.size() ? words[at + 1].toUpper().toStdString()
                                                    : std::string(given);
        };
        const std::string settings = option("-s", "--settings", "9600,N,7,2");
        if (!example.shown.join('\n').contains(QLatin1String("no reply")) &&
            !words.contains(QLatin1String("scan")))
            env->drive.setLink(std::stoi(option("--station", "--station", "1")),
                               *rateIndexOf(settings), *formatIndexOf(settings));
        // A gateway's address is the reader's own; the in-process drive has no network.
        const bool network = words.contains(QLatin1String("--tcp"));
        // The fault history shown is a drive's with a past; a fresh simulated drive has none.
        const bool history =
            words.contains(QLatin1String("faults")) || words.contains(QLatin1String("report"));
        const Outcome r = cli(*env, words.join(' '));
        EXPECT_NE(r.code, 2) << r.err;  // usage error
        if (!network)
            EXPECT_NE(r.code, 3) << r.err;  // a port that cannot be opened
        if (!example.shown.isEmpty() && !history) {
            const QString printed = QString::fromStdString(r.out + r.err);
            EXPECT_EQ(comparable(printed.split('\n', Qt::SkipEmptyParts)).join('\n').toStdString(),
                      comparable(example.shown).join('\n').toStdString());
        }
        // What a command prints as "name=value" words is there for the next (eval).
        for (const QString& word : QString::fromStdString(r.out).split(QRegularExpression("\\s+")))
            if (word.contains('='))
                variables[word.section('=', 0, 0)] = word.section('=', 1);
    }
    QDir::setCurrent(before);
}

}  // namespace
}  // namespace velorin
