// The change log's lines, and the fault history as the drive's registers give it: slots and order,
// texts and short codes, how long ago, the terminals, and what the drive saw, scaled.

#include <gtest/gtest.h>

#include <map>

#include "records/ChangeLog.h"
#include "records/FaultHistory.h"

namespace velorin {
namespace {

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
    EXPECT_EQ(std::tuple(h.records[0].text, h.records[0].number, h.records[0].slotName),
              std::tuple(std::string(), 99, std::string("最新")));  // a number the list lacks
    EXPECT_EQ(std::tuple(h.records[1].text, h.records[1].slotName),
              std::tuple(std::string("6：過負載(oL)"), std::string("前1次")));
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
