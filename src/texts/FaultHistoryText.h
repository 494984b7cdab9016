#pragma once
// The fault history in words: the running times, a fault the drive's list lacks, and the three
// forms velorin-cli prints (the service report and the fault history window say the same).

#include <cstdint>
#include <string>

#include "records/FaultHistory.h"

namespace velorin {

// Running time since a fault: "12.5 小時前".
std::string agoText(std::int64_t seconds);
// Running time: "1234 小時 5 分".
std::string runTimeText(std::int64_t seconds);
// The fault's option text, "6：過負載(oL)"; "未知異常（99）" for a number the list lacks.
std::string faultText(const FaultRecord& record);

inline constexpr const char* kNoFaults = "無異常記錄";

// The history as velorin-cli faults prints it and the service report keeps it. Keys and
// columns are a promise to scripts: add new ones at the end, never rename.
std::string faultHistoryText(const FaultHistory& history);
std::string faultHistoryCsv(const FaultHistory& history);
std::string faultHistoryJson(const FaultHistory& history);

}  // namespace velorin
