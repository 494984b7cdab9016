// Display of raw values and conversion of fields back to raw values.

#include <gtest/gtest.h>

#include "editor/Rules.h"

namespace velorin {
namespace {

using Reason = LeaveUnchanged::Reason;

struct DisplayCase {
    int reg;
    std::int32_t raw;
    DisplayContext context;
    Display expected;
};

TEST(Display, RawValuesByRule) {
    const std::vector<DisplayCase> cases = {
        {3, 1500, {}, ShowText{"1500"}},            // integer
        {3, -10, {}, ShowText{"-10"}},              // integer, negative, no blank
        {10, 5, {}, ShowText{"0.05"}},              // /100
        {10, -5, {}, ShowText{"-0.05"}},            // /100, negative
        {275, 12345, {}, ShowText{"12.345"}},       // /1000
        {159, -5, {}, ShowText{"-0.5"}},            // /10
        {159, 0, {}, ShowText{"0.0"}},              // /10
        {30, 10000, {}, ShowText{"100.00"}},        // /100
        {97, 1234, {0, 0, 0}, ShowText{"12.34"}},   // P03.00 = 0
        {97, 1234, {1, 0, 0}, ShowText{"123.4"}},   // any other P03.00
        {106, 1234, {7, 0, 0}, ShowText{"123.4"}},  // any other P03.00
        {230, 25, {0, 1, 0}, ShowText{"25"}},       // P08.03 = 1
        {230, 25, {0, 0, 0}, ShowText{"2.5"}},      // P08.03 = 0
        {440, 12345, {0, 0, 0}, ShowText{"12345"}},
        {440, 12345, {0, 0, 1}, ShowText{"1234.5"}},
        {440, 12345, {0, 0, 2}, ShowText{"123.45"}},
        {440, 12345, {0, 0, 3}, ShowText{"12.345"}},
        {440, 12345, {0, 0, 4}, ShowText{"1.2345"}},
        {440, 12345, {0, 0, 5}, LeaveUnchanged{Reason::NoPidDecimals}},
        {440, 12345, {0, 0, -1}, LeaveUnchanged{Reason::NoPidDecimals}},
        {497, 48, {}, SelectPosition{0}},
        {497, 192, {}, SelectPosition{2}},
        {497, 1152, {}, SelectPosition{4}},
        {497, 0, {}, LeaveUnchanged{Reason::NotABaudRate}},
        {497, 2, {}, LeaveUnchanged{Reason::NotABaudRate}},
        {0, 6, {}, SelectPosition{6}},  // last of 7 options
        {0, -1, {}, SelectPosition{-1}},
        {0, 7, {}, LeaveUnchanged{Reason::NotAPosition}},
        {0, -2, {}, LeaveUnchanged{Reason::NotAPosition}},
        {1, 31, {}, SelectPosition{31}},  // "60：軟體版本(108.08)"
        {1, 60, {}, LeaveUnchanged{Reason::NotAPosition}},
        {361, 1, {}, LeaveUnchanged{Reason::NotAPosition}},
        {562, 1, {}, SelectPosition{1}},
        {14, 0, {}, LeaveUnchanged{Reason::NoField}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(displayValue(c.reg, c.raw, c.context), c.expected) << c.reg << " " << c.raw;
}

struct ConvertCase {
    int reg;
    FieldContent field;
    ConversionContext context;
    std::optional<std::int32_t> expected;  // empty: the working value stays as it was
};

TEST(Conversion, FieldsByKind) {
    const std::vector<ConvertCase> cases = {
        // Integer fields: lenient reading.
        {2, {-1, "12abc"}, {}, 12},
        {2, {-1, ""}, {}, 0},
        {2, {-1, "1 2"}, {}, 12},
        {2, {-1, "&HFFFF"}, {}, -1},
        {2, {-1, "-5"}, {}, -5},
        {2, {-1, "2.5"}, {}, 2},
        {2, {-1, "3.5"}, {}, 4},
        {2, {-1, "3000000000"}, {}, std::nullopt},
        // Scaled fields: strict reading, product in double precision before rounding.
        {10, {-1, "0.125"}, {}, 12},
        {10, {-1, "0.135"}, {}, 14},
        {10, {-1, "1.005"}, {}, 100},
        {10, {-1, "12abc"}, {}, std::nullopt},
        {10, {-1, ""}, {}, std::nullopt},
        {10, {-1, " 1.5 "}, {}, 150},
        {10, {-1, "-300.00"}, {}, -30000},
        {159, {-1, ""}, {}, std::nullopt},
        {159, {-1, "1,5"}, {0, 0, 0, ','}, 15},
        {275, {-1, "0.15"}, {}, 150},
        {10, {-1, "30000000"}, {}, std::nullopt},
        // List fields: the position.
        {1, {23, ""}, {}, 23},
        {1, {-1, ""}, {}, -1},
        {497, {1, "9.6"}, {}, 1},
        // Dependent scales.
        {97, {-1, "10.00"}, {0, 0, 0}, 1000},
        {97, {-1, "10.00"}, {1, 0, 0}, 100},
        {230, {-1, "2.5"}, {0, 0, 0}, 25},
        {230, {-1, "25abc"}, {0, 1, 0}, 25},
        {440, {-1, "50.00"}, {0, 0, 0}, 50},
        {440, {-1, "50.00"}, {0, 0, 2}, 5000},
        {440, {-1, "1.2345"}, {0, 0, 4}, 12345},
        {440, {-1, "50"}, {0, 0, 7}, std::nullopt},
        // Never converted.
        {549, {-1, "101"}, {}, std::nullopt},
        {562, {1, ""}, {}, std::nullopt},
        {14, {-1, "5"}, {}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(convertField(c.reg, c.field, c.context), c.expected)
            << c.reg << " '" << c.field.text << "'";
}

TEST(Conversion, ValueConvertTakesTheSelectedUnitsAndKeepsFailures) {
    std::array<FieldContent, kRegisterCount> fields{};
    std::array<std::int32_t, kRegisterCount> value{};
    value[10] = 777;  // a x100 field that fails keeps this
    value[14] = 0;    // no field
    value[549] = 42;  // display-only: never converted
    value[440] = 99;  // Flag471 out of range: kept
    fields[96].selected = 1;
    fields[97].text = "10.00";
    fields[229].selected = 0;
    fields[230].text = "2.5";
    fields[10].text = "abc";
    fields[159].text = "";
    fields[2].text = "";
    fields[440].text = "5";
    fields[549].text = "1";
    valueConvert(fields, value, 7);
    EXPECT_EQ(value[96], 1);
    EXPECT_EQ(value[97], 100);
    EXPECT_EQ(value[230], 25);
    EXPECT_EQ(value[10], 777);
    EXPECT_EQ(value[159], 0);
    EXPECT_EQ(value[2], 0);
    EXPECT_EQ(value[14], 0);
    EXPECT_EQ(value[549], 42);
    EXPECT_EQ(value[440], 99);
    EXPECT_EQ(value[0], -1);  // a list with nothing selected

    fields[96].selected = 0;
    valueConvert(fields, value, 0);
    EXPECT_EQ(value[97], 1000);
    EXPECT_EQ(value[440], 5);
}

// The conversion table and the display table are stated apart; they must agree field by field.
TEST(Conversion, ScaleMatchesTheDisplayedDecimalsOfEveryField) {
    const auto& cat = Catalogue::instance();
    int converted = 0;
    for (const auto& p : cat.parameters()) {
        if (!p.shown) {
            EXPECT_EQ(p.conversion, ConversionKind::None) << p.reg;
            continue;
        }
        if (p.reg > 548) {
            EXPECT_EQ(p.conversion, ConversionKind::None) << p.reg;
            continue;
        }
        ++converted;
        ConversionKind expected = ConversionKind::None;
        switch (p.display) {
            case DisplayRule::Position:
            case DisplayRule::BaudRate:
                expected = ConversionKind::List;
                break;
            case DisplayRule::Integer:
                expected = ConversionKind::Integer;
                break;
            case DisplayRule::Div10:
                expected = ConversionKind::Scale10;
                break;
            case DisplayRule::Div100:
                expected = ConversionKind::Scale100;
                break;
            case DisplayRule::Div1000:
                expected = ConversionKind::Scale1000;
                break;
            case DisplayRule::RampTime:
                expected = ConversionKind::ByRampUnit;
                break;
            case DisplayRule::StepTime:
                expected = ConversionKind::ByStepUnit;
                break;
            case DisplayRule::PidSetpoint:
                expected = ConversionKind::ByPidDecimals;
                break;
            case DisplayRule::None:
                break;
        }
        EXPECT_EQ(p.conversion, expected) << p.code;
    }
    EXPECT_EQ(converted, 487);
}

// What a page shows is read back to the same raw value, for every number field.
TEST(Conversion, DisplayedTextConvertsBackToTheRawValue) {
    const auto& cat = Catalogue::instance();
    for (const auto& p : cat.parameters()) {
        if (!p.shown || p.conversion == ConversionKind::None)
            continue;
        for (std::int32_t raw : {0, 1, -1, 7, 1234, -30000, 65535}) {
            for (std::int16_t unit : {0, 1, 2}) {
                const auto shown = displayValue(p.reg, raw, {unit, unit, unit});
                FieldContent field;
                if (const auto* s = std::get_if<SelectPosition>(&shown))
                    field.selected = s->position;
                else if (const auto* t = std::get_if<ShowText>(&shown))
                    field.text = t->text;
                else
                    continue;
                const std::int32_t expected =
                    p.display == DisplayRule::BaudRate ? *baudPosition(raw) : raw;
                EXPECT_EQ(convertField(p.reg, field, {unit, unit, unit}), expected)
                    << p.code << " " << raw;
            }
        }
    }
}

}  // namespace
}  // namespace velorin
