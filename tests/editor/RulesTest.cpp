// Display of raw values, conversion of fields back to raw values, the factory defaults, the
// simulated drive's factory registers, and the range checks run before a write.

#include <map>
#include <set>

#include "TestData.h"
#include "editor/Rules.h"
#include "editor/ValueCheck.h"
#include "link/MBus.h"
#include "link/NumberText.h"
#include "sim/SimulatedDrive.h"

namespace velorin::editortest {
namespace {

std::int16_t n16(const std::string& text) {
    return static_cast<std::int16_t>(std::stoi(text));
}

TEST(Display, RawValuesByRule) {
    using R = LeaveUnchanged::Reason;
    const std::map<std::string, R> reasons = {{"NoPidDecimals", R::NoPidDecimals},
                                              {"NotABaudRate", R::NotABaudRate},
                                              {"NotAPosition", R::NotAPosition},
                                              {"NoField", R::NoField}};
    for (const auto& r : rows("display.tsv")) {
        Display expected = ShowText{r[5]};
        if (r[5][0] == '#')
            expected = SelectPosition{std::stoi(r[5].substr(1))};
        else if (reasons.contains(r[5]))
            expected = LeaveUnchanged{reasons.at(r[5])};
        const DisplayContext context{std::stoi(r[2]), std::stoi(r[3]), n16(r[4])};
        EXPECT_EQ(displayValue(std::stoi(r[0]), std::stoi(r[1]), context), expected)
            << r[0] << " " << r[1];
    }
}

TEST(Conversion, FieldsByKind) {
    for (const auto& r : rows("conversion.tsv")) {
        const FieldContent field{std::stoi(r[1]), r[2]};
        const ConversionContext context{std::stoi(r[3]), std::stoi(r[4]), n16(r[5]), r[6][0]};
        const auto raw = convertField(std::stoi(r[0]), field, context);
        EXPECT_EQ(raw ? std::to_string(*raw) : "-", r[7]) << r[0] << " '" << r[2] << "'";
    }
}

TEST(Conversion, ValueConvertTakesTheSelectedUnitsAndKeepsFailures) {
    std::array<FieldContent, kRegisterCount> fields{};
    std::array<std::int32_t, kRegisterCount> value{};
    value[159] = 555;  // an empty x10 field keeps it
    fields[97].text = "10.00";
    fields[230].text = "2.5";
    fields[96].selected = 1;
    fields[229].selected = 0;
    valueConvert(fields, value, 0);
    // P03.01 and P08.04 follow the unit positions selected now; nothing selected gives -1.
    EXPECT_EQ((std::vector{value[96], value[97], value[229], value[230], value[159], value[0]}),
              (std::vector<std::int32_t>{1, 100, 0, 25, 555, -1}));
    fields[96].selected = 0;
    valueConvert(fields, value, 0);
    EXPECT_EQ(value[97], 1000);
}

// The conversion table, the display rules and the factory defaults are stated apart: each
// field's scale matches its decimals, and so do its default's decimals but for known rows.
TEST(DisplayRules, ScaleAndFactoryDefaultsAgreeWithThem) {
    using enum DisplayRule;
    using C = ConversionKind;
    using Kind = FactoryDefault::Kind;
    // The scale, and the decimals at the unit switches' and P13.35's own defaults.
    const std::map<DisplayRule, std::pair<C, int>> byRule = {
        {Position, {C::List, -1}},           {BaudRate, {C::List, -1}},
        {Integer, {C::Integer, 0}},          {Div10, {C::Scale10, 1}},
        {Div100, {C::Scale100, 2}},          {Div1000, {C::Scale1000, 3}},
        {RampTime, {C::ByRampUnit, 2}},      {StepTime, {C::ByStepUnit, 1}},
        {PidSetpoint, {C::ByPidDecimals, 2}}};
    int converted = 0;
    std::vector<int> differing, nonZero, listed;
    for (const auto& p : cat().parameters()) {
        const bool convert = p.shown && p.reg <= 548;  // P17.11-P17.24 only show
        converted += convert;
        EXPECT_EQ(p.conversion, convert ? byRule.at(p.display).first : C::None) << p.reg;
        const auto& f = p.factory;
        if (!p.shown || p.reg == 38) {  // P01.13 has no default
            EXPECT_EQ(f.kind, Kind::None) << p.reg;
        } else if (p.kind == FieldKind::Number) {
            ASSERT_EQ(f.kind, Kind::Text) << p.code;
            EXPECT_TRUE(strictNumber(f.text)) << p.code << " " << f.text;
            const auto point = f.text.find('.');
            const auto decimals = point == std::string::npos ? 0 : f.text.size() - point - 1;
            if (static_cast<int>(decimals) != byRule.at(p.display).second)
                differing.push_back(p.reg);
        } else {  // a position the field's list has
            ASSERT_EQ(f.kind, Kind::Position) << p.code;
            EXPECT_GE(f.position, 0) << p.code;
            ASSERT_LT(f.position, static_cast<int>(cat().options(p.reg).size())) << p.code;
            if (f.position != 0)
                nonZero.push_back(p.reg);
        }
    }
    EXPECT_EQ(converted, 487);
    EXPECT_EQ(differing, registerSet("default-decimals-differ"));
    // The choice fields whose default is not position 0, with the option then shown.
    for (const auto& row : rows("choice_defaults.tsv")) {
        const auto& p = cat().parameter(listed.emplace_back(std::stoi(row[0])));
        const auto shown = cat().options(p.reg)[p.factory.position];
        EXPECT_EQ(Row({p.code, std::to_string(p.factory.position), shown}),
                  Row(row.begin() + 1, row.end()));
    }
    EXPECT_EQ(nonZero, listed);
}

TEST(FactoryDefaults, ShownResetAndSavedOfflineValues) {
    const auto fields = factoryFields();
    std::array<std::int32_t, kRegisterCount> saved{};
    valueConvert(fields, saved, 0);
    for (const auto& row : rows("factory_values.tsv")) {
        const int reg = std::stoi(row[0]);
        EXPECT_EQ(Row({fields[reg].text, std::to_string(factoryDriveValue(reg)),
                       std::to_string(saved[reg])}),
                  Row(row.begin() + 1, row.end()))
            << reg;
    }
}

TEST(SimulatedDrive, StartsAndResetsToTheFactoryValues) {
    SimulatedDrive drive;
    const auto differing = [&] {
        std::vector<int> regs;
        for (int r = 0; r < kParameterCount; ++r)
            if (drive.reg(r) != static_cast<std::uint16_t>(factoryDriveValue(r)))
                regs.push_back(r);
        return regs;
    };
    EXPECT_EQ(differing(), std::vector<int>{});
    // A technician's change, then a reset to the 3-wire 220/440 V defaults over the line.
    drive.setReg(3, 500);
    drive.setReg(151, 4);
    ASSERT_EQ(differing(), (std::vector<int>{3, 151}));
    const std::string request = asciiRequest("010602220003");  // P546 (0x222) := 3
    drive.hear(std::vector<std::uint8_t>(request.begin(), request.end()), drive.line());
    EXPECT_EQ(differing(), std::vector<int>{});
}

TEST(CheckList, EveryCheckTestsAFieldOfThePageThatEnablesIt) {
    std::set<std::string> textDiffers;
    for (const auto& c : cat().checks()) {
        const auto& p = cat().parameter(c.reg);
        EXPECT_EQ(p.page, c.page) << c.code;
        EXPECT_EQ(codeByBases(c.reg), c.code);
        EXPECT_NE(p.kind, FieldKind::Choice) << c.code;
        EXPECT_LT(c.page, 29);  // page 29 has no checks
        // The bounds text mostly shows the raw bounds as the field shows them.
        const auto text = [&](std::int32_t raw) {
            return std::get<ShowText>(displayValue(c.reg, raw)).text;
        };
        if (c.lower.kind == CheckBound::Kind::Constant &&
            c.upper.kind == CheckBound::Kind::Constant &&
            text(c.lower.value) + "~" + text(c.upper.value) != c.boundsText)
            textDiffers.insert(c.code + "\t" + c.boundsText);
    }
    std::set<std::string> expected;
    for (const auto& row : rows("bounds_texts.tsv")) expected.insert(row[0] + "\t" + row[1]);
    EXPECT_EQ(textDiffers, expected);
}

// Values that pass every check with Flag382 = 100 (each tested register at its lower bound
// where that is a number, the motor currents at the rated current) but those named in the table.
TEST(ValueCheck, MessagesForGivenValues) {
    std::array<std::int32_t, kRegisterCount> passing{};
    for (const auto& c : cat().checks())
        if (c.lower.kind == CheckBound::Kind::Constant)
            passing[c.reg] = std::max(passing[c.reg], c.lower.value);
    passing[261] = passing[322] = 100;
    for (const auto& row : rows("check_messages.tsv")) {
        auto v = passing;
        std::istringstream values(row[1]);
        for (std::string set; std::getline(values, set, ',');)
            v[std::stoi(set)] = std::stoi(set.substr(set.find('=') + 1));
        std::array<std::int16_t, kPageCount + 1> held{};
        for (int k : registers(row[0])) held[k] = 1;
        std::vector<std::string> messages;
        for (const auto& f : valueCheck(v, held, std::stoi(row[2]), std::stoi(row[3])))
            messages.push_back(f.message);
        EXPECT_EQ(messages, Row(row.begin() + 4, row.end())) << row[0] << " " << row[1];
    }
}

}  // namespace
}  // namespace velorin::editortest
