// The parameter file: what a save writes, what a load refuses, save-load-save through the fields.

#include <gtest/gtest.h>

#include <tuple>

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
    for (const auto& [saved, expected] : cases) EXPECT_EQ(saved, expected);  // CR LF after each
    EXPECT_EQ(parseParameterFile(cases[0].first).values[5], -5);
}

// A fault carries what it quotes as read: the label or value unescaped, the register, the line a
// repeat overrides and the page that lacks a value.
TEST(ParameterFile, FaultsCarryTheirNumbersAndBytes) {
    using K = ParameterFileError::Kind;
    const ParameterFileLoad load =
        parseParameterFile(file(0, 4) + file(6, 22) + "P01.24 5\r\nP6 1\r\nP23 \x1B[2J\r\n");
    const std::tuple<K, int, int, int, std::string> unread[] = {
        {K::CodeNotRegister, 23, -1, 0, "P01.24"},
        {K::Repeated, 24, 6, 6, ""},
        {K::NotANumber, 25, 23, 0, "\x1B[2J"},
    };
    ASSERT_EQ(load.unreadLines.size(), std::size(unread));
    for (std::size_t i = 0; i < std::size(unread); ++i) {
        const ParameterFileError& e = load.unreadLines[i];
        EXPECT_EQ(std::tie(e.kind, e.line, e.reg, e.earlierLine, e.quoted), unread[i]);
    }
    ASSERT_TRUE(load.error);
    EXPECT_EQ(std::tie(load.error->kind, load.error->line, load.error->reg, load.error->page),
              std::make_tuple(K::MissingValue, 1, 5, 0));
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
            ASSERT_TRUE(load.ok());
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
