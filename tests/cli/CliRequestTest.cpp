// The command line parsed into a request, without any port.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/CliRequest.h"

namespace velorin {
namespace {

using namespace ::testing;

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
        {"-p COM3 scan", "6 COM3 9600,N,7,2 ASCII @1 [] 0/0 1-254"},
        {"-p COM3 scan --stations 3", "6 COM3 9600,N,7,2 ASCII @1 [] 0/0 3-3"},
        {"-p COM3 scan --stations 2-254", "6 COM3 9600,N,7,2 ASCII @1 [] 0/0 2-254"},
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
        {"-p COM3 probe --timeout", "Missing value after '--timeout'"},
        {"ports COM3", "ports takes no arguments"}, {"-p COM3 probe 1", "probe takes no arguments"},
        {"-p COM3 read", "read needs at least one register"},
        {"-p COM3 get", "get needs at least one parameter code"},
        {"-p COM3 write 1", "write needs a register and a value"},
        {"-p COM3 -s 9600,N,8,3 probe", "unknown settings string \"9600,N,8,3\""},
        {"-p COM3 read 1 0x10000", "register 0x10000 is out of range 0..65535"},
        {"-p COM3 read 1x", "register \"1x\" is not a number"},
        {"-p COM3 read 1.5", "register \"1.5\" is not a number"},
        {"-p COM3 write 1 -32769", "value -32769 is out of range -32768..65535"},
        {"-p COM3 write 1 1e3", "value \"1e3\" is not a number"},
        {"-p COM3 write 1 99999999999999999999", "value \"99999999999999999999\" is not a number"},
        {"-p COM3 -s 9600,N,7,2 scan", "scan tries every settings string and station"},
        {"-p COM3 scan --stations 5-2", "--stations \"5-2\""},
        {"-p COM3 scan --stations 1-255", "--stations \"1-255\""},
        {"-p COM3 scan --stations 1-2-3", "--stations \"1-2-3\""},
        {"-p COM3 --timeout 19 probe", "--timeout \"19\": give the milliseconds"},
        {"-p COM3 --timeout 5001 probe", "--timeout \"5001\""},
        {"-p COM3 --timeout 0.5 probe", "--timeout \"0.5\""},
        {"-p COM3 --timeout 99999999999 probe", "--timeout \"99999999999\""},
        // Parameter sets.
        {"-p COM3 get P00.14", "P00.14 is no parameter of the drive's pages"},
        {"-p COM3 get P18.00", "\"P18.00\" is no parameter code"},
        {"-p COM3 get P03.09-P03.01", "\"P03.09-P03.01\" is no range"},
        {"-p COM3 set P01.06", "set needs pairs of a parameter code and a value"},
        {"-p COM3 set P03 1", "\"P03\" is no parameter code"},
        {"-p COM3 set P01.06 1 p01.06 2", "p01.06 is given twice"},
        {"-p COM3 backup", "backup needs one parameter file"},
        {"-p COM3 restore a.txt b.txt", "restore needs one parameter file"},
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
        // Gateways.
        {"--tcp 192.168.1.50:0 probe", "port 1..65535"},
        {"--tcp :502 probe", "give HOST or HOST:PORT"},
        {"--tcp 192.168.1.50 --framing tcp probe", "use mbap, rtu or ascii"},
        {"--framing rtu -p COM3 probe", "--framing belongs to --tcp"},
        {"--tcp 192.168.1.50 -p COM3 probe", "not both"},
        {"--tcp 192.168.1.50 --connect-timeout 50 probe", "100..60000"},
        // Station 0, the broadcast address, is never taken for a write or a many-drives run.
        {"-p COM3 --station 0 write 3 5", "station \"0\" is out of range 1..254"},
        {"-p COM3 --stations 0-3 backup DIR", "station 0, the broadcast address"},
        {"-p COM3 --stations 2,0 restore DIR", "station 0, the broadcast address"},
        {"-p COM3 --stations 0-3 survey", "1 <= A <= B <= 247"},
        {"-p COM3 --stations 0-3 scan", "1 <= A <= B <= 254"},
        {"-p COM3 --stations 1-3 write 3 5", "--stations belongs to scan, survey, backup and restore"},
        {"-p COM3 --stations 1-3 --station 2 backup DIR", "not both"},
        {"-p COM3 --stations 0-3 --all backup DIR", "1 <= A <= B <= 247"},
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
        {"catalogue P15", "496 497 498 499 500 501 502 no drive"},
        {"catalogue", "no drive"},
        {"-p COM3 set P03.01 12.34 P00.00 -1", "97=12.34 0=-1 drive"},
        {"-p COM3 backup a.txt --pages P15,p03,P09", "p5 p12 p13 p14 p25 drive"},
        {"-p COM3 backup a.txt --pages P17", "p28 drive"},
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

}  // namespace
}  // namespace velorin
