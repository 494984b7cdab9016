#include "records/FaultHistory.h"

#include <cctype>

#include "model/Catalogue.h"
#include "model/Rules.h"

namespace velorin {

namespace {

using namespace faultregs;

// The terminals in their bits: P05.03-P05.12 (M0-M9) and P06.00-P06.04 (RL1-DO3).
constexpr int kFirstInputParameter = 149, kInputCount = 10;
constexpr int kFirstOutputParameter = 170, kOutputCount = 5;
constexpr int kOutputBits = 8;  // P12.22 holds 0-255

// Units of what the drive saw, by register from P12.11. The terminals have none.
constexpr const char* kSeenUnits[kLastSeen - kFirstSeen + 1] = {
    "Hz", "Hz", "rpm", "V", "A", "V", "A", "A", "A", "A", "", "", "°C"};

// "M6(EN_A)設定" -> "M6", "虛擬輸出DO2 設定" -> "DO2": the first capitals followed by a digit.
std::string terminalName(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::size_t j = i;
        while (j < name.size() && std::isupper(static_cast<unsigned char>(name[j]))) ++j;
        if (j > i && j < name.size() && std::isdigit(static_cast<unsigned char>(name[j])))
            return name.substr(i, j - i + 1);
        i = j;
    }
    return name;
}

std::string withoutSuffix(std::string name, std::string_view suffix) {
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return name;
}

}  // namespace

std::vector<std::uint16_t> faultHistoryRegisters() {
    std::vector<std::uint16_t> regs;
    for (int reg = kFirstCode; reg < kFirstHours + kSlots; ++reg)
        regs.push_back(static_cast<std::uint16_t>(reg));
    regs.push_back(kRunHours);
    regs.push_back(kRunSeconds);
    return regs;
}

std::string shortFaultCode(std::string_view text) {
    for (std::size_t open = text.find('('); open != std::string_view::npos;
         open = text.find('(', open + 1)) {
        const std::size_t close = text.find(')', open);
        if (close == std::string_view::npos)
            break;
        const std::string_view word = text.substr(open + 1, close - open - 1);
        bool code = !word.empty() && std::isalpha(static_cast<unsigned char>(word[0]));
        for (char c : word) code = code && std::isalnum(static_cast<unsigned char>(c));
        if (code)
            return std::string(word);
    }
    return {};
}

std::vector<TerminalState> terminalStates(std::int32_t bits, bool inputs) {
    const Catalogue& catalogue = Catalogue::instance();
    const int count = inputs ? kInputCount : kOutputBits;
    std::vector<TerminalState> states;
    for (int bit = 0; bit < count; ++bit) {
        const int named = inputs ? kInputCount : kOutputCount;
        const int first = inputs ? kFirstInputParameter : kFirstOutputParameter;
        const std::string name = bit < named ? terminalName(catalogue.parameter(first + bit).name)
                                             : "b" + std::to_string(bit);
        states.push_back({name, ((bits >> bit) & 1) != 0});
    }
    return states;
}

FaultHistory decodeFaultHistory(const RegisterLookup& value) {
    const Catalogue& catalogue = Catalogue::instance();
    FaultHistory history;
    const auto runHours = value(kRunHours), runSeconds = value(kRunSeconds);
    // The seconds register counts up to 3599 before the hours register takes the hour.
    if (runHours && runSeconds && *runHours >= 0 && *runSeconds >= 0 && *runSeconds < 3600)
        history.runSeconds = std::int64_t{*runHours} * 3600 + *runSeconds;
    for (int slot = 0; slot < kSlots; ++slot) {
        const int reg = kFirstCode + slot;
        const auto number = value(reg);
        if (!number || *number == 0)
            continue;  // no fault recorded here
        FaultRecord record;
        record.slot = slot;
        record.slotName = withoutSuffix(catalogue.parameter(reg).name, "異常記錄");
        record.number = *number;
        if (const auto position = catalogue.optionPosition(reg, *number)) {
            record.text = catalogue.options(reg)[*position];
            record.shortCode = shortFaultCode(record.text);
        }
        record.hours = value(kFirstHours + slot);
        // A fault counted at more hours than the drive has run now came before the counter was
        // reset: how long ago is not known.
        if (record.hours && history.runSeconds && *record.hours >= 0 &&
            std::int64_t{*record.hours} * 3600 <= *history.runSeconds)
            record.secondsAgo = *history.runSeconds - std::int64_t{*record.hours} * 3600;
        history.records.push_back(record);
    }
    for (int reg = kFirstSeen; reg <= kLastSeen; ++reg) {
        if (reg == kInputTerminals || reg == kOutputTerminals)
            continue;
        const ParameterInfo& info = catalogue.parameter(reg);
        SeenValue seen{reg, info.code, info.name, {}, kSeenUnits[reg - kFirstSeen]};
        if (const auto raw = value(reg))
            seen.shown = shownText(reg, displayValue(reg, *raw)).value_or(std::to_string(*raw));
        history.seen.push_back(seen);
    }
    history.inputBits = value(kInputTerminals);
    history.outputBits = value(kOutputTerminals);
    if (history.inputBits)
        history.inputs = terminalStates(*history.inputBits, true);
    if (history.outputBits)
        history.outputs = terminalStates(*history.outputBits, false);
    return history;
}

}  // namespace velorin
