#pragma once
// The pages and registers the editor's reading and writing treat apart, shared by its source
// files.

#include <array>
#include <chrono>
#include <cstdint>

#include "link/Frames.h"

namespace velorin::editorsteps {

// A unit switch shows no unit while its field is marked: no time is converted at a guess.
constexpr std::int32_t kNoUnit = -1;
// The unlock codes P17.09 and P17.10 go out after the link parameters, every time.
constexpr std::array<int, 2> kUnlockCodes = {547, 548};
constexpr int kSilentWritesToStop = 3;
constexpr std::chrono::seconds kResetTime{2};

}  // namespace velorin::editorsteps
