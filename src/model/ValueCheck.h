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

// The range a check holds a field to, as the field writes it; where a bound comes from another
// parameter, that parameter and what it gives now.
struct RangeInForce {
    std::string range;  // "0.00~0.40", "0~13"
    struct Source {
        int reg = 0;
        std::string shown;       // its value as its field shows it: "40", "3.0"
        std::string ratedShare;  // of a rated current: the catalogue's range, "20.0~135.0%"
        bool operator==(const Source&) const = default;
    };
    std::optional<Source> source;
    bool operator==(const RangeInForce&) const = default;
};

// A value the editor will not write (it fills one from a RangeFailure or its own checks).
struct CheckFailure {
    int reg = 0;
    std::string code;  // "P13.04"
    RangeInForce inForce;
    bool operator==(const CheckFailure&) const = default;
};

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
