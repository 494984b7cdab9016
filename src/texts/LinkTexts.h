#pragma once
// The link's outcomes in the technician's words, as the windows and velorin-cli both say them.

#include <string>

#include "link/Frames.h"

namespace velorin {

// "變頻機未回應", "變頻機拒絕寫入 (例外碼 03)"; a refused read: "變頻機拒絕讀取 (例外碼 02)".
std::string describeOutcome(const ReplyCheck& check, bool write = true);

}  // namespace velorin
