// The change log's lines: each column, and one line whatever a name or command holds.

#include <gtest/gtest.h>

#include "records/ChangeLog.h"

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

}  // namespace
}  // namespace velorin
