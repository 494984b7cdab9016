#include "model/Rules.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "model/DriveFacts.h"
#include "link/NumberText.h"

namespace velorin {

namespace {

constexpr int kLastConverted = 548;  // P17.10; P17.11-P17.24 are display-only

bool pidDecimalsKnown(std::optional<std::int16_t> decimals) {
    return decimals && *decimals >= 0 && *decimals <= 4;
}

// Decimals of a fixed number rule; -1 for rules that are not fixed numbers.
int fixedDecimals(DisplayRule rule) {
    switch (rule) {
        case DisplayRule::Integer:
            return 0;
        case DisplayRule::Div10:
            return 1;
        case DisplayRule::Div100:
            return 2;
        case DisplayRule::Div1000:
            return 3;
        default:
            return -1;
    }
}

std::int32_t powerOfTen(int decimals) {
    std::int32_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    return scale;
}

std::string numberText(std::int32_t raw, int decimals) {
    if (decimals == 0)
        return plainText(raw);
    static constexpr std::array<const char*, 5> kPatterns = {"0", "0.0", "0.00", "0.000", "0.0000"};
    return formatNumber(static_cast<double>(raw) / powerOfTen(decimals), kPatterns.at(decimals));
}

// A field takes a number only as it writes one: an optional sign, digits, and at most the
// field's decimals after the separator (further decimals only as zeros, so nothing is cut).
// "1,5", "abc", "1e3", "&H10" and "12.345" in a field of two decimals are refused, never read
// as some other number. The count is exact, in integers: 0.135 in hundredths is 13.5 and refused.
std::optional<std::int64_t> fieldNumber(std::string_view text, int decimals, char separator) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t raw = 0;
    int digits = 0;
    int places = -1;     // decimals taken so far; -1 before the separator
    int afterPoint = 0;  // characters after the separator, zeros beyond the decimals included
    for (char c : text) {
        if (c == separator && places < 0) {
            places = 0;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        if (places >= 0)
            ++afterPoint;
        if (places >= decimals) {
            if (c != '0')
                return std::nullopt;
            continue;
        }
        if (++digits > 12)
            return std::nullopt;
        raw = raw * 10 + (c - '0');
        if (places >= 0)
            ++places;
    }
    if (digits == 0 || (places >= 0 && afterPoint == 0) || text.front() == separator)
        return std::nullopt;
    for (int i = std::max(places, 0); i < decimals; ++i) raw *= 10;
    return negative ? -raw : raw;
}

std::optional<std::int32_t> convertNumber(int reg, const std::string& text, int decimals,
                                          char separator) {
    const auto raw = fieldNumber(text, decimals, separator);
    const RegisterSpan span = registerSpan(reg);
    if (!raw || *raw < span.lowest || *raw > span.highest)
        return std::nullopt;
    return static_cast<std::int32_t>(*raw);
}

}  // namespace

bool registerSigned(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (p.kind == FieldKind::Choice || p.display == DisplayRule::Position)
        return true;
    for (const RangeCheck& check : Catalogue::instance().checks())
        if (check.reg == reg && check.lower.kind == CheckBound::Kind::Constant &&
            check.lower.value < 0)
            return true;
    return false;
}

static RegisterSpan wordSpan(bool isSigned) {
    return isSigned ? RegisterSpan{drive::kLowestWord, drive::kHighestSignedWord}
                    : RegisterSpan{0, drive::kHighestWord};
}

RegisterSpan registerSpan(int reg) {
    return wordSpan(registerSigned(reg));
}

std::optional<FieldForm> fieldForm(int reg, const ConversionContext& context) {
    const auto decimals = fieldDecimals(reg, context);
    if (!decimals)
        return std::nullopt;
    return FieldForm{*decimals, registerSigned(reg),
                     wordRangeText(reg, registerSigned(reg), context)};
}

bool unitKnown(int selector, std::int32_t value) {
    return Catalogue::instance().optionPosition(selector, value).has_value();
}

std::optional<int> typedRatePosition(const std::string& text) {
    const auto options = Catalogue::instance().options(drive::kRateParameter);
    for (int i = 0; i < static_cast<int>(options.size()); ++i)
        if (text == options[i] || text == std::to_string(i) + "：" + options[i])
            return i;
    const auto number = strictNumber(text, '.');
    if (!number)
        return std::nullopt;
    // In bit/s (9600) or in the list's kbit/s (9.60).
    for (int i = 0; i < static_cast<int>(kRates.size()); ++i)
        if (*number == kRates[i].baud || std::abs(*number * 10 - kRates[i].driveValue) < 1e-9)
            return i;
    return std::nullopt;
}

std::optional<int> baudPosition(std::int32_t code) {
    for (int i = 0; i < static_cast<int>(kRates.size()); ++i)
        if (kRates[i].driveValue == code)
            return i;
    return std::nullopt;
}

std::optional<int> rateCodeAt(std::int32_t position) {
    if (position < 0 || position >= static_cast<std::int32_t>(kRates.size()))
        return std::nullopt;
    return kRates[position].driveValue;
}

Display displayValue(int reg, std::int32_t raw, const DisplayContext& context) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    int decimals = fixedDecimals(p.display);
    switch (p.display) {
        case DisplayRule::None:
            return LeaveUnchanged{LeaveUnchanged::Reason::NoField};
        case DisplayRule::Position: {
            if (raw == -1)
                return SelectPosition{-1};
            if (const auto position = Catalogue::instance().optionPosition(reg, raw))
                return SelectPosition{*position};
            return LeaveUnchanged{LeaveUnchanged::Reason::NotAPosition};
        }
        case DisplayRule::BaudRate: {
            if (const auto position = baudPosition(raw))
                return SelectPosition{*position};
            return LeaveUnchanged{LeaveUnchanged::Reason::NotABaudRate};
        }
        case DisplayRule::RampTime:
        case DisplayRule::StepTime: {
            const auto unitDecimals = p.display == DisplayRule::RampTime
                                          ? drive::rampTimeDecimals(context.rampUnit)
                                          : drive::stepTimeDecimals(context.stepUnit);
            if (!unitDecimals)
                return LeaveUnchanged{LeaveUnchanged::Reason::NoUnit};
            decimals = *unitDecimals;
            break;
        }
        case DisplayRule::PidSetpoint:
            if (!pidDecimalsKnown(context.pidDecimals))
                return LeaveUnchanged{LeaveUnchanged::Reason::NoPidDecimals};
            decimals = *context.pidDecimals;
            break;
        default:
            break;
    }
    return ShowText{numberText(raw, decimals)};
}

