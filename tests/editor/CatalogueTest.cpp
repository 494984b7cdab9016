// The catalogue against the figures the drive's documentation states independently of the
// per-register tables: counts, page table, lists, widths, layout and codes.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "editor/Catalogue.h"

namespace velorin {
namespace {

const Catalogue& cat() {
    return Catalogue::instance();
}

std::vector<int> span(int first, int last) {
    std::vector<int> v;
    for (int r = first; r <= last; ++r) v.push_back(r);
    return v;
}

std::vector<int> join(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(Catalogue, EmbeddedDataReadsWithoutFaults) {
    EXPECT_TRUE(cat().dataErrors().empty()) << cat().dataErrors().front();
}

TEST(Catalogue, ExactlyTheSixtyTwoRegistersWithoutFieldAreHidden) {
    const auto expected = join({{14, 15, 23, 24},
                                span(112, 114),
                                span(132, 140),
                                {145},
                                span(165, 169),
                                span(221, 225),
                                {282},
                                span(304, 306),
                                {343},
                                span(345, 348),
                                span(365, 367),
                                {378, 379},
                                span(432, 435),
                                span(472, 475),
                                span(489, 495),
                                {503, 504},
                                span(532, 535)});
    ASSERT_EQ(expected.size(), 62u);
    std::vector<int> hidden;
    for (const auto& p : cat().parameters())
        if (!p.shown)
            hidden.push_back(p.reg);
    EXPECT_EQ(hidden, expected);
    EXPECT_EQ(kRegisterCount - static_cast<int>(hidden.size()), 501);
}

// Registers without a field are read with their page when they lie inside its read range.
TEST(Catalogue, RegistersWithoutFieldInsideAndOutsideTheReadRanges) {
    std::vector<int> inside, outside;
    for (const auto& p : cat().parameters()) {
        if (p.shown)
            continue;
        const bool read =
            std::any_of(cat().pages().begin(), cat().pages().end(),
                        [&](const PageInfo& page) { return page.read.contains(p.reg); });
        (read ? inside : outside).push_back(p.reg);
    }
    EXPECT_EQ(
        inside,
        join({{14, 15}, span(132, 140), {282, 343}, span(345, 348), {378, 379}, span(532, 535)}));
    EXPECT_EQ(outside, join({{23, 24},
                             span(112, 114),
                             {145},
                             span(165, 169),
                             span(221, 225),
                             span(304, 306),
                             span(365, 367),
                             span(432, 435),
                             span(472, 475),
                             span(489, 495),
                             {503, 504}}));
}

TEST(Catalogue, KindAndDisplayRuleCounts) {
    std::map<FieldKind, int> kinds;
    std::map<DisplayRule, int> rules;
    for (const auto& p : cat().parameters()) {
        if (!p.shown)
            continue;
        ++kinds[p.kind];
        ++rules[p.display];
        // A field is a choice field exactly when it is shown by position, except P17.24.
        const bool position = p.display == DisplayRule::Position;
        EXPECT_EQ(p.kind == FieldKind::Choice, position && p.reg != 562) << p.code;
    }
    EXPECT_EQ(kinds[FieldKind::Choice], 105);
    EXPECT_EQ(kinds[FieldKind::Number] + kinds[FieldKind::NumberWithList], 396);
    EXPECT_EQ(kinds[FieldKind::NumberWithList], 2);
    EXPECT_EQ(cat().parameter(497).kind, FieldKind::NumberWithList);
    EXPECT_EQ(cat().parameter(562).kind, FieldKind::NumberWithList);

    const std::map<DisplayRule, int> expected = {
        {DisplayRule::Position, 106}, {DisplayRule::Div100, 167},    {DisplayRule::Integer, 102},
        {DisplayRule::Div10, 78},     {DisplayRule::Div1000, 20},    {DisplayRule::StepTime, 16},
        {DisplayRule::RampTime, 10},  {DisplayRule::PidSetpoint, 1}, {DisplayRule::BaudRate, 1},
    };
    EXPECT_EQ(rules, expected);
    // The dependent rules sit exactly on their registers.
    for (int r : span(97, 106)) EXPECT_EQ(cat().parameter(r).display, DisplayRule::RampTime);
    for (int r : span(230, 245)) EXPECT_EQ(cat().parameter(r).display, DisplayRule::StepTime);
    EXPECT_EQ(cat().parameter(440).display, DisplayRule::PidSetpoint);
    EXPECT_EQ(cat().parameter(497).display, DisplayRule::BaudRate);
}

struct PageRow {
    int page;
    int fields;
    const char* firstCode;
    const char* lastCode;
};

TEST(Catalogue, PagesHoldTheirFieldsInRegisterOrder) {
    const std::vector<PageRow> table = {
        {0, 21, "P00.00", "P00.22"},  {1, 24, "P01.00", "P01.23"},  {2, 6, "P01.24", "P01.29"},
        {3, 24, "P02.00", "P02.23"},  {4, 17, "P02.24", "P02.40"},  {5, 16, "P03.00", "P03.15"},
        {6, 21, "P04.00", "P04.29"},  {7, 19, "P05.00", "P05.18"},  {8, 16, "P06.00", "P06.15"},
        {9, 24, "P07.00", "P07.23"},  {10, 11, "P07.24", "P07.34"}, {11, 20, "P08.00", "P08.19"},
        {12, 24, "P09.00", "P09.23"}, {13, 24, "P09.24", "P09.48"}, {14, 9, "P09.49", "P09.57"},
        {15, 24, "P10.00", "P10.23"}, {16, 24, "P10.24", "P10.52"}, {17, 5, "P10.53", "P10.57"},
        {18, 24, "P11.00", "P11.25"}, {19, 6, "P11.26", "P11.31"},  {20, 24, "P12.00", "P12.23"},
        {21, 8, "P12.24", "P12.31"},  {22, 24, "P13.00", "P13.23"}, {23, 12, "P13.24", "P13.35"},
        {24, 13, "P14.00", "P14.12"}, {25, 7, "P15.00", "P15.06"},  {26, 24, "P16.00", "P16.23"},
        {27, 5, "P16.24", "P16.32"},  {28, 24, "P17.00", "P17.23"}, {29, 1, "P17.24", "P17.24"},
    };
    for (const auto& row : table) {
        const PageInfo& page = cat().page(row.page);
        ASSERT_EQ(static_cast<int>(page.fields.size()), row.fields) << row.page;
        EXPECT_EQ(cat().parameter(page.fields.front()).code, row.firstCode);
        EXPECT_EQ(cat().parameter(page.fields.back()).code, row.lastCode);
        EXPECT_TRUE(std::is_sorted(page.fields.begin(), page.fields.end()));
        // Every register of the read range that is not a field of this page has no field at
        // all, and every field lies inside the read range.
        for (int r = page.read.first; r <= page.read.last; ++r) {
            const auto& p = cat().parameter(r);
            EXPECT_TRUE(!p.shown || p.page == row.page) << r;
        }
        for (int r : page.fields) EXPECT_TRUE(page.read.contains(r)) << r;
    }
}

TEST(Catalogue, PageCaptionsAndRanges) {
    const std::vector<std::string> captions = {
        "P00",   "P01-1", "P01-2", "P02-1", "P02-2", "P03",   "P04",   "P05",   "P06",   "P07-1",
        "P07-2", "P08",   "P09-1", "P09-2", "P9-3",  "P10-1", "P10-2", "P10-3", "P11-1", "P11-2",
        "P12-1", "P12-2", "P13-1", "P13-2", "P14",   "P15",   "P16-1", "P16-2", "P17-1", "P17-2"};
    const std::vector<std::pair<int, int>> reads = {
        {0, 22},    {25, 48},   {49, 54},   {55, 78},   {79, 95},   {96, 111},
        {115, 144}, {146, 164}, {170, 185}, {186, 209}, {210, 220}, {226, 245},
        {246, 269}, {270, 294}, {295, 303}, {307, 330}, {331, 359}, {360, 364},
        {368, 393}, {394, 399}, {400, 423}, {424, 431}, {436, 459}, {460, 471},
        {476, 488}, {496, 502}, {505, 528}, {529, 537}, {538, 561}, {562, 562}};
    for (int k = 0; k < kPageCount; ++k) {
        const PageInfo& page = cat().page(k);
        EXPECT_EQ(page.caption, captions[k]);
        EXPECT_EQ(page.read.first, reads[k].first) << k;
        EXPECT_EQ(page.read.last, reads[k].second) << k;
        if (k == 25 || k >= 28)
            continue;
        // Elsewhere the save and write ranges are the read range.
        ASSERT_TRUE(page.onlineSave);
        EXPECT_EQ(page.onlineSave->first, page.read.first);
        EXPECT_EQ(page.onlineSave->last, page.read.last);
        ASSERT_EQ(page.write.size(), 1u);
        EXPECT_EQ(page.write[0].first, page.read.first);
        EXPECT_EQ(page.write[0].last, page.read.last);
        EXPECT_TRUE(page.writtenWhenChanged.empty());
    }
    const PageInfo& p15 = cat().page(25);
    EXPECT_EQ(p15.onlineSave->first, 496);
    EXPECT_EQ(p15.onlineSave->last, 502);
    ASSERT_EQ(p15.write.size(), 1u);
    EXPECT_EQ(p15.write[0].first, 499);
    EXPECT_EQ(p15.write[0].last, 502);
    EXPECT_EQ(p15.writtenWhenChanged, (std::vector<int>{496, 497, 498}));
    const PageInfo& p17 = cat().page(28);
    EXPECT_EQ(p17.onlineSave->first, 538);
    EXPECT_EQ(p17.onlineSave->last, 548);
    ASSERT_EQ(p17.write.size(), 2u);
    EXPECT_EQ(p17.write[0].first, 538);
    EXPECT_EQ(p17.write[0].last, 545);
    EXPECT_EQ(p17.write[1].first, 547);
    EXPECT_EQ(p17.write[1].last, 548);
    EXPECT_EQ(p17.writtenWhenChanged, std::vector<int>{546});
    EXPECT_FALSE(cat().page(29).onlineSave);
    EXPECT_TRUE(cat().page(29).write.empty());
}

TEST(Catalogue, CodesAndRegistersBothWays) {
    const std::vector<std::pair<const char*, int>> known = {
        {"P00.00", 0},  {"P11.12", 380}, {"P02.11", 66},  {"P11.24", 392},
        {"P03.00", 96}, {"P13.35", 471}, {"P15.01", 497}, {"P17.24", 562}};
    for (const auto& [code, reg] : known) {
        EXPECT_EQ(Catalogue::registerOf(code), reg) << code;
        EXPECT_EQ(Catalogue::codeOf(reg), code);
    }
    for (int r = 0; r < kRegisterCount; ++r)
        EXPECT_EQ(Catalogue::registerOf(Catalogue::codeOf(r)), r);
    // Group ends: P00 runs to P00.24, P17 to P17.24.
    for (const char* bad : {"P00.25", "P17.25", "P18.00", "P2.24", "P0a.00", "X00.00", ""})
        EXPECT_FALSE(Catalogue::registerOf(bad)) << bad;
}

TEST(Catalogue, LabelsUseTheFullWidthColonAndPageFoursShortGroup) {
    EXPECT_EQ(cat().parameter(380).label, "P11.12：DC額定電樞電壓");
    EXPECT_EQ(cat().parameter(79).label, "P2.24：定位點指令10(度)");
    EXPECT_EQ(cat().parameter(95).label, "P2.40：尋找外部機械原點頻率");
    EXPECT_EQ(cat().parameter(91).code, "P02.36");
    for (const auto& p : cat().parameters()) {
        if (!p.shown)
            continue;
        EXPECT_EQ(p.code, Catalogue::codeOf(p.reg));
        const std::string labelCode = p.page == 4 ? "P" + p.code.substr(2) : p.code;
        EXPECT_EQ(p.label, labelCode + "：" + p.name);
    }
}

TEST(Catalogue, FieldPlacesOnThePage) {
    struct Place {
        int reg, page, column, row, labelX, fieldX, y;
    };
    const std::vector<Place> table = {
        {0, 0, 1, 1, 240, 3360, 1080},     {7, 0, 1, 8, 240, 3360, 7870},
        {8, 0, 2, 1, 6840, 9960, 1080},    {380, 18, 2, 3, 6840, 9960, 3020},
        {377, 18, 2, 2, 6840, 9960, 2050}, {393, 18, 3, 8, 13560, 16680, 7870},
        {562, 29, 1, 1, 240, 3360, 1080},  {144, 6, 3, 5, 13560, 16680, 4960},
    };
    for (const auto& t : table) {
        const auto& p = cat().parameter(t.reg);
        EXPECT_EQ(p.page, t.page) << t.reg;
        EXPECT_EQ(p.place.column, t.column) << t.reg;
        EXPECT_EQ(p.place.row, t.row) << t.reg;
        EXPECT_EQ(p.place.labelX, t.labelX) << t.reg;
        EXPECT_EQ(p.place.fieldX, t.fieldX) << t.reg;
        EXPECT_EQ(p.place.y, t.y) << t.reg;
    }
}

TEST(Catalogue, ReadOnlyFields) {
    std::vector<int> disabled, locked;
    for (const auto& p : cat().parameters()) {
        if (p.access == Access::Disabled)
            disabled.push_back(p.reg);
        if (p.access == Access::Locked)
            locked.push_back(p.reg);
    }
    EXPECT_EQ(disabled, join({span(538, 544), span(549, 562)}));
    EXPECT_EQ(locked, std::vector<int>{382});
}

TEST(OptionLists, SeventyFiveDistinctListsOnTheFieldsThatTakeThem) {
    const auto& lists = cat().lists();
    EXPECT_EQ(lists.size(), 75u);
    std::set<std::vector<std::string>> distinct;
    int carried = 0;
    for (const auto& l : lists) {
        distinct.insert(l.texts);
        carried += static_cast<int>(l.fields.size());
    }
    EXPECT_EQ(distinct.size(), 75u);
    EXPECT_EQ(carried, 107);
    for (const auto& p : cat().parameters()) {
        const bool takesList = p.kind == FieldKind::Choice || p.kind == FieldKind::NumberWithList;
        EXPECT_EQ(p.list >= 0, takesList) << p.reg;
    }
}

// Option numbers run 0, 1, 2 ... with the list position: a dropped or doubled option shows.
TEST(OptionLists, EveryOptionIsNumberedByItsPosition) {
    std::vector<std::string> p0001Numbers;
    for (const auto& p : cat().parameters()) {
        if (p.list < 0 || p.reg == 497)
            continue;
        const auto options = cat().options(p.reg);
        for (int i = 0; i < static_cast<int>(options.size()); ++i) {
            const auto colon = options[i].find("：");
            ASSERT_NE(colon, std::string::npos) << p.code << " " << i;
            if (p.reg == 1)
                p0001Numbers.push_back(options[i].substr(0, colon));
            else
                EXPECT_EQ(options[i].substr(0, colon), std::to_string(i)) << p.code;
        }
    }
    std::vector<std::string> expected;
    for (int n = 0; n <= 22; ++n) expected.push_back(std::to_string(n));
    for (int n = 26; n <= 33; ++n) expected.push_back(std::to_string(n));
    expected.push_back("60");
    EXPECT_EQ(p0001Numbers, expected);
}

TEST(OptionLists, EdgeLists) {
    for (int r : span(149, 158)) {
        const auto o = cat().options(r);
        ASSERT_EQ(o.size(), 64u) << r;
        EXPECT_EQ(o.front(), "0：無功能");
        EXPECT_EQ(o.back(), "63：計數器脈波輸入(0~2KHz)");
    }
    for (int r : span(170, 174)) EXPECT_EQ(cat().options(r).size(), 33u) << r;
    for (int r : span(403, 410)) EXPECT_EQ(cat().options(r).size(), 43u) << r;
    EXPECT_EQ(std::vector<std::string>(cat().options(361).begin(), cat().options(361).end()),
              std::vector<std::string>{"0：轉矩電流限制"});
    const auto baud = cat().options(497);
    EXPECT_EQ(std::vector<std::string>(baud.begin(), baud.end()),
              (std::vector<std::string>{"4.8", "9.6", "19.2", "38.4", "115.2"}));
    EXPECT_EQ(cat().options(562).size(), 2u);
    EXPECT_EQ(cat().options(562)[1], "1：Av0:100% => 2.5PU變頻器額定電流");
    // Runs of blanks and the full-width tilde survive.
    EXPECT_EQ(cat().options(1)[1], "1：輸入端子(I  M9M8  M7M6  M5M4  M3M2  M1M0)");
    EXPECT_EQ(cat().options(1)[2], "2：輸出端子(o  MC BK  Fan DO3  DO2 DO1  RL2  RL1)");
    EXPECT_EQ(cat().options(27)[0], "0：VIN:類比信號0V～10V輸入");
    EXPECT_EQ(cat().options(1)[23], "26：編碼器1 Z計數");
    EXPECT_EQ(cat().options(498).size(), 7u);
    EXPECT_EQ(cat().options(546).size(), 9u);
    EXPECT_TRUE(cat().options(2).empty());
}

TEST(OptionLists, DropDownWidthGroups) {
    std::map<int, std::vector<int>> groups;
    int choice = 0;
    for (const auto& p : cat().parameters()) {
        if (p.dropDownWidth == 0)
            continue;
        groups[p.dropDownWidth].push_back(p.reg);
        if (p.kind == FieldKind::Choice)
            ++choice;
    }
    const std::map<int, std::vector<int>> expected = {
        {250, {16, 25, 26, 186, 203, 300, 391, 436}},
        {300, {27, 226, 369, 452, 498, 520, 521}},
        {350, {107, 170, 171, 172, 173, 174, 384}},
        {400, {153, 193, 197, 200, 461, 464, 467, 546}},
        {450, {1, 131, 142}},
        {480, span(154, 163)},
        {500, span(403, 410)},
    };
    EXPECT_EQ(groups, expected);
    EXPECT_EQ(choice, 46);  // and the number fields P05.13-P05.17
}

TEST(Catalogue, ParameterCopiesAndWhatReadsThem) {
    std::vector<std::pair<std::string, int>> copies;
    for (const auto& c : Catalogue::parameterCopies()) copies.emplace_back(c.name, c.reg);
    const std::vector<std::pair<std::string, int>> expected = {
        {"Flag96", 96},   {"Flag229", 229}, {"Flag382", 382}, {"Flag470", 470}, {"Flag471", 471},
        {"Flag496", 496}, {"Flag497", 497}, {"Flag498", 498}, {"Flag546", 546}};
    EXPECT_EQ(copies, expected);
    EXPECT_EQ(Catalogue::parameterCopies()[2].dependents, (std::vector<int>{261, 322}));
}

}  // namespace
}  // namespace velorin
