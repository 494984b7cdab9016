#pragma once
// The drive's fault history as the drive keeps it: its last eight faults (P12.03 newest to
// P12.10), the running hours at each (P12.24-P12.31), what it saw at the latest fault
// (P12.11-P12.23) and its running time now (P17.05 hours and P17.06 seconds), which tells how
// long ago each fault was. Names, option texts and scaling come from the catalogue; nothing here
// knows a widget or the line: the values come from a lookup, filled from a read of the drive or
// from a parameter file.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/FaultRegisters.h"

namespace velorin {

// The registers the history is read from, rising: P12.03-P12.31 (29) and P17.05, P17.06.
std::vector<std::uint16_t> faultHistoryRegisters();

struct FaultRecord {
    int slot = 0;             // 0 the latest ... 7 the oldest
    std::string slotName;     // "最新", "前1次" (the record's name without "異常記錄")
    std::int32_t number = 0;  // the fault's number as the drive keeps it
    std::string text;  // its option text, "6：過負載(oL)"; empty for a number the list lacks
    std::string shortCode;  // as the drive's display shows it, "oL"; empty for an unknown one
    std::optional<std::int32_t> hours;       // running hours at the fault
    std::optional<std::int64_t> secondsAgo;  // running time since; empty when not known
    bool operator==(const FaultRecord&) const = default;
};

// A value the drive saw at the latest fault, as its field shows it.
struct SeenValue {
    int reg = 0;
    std::string code;   // "P12.16"
    std::string name;   // "故障發生時的直流電壓"
    std::string shown;  // "311.0"; empty when the value is not known
    std::string unit;   // "V"
};

// One terminal of P12.21 or P12.22.
struct TerminalState {
    std::string name;  // "M3", "RL1"
    bool on = false;
    bool operator==(const TerminalState&) const = default;
};

struct FaultHistory {
    std::vector<FaultRecord> records;  // the slots that hold a fault, latest first
    std::vector<SeenValue> seen;       // P12.11-P12.23 but the terminals
    std::optional<std::int32_t> inputBits, outputBits;
    std::vector<TerminalState> inputs, outputs;  // empty when the bits are not known
    std::optional<std::int64_t> runSeconds;      // running time now
};

// The raw value of a register as the drive keeps it (negatives where the register holds them),
// empty when not known.
using RegisterLookup = std::function<std::optional<std::int32_t>(int reg)>;

FaultHistory decodeFaultHistory(const RegisterLookup& value);

// The short code within an option text: the first bracketed word of letters and digits that
// starts with a letter ("3：加速中電流值超過額定電流值二倍(ocA)" -> "ocA",
// "24：ACI(4~20 mA)斷線(Acio)" -> "Acio"); empty when there is none.
std::string shortFaultCode(std::string_view optionText);

// The terminals of P12.21 (inputs) or P12.22 (outputs), named as the terminal parameters name
// them (P05.03-P05.12, P06.00-P06.04); bits beyond them are named "b5" ...
std::vector<TerminalState> terminalStates(std::int32_t bits, bool inputs);

}  // namespace velorin
