#pragma once
// `ValueCheck`: the range checks the editor runs on the working values before a write.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Catalogue.h"

namespace velorin {

// A value outside its range: the parameter and the range in force, as the catalogue writes it
// in the unit the working values choose ("0~13").
struct RangeFailure {
    int reg = 0;
    std::string code;    // "P00.02"
    std::string bounds;  // "0~13"
    bool operator==(const RangeFailure&) const = default;
};

// A value the editor will not write, in the technician's words (the editor fills it from a
// RangeFailure or its own checks).
struct CheckFailure {
    int reg = 0;
    std::string message;
    bool operator==(const CheckFailure&) const = default;
};

inline constexpr const char* kCheckTitle = "ERROR";

// Runs the checks of every page 0-28 whose flag is 1, page by page and in list order, and
// returns one failure per failed check in that order. A check whose bound is a copy the drive did
// not give (empty) is not run. `ValueERROR` is "the result is not
// empty"; nothing is written while it is set.
std::vector<RangeFailure> valueCheck(const std::array<std::int32_t, kRegisterCount>& value,
                                     const std::array<std::int16_t, kPageCount + 1>& page,
                                     std::optional<std::int32_t> flag382,
                                     std::optional<std::int32_t> flag470);

// The failure of one check for the given working values.
RangeFailure rangeFailure(const RangeCheck& check,
                          const std::array<std::int32_t, kRegisterCount>& value);

}  // namespace velorin