std::optional<int> fieldDecimals(int reg, const ConversionContext& context) {
    int decimals = 0;
    switch (Catalogue::instance().parameter(reg).conversion) {
        case ConversionKind::None:
        case ConversionKind::List:
            return std::nullopt;
        case ConversionKind::Integer:
            decimals = 0;
            break;
        case ConversionKind::Scale10:
            decimals = 1;
            break;
        case ConversionKind::Scale100:
            decimals = 2;
            break;
        case ConversionKind::Scale1000:
            decimals = 3;
            break;
        case ConversionKind::ByRampUnit:
            return drive::rampTimeDecimals(context.rampUnit);
        case ConversionKind::ByStepUnit:
            return drive::stepTimeDecimals(context.stepUnit);
        case ConversionKind::ByPidDecimals:
            if (!pidDecimalsKnown(context.pidDecimals))
                return std::nullopt;
            decimals = *context.pidDecimals;
            break;
    }
    return decimals;
}

std::optional<std::int32_t> convertField(int reg, const FieldContent& field,
                                         const ConversionContext& context) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (p.conversion == ConversionKind::List)
        return field.selected < 0 ? -1 : Catalogue::instance().optionValue(reg, field.selected);
    const auto decimals = fieldDecimals(reg, context);
    if (!decimals)
        return std::nullopt;
    return convertNumber(reg, field.text, *decimals, context.decimalSeparator);
}

std::optional<std::int32_t> convertShown(int reg, const FieldContent& field,
                                         const ConversionContext& context) {
    if (const auto raw = convertField(reg, field, context))
        return raw;
    const auto decimals = fieldDecimals(reg, context);
    if (!decimals)
        return std::nullopt;
    // Formed in double precision before rounding: 0.135 x 100 is just above 13.5 and gives 14.
    const auto number = strictNumber(field.text, context.decimalSeparator);
    if (!number)
        return std::nullopt;
    double scaled = *number;
    for (int i = 0; i < *decimals; ++i) scaled *= 10;
    return roundTo<std::int32_t>(scaled);
}

