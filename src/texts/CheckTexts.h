#pragma once
// The editor's range checks in the technician's words, as the windows and velorin-cli both say
// them.

#include <string>
#include <vector>

#include "model/ValueCheck.h"

namespace velorin {

// The ranges a field is held to: "0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）",
// "0.00~12.34（P02.37 = 12.34）", several joined by "；"; empty when none is.
std::string rangeText(const std::vector<RangeInForce>& ranges);

// "P00.02 範圍不在0~13。", "P13.04 範圍不在0.00~0.40（P13.34 = 40）。",
// "P01.09 範圍不在0.6~4.0（P11.14 額定電流 3.0 A 的 20.0~135.0%）。"
std::string checkFailureText(const CheckFailure& failure);

}  // namespace velorin
