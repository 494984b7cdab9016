// Factory defaults against the display rules and option lists, and the simulated drive's
// factory registers.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string_view>

#include "editor/Rules.h"
#include "link/MBus.h"
#include "link/NumberText.h"
#include "sim/SimulatedDrive.h"

namespace velorin {
namespace {

const Catalogue& cat() {
    return Catalogue::instance();
}

int decimalsOf(const std::string& text) {
    const auto point = text.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

int ruleDecimals(const ParameterInfo& p) {
    switch (p.display) {
        case DisplayRule::Integer:
            return 0;
        case DisplayRule::Div10:
            return 1;
        case DisplayRule::Div100:
            return 2;
        case DisplayRule::Div1000:
            return 3;
        case DisplayRule::RampTime:
            return 2;  // P03.00 defaults to 0
        case DisplayRule::StepTime:
            return 1;  // P08.03 defaults to 0
        case DisplayRule::PidSetpoint:
            return 2;  // P13.35 defaults to 2
        default:
            return -1;
    }
}

TEST(FactoryDefaults, EveryFieldButP0113HasOneOfItsKind) {
    int count = 0;
    for (const auto& p : cat().parameters()) {
        if (!p.shown) {
            EXPECT_EQ(p.factory.kind, FactoryDefault::Kind::None) << p.reg;
            continue;
        }
        ++count;
        if (p.reg == 38) {
            EXPECT_EQ(p.factory.kind, FactoryDefault::Kind::None);
            continue;
        }
        if (p.kind == FieldKind::Number) {
            ASSERT_EQ(p.factory.kind, FactoryDefault::Kind::Text) << p.code;
            EXPECT_TRUE(strictNumber(p.factory.text)) << p.code << " " << p.factory.text;
        } else {
            // Choice fields and the boxes with a fixed list select a position the list has.
            ASSERT_EQ(p.factory.kind, FactoryDefault::Kind::Position) << p.code;
            EXPECT_GE(p.factory.position, 0) << p.code;
            EXPECT_LT(p.factory.position, static_cast<int>(cat().options(p.reg).size())) << p.code;
        }
    }
    EXPECT_EQ(count, 501);
}

// The default texts and the display rules are stated apart; their decimals agree except on
// the rows known to differ.
TEST(FactoryDefaults, DecimalsFollowTheDisplayRuleExceptTheKnownRows) {
    std::set<int> differing;
    for (const auto& p : cat().parameters())
        if (p.factory.kind == FactoryDefault::Kind::Text &&
            decimalsOf(p.factory.text) != ruleDecimals(p))
            differing.insert(p.reg);
    std::set<int> expected = {187, 188, 189, 191, 192, 208, 390, 423,
                              212, 411, 412, 454, 274, 310, 312, 314};
    for (int r = 230; r <= 245; ++r) expected.insert(r);
    EXPECT_EQ(differing, expected);
}

struct ChoiceDefault {
    int reg;
    const char* code;
    int position;
    const char* shown;
};

TEST(FactoryDefaults, ChoicesNotAtPositionZeroShowTheirOption) {
    const std::vector<ChoiceDefault> table = {
        {6, "P00.06", 1, "1：外部控制端子"},
        {7, "P00.07", 1, "1：鍵盤STOP鍵有效"},
        {26, "P01.01", 1, "1：數位操作器上的轉扭(VIN0)"},
        {27, "P01.02", 1, "1：VIN+AIN"},
        {123, "P04.08", 1, "1：0~10V"},
        {142, "P04.27", 1, "1：輸出頻率(頻率上限)"},
        {151, "P05.05", 19, "19：外部故障(運轉中檢出、自由停機)"},
        {152, "P05.06", 2, "2：異常復歸(Reset)"},
        {171, "P06.01", 10, "10：異常"},
        {193, "P07.07", 1, "1：無強制風冷馬達,冷機起動(P07.08 , 1.00*P07.10)"},
        {213, "P07.27", 1, "1：減速停止"},
        {215, "P07.29", 1, "1：減速停止"},
        {218, "P07.32", 3, "3：繼續運行(只顯示oES)"},
        {259, "P09.13", 1, "1：輸出電壓無限制(VF only)"},
        {293, "P09.47", 1, "1：有效"},
        {320, "P10.13", 1, "1：輸出電壓無限制"},
        {354, "P10.47", 1, "1：有效"},
        {377, "P11.09", 2, "2：以最低電壓V0輸出"},
        {393, "P11.25", 1, "1：有效"},
        {438, "P13.02", 2, "2：AVI(-10～10V 輸入)"},
        {497, "P15.01", 1, "9.6"},
        {501, "P15.05", 3, "3：繼續運行(只顯示conF)"},
        {505, "P16.00", 1, "1：帶PG向量控制"},
        {520, "P16.15", 1, "1：只有開機第一次啟動搜尋"},
        {545, "P17.07", 1, "1：記憶關電前之頻率"},
        {550, "P17.12", 1, "1：Infineon (FR15506W1E3)"},
    };
    std::set<int> nonZero;
    for (const auto& p : cat().parameters())
        if (p.factory.kind == FactoryDefault::Kind::Position && p.factory.position != 0)
            nonZero.insert(p.reg);
    std::set<int> listed;
    for (const auto& row : table) {
        listed.insert(row.reg);
        const auto& p = cat().parameter(row.reg);
        EXPECT_EQ(p.code, row.code);
        EXPECT_EQ(p.factory.position, row.position) << row.code;
        EXPECT_EQ(cat().options(row.reg)[row.position], row.shown) << row.code;
    }
    EXPECT_EQ(nonZero, listed);
}

TEST(FactoryDefaults, ShownTexts) {
    const std::vector<std::pair<int, std::string_view>> table = {
        {2, "6"},        {3, "10000"},   {10, "0.00"},  {13, "0.00"},  {30, "100.00"},
        {39, "5.00"},    {40, "0.00"},   {97, "10.00"}, {106, "2.00"}, {187, "190"},
        {310, "220.00"}, {440, "50.00"}, {496, "1"},    {549, "101"},  {553, "1.000"},
    };
    for (const auto& [reg, text] : table) EXPECT_EQ(cat().parameter(reg).factory.text, text);
}

TEST(FactoryDefaults, DriveValues) {
    const std::vector<std::pair<int, std::int32_t>> table = {
        {2, 6},      {3, 10000},  {30, 10000}, {97, 1000}, {106, 200},  {187, 1900},
        {212, 7500}, {274, 2},    {310, 2200}, {230, 0},   {440, 5000}, {471, 2},
        {496, 1},    {497, 96},   {498, 0},    {151, 19},  {38, 0},     {14, 0},
        {549, 101},  {553, 1000}, {554, 4000}, {562, 0},   {122, 20},   {392, 10000},
    };
    for (const auto& [reg, value] : table) EXPECT_EQ(factoryDriveValue(reg), value) << reg;
}

// An offline save right after the editor opens converts the default fields.
TEST(FactoryDefaults, OfflineConversionOfTheDefaultFields) {
    std::array<std::int32_t, kRegisterCount> value{};
    value[38] = 0;
    valueConvert(factoryFields(), value, 0);
    const std::vector<std::pair<int, std::int32_t>> table = {
        {0, 0},      {2, 6},   {3, 10000}, {30, 10000}, {97, 1000}, {187, 1900},
        {310, 2200}, {123, 1}, {440, 50},  {496, 1},    {497, 1},   {498, 0},
        {38, 0},     {14, 0},  {549, 0},   {562, 0},
    };
    for (const auto& [reg, v] : table) EXPECT_EQ(value[reg], v) << reg;
}

TEST(SimulatedDrive, StartsAndResetsToTheFactoryValues) {
    SimulatedDrive drive;
    const auto factory = factoryRegisterValues();
    for (int r = 0; r < kParameterCount; ++r)
        EXPECT_EQ(factory[r], static_cast<std::uint16_t>(factoryDriveValue(r))) << r;
    EXPECT_EQ(drive.reg(3), 10000);
    EXPECT_EQ(drive.reg(97), 1000);
    EXPECT_EQ(drive.reg(151), 19);
    EXPECT_EQ(drive.reg(496), 1);
    EXPECT_EQ(drive.reg(497), 96);
    EXPECT_EQ(drive.reg(498), 0);
    EXPECT_EQ(drive.station(), 1);

    // A technician's change, then a reset to the 3-wire 220/440 V defaults over the line.
    drive.setReg(3, 500);
    drive.setReg(151, 4);
    const std::string request = asciiRequest("010602220003");  // P546 (0x222) := 3
    const std::vector<std::uint8_t> bytes(request.begin(), request.end());
    drive.hear(bytes, drive.line());
    EXPECT_EQ(drive.reg(3), 10000);
    EXPECT_EQ(drive.reg(151), 19);
    EXPECT_EQ(drive.reg(546), 0);
}

}  // namespace
}  // namespace velorin
