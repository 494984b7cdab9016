// The line monitor's rows, counters and 10 000-row bound, told in the monitor window's words
// and its CSV copy.

#include <gtest/gtest.h>

#include "records/LineMonitor.h"
#include "ui/texts/WindowTexts.h"
#include "link/LineSession.h"
#include "sim/SimulatedPort.h"

using namespace velorin;
using namespace std::chrono_literals;

namespace {

MonitorRow row(int function, ReplyCheck check, Framing framing = Framing::Rtu) {
    MonitorRow r;
    r.station = 1;
    r.function = function == 3 ? FunctionCode::ReadRegisters : FunctionCode::WriteRegister;
    r.reg = 261;
    r.framing = framing;
    r.check = check;
    return r;
}

}  // namespace

TEST(LineMonitor, EachOutcomeInTheTechniciansWords) {
    using O = LinkOutcome;
    MonitorRow echoed = row(6, {O::Ok, 5});
    echoed.copies = 2;
    MonitorRow setAside = row(3, {O::Ok, 7});
    setAside.setAside = true;
    setAside.askedAgain = true;
    // A plain read, a refusal and a lost reply are the session test's below.
    const std::pair<MonitorRow, const char*> cases[] = {
        {row(6, {O::Ok, 5}), "正常"},  // the drive's copy of a write is its reply
        {echoed, "正常，回波"},
        {row(3, {O::BadChecksum}), "CRC 錯誤"},
        {row(3, {O::BadChecksum}, Framing::Ascii), "LRC 錯誤"},
        {row(3, {O::WrongStation}), "其他站號"},
        {setAside, "正常，遲到回應已略過（疑慮重讀）"},
    };
    for (const auto& [r, words] : cases) EXPECT_EQ(monitorOutcomeText(r), words);
}

TEST(LineMonitor, CountsEverythingKeepsTheLastTenThousandAndCopiesThemAsCsv) {
    VirtualClock clock;
    clock.advance(5s);
    std::int64_t timeOfDay = 8 * 3600000 + 30 * 60000 + 5123;  // 08:30:05.123 at the start
    LineMonitor monitor(clock, [&] { return timeOfDay; });
    for (int i = 0; i < 10005; ++i) {
        MonitorRow r = row(3, i % 5 == 0 ? ReplyCheck{LinkOutcome::NoReply} : ReplyCheck{LinkOutcome::Ok, 42});
        r.at = 5s + std::chrono::milliseconds(i);
        r.askedAgain = i % 100 == 0;
        if (r.check.complete())
            r.latency = std::chrono::microseconds(10000 + i % 7 * 1000);
        monitor.record(r);
    }
    EXPECT_EQ(monitor.rows().size(), 10000u);
    EXPECT_EQ(monitor.rows().front().at, 5ms);  // the first five went
    EXPECT_EQ(monitor.recorded(), 10005);
    const MonitorCounts& c = monitor.counts();
    EXPECT_EQ(std::tuple(c.requests, c.failed, c.repeated, c.latencyMax),
              std::tuple(10005, 2001, 101, 16ms));
    EXPECT_EQ(monitorCountsText(c), "請求 10005　失敗 2001　重讀 101　遲到 0　平均 13.0 ms　最長 16.0 ms");

    // Hexadecimal for RTU, the text for ASCII; a field with a comma is quoted.
    // A row says its clock time and its line settings; the file starts with the byte-order
    // mark and ends its lines in CR LF, and the time since the start stays in it.
    timeOfDay = 23 * 3600000 + 59 * 60000 + 59990;  // 23:59:59.990: the second row is tomorrow's
    monitor.clear();
    clock.advance(1500us);
    MonitorRow rtu = row(3, {LinkOutcome::Ok, 4660});
    rtu.at = clock.now();
    rtu.request = {0x01, 0x03, 0x01, 0x05, 0x00, 0x01, 0xD5, 0xF7};
    rtu.received = {0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33};
    rtu.latency = 9400us;
    rtu.settings = "9600,E,8,1";
    MonitorRow ascii = row(6, {LinkOutcome::Exception, 0, ExceptionCode::IllegalValue}, Framing::Ascii);
    ascii.at = clock.now() + 20ms;
    ascii.word = 65535;
    const std::string request = ":010601050000F3\r\n", reply = ":018603\r,\x7F";
    ascii.request.assign(request.begin(), request.end());
    ascii.received.assign(reply.begin(), reply.end());
    ascii.copies = 1;
    ascii.settings = "9600,N,7,2";
    monitor.record(rtu);
    monitor.record(ascii);
    EXPECT_EQ(monitorCsv(monitor),
              "\xEF\xBB\xBF時刻,時間(ms),線路設定,站號,功能,暫存器,數值,請求,回應,結果,延遲(ms)\r\n"
              "23:59:59.991,1.5,\"9600,E,8,1\",1,讀取,261,4660,01 03 01 05 00 01 D5 F7,"
              "01 03 02 12 34 B5 33,正常,9.4\r\n"
              "00:00:00.011,21.5,\"9600,N,7,2\",1,寫入,261,65535,:010601050000F3,"
              "\":018603<0D>,<7F>\",例外碼 03，回波,\r\n");
}

// A session at 9600,E,8,1 on a drive answering in 2 ms: a read's latency is 2 + 8.02 ms (the
// 7-byte reply); a refusal, a lost reply asked again until two reads agree, the next read too.
TEST(LineMonitor, FollowsTheSessionsTransactions) {
    VirtualClock clock;
    SimulatedDrive drive;
    drive.setLink(1, 1, 5);  // 9600,E,8,1
    drive.setResponseDelay(2ms);
    drive.setReg(10, 1234);
    SimulatedLine line(drive);
    LineSession session(std::make_unique<SimulatedPort>(line, clock));
    session.setFraming(Framing::Rtu);
    ASSERT_EQ(session.open(1, "9600,E,8,1"), OpenResult::Ok);
    LineMonitor monitor(clock);
    session.observers().add(monitor);

    EXPECT_EQ(session.read(10).value, 1234);
    drive.injectFault({DriveFault::Kind::Exception, ExceptionCode::IllegalAddress});
    session.read(11);
    drive.injectFault({DriveFault::Kind::NoReply});
    session.read(12);
    session.read(13);  // its reply may be 12's, late: asked again
    session.observers().remove(monitor);

    std::vector<std::string> rows;  // register, value and outcome
    for (const MonitorRow& r : monitor.rows())
        rows.push_back(std::to_string(r.reg) + " " + monitorValueText(r) + " " +
                       monitorOutcomeText(r));
    EXPECT_EQ(rows, (std::vector<std::string>{"10 1234 正常", "11  例外碼 02", "12  無回應",
                                              "12 0 正常（疑慮重讀）", "12 0 正常（疑慮重讀）",
                                              "13 0 正常", "13 0 正常（疑慮重讀）"}));
    const MonitorRow& first = monitor.rows()[0];
    EXPECT_EQ(monitorBytesText(first.framing, first.request), "01 03 00 0A 00 01 A4 08");
    EXPECT_EQ(first.settings, "9600,E,8,1");  // every row says the line settings it went out with
    ASSERT_TRUE(first.latency);
    EXPECT_NEAR(first.latency->count(), 2000 + 8021, 20);
    EXPECT_EQ(monitor.counts().failed, 1);
    EXPECT_GE(monitor.counts().repeated, 1);
}
