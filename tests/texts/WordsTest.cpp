// The words the windows and velorin-cli put on the cores' typed outcomes; the line monitor's
// record, the change log's lines and the fault history as the drive's registers give it.

#include <gtest/gtest.h>

#include <map>

#include "link/LineSession.h"
#include "records/ChangeLog.h"
#include "records/FaultHistory.h"
#include "records/LineMonitor.h"
#include "sim/SimulatedPort.h"
#include "texts/FaultHistoryText.h"
#include "texts/FileTexts.h"
#include "texts/LinkTexts.h"
#include "ui/texts/WindowTexts.h"

namespace velorin {
namespace {

using namespace std::chrono_literals;

// The lines "P<reg> 0" for first..last.
std::string file(int first, int last) {
    std::string text;
    for (int reg = first; reg <= last; ++reg) text += "P" + std::to_string(reg) + " 0\r\n";
    return text;
}

// Every unreadable line is told with its number and left out; bytes are shown escaped.
TEST(Words, EveryUnreadLineOfAParameterFileIsToldWithItsNumber) {
    std::string line300 = file(0, 548);
    line300.replace(line300.find("P299 0"), 6, "P299 x1");
    const std::string page0 = file(0, 22);  // 23 lines
    // clang-format off
    const struct { std::string bytes; std::vector<std::string> told; std::optional<int> p5; } rows[] = {
        {page0 + "P01.24 5\r\n", {"第 24 行：P01.24 是參數代碼，不是參數編號（例如 P31）。"}, 0},
        {page0 + "P549 1\r\nPX 7\r\np6 1\r\nQ6 1", {"第 24 行：P549 不是參數編號。",
            "第 25 行：PX 不是參數編號。", "第 26 行：p6 不是參數編號。", "第 27 行：Q6 不是參數編號。"}, 0},
        {page0 + "P5 7\r\n", {"第 24 行：P5 重複（第 6 行已有），以這一行為準。"}, 7},
        {page0 + "P5 65535\r\nP6 -32768\r\nP5 -32769\r\nP6 2.5", {
            "第 24 行：P5 重複（第 6 行已有），以這一行為準。",
            "第 25 行：P6 重複（第 7 行已有），以這一行為準。",
            "第 26 行：P5 的數值「-32769」超出範圍（-32768 到 65535）。",
            "第 27 行：P6 的數值「2.5」不是整數。"}, 65535},
        {file(0, 4) + "P5 70000\r\n" + file(6, 22), {
            "第 6 行：P5 的數值「70000」超出範圍（-32768 到 65535）。",
            "第 1 行：頁面 P00 缺少 P5 的數值。"}, {}},
        {std::string("P\0\xFF\xE5\x8F\x83 1\r\nP23 \x1B[2J\r\n", 20), {
            "第 1 行：P\\x00\\xFF參 不是參數編號。", "第 2 行：P23 的數值「\\x1B[2J」不是數字。"}, {}},
        {"P5\r\n P24 1\n\nP23 1", {"第 1 行：缺少參數編號與數值之間的空格。",
            "第 2 行：行首是空格。", "第 3 行：空白行。"}, {}},
        {line300, {"第 300 行：P299 的數值「x1」不是數字。", "第 296 行：頁面 P9-3 缺少 P299 的數值。"}, 0},
        // Of several pages lacking a value the one starting nearest the top is told.
        {file(25, 48) + file(0, 4) + file(6, 21), {"第 25 行：頁面 P00 缺少 P5 的數值。"}, {}},
    };
    // clang-format on
    for (const auto& row : rows) {
        const ParameterFileLoad load = parseParameterFile(row.bytes);
        EXPECT_EQ(describeFileFaults(load), row.told) << row.bytes;
        EXPECT_FALSE(load.ok());
        EXPECT_EQ(load.values[5], row.p5) << row.bytes;
        EXPECT_NE(load.values[1], 5) << "a code-form line is no line for P1";
    }
}

TEST(Words, LinkOutcomes) {
    using O = LinkOutcome;
    const std::tuple<ReplyCheck, bool, const char*> cases[] = {
        {{O::NoReply}, true, "變頻機未回應"},
        {{O::NotAReply}, false, "線路上有資料，但不是變頻機的回應"},
        {{O::Exception, 0, ExceptionCode::IllegalAddress}, false, "變頻機拒絕讀取 (例外碼 02)"},
        {{O::Exception, 0, ExceptionCode::IllegalValue}, true, "變頻機拒絕寫入 (例外碼 03)"},
        {{O::Unsettled}, true, "通訊線路不穩，回應無法確認"},
    };
    for (const auto& [check, write, words] : cases) EXPECT_EQ(describeOutcome(check, write), words);
}

// The notices a bulk write on a drive gives are the drive tests'; these two it cannot make there.
TEST(Words, DeveloperWriteNotices) {
    using K = DeveloperNotice::Kind;
    std::vector<int> many(21);
    for (int i = 0; i < 21; ++i) many[i] = 100 + i;
    std::string listed;
    for (int i = 0; i < 20; ++i) listed += "\nP" + std::to_string(100 + i);
    EXPECT_EQ(developerNoticeText({.kind = K::PortNotReopened, .written = 4}),
              (MessageBoxText{"通訊錯誤", "無法重新開啟通訊埠，已寫入 4 項，其餘未寫入。"}));
    EXPECT_EQ(
        developerNoticeText({.kind = K::Finished, .confirmed = 0, .unconfirmed = many}),
        (MessageBoxText{"開發功能", "開發參數寫入完成：寫入 0 項，未確認 21 項" + listed + "\n…"}));
}

MonitorRow row(int function, ReplyCheck check, Framing framing = Framing::Rtu) {
    return {.station = 1,
            .function = function == 3 ? FunctionCode::ReadRegisters : FunctionCode::WriteRegister,
            .reg = 261,
            .framing = framing,
            .check = check};
}

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
    EXPECT_EQ(std::tuple(monitor.rows().size(), monitor.rows().front().at, monitor.recorded()),
              std::tuple(10000u, 5ms, 10005));  // the first five went
    const MonitorCounts& c = monitor.counts();
    EXPECT_EQ(std::tuple(c.requests, c.failed, c.repeated, c.latencyMax),
              std::tuple(10005, 2001, 101, 16ms));
    EXPECT_EQ(monitorCountsText(c), "請求 10005　失敗 2001　重讀 101　遲到 0　平均 13.0 ms　最長 16.0 ms");

