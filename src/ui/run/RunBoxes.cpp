// The run session's questions and notices as the run panel's boxes, in the panel's words.

#include "RunBoxes.h"

#include "RunTexts.h"
#include "platform/ElidingLabel.h"
#include "ui/common/LinkStatus.h"
#include "platform/QtText.h"
#include "texts/LinkTexts.h"

namespace velorin {

const QString& settingName(RunSetting setting) {
    switch (setting) {
        case RunSetting::RunSource:
            return runtext::RunSourceName;
        case RunSetting::FrequencySource:
            return runtext::FrequencySourceName;
        case RunSetting::DirectionLimit:
            return runtext::DirectionLimitName;
        case RunSetting::FrequencyCommand:
            return runtext::FrequencyCommandName;
        case RunSetting::RampUnit:
            return runtext::RampUnitName;
        case RunSetting::AccelTime:
            return runtext::AccelTimeName;
        case RunSetting::DecelTime:
            return runtext::DecelTimeName;
        case RunSetting::JogFrequency:
            return runtext::JogFrequencyName;
        case RunSetting::MaxFrequency:
            break;
    }
    return runtext::MaxFrequencyName;
}

namespace {

// A question's text and title.
std::pair<QString, QString> questionText(const RunQuestion& q) {
    namespace text = runtext;
    switch (q.setting) {
        case RunSetting::FrequencySource:
            return {q.back ? text::AskFrequencySourceBack : text::AskFrequencySource,
                    text::FrequencySourceTitle};
        case RunSetting::RunSource:
            return {q.back ? text::AskRunSourceBack : text::AskRunSource, text::RunSourceTitle};
        default:
            return {q.back ? text::AskReverseBack : text::AskReverse,
                    q.back ? text::ReverseBackTitle : text::ReverseTitle};
    }
}

// A notice's text and title.
std::pair<QString, QString> noticeText(const RunNotice& n) {
    namespace text = runtext;
    using Kind = RunNotice::Kind;
    switch (n.kind) {
        case Kind::PortNotOpened:
            return {n.portLost || n.reply.outcome == LinkOutcome::PortError
                        ? text::PortLost + QLatin1Char('\n') + text::ReconnectByReturn
                        : text::PortFailed,
                    text::CommErrorTitle};
        case Kind::NoEntry:
            return {qs(describeOutcome(n.reply, false)) + text::NoEntry, text::CommErrorTitle};
        case Kind::MotorRunning:
            return {text::MotorRunning, text::MotorRunningTitle};
        case Kind::FrequencyOutOfRange:
            return {text::FrequencyRange, text::FrequencyRangeTitle};
        case Kind::AccelTimeOutOfRange:
            return {text::AccelRange, text::RampRangeTitle};
        case Kind::DecelTimeOutOfRange:
            return {text::DecelRange, text::RampRangeTitle};
        case Kind::Report:
            break;
    }
    QStringList lines;
    if (n.portLost)
        lines << text::PortLost << text::ReconnectByReturn;
    if (n.unconfirmed)
        lines << text::NoAnswer;
    for (const SettingIssue& issue : n.settings) {
        const QString& form = issue.kind == SettingIssue::Kind::NotRaised ? text::RaiseFailed
                              : issue.kind == SettingIssue::Kind::NotSet  ? text::NotSet
                                                                          : text::NotRestored;
        lines << form.arg(settingName(issue.setting), qs(issue.value));
    }
    return {lines.join(QLatin1Char('\n')), text::CommErrorTitle};
}

}  // namespace

RunHooks runBoxes(Services& services, QWidget* parent) {
    RunHooks hooks;
    hooks.ask = [&services, parent](const RunQuestion& q) {
        const auto [text, title] = questionText(q);
        return services.dialogs->question(parent, text, title) == Answer::Yes;
    };
    hooks.tell = [&services, parent](const RunNotice& n) {
        if (n.portLost) {
            // Every window names the port as lost from now on; this one at once.
            services.portLost = true;
            if (auto* link = parent ? parent->findChild<ElidingLabel*>("linkLabel") : nullptr)
                link->setFullText(linkStatusText(services));
        }
        const auto [text, title] = noticeText(n);
        services.dialogs->message(parent, text, title);
    };
    return hooks;
}

}  // namespace velorin
