#pragma once
// The pages and registers the editor's reading and writing treat apart, shared by its source
// files.

#include <array>
#include <chrono>
#include <cstdint>

#include "link/Frames.h"

namespace velorin::editorsteps {

constexpr int kLinkCopiesPage = 25;  // P15: station, rate, format
constexpr int kLockCopyPage = 28;    // P17-1: lock and reset

inline constexpr const char* kReadFailed = "參數讀取失敗，變頻機未回應。";

constexpr int kRampPage = 5;           // P03: its times follow the ramp unit
constexpr int kStepPage = 11;          // P08: its step times follow the step unit
constexpr int kRatedCurrentPage = 18;  // P11-1
constexpr int kPidPage = 23;           // P13-2: P13.34 and P13.35
// A unit switch shows no unit while its field is marked: no time is converted at a guess.
constexpr std::int32_t kNoUnit = -1;
constexpr int kLastWrittenPage = 28;
// The unlock codes P17.09 and P17.10 go out after the link parameters, every time.
constexpr std::array<int, 2> kUnlockCodes = {547, 548};
constexpr int kSilentWritesToStop = 3;
constexpr std::chrono::seconds kResetTime{2};
constexpr std::int32_t kLowestWord = -32768;
constexpr std::int32_t kHighestWord = 65535;


}  // namespace velorin::editorsteps