    // Hexadecimal for RTU, the text for ASCII; a field with a comma is quoted.
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
// 7-byte reply); a refusal, a lost reply asked again until two reads agree.
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
    session.observers().remove(monitor);

    std::vector<std::string> rows;  // register, value and outcome
    for (const MonitorRow& r : monitor.rows())
        rows.push_back(std::to_string(r.reg) + " " + monitorValueText(r) + " " +
                       monitorOutcomeText(r));
    EXPECT_EQ(rows, (std::vector<std::string>{"10 1234 正常", "11  例外碼 02", "12  無回應",
                                              "12 0 正常（疑慮重讀）", "12 0 正常（疑慮重讀）"}));
    const MonitorRow& first = monitor.rows()[0];
    EXPECT_EQ(std::pair(monitorBytesText(first.framing, first.request), first.settings),
              std::pair(std::string("01 03 00 0A 00 01 A4 08"), std::string("9600,E,8,1")));
    ASSERT_TRUE(first.latency);
    EXPECT_NEAR(first.latency->count(), 2000 + 8021, 20);
    EXPECT_EQ(std::pair(monitor.counts().failed, monitor.counts().repeated >= 1),
              std::pair(1L, true));
}

const LinkState kLink{3, Framing::Rtu, false, 3, "19200,E,8,1"};
const ChangeSource kSource{"COM3", &kLink, "寫入變頻機"};
const DisplayContext kRampInHundredths{0, 0, 2};
const DisplayContext kRampInTenths{1, 0, 2};

// The columns after "port" of one line, the time and port left out.
std::string columnsOf(const ChangeEntry& entry) {
    const std::string line = changeLogLine(entry);
    return line.substr(line.find("19200"));
}

TEST(ChangeLogLine, EachKindOfValueInItsColumns) {
    const struct { const char* what; ChangeEntry entry; const char* columns; } rows[] = {
        {"a value with decimals, the drive's before known",
         editorChange(kSource, {31, 50, 1234, true, kRampInHundredths, kRampInHundredths}),
         "19200,E,8,1 RTU\t3\tP01.06\t起動轉速\t50\t1234\t0.50\t12.34\t已確認\t寫入變頻機\n"},
        {"a choice shows its option", editorChange(kSource, {0, std::nullopt, 2, false, {}, {}}),
         "19200,E,8,1 "
         "RTU\t3\tP00.00\t開機顯示畫面選擇\t\t2\t\t2：顯示實際運轉頻率(H)\t未確認\t寫入變頻機\n"},
        {"a ramp time shown before and after its unit changed",
         editorChange(kSource, {97, 100, 100, true, kRampInHundredths, kRampInTenths}),
         "19200,E,8,1 RTU\t3\tP03.01\t加速時間1\t100\t100\t1.00\t10.0\t已確認\t寫入變頻機\n"},
        {"a word of the bulk write: a time's unit is not known", wordChange(kSource, 97, 100, true),
         "19200,E,8,1 RTU\t3\tP03.01\t加速時間1\t\t100\t\t\t已確認\t寫入變頻機\n"},
        {"a register outside the catalogue, read first",
         wordChange(kSource, 0x2000, 0xFFFF, true, 0x0012),
         "19200,E,8,1 RTU\t3\t0x2000\t\t18\t65535\t\t\t已確認\t寫入變頻機\n"},
    };
    for (const auto& row : rows) EXPECT_EQ(columnsOf(row.entry), row.columns) << row.what;
}

TEST(ChangeLogLine, TabsAndLineEndsInAColumnStayInsideOneLineThatReadsBack) {
    ChangeEntry entry = editorChange(kSource, {31, -5, 1234, true, {}, {}});
    entry.time = "2026-12-07T14:03:22+08:00";
    entry.name = "起動\t轉速\\";
    entry.command = "velorin-cli -p COM3 restore \"a\tb\r\nc.txt\"";
    const std::string line = changeLogLine(entry);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 11);
    EXPECT_EQ(parseChangeLogLine(line), entry);
    // What is not such a line is not read as one.
    for (const std::string& bad : {line.substr(0, line.size() / 2),  // cut off while being written
                                   std::string(line).replace(line.find("已確認"), 9, "maybe"),
                                   std::string(line).replace(line.find("\t-5\t"), 4, "\tx\t"),
                                   line.substr(0, line.size() - 1) + "\textra\n"})
        EXPECT_FALSE(parseChangeLogLine(bad)) << bad;
}

