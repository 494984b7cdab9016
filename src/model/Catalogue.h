#pragma once
// The drive's parameter catalogue: for every register 0-562 its field on the editor's pages, its
// code and label, how its raw value is shown and converted back, its option list, drop-down
// width, read-only state, place on the page and factory default; the 30 pages with their
// captions and register ranges; and the range checks the editor runs before a write.
// All of it comes from the data files under src/model/data, embedded at build time.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velorin {

inline constexpr int kRegisterCount = 563;  // registers 0-562, one per parameter
inline constexpr int kPageCount = 30;       // tab pages 0-29
inline constexpr int kGroupCount = 18;      // groups P00-P17

// The tab pages whose number carries a meaning of its own.
namespace pages {
inline constexpr int kOneDigitGroup = 4;  // P02-2: its labels write the group with one digit
inline constexpr int kRamp = 5;           // P03: its times follow the ramp unit
inline constexpr int kTerminals = 7;      // P05: the multi-function terminals
inline constexpr int kStep = 11;          // P08: its step times follow the step unit
inline constexpr int kRatedCurrent = 18;  // P11-1: P11.14 bounds the motor currents
inline constexpr int kPid = 23;           // P13-2: P13.34 and P13.35
inline constexpr int kLinkCopies = 25;    // P15: station, rate, format
inline constexpr int kLockReset = 28;     // P17-1: lock and reset; the last page a write reaches
}  // namespace pages

enum class FieldKind {
    None,            // the register has no field
    Choice,          // drop-down list the technician cannot type into; the position is the value
    Number,          // editable box holding the value as text
    NumberWithList,  // editable box that also carries a fixed list (P15.01, P17.24)
};

enum class DisplayRule {
    None,
    Position,     // select the option at position = raw value
    Integer,      // raw value in decimal
    Div10,        // raw / 10, "0.0"
    Div100,       // raw / 100, "0.00"
    Div1000,      // raw / 1000, "0.000"
    RampTime,     // P03.01-P03.10: Div100 while P03.00 is 0, else Div10
    StepTime,     // P08.04-P08.19: Div10 while P08.03 is 0, else Integer
    PidSetpoint,  // P13.04: 0 to 4 decimals as P13.35 says
    BaudRate,     // P15.01: raw 48, 96, 192, 384, 1152 select positions 0-4
};

enum class ConversionKind {
    None,  // never converted (no field, or a display-only field of P17.11-P17.24)
    List,  // the selected position
    Integer,
    Scale10,
    Scale100,
    Scale1000,
    ByRampUnit,     // P03.01-P03.10: x100 while P03.00's working value is 0, else x10
    ByStepUnit,     // P08.04-P08.19: x10 while P08.03's working value is 0, else integer
    ByPidDecimals,  // P13.04: integer, x10 ... x10000 as P13.35 says; other values: unchanged
};

enum class Access { Editable, Locked, Disabled };

struct FactoryDefault {
    enum class Kind { None, Position, Text };
    Kind kind = Kind::None;
    int position = 0;  // with Position
    std::string text;  // with Text: exactly what the field shows
};

// Place of a field on its page, in twips relative to the page.
struct FieldPlace {
    int column = 0;  // 1-3
    int row = 0;     // 1-8
    int labelX = 0;
    int fieldX = 0;
    int y = 0;
    static constexpr int kFieldWidth = 3015;
    static constexpr int kFieldHeight = 360;
};

struct ParameterInfo {
    int reg = 0;
    bool shown = false;  // whether the register has a field
    int page = -1;
    std::string code;   // "P11.12": two-digit group, as in messages and option texts
    std::string label;  // text beside the field: label code, "：", name ("P2.24：..." on page 4)
    std::string name;
    FieldKind kind = FieldKind::None;
    DisplayRule display = DisplayRule::None;
    ConversionKind conversion = ConversionKind::None;
    int list = -1;          // index into Catalogue::lists(), -1 without options
    int dropDownWidth = 0;  // pixels; 0 keeps the platform's default
    Access access = Access::Editable;
    FieldPlace place;
    FactoryDefault factory;
};

struct RegisterRange {
    int first = 0;
    int last = -1;
    bool contains(int reg) const { return reg >= first && reg <= last; }
};

struct PageInfo {
    int index = 0;
    std::string caption;
    RegisterRange read;
    std::optional<RegisterRange> onlineSave;  // none: the page is not saved
    std::vector<RegisterRange> write;         // written in this order
    std::vector<int> writtenWhenChanged;      // written on their own, only when changed
    std::vector<int> fields;                  // registers with a field, in display order
};

struct OptionList {
    std::vector<std::string> texts;
    std::vector<int> numbers;  // the drive's value of each option, from the number of its text
    std::vector<int> fields;   // registers carrying this list, ascending
};

// One bound of a range check.
struct CheckBound {
    enum class Kind {
        Constant,      // `value`
        WorkingValue,  // the working value of register `reg`
        RatedCurrent,  // P11.14 x `factor`, compared in floating point
        PidFullScale,  // P13.34
    };
    Kind kind = Kind::Constant;
    std::int32_t value = 0;
    int reg = -1;  // the register the bound comes from (P11.14, P13.34 for the copies)
    double factor = 0;
};

struct RangeCheck {
    int page = 0;
    int reg = 0;
    std::string code;
    CheckBound lower;
    CheckBound upper;
    std::string boundsText;     // "0.00~400.00"
    std::string otherUnitText;  // used instead while the unit selector's working value is not 0
    int unitSelector = -1;      // register of the unit switch, -1 without
};

class Catalogue {
public:
    static const Catalogue& instance();

    const ParameterInfo& parameter(int reg) const { return m_parameters.at(reg); }
    const std::array<ParameterInfo, kRegisterCount>& parameters() const { return m_parameters; }
    const PageInfo& page(int index) const { return m_pages.at(index); }
    const std::array<PageInfo, kPageCount>& pages() const { return m_pages; }
    const std::vector<OptionList>& lists() const { return m_lists; }
    // The option texts of a register's field; empty without a list.
    std::span<const std::string> options(int reg) const;
    // The drive's value for the option at `position`: the number its text starts with
    // ("26：編碼器1 Z計數" stands for 26; P00.01 skips 23-25 and 34-59), else the position.
    int optionValue(int reg, int position) const;
    // The position of the option standing for the drive's value; empty when none does.
    std::optional<int> optionPosition(int reg, std::int32_t value) const;
    const std::vector<RangeCheck>& checks() const { return m_checks; }

    // Group bases: P00 at 0 ... P17 at 538.
    static int groupBase(int group);
    // "P11.12" -> 380; empty for a malformed code or one beyond its group.
    static std::optional<int> registerOf(std::string_view code);
    // 380 -> "P11.12".
    static std::string codeOf(int reg);

    // Faults found while reading the embedded data (empty when it is sound).
    const std::vector<std::string>& dataErrors() const { return m_errors; }

private:
    Catalogue();
    void loadCatalogue(std::string_view text);
    void loadConversion(std::string_view text);
    void loadPages(std::string_view text);
    void loadOptions(std::string_view text);
    void loadWidths(std::string_view text);
    void loadDefaults(std::string_view text);
    void loadChecks(std::string_view text);
    void placeFields();
    void error(std::string_view file, int line, std::string_view what);

    std::array<ParameterInfo, kRegisterCount> m_parameters;
    std::array<PageInfo, kPageCount> m_pages;
    std::vector<OptionList> m_lists;
    std::vector<RangeCheck> m_checks;
    std::vector<std::string> m_errors;
};

}  // namespace velorin
