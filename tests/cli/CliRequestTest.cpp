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

// What the commands rely on, in one comparable value: command, port, settings, framing,
// station, registers as shown, value, stations of a scan, --signed, --trace.
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
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        const ParsedCommandLine p = parse(line);
        ASSERT_TRUE(p.request) << p.usageError.toStdString();
        EXPECT_EQ(summary(*p.request), expected);
    }
}

TEST(CliRequest, UsageErrorsSayWhatIsWrong) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "no command given: ports, probe, read, write or scan"},
        {"-p COM3 erase", "unknown command \"erase\""},
        {"-p COM3 --bogus probe", "Unknown option 'bogus'"},
        {"-p COM3 -s", "Missing value after '-s'"},
        {"read 1", "no port given"},
        {"ports COM3", "ports takes no arguments"},
        {"-p COM3 probe 1", "probe takes no arguments"},
        {"-p COM3 read", "read needs at least one register"},
        {"-p COM3 write 1", "write needs a register and a value"},
        {"-p COM3 -s 9600,N,8,3 probe", "unknown settings string \"9600,N,8,3\""},
        {"-p COM3 --station 0 probe", "station \"0\" is out of range 1..254"},
        {"-p COM3 --station two probe", "station \"two\" is out of range 1..254"},
        {"-p COM3 read 1 0x10000", "register 0x10000 is out of range 0..65535"},
        {"-p COM3 read 1x", "register \"1x\" is not a number"},
        {"-p COM3 read 1.5", "register \"1.5\" is not a number"},
        {"-p COM3 write 1 -32769", "value -32769 is out of range -32768..65535"},
        {"-p COM3 write 1 1e3", "value \"1e3\" is not a number"},
        {"-p COM3 write 1 99999999999999999999", "value \"99999999999999999999\" is not a number"},
        {"-p COM3 --stations 2 read 1", "--stations belongs to scan"},
        {"-p COM3 -s 9600,N,7,2 scan", "scan tries every settings string and station"},
        {"-p COM3 scan --stations 5-2", "--stations \"5-2\""},
        {"-p COM3 scan --stations 1-255", "--stations \"1-255\""},
        {"-p COM3 scan --stations 1-2-3", "--stations \"1-2-3\""},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        const ParsedCommandLine p = parse(line);
        EXPECT_FALSE(p.request);
        EXPECT_THAT(p.usageError.toStdString(), HasSubstr(message));
    }
}

}  // namespace
}  // namespace velorin
