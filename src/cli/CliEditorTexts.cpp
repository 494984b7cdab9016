#include "CliEditorTexts.h"

#include "platform/QtText.h"
#include "texts/EditorWords.h"

namespace velorin::clitext {

QStringList writeReport(const WriteOutcome& outcome, int maxLines) {
    QStringList lines;
    for (const std::string& line : writeReportLines(outcome, maxLines)) lines << qs(line);
    return lines;
}

QString warningDetail(const DriveWarning& w) {
    return qs(velorin::warningDetail(w));
}

QString readFailed(int reg) {
    return qs(pageReadFailed(reg));
}

QString sidecarOrigin(const BackupSidecar& s) {
    return qs(velorin::sidecarOrigin(s));
}

QString sidecarRefusal(const SidecarCheck& check) {
    return qs(velorin::sidecarRefusal(check));
}

}  // namespace velorin::clitext
