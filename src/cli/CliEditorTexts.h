#pragma once
// What velorin-cli says of the parameter editor's outcomes: the report of a write that was not
// complete and the settings the drive would refuse, in the Chinese the editor window uses.

#include <QString>
#include <QStringList>

#include "editor/BackupSidecar.h"
#include "editor/EditorCore.h"

namespace velorin::clitext {

// Why the write stopped, then "P01.06 起動轉速：變頻機未回應" for at most `maxLines` parameters,
// then "…及其他 N 項".
QStringList writeReport(const WriteOutcome& outcome, int maxLines);
// "P05.03、P05.05 同為 3：多段速指令1", "P09.10 fe0 3.00 大於 P09.08 fe1 2.00".
QString warningDetail(const DriveWarning& warning);
// A backup's sidecar: which drive the file came from, and why it is refused (empty when it is
// not).
QString sidecarOrigin(const BackupSidecar& sidecar);
QString sidecarRefusal(const SidecarCheck& check);
// "P03.00 參數讀取失敗，變頻機未回應。"
QString readFailed(int reg);

}  // namespace velorin::clitext
