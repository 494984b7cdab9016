#pragma once
// The editor's pure rules over the catalogue: how a raw register value is shown in its field,
// how a field's content becomes a raw value again (`Value_Convert`), and the drive's factory
// register values. No widgets here; the editor window calls these.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "model/Catalogue.h"

namespace velorin {

// ---- Display of a raw value ----

// What the unit-dependent rules read when a page is shown.
struct DisplayContext {
    std::int32_t rampUnit = 0;     // ValueINV(96), P03.00 as read with page 5
    std::int32_t stepUnit = 0;     // ValueINV(229), P08.03 as read with page 11
    // P13.35 as read when the editor opened; empty when the drive did not say.
    std::optional<std::int16_t> pidDecimals = 0;
};

struct ShowText {
    std::string text;  // the field's only item
    bool operator==(const ShowText&) const = default;
};
struct SelectPosition {
    int position = -1;  // -1 selects nothing and leaves the field empty
    bool operator==(const SelectPosition&) const = default;
};
struct LeaveUnchanged {
    enum class Reason {
        NoPidDecimals,  // P13.35 outside 0-4, or not read
        NoUnit,         // P03.00 or P08.03 holds a value its list lacks: no resolution is known
        NotABaudRate,   // P15.01 not one of 48, 96, 192, 384, 1152
        NotAPosition,   // the list has no such position: the field shows nothing of the drive's
        NoField,        // the register has no field
    };
    Reason reason;
    bool operator==(const LeaveUnchanged&) const = default;
};
using Display = std::variant<ShowText, SelectPosition, LeaveUnchanged>;

// The field content for raw value `raw` of register `reg`. A choice field selects the option
// whose number is the raw value.
Display displayValue(int reg, std::int32_t raw, const DisplayContext& context = {});

// What a field shows, as one text: "12.34"; a choice field's position, a full-width colon and its
// option text ("1：9.6"; an option that starts with its own position is not numbered twice); ""
// when nothing is selected; empty when the field cannot show the value.
std::optional<std::string> shownText(int reg, const Display& display);

// Whether a unit switch (P03.00, P08.03) holding `value` names a resolution: one of its list's.
bool unitKnown(int selector, std::int32_t value);

// The position of P15.01's rate that a typed text names: an option as the list writes it
// ("9.6", "1：9.6"), or the rate in bit/s ("9600"); empty for any other text.
std::optional<int> typedRatePosition(const std::string& text);

// P15.01's fixed map, the link's table of rates: the code the drive keeps (rate / 100: 48, 96,
// 192, 384, 1152) <-> the list positions 0-4. Empty for a code or position outside the table.
std::optional<int> baudPosition(std::int32_t code);
std::optional<int> rateCodeAt(std::int32_t position);

// ---- Conversion of a field back to a raw value ----

struct FieldContent {
    int selected = -1;  // selected position of a choice field, -1 when nothing is selected
    std::string text;   // text of a number field
};

// What the dependent conversions read.
struct ConversionContext {
    std::int32_t rampUnit = 0;     // working value of P03.00 (its position now selected)
    std::int32_t stepUnit = 0;     // working value of P08.03
    std::optional<std::int16_t> pidDecimals = 0;  // P13.35 as the write leaves it; empty: unknown
    char decimalSeparator = '.';   // the technician's regional decimal separator
};

// The raw value of one field; empty when the field's text is not a number in its form (see
// FieldForm), when the value is beyond what its register holds, when P13.35 is outside 0-4, or
// for a time whose unit switch holds a value its list lacks.
std::optional<std::int32_t> convertField(int reg, const FieldContent& field,
                                         const ConversionContext& context = {});

// Whether the register holds negatives (-32768..32767) rather than 0..65535: a choice, whose -1
// means no selection, and a parameter whose range reaches below zero.
bool registerSigned(int reg);
struct RegisterSpan {
    std::int32_t lowest = 0, highest = 65535;
};
RegisterSpan registerSpan(int reg);

// What a number field takes: digits with at most `decimals` decimals after the separator, a
// minus sign only where the register holds negatives, within `range` as the field writes it.
struct FieldForm {
    int decimals = 0;
    bool negatives = false;
    std::string range;  // "0.00~655.35"
};
// Empty for a list, or while the field's unit or decimals are not known.
std::optional<FieldForm> fieldForm(int reg, const ConversionContext& context = {});

// A text the program itself showed, at a resolution that may since have changed (a time shown
// at 0.01 s, taken once P03.00 is 0.1 s): rounded to the field's decimals, half to even, and not
// held to its register (the checks before a write say what does not fit). Never for a typed text.
std::optional<std::int32_t> convertShown(int reg, const FieldContent& field,
                                         const ConversionContext& context = {});

// The decimals a number field is converted with; empty for a list, a field that is not
// converted, or one whose unit or decimals are not known.
std::optional<int> fieldDecimals(int reg, const ConversionContext& context = {});

// The raw values one register holds, as the field writes them: "0.00~655.35", "-327.68~327.67".
std::string wordRangeText(int reg, bool isSigned, const ConversionContext& context = {});

// `Value_Convert`: converts every field of P0-P548 in register order into `value`, taking the
// unit switches P03.00 and P08.03 from the positions just converted. Entries that fail, and
// registers that are not converted, keep what they hold.
void valueConvert(std::span<const FieldContent, kRegisterCount> fields,
                  std::array<std::int32_t, kRegisterCount>& value,
                  std::optional<std::int16_t> flag471, char decimalSeparator = '.');

// ---- Factory values ----

// The fields as `DefaultShow` fills them when the editor opens offline: number fields hold their
// default text, choice fields and the boxes with a list select their default position. P01.13,
// which has no default, starts empty.
std::array<FieldContent, kRegisterCount> factoryFields();

// The value the drive holds for a register after a factory reset: a number field's default
// text times its scale (the unit switches and P13.35 at their own defaults), a choice field's
// default position, P15.01 as its baud code; 0 for registers without a default.
std::int32_t factoryDriveValue(int reg);

}  // namespace velorin