using Regs = std::map<int, std::int32_t>;

FaultHistory decoded(const Regs& regs) {
    return decodeFaultHistory([&regs](int reg) -> std::optional<std::int32_t> {
        const auto it = regs.find(reg);
        if (it != regs.end())
            return it->second;
        // Every register of the history is known and 0 unless the case says otherwise.
        if ((reg >= 403 && reg <= 431) || reg == 543 || reg == 544)
            return 0;
        return std::nullopt;
    });
}

TEST(FaultHistory, SlotsOrderTextsAndHoursAgo) {
    using Expect = std::tuple<int, std::string, std::optional<std::int64_t>>;  // slot, code, ago
    const struct { const char* what; Regs regs; std::vector<Expect> records; } cases[] = {
        {"nothing recorded", {}, {}},
        {"latest first; the hours and seconds of running now, 1210 h 30 min",
         {{403, 20}, {404, 6}, {424, 1200}, {425, 1190}, {543, 1210}, {544, 1800}},
         {{0, "ErP1", 37800}, {1, "oL", 73800}}},
        {"an empty slot between two faults keeps the older one's place",
         {{403, 3}, {405, 42}, {424, 5}, {426, 2}, {543, 5}},
         {{0, "ocA", 0}, {2, "EPE1", 3 * 3600}}},
        {"a number the list lacks, and -1, are unknown faults",
         {{403, 99}, {404, -1}, {543, 1}},
         {{0, "", 3600}, {1, "", 3600}}},
        {"a fault counted at more hours than the drive has run: not known how long ago",
         {{403, 1}, {424, 500}, {543, 499}, {544, 3599}},
         {{0, "ou", std::nullopt}}},
        {"seconds beyond 3599 are no running time",
         {{410, 12}, {431, 1}, {543, 2}, {544, 3600}},
         {{7, "EF", std::nullopt}}},
        {"the seconds carry into the hour: 0 h 3599 s after a fault at 0 h",
         {{403, 2}, {544, 3599}},
         {{0, "Lu", 3599}}},
    };
    for (const auto& c : cases) {
        std::vector<Expect> got;
        for (const FaultRecord& r : decoded(c.regs).records)
            got.emplace_back(r.slot, r.shortCode, r.secondsAgo);
        EXPECT_EQ(got, c.records) << c.what;
    }
    const FaultHistory h = decoded({{403, 99}, {404, 6}});
    EXPECT_EQ(std::tuple(faultText(h.records[0]), h.records[0].slotName, faultText(h.records[1]),
                         h.records[1].slotName),
              std::tuple("未知異常（99）", "最新", "6：過負載(oL)", "前1次"));  // 99: not in the list
}

