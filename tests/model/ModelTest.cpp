// The catalogue, the display and conversion rules, the factory values and the range checks.

#include <map>
#include <set>
#include <sstream>

#include "editor/LineRecord.h"
#include "model/Catalogue.h"
#include "model/Rules.h"
#include "model/ValueCheck.h"
#include "sim/SimulatedDrive.h"

namespace velorin {
namespace {

const Catalogue& cat() {
    return Catalogue::instance();
}

using Row = std::vector<std::string>;

std::vector<Row> rows(const std::string& file) {
    return test::tsvRows(std::string(VELORIN_EDITOR_TEST_DATA) + "/" + file);
}

// "14-15,23,112-114" as the registers it names; "-" names none.
std::vector<int> registers(const std::string& text) {
    std::vector<int> regs;
    std::istringstream parts(text == "-" ? "" : text);
    for (std::string part; std::getline(parts, part, ',');) {
        const int last = std::stoi(part.substr(part.find('-') + 1));  // npos + 1: no dash
        for (int r = std::stoi(part); r <= last; ++r) regs.push_back(r);
    }
    return regs;
}

TEST(Catalogue, DataParsesAndChoicesShowByPosition) {
    EXPECT_TRUE(cat().dataErrors().empty()) << cat().dataErrors().front();
    for (const auto& p : cat().parameters())  // P17.24 shows by position in a box with a list
        EXPECT_TRUE(!p.shown || (p.kind == FieldKind::Choice) ==
                                    (p.display == DisplayRule::Position && p.reg != 562))
            << p.code;
}

TEST(Catalogue, CodesAndPlaces) {
    for (int r = 0; r < kRegisterCount; ++r)
        EXPECT_EQ(Catalogue::registerOf(Catalogue::codeOf(r)), r);
    std::vector<std::string> codes;
    for (int r : {0, 24, 25, 380, 562}) codes.push_back(Catalogue::codeOf(r));
    EXPECT_EQ(codes, (std::vector<std::string>{"P00.00", "P00.24", "P01.00", "P11.12", "P17.24"}));
    // Group ends: P00 runs to P00.24, P17 to P17.24.
    for (const char* bad : {"P00.25", "P17.25", "P18.00", "P2.24", "P0a.00", "X00.00", ""})
        EXPECT_FALSE(Catalogue::registerOf(bad)) << bad;
    for (const auto& row : rows("places.tsv")) {
        const auto& p = cat().parameter(std::stoi(row[0]));
        std::vector<std::string> got;
        for (int v : {p.reg, p.page, p.place.column, p.place.row, p.place.labelX, p.place.fieldX,
                      p.place.y})
            got.push_back(std::to_string(v));
        EXPECT_EQ(got, row);
    }
}

std::vector<std::string> texts(int reg) {
    const auto options = cat().options(reg);
    return {options.begin(), options.end()};
}

TEST(OptionLists, ListsNumberedByPosition) {
    // An option's number is its position (P00.01's jump to 26-33 and 60).
    std::vector<int> p0001;
    for (const auto& p : cat().parameters()) {
        const bool takesList = p.kind == FieldKind::Choice || p.kind == FieldKind::NumberWithList;
        EXPECT_EQ(p.list >= 0, takesList) << p.reg;
        const auto options = texts(p.reg);
        for (int i = 0; i < static_cast<int>(options.size()) && p.reg != 497; ++i) {
            const auto number = options[i].substr(0, options[i].find("："));
            if (p.reg == 1)
                p0001.push_back(std::stoi(number));
            else
                EXPECT_EQ(number, std::to_string(i)) << p.code;
        }
    }
    EXPECT_EQ(p0001, registers("0-22,26-33,60"));
    // Runs of blanks and the full-width tilde survive.
    EXPECT_EQ(texts(1)[1], "1：輸入端子(I  M9M8  M7M6  M5M4  M3M2  M1M0)");
    EXPECT_EQ(texts(27)[0], "0：VIN:類比信號0V～10V輸入");
}

std::int16_t n16(const std::string& text) {
    return static_cast<std::int16_t>(std::stoi(text));
}

TEST(Display, RawValuesByRule) {
    using R = LeaveUnchanged::Reason;
    const std::map<std::string, R> reasons = {{"NoPidDecimals", R::NoPidDecimals},
                                              {"NotABaudRate", R::NotABaudRate},
                                              {"NotAPosition", R::NotAPosition},
                                              {"NoField", R::NoField},
                                              {"NoUnit", R::NoUnit}};
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

// P17.11-P17.24 only show. The scale each field converts by is the round trip's
// (Core.EveryShowableValueComesBackAndNoOtherIsWritten).
TEST(DisplayRules, EveryShownFieldUpToP1710Converts) {
    int converted = 0;
    for (const auto& p : cat().parameters()) {
        const bool convert = p.shown && p.reg <= 548;
        converted += convert;
        EXPECT_EQ(p.conversion != ConversionKind::None, convert) << p.reg;
    }
    EXPECT_EQ(converted, 487);
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

// Transcribed apart from the editor's, but for the drive's own rated current P11.14 (100.0 A).
TEST(SimulatedDrive, StartsWithTheEditorsFactoryValues) {
    SimulatedDrive drive;
    for (int r = 0; r < kParameterCount; ++r)
        EXPECT_EQ(drive.reg(r), r == 382 ? 1000 : static_cast<std::uint16_t>(factoryDriveValue(r)))
            << r;
}

TEST(CheckList, EveryCheckTestsAFieldOfThePageThatEnablesIt) {
    std::set<std::string> textDiffers;
    for (const auto& c : cat().checks()) {
        const auto& p = cat().parameter(c.reg);
        // Page 29 has no checks.
        EXPECT_EQ(
            std::tuple(p.page, Catalogue::codeOf(c.reg), p.kind == FieldKind::Choice, c.page < 29),
            std::tuple(c.page, c.code, false, true));
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

// Values passing every check with P11.14 = 100 (lower bounds, motor currents at the rated
// current) but those the table names.
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
            messages.push_back(f.code + " 範圍不在" + f.bounds + "。");  // as the data words it
        EXPECT_EQ(messages, Row(row.begin() + 4, row.end())) << row[0] << " " << row[1];
    }
}

}  // namespace
}  // namespace velorin
