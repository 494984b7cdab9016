#include "model/ValueCheck.h"

#include <optional>

namespace velorin {

namespace {

// A bound as a number; the rated-current shares stay fractional (P11.14 = 101 gives 20.2).
// Empty when the bound comes from a copy the drive did not give.
std::optional<double> boundValue(const CheckBound& bound,
                                 const std::array<std::int32_t, kRegisterCount>& value,
                                 std::optional<std::int32_t> flag382,
                                 std::optional<std::int32_t> flag470) {
    switch (bound.kind) {
        case CheckBound::Kind::Constant:
            return bound.value;
        case CheckBound::Kind::WorkingValue:
            return value.at(bound.reg);
        case CheckBound::Kind::RatedCurrent:
            return flag382 ? std::optional(*flag382 * bound.factor) : std::nullopt;
        case CheckBound::Kind::PidFullScale:
            return flag470 ? std::optional<double>(*flag470) : std::nullopt;
    }
    return 0.0;
}

}  // namespace

RangeFailure rangeFailure(const RangeCheck& check,
                          const std::array<std::int32_t, kRegisterCount>& value) {
    const bool otherUnit = check.unitSelector >= 0 && value.at(check.unitSelector) != 0;
    return {check.reg, check.code, otherUnit ? check.otherUnitText : check.boundsText};
}

std::vector<RangeFailure> valueCheck(const std::array<std::int32_t, kRegisterCount>& value,
                                     const std::array<std::int16_t, kPageCount + 1>& page,
                                     std::optional<std::int32_t> flag382,
                                     std::optional<std::int32_t> flag470) {
    std::vector<RangeFailure> failures;
    const auto& checks = Catalogue::instance().checks();
    for (int k = 0; k < kPageCount; ++k) {
        if (page[k] != 1)
            continue;
        for (const RangeCheck& check : checks) {
            if (check.page != k)
                continue;
            const double v = value.at(check.reg);
            const auto lower = boundValue(check.lower, value, flag382, flag470);
            const auto upper = boundValue(check.upper, value, flag382, flag470);
            // Without its bound the value is not checked; the editor never writes it.
            if (lower && upper && (v < *lower || v > *upper))
                failures.push_back(rangeFailure(check, value));
        }
    }
    return failures;
}

}  // namespace velorin
