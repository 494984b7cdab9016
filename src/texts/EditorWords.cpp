#include "texts/EditorWords.h"

#include <algorithm>

#include "texts/LinkTexts.h"

namespace velorin {

namespace {

std::string issueText(const WriteIssue& issue) {
    switch (issue.why) {
        case WriteIssue::Why::NotConfirmed:
            return describeOutcome(issue.reply);
        case WriteIssue::Why::CopyUnread:
            return Catalogue::codeOf(issue.copy) + " 讀取失敗，未寫入";
        case WriteIssue::Why::NotShown:
            return "欄位未顯示變頻機的值，未寫入";
        case WriteIssue::Why::OutOfRange:
            return "數值超出 -32768~65535，未寫入";
        case WriteIssue::Why::NoSelection:
            break;
    }
    return "未選擇項目，未寫入";
}

}  // namespace

std::vector<std::string> writeReportLines(const WriteOutcome& outcome, int maxLines) {
    std::vector<std::string> lines;
    if (outcome.end == WriteOutcome::End::DriveSilent)
        lines.push_back(std::string(outcome.portLost() ? "通訊埠已中斷" : "變頻機未回應") +
                        "，寫入已停止：已確認寫入 " + std::to_string(outcome.confirmed) +
                        " 項，其餘參數未寫入。");
    if (outcome.end == WriteOutcome::End::NotAtNewSettings)
        lines.push_back("變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：" +
                        outcome.settingsInUse + " 站號 " + std::to_string(outcome.stationInUse));
    const std::vector<WriteIssue> issues = outcome.issues();
    const int total = static_cast<int>(issues.size());
    for (int i = 0; i < std::min(total, maxLines); ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(issues[i].reg);
        lines.push_back(p.code + " " + p.name + "：" + issueText(issues[i]));
    }
    if (total > maxLines)
        lines.push_back("…及其他 " + std::to_string(total - maxLines) + " 項");
    return lines;
}

std::string warningDetail(const DriveWarning& w) {
    if (w.error != "ErP1" && w.regs.size() == 2 && w.shown.size() == 2)
        return Catalogue::codeOf(w.regs[0]) + " fe" + std::to_string(w.point) + " " + w.shown[0] +
               " 大於 " + Catalogue::codeOf(w.regs[1]) + " fe" + std::to_string(w.point + 1) + " " +
               w.shown[1];
    std::string codes;
    for (int reg : w.regs) codes += (codes.empty() ? "" : "、") + Catalogue::codeOf(reg);
    return codes + " 同為 " + (w.shown.empty() ? std::string() : w.shown.front());
}

std::string pageReadFailed(int reg) {
    return Catalogue::codeOf(reg) + " 參數讀取失敗，變頻機未回應。";
}

std::string sidecarOrigin(const BackupSidecar& s) {
    return "這個檔案來自機種 " + (s.model ? std::to_string(*s.model) : std::string("不明")) +
           " 的變頻機（站號 " + std::to_string(s.station) + "，" + s.link + "），備份於 " + s.date +
           (s.runHours ? "，運轉 " + std::to_string(*s.runHours) + " 小時" : std::string()) + "。";
}

std::string sidecarRefusal(const SidecarCheck& check) {
    switch (check.verdict) {
        case SidecarVerdict::Unreadable:
            return "檔案旁的說明檔（.json）無法讀取，無法確認檔案是否完好。";
        case SidecarVerdict::Altered:
            return "檔案內容與備份時不同（SHA-256 不符）：可能被手動修改或已損壞。";
        case SidecarVerdict::OtherModel:
            return "檔案來自機種 " +
                   std::to_string(check.sidecar && check.sidecar->model ? *check.sidecar->model : 0) +
                   " 的變頻機，這台變頻機是機種 " + std::to_string(check.driveModel.value_or(0)) +
                   "。";
        default:
            return {};
    }
}

}  // namespace velorin
