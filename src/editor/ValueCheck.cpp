#include "editor/ValueCheck.h"

namespace velorin {

namespace {

// A bound as a number; the rated-current shares stay fractional (Flag382 = 101 gives 20.2).
double boundValue(const CheckBound& bound, const std::array<std::int32_t, kRegisterCount>& value,
                  std::int16_t flag382, std::int16_t flag470) {
    switch (bound.kind) {
        case CheckBound::Kind::Constant:
            return bound.value;
        case CheckBound::Kind::WorkingValue:
            return value.at(bound.reg);
        case CheckBound::Kind::RatedCurrent:
            return flag382 * bound.factor;
        case CheckBound::Kind::PidFullScale:
            return flag470;
    }
    return 0;
}

}  // namespace

std::string checkMessage(const RangeCheck& check,
                         const std::array<std::int32_t, kRegisterCount>& value) {
    const bool otherUnit = check.unitSelector >= 0 && value.at(check.unitSelector) != 0;
    return check.code + " 範圍不在" + (otherUnit ? check.otherUnitText : check.boundsText) + "。";
}

std::vector<CheckFailure> valueCheck(const std::array<std::int32_t, kRegisterCount>& value,
                                     const std::array<std::int16_t, kPageCount + 1>& page,
                                     std::int16_t flag382, std::int16_t flag470) {
    std::vector<CheckFailure> failures;
    const auto& checks = Catalogue::instance().checks();
    for (int k = 0; k < kPageCount; ++k) {
        if (page[k] != 1)
            continue;
        for (const RangeCheck& check : checks) {
            if (check.page != k)
                continue;
            const double v = value.at(check.reg);
            if (v < boundValue(check.lower, value, flag382, flag470) ||
                v > boundValue(check.upper, value, flag382, flag470))
                failures.push_back({check.reg, checkMessage(check, value)});
        }
    }
    return failures;
}

}  // namespace velorin
