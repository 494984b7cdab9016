// The parameter file: what a save writes, what a load refuses, save-load-save through the fields.

#include <gtest/gtest.h>

#include "editor/ParameterFile.h"

namespace velorin {
namespace {

using Values = std::array<std::int32_t, kRegisterCount>;
using Flags = std::array<std::int16_t, kPageCount + 1>;

Flags pages(std::initializer_list<int> present) {
    Flags flags{};
    for (int p : present) flags[p] = 1;
    return flags;
}

// The lines "P<reg> <value>" for first..last, each followed by `end`.
std::string file(int first, int last, const std::string& end = "\r\n", int value = 0) {
    std::string text;
    for (int reg = first; reg <= last; ++reg)
        text += "P" + std::to_string(reg) + " " + std::to_string(value) + end;
    return text;
}

TEST(ParameterFile, SaveWritesThePresentPagesOrEveryRegisterOffline) {
    Values value{};
    value[5] = -5;
    const std::pair<std::string, std::string> cases[] = {
        {parameterFileText(value, pages({0}), false),
         "P0 0\r\n" + file(1, 4) + "P5 -5\r\n" + file(6, 22)},
        // P15 keeps 496-502 and P17-1 538-548; page 29 (P17.24) is never saved.
        {parameterFileText(value, pages({28, 25, 29}), false), file(496, 502) + file(538, 548)},
        {parameterFileText(value, pages({}), false), ""},
        {parameterFileText(value, pages({}), true), file(0, 4) + "P5 -5\r\n" + file(6, 548)},
    };
    for (const auto& [saved, expected] : cases) {
        EXPECT_EQ(saved, expected);
        // Every line ends in CR LF, never a lone CR or LF.
        const auto count = [&saved = saved](std::string_view what) {
            std::size_t n = 0;
            for (auto at = saved.find(what); at != std::string::npos; at = saved.find(what, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count("\r"), count("\r\n"));
        EXPECT_EQ(count("\n"), count("\r\n"));
    }
    EXPECT_EQ(parseParameterFile(cases[0].first).values[5], -5);
}

// Every unreadable line is told with its number and left out; bytes are shown escaped.
TEST(ParameterFile, EveryUnreadLineIsToldWithItsNumber) {
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
        {file(0, 4) + file(6, 22), {"第 1 行：頁面 P00 缺少 P5 的數值。"}, {}},
        // Of several pages lacking a value the one starting nearest the top is told.
        {file(25, 48) + file(0, 4) + file(6, 21), {"第 25 行：頁面 P00 缺少 P5 的數值。"}, {}},
    };
    // clang-format on
    for (const auto& row : rows) {
        const ParameterFileLoad load = parseParameterFile(row.bytes);
        EXPECT_EQ(load.messages(), row.told) << row.bytes;
        EXPECT_FALSE(load.ok());
        EXPECT_EQ(load.values[5], row.p5) << row.bytes;
        EXPECT_NE(load.values[1], 5) << "a code-form line is no line for P1";
    }
}

TEST(ParameterFile, SaveLoadSaveThroughTheFieldsGivesTheSameBytes) {
    Values factory{};
    valueConvert(factoryFields(), factory, 0);
    Values edited = factory;
    const std::pair<int, int> edits[] = {{96, 1},      {97, 5},  {229, 1}, {230, 150},
                                         {440, 12345}, {497, 4}, {0, -1},  {3, 60000}};
    for (auto [reg, raw] : edits) edited[reg] = raw;
    for (const auto& [value, flag471] : {std::pair{&factory, 0}, {&edited, 3}}) {
        for (const bool offline : {false, true}) {
            Flags all;
            all.fill(1);
            const std::string saved = parameterFileText(*value, all, offline);
            const ParameterFileLoad load = parseParameterFile(saved);
            ASSERT_TRUE(load.ok()) << load.error->message();
            // As the editor loads: each field of a held page shows its value, then converts.
            std::array<FieldContent, kRegisterCount> fields{};
            const DisplayContext context = loadDisplayContext(load, flag471);
            for (int reg = 0; reg < kFileRegisterCount; ++reg) {
                const ParameterInfo& p = Catalogue::instance().parameter(reg);
                if (!p.shown || !heldRange(p.page).contains(reg))
                    continue;
                const Display shown = loadedDisplay(reg, *load.values[reg], context);
                if (auto* select = std::get_if<SelectPosition>(&shown))
                    fields[reg].selected = select->position;
                else
                    fields[reg].text = std::get<ShowText>(shown).text;
            }
            // P13.04 converts at the P13.35 the file brings with page P13-2, as it is shown.
            Values back{};
            valueConvert(fields, back, context.pidDecimals);
            EXPECT_EQ(parameterFileText(back, all, offline), saved) << "offline " << offline;
        }
    }
}

}  // namespace
}  // namespace velorin
