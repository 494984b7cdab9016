#include "EditorTexts.h"

#include "link/Frames.h"
#include "texts/CheckTexts.h"
#include "texts/EditorWords.h"
#include "platform/QtText.h"

namespace velorin::editortext {

namespace {

const QString WarningQuestion = QStringLiteral("寫入後變頻機可能顯示 %1，是否仍要寫入？");
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

}  // namespace

QStringList writeReport(const WriteOutcome& outcome, int maxLines) {
    QStringList lines;
    for (const std::string& line : writeReportLines(outcome, maxLines)) lines << qs(line);
    return lines;
}

QString warningQuestion(const std::vector<DriveWarning>& warnings) {
    QStringList told;
    for (const DriveWarning& w : warnings) {
        const QString detail = qs(warningDetail(w));
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
    return qs(velorin::sidecarOrigin(s));
}

QString sidecarRefusal(const SidecarCheck& check) {
    return qs(velorin::sidecarRefusal(check));
}

}  // namespace velorin::editortext