TEST(FaultHistory, ShortCodeIsTheBracketedWordTheDriveShows) {
    const std::pair<const char*, const char*> cases[] = {
        {"3：加速中電流值超過額定電流值二倍(ocA)", "ocA"},
        {"24：ACI(4~20 mA)斷線(Acio)", "Acio"},  // the first bracket is no code
        {"30：過熱預報(oH0):內部溫度回授大於(P07.26-5.0oC)", "oH0"},
        {"14：三相輸出電流不平衡>P07.22，時間>32/fe,(ocbE)", "ocbE"},
        {"20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定)", "ErP1"},
        {"0：無異常記錄", ""},
        {"(", ""},
    };
    for (const auto& [text, code] : cases) EXPECT_EQ(shortFaultCode(text), code) << text;
    // Every fault of the drive's list has one, so none is shown without the drive's own word.
    for (int number = 1; number <= 42; ++number)
        EXPECT_NE(decoded({{403, number}}).records.at(0).shortCode, "") << number;
}

TEST(FaultHistory, TerminalsAndWhatTheDriveSaw) {
    const auto on = [](const std::vector<TerminalState>& states) {
        std::string names;
        for (const auto& t : states)
            if (t.on)
                names += t.name + " ";
        return names;
    };
    EXPECT_EQ(on(terminalStates(0b1000000101, true)) + on(terminalStates(0x9F, false)),
              "M0 M2 M9 RL1 RL2 DO1 DO2 DO3 b7 ");
    EXPECT_EQ(std::tuple(terminalStates(0, true).size(), terminalStates(0, false).size()),
              std::tuple(10u, 8u));

    const FaultHistory h =
        decoded({{411, 5000}, {413, -1500}, {416, 3110}, {417, -25}, {423, -50}, {421, 6}});
    std::string seen;  // those not 0; P12.21, the input terminals, shown as terminals only
    for (const SeenValue& s : h.seen)
        if (s.shown.find_first_not_of("0.") != std::string::npos)
            seen += s.code + " " + s.shown + " " + s.unit + "\n";
    EXPECT_EQ(seen, "P12.11 50.00 Hz\nP12.13 -1500 rpm\nP12.16 311.0 V\nP12.17 -2.5 A\nP12.23 -5.0 °C\n");
    EXPECT_EQ(on(h.inputs), "M1 M2 ");
}

}  // namespace
}  // namespace velorin