std::string wordRangeText(int reg, bool isSigned, const ConversionContext& context) {
    const int decimals = fieldDecimals(reg, context).value_or(0);
    const RegisterSpan span = wordSpan(isSigned);
    return numberText(span.lowest, decimals) + "~" + numberText(span.highest, decimals);
}

void valueConvert(std::span<const FieldContent, kRegisterCount> fields,
                  std::array<std::int32_t, kRegisterCount>& value,
                  std::optional<std::int16_t> flag471, char decimalSeparator) {
    for (int reg = 0; reg <= kLastConverted; ++reg) {
        // The unit switches are converted before the fields that depend on them, so their
        // positions as now selected decide the scale.
        const ConversionContext context{value[drive::kRampUnitParameter],
                                        value[drive::kStepUnitParameter], flag471,
                                        decimalSeparator};
        if (const auto raw = convertField(reg, fields[reg], context))
            value[reg] = *raw;
    }
}

std::array<FieldContent, kRegisterCount> factoryFields() {
    std::array<FieldContent, kRegisterCount> fields{};
    for (const ParameterInfo& p : Catalogue::instance().parameters()) {
        if (p.factory.kind == FactoryDefault::Kind::Position) {
            fields[p.reg].selected = p.factory.position;
            // A box with a list shows the option's text as its own.
            if (p.kind == FieldKind::NumberWithList)
                fields[p.reg].text = Catalogue::instance().options(p.reg)[p.factory.position];
        } else if (p.factory.kind == FactoryDefault::Kind::Text) {
            fields[p.reg].text = p.factory.text;
        }
    }
    return fields;
}

std::int32_t factoryDriveValue(int reg) {
    const Catalogue& catalogue = Catalogue::instance();
    const ParameterInfo& p = catalogue.parameter(reg);
    switch (p.factory.kind) {
        case FactoryDefault::Kind::None:
            return 0;
        case FactoryDefault::Kind::Position:
            if (p.display == DisplayRule::BaudRate)
                return rateCodeAt(p.factory.position).value_or(0);
            return catalogue.optionValue(reg, p.factory.position);
        case FactoryDefault::Kind::Text:
            break;
    }
    // The drive keeps the value at the resolution its own unit switches set at the factory.
    int decimals = fixedDecimals(p.display);
    const auto factoryUnit = [&](std::uint16_t selector) {
        return catalogue.optionValue(selector, catalogue.parameter(selector).factory.position);
    };
    if (p.display == DisplayRule::RampTime)
        decimals = drive::rampTimeDecimals(factoryUnit(drive::kRampUnitParameter)).value_or(-1);
    else if (p.display == DisplayRule::StepTime)
        decimals = drive::stepTimeDecimals(factoryUnit(drive::kStepUnitParameter)).value_or(-1);
    else if (p.display == DisplayRule::PidSetpoint)
        decimals = static_cast<int>(
            lenientNumber(catalogue.parameter(drive::kPidDecimalsParameter).factory.text)
                .value_or(0));
    if (decimals < 0 || decimals > 4)
        return 0;
    return convertNumber(reg, p.factory.text, decimals, '.').value_or(0);
}

std::optional<std::string> shownText(int reg, const Display& display) {
    if (const auto* text = std::get_if<ShowText>(&display))
        return text->text;
    if (const auto* choice = std::get_if<SelectPosition>(&display)) {
        const auto options = Catalogue::instance().options(reg);
        if (choice->position < 0 || choice->position >= static_cast<int>(options.size()))
            return std::string();
        // The option's number, which is the drive's value; the rates of P15.01 are numbered by
        // their positions.
        const std::string number =
            std::to_string(Catalogue::instance().optionValue(reg, choice->position));
        const std::string& option = options[choice->position];
        if (const std::string numbered = number + "："; option.rfind(numbered, 0) == 0)
            return option;
        return number + "：" + option;
    }
    return std::nullopt;
}

}  // namespace velorin
