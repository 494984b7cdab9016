#pragma once
// The editor core's outcomes in the technician's words, as the editor window and velorin-cli
// both say them: the report of a write that was not complete, the drive's warnings, a page that
// could not be read and a backup's sidecar.

#include <string>
#include <vector>

#include "editor/BackupSidecar.h"
#include "editor/EditorCore.h"

namespace velorin {

// Why the write stopped, then "P01.06 起動轉速：變頻機未回應" for at most `maxLines` parameters,
// then "…及其他 N 項".
std::vector<std::string> writeReportLines(const WriteOutcome& outcome, int maxLines);
// "P05.03、P05.05 同為 3：多段速指令1", "P09.10 fe0 3.00 大於 P09.08 fe1 2.00".
std::string warningDetail(const DriveWarning& warning);
// "P03.00 參數讀取失敗，變頻機未回應。"
std::string pageReadFailed(int reg);
// Which drive a backup came from, and why its sidecar refuses it (empty when it does not).
std::string sidecarOrigin(const BackupSidecar& sidecar);
std::string sidecarRefusal(const SidecarCheck& check);

}  // namespace velorin
