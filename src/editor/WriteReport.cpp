// The report of a write that was not complete, in the technician's words: the editor window shows
// it in a box, velorin-cli prints it on stderr.

#include <algorithm>

#include "editor/EditorCore.h"
#include "link/LineSession.h"
#include "link/NumberText.h"

namespace velorin {

namespace {

const char* const kOutOfRange = "數值超出 -32768~65535，未寫入";
const char* const kNoSelection = "未選擇項目，未寫入";
const char* const kNotShown = "欄位未顯示變頻機的值，未寫入";
const char* const kCopyUnread = " 讀取失敗，未寫入";  // after the code of the parameter not read

// A write the drive did not confirm, as the write's report says it.
std::string unconfirmedText(const ReplyCheck& reply) {
    switch (reply.outcome) {
        case LinkOutcome::Ok:
            return "正常";
        case LinkOutcome::NoReply:
            return "變頻機未回應";
        case LinkOutcome::NotAReply:
            return "線路上有資料，但不是變頻機的回應";
        case LinkOutcome::BadChecksum:
            return "回應檢查碼錯誤";
        case LinkOutcome::WrongStation:
            return "回應來自其他站號";
        case LinkOutcome::WrongFunction:
            return "回應功能碼不符";
        case LinkOutcome::Malformed:
            return "回應格式錯誤";
        case LinkOutcome::Exception:
            return "變頻機拒絕寫入 (例外碼 " + formatNumber(wireByte(reply.exceptionCode), "00") +
                   ")";
        case LinkOutcome::PortError:
            return "通訊埠已中斷";
        case LinkOutcome::Stopped:
            return "已停止";
        case LinkOutcome::Unsettled:
            return "通訊線路不穩，回應無法確認";
    }
    return "通訊錯誤";
}

// Why a parameter was not brought to the drive, as the write's report says it.
std::string issueText(const WriteIssue& issue) {
    switch (issue.why) {
        case WriteIssue::Why::NotConfirmed:
            return unconfirmedText(issue.reply);
        case WriteIssue::Why::CopyUnread:
            return Catalogue::codeOf(issue.copy) + kCopyUnread;
        case WriteIssue::Why::NotShown:
            return kNotShown;
        case WriteIssue::Why::OutOfRange:
            return kOutOfRange;
        case WriteIssue::Why::NoSelection:
            break;
    }
    return kNoSelection;
}

}  // namespace

std::vector<std::string> EditorCore::reportLines(const WriteOutcome& outcome, int maxLines) {
    std::vector<std::string> lines;
    // A port that went away stopped the write, not the drive.
    const bool portGone = std::any_of(
        outcome.unconfirmed.begin(), outcome.unconfirmed.end(),
        [](const WriteIssue& issue) { return issue.reply.outcome == LinkOutcome::PortError; });
    if (outcome.end == WriteOutcome::End::DriveSilent)
        lines.push_back(std::string(portGone ? "通訊埠已中斷" : "變頻機未回應") +
                        "，寫入已停止：已確認寫入 " + std::to_string(outcome.confirmed) +
                        " 項，其餘參數未寫入。");
    if (outcome.end == WriteOutcome::End::NotAtNewSettings)
        lines.push_back("變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：" +
                        outcome.settingsInUse);
    std::vector<WriteIssue> issues = outcome.unconfirmed;
    issues.insert(issues.end(), outcome.skipped.begin(), outcome.skipped.end());
    const int total = static_cast<int>(issues.size());
    for (int i = 0; i < std::min(total, maxLines); ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(issues[i].reg);
        lines.push_back(p.code + " " + p.name + "：" + issueText(issues[i]));
    }
    if (total > maxLines)
        lines.push_back("…及其他 " + std::to_string(total - maxLines) + " 項");
    return lines;
}

}  // namespace velorin
