#include "EditorTexts.h"

#include "link/Frames.h"
#include "texts/CheckTexts.h"
#include "texts/LinkTexts.h"
#include "platform/QtText.h"

namespace velorin::editortext {

namespace {

const QString OutOfRange = QStringLiteral("數值超出 -32768~65535，未寫入");
const QString NoSelection = QStringLiteral("未選擇項目，未寫入");
const QString NotShown = QStringLiteral("欄位未顯示變頻機的值，未寫入");
const QString CopyUnread = QStringLiteral("%1 讀取失敗，未寫入");
const QString Stopped = QStringLiteral("%1，寫入已停止：已確認寫入 %2 項，其餘參數未寫入。");
const QString StoppedByPort = QStringLiteral("通訊埠已中斷");
const QString StoppedByDrive = QStringLiteral("變頻機未回應");
const QString NotAtNewSettings =
    QStringLiteral("變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：%1 站號 %2");
const QString IssueLine = QStringLiteral("%1 %2：%3");
const QString MoreIssues = QStringLiteral("…及其他 %1 項");
const QString WarningQuestion = QStringLiteral("寫入後變頻機可能顯示 %1，是否仍要寫入？");
const QString SameFunction = QStringLiteral("%1 同為 %2");
const QString OutOfOrder = QStringLiteral("%1 fe%2 %3 大於 %4 fe%5 %6");
const QString TipHead = QStringLiteral("%1：%2");
const QString TipRange = QStringLiteral("\n範圍：%1");
const QString NoRangeCheck = QStringLiteral("無範圍檢查");
const QString TipFactory = QStringLiteral("\n出廠值：%1");
const QString NoFactory = QStringLiteral("無");
const QString TipDriveValue = QStringLiteral("\n變頻機的值：%1");
const QString TipFileValue = QStringLiteral("\n檔案中的值：%1");
const QString Blank = QStringLiteral("（空白）");
const QString CannotShow = QStringLiteral("無法顯示");
const QString TipRaw = QStringLiteral("\n原始值：%1");
const QString Refusal = QStringLiteral("%1 須為%2（%3），「%4」不符。");
const QString WholeNumber = QStringLiteral("整數");
const QString Decimals = QStringLiteral("小數至多 %1 位的數字");
const QString Unshowable = QStringLiteral("無法顯示（%1）");

QString issueText(const WriteIssue& issue) {
    switch (issue.why) {
        case WriteIssue::Why::NotConfirmed:
            return qs(describeOutcome(issue.reply));
        case WriteIssue::Why::CopyUnread:
            return CopyUnread.arg(qs(Catalogue::codeOf(issue.copy)));
        case WriteIssue::Why::NotShown:
            return NotShown;
        case WriteIssue::Why::OutOfRange:
            return OutOfRange;
        case WriteIssue::Why::NoSelection:
            break;
    }
    return NoSelection;
}

const QString Origin = QStringLiteral("這個檔案來自機種 %1 的變頻機（站號 %2，%3），備份於 %4%5。");
const QString OriginHours = QStringLiteral("，運轉 %1 小時");
const QString UnknownModel = QStringLiteral("不明");
const QString Unreadable = QStringLiteral("檔案旁的說明檔（.json）無法讀取，無法確認檔案是否完好。");
const QString Altered = QStringLiteral("檔案內容與備份時不同（SHA-256 不符）：可能被手動修改或已損壞。");
const QString OtherModel = QStringLiteral("檔案來自機種 %1 的變頻機，這台變頻機是機種 %2。");

}  // namespace

QStringList writeReport(const WriteOutcome& outcome, int maxLines) {
    QStringList lines;
    if (outcome.end == WriteOutcome::End::DriveSilent)
        lines << Stopped.arg(outcome.portLost() ? StoppedByPort : StoppedByDrive)
                     .arg(outcome.confirmed);
    if (outcome.end == WriteOutcome::End::NotAtNewSettings)
        lines << NotAtNewSettings.arg(qs(outcome.settingsInUse)).arg(outcome.stationInUse);
    const std::vector<WriteIssue> issues = outcome.issues();
    const int total = static_cast<int>(issues.size());
    for (int i = 0; i < std::min(total, maxLines); ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(issues[i].reg);
        lines << IssueLine.arg(qs(p.code), qs(p.name), issueText(issues[i]));
    }
    if (total > maxLines)
        lines << MoreIssues.arg(total - maxLines);
    return lines;
}

QString warningQuestion(const std::vector<DriveWarning>& warnings) {
    QStringList told;
    for (const DriveWarning& w : warnings) {
        QString detail;
        if (w.regs.size() == 2 && w.shown.size() == 2 && w.error != "ErP1") {
            detail = OutOfOrder.arg(qs(Catalogue::codeOf(w.regs[0])))
                         .arg(w.point)
                         .arg(qs(w.shown[0]), qs(Catalogue::codeOf(w.regs[1])))
                         .arg(w.point + 1)
                         .arg(qs(w.shown[1]));
        } else {
            QStringList codes;
            for (int reg : w.regs) codes << qs(Catalogue::codeOf(reg));
            detail = SameFunction.arg(codes.join(QStringLiteral("、")),
                                      w.shown.empty() ? QString() : qs(w.shown.front()));
        }
        told << qs(w.error) + QLatin1Char(' ') + detail;
    }
    return WarningQuestion.arg(told.join(QStringLiteral("；")));
}

QString refusal(const FieldRefusal& refusal) {
    const QString code = qs(Catalogue::codeOf(refusal.reg));
    if (refusal.range.empty())
        return code;
    return Refusal.arg(code,
                       refusal.decimals == 0 ? WholeNumber : Decimals.arg(refusal.decimals),
                       qs(refusal.range), qs(refusal.text));
}

QString previewValue(const WritePreview::Value& value) {
    return value.shown ? qs(*value.shown) : Unshowable.arg(value.raw);
}

QString fieldTip(const FieldFacts& facts) {
    const ParameterInfo& p = Catalogue::instance().parameter(facts.reg);
    QString tip = TipHead.arg(qs(p.code), qs(p.name));
    tip += TipRange.arg(facts.range.empty() ? NoRangeCheck : qs(rangeText(facts.range)));
    tip += TipFactory.arg(facts.factory ? qs(*facts.factory) : NoFactory);
    if (facts.given) {
        const QString shown =
            facts.shown ? (facts.shown->empty() ? Blank : qs(*facts.shown)) : CannotShow;
        tip += (facts.fromFile ? TipFileValue : TipDriveValue).arg(shown);
        tip += TipRaw.arg(facts.raw);
    }
    return tip;
}

QString sidecarOrigin(const BackupSidecar& s) {
    return Origin.arg(s.model ? QString::number(*s.model) : UnknownModel)
        .arg(s.station)
        .arg(qs(s.link), qs(s.date),
             s.runHours ? OriginHours.arg(*s.runHours) : QString());
}

QString sidecarRefusal(const SidecarCheck& check) {
    switch (check.verdict) {
        case SidecarVerdict::Unreadable:
            return Unreadable;
        case SidecarVerdict::Altered:
            return Altered;
        case SidecarVerdict::OtherModel:
            return OtherModel.arg(check.sidecar && check.sidecar->model ? *check.sidecar->model : 0)
                .arg(check.driveModel.value_or(0));
        default:
            return {};
    }
}

}  // namespace velorin::editortext
