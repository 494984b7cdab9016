#include "editor/EditorCore.h"

#include <algorithm>
#include <chrono>

#include "link/DriveFacts.h"
#include "link/LineSession.h"

namespace velorin {

namespace {

constexpr int kLinkCopiesPage = 25;  // P15: station, rate, format
constexpr int kLockCopyPage = 28;    // P17-1: lock and reset

const char* const kReadFailed = "參數讀取失敗，變頻機未回應。";
const char* const kOutOfRange = "數值超出 -32768~65535，未寫入";
const char* const kNoSelection = "未選擇項目，未寫入";
const char* const kNotShown = "欄位未顯示變頻機的值，未寫入";

constexpr int kRampPage = 5;   // P03: its times follow the ramp unit
constexpr int kStepPage = 11;  // P08: its step times follow the step unit
constexpr int kLastWrittenPage = 28;
// The unlock codes P17.09 and P17.10 go out after the link parameters, every time.
constexpr std::array<int, 2> kUnlockCodes = {547, 548};
constexpr int kSilentWritesToStop = 3;
constexpr std::chrono::seconds kResetTime{2};
constexpr std::int32_t kLowestWord = -32768;
constexpr std::int32_t kHighestWord = 65535;

// A read that may be worth asking again: the drive was asked and gave nothing usable.
bool unanswered(const ReplyCheck& check) {
    return check.outcome != LinkOutcome::Ok && check.outcome != LinkOutcome::Stopped &&
           check.outcome != LinkOutcome::PortError;
}

}  // namespace

void EditorCore::beginVisit(LineSession* line, Framing framing) {
    m_line = line;
    m_framingInUse = framing;
    m_pages.fill(0);
    m_unshown.fill(false);
}

bool EditorCore::isSigned(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    if (p.kind == FieldKind::Choice || p.display == DisplayRule::Position)
        return true;
    for (const RangeCheck& check : Catalogue::instance().checks())
        if (check.reg == reg && check.lower.kind == CheckBound::Kind::Constant &&
            check.lower.value < 0)
            return true;
    return false;
}

std::int32_t EditorCore::driveValueOf(int reg, std::uint16_t word) {
    static const std::array<bool, kRegisterCount> signedness = [] {
        std::array<bool, kRegisterCount> s{};
        for (int r = 0; r < kRegisterCount; ++r) s[r] = isSigned(r);
        return s;
    }();
    return signedness.at(reg) ? static_cast<std::int16_t>(word) : static_cast<std::int32_t>(word);
}

std::string EditorCore::readFailureText(int reg) {
    return Catalogue::codeOf(reg) + " " + kReadFailed;
}

PageReadOutcome EditorCore::readPage(int page) {
    const PageInfo& info = Catalogue::instance().page(page);
    if (m_line)
        m_framingInUse = m_line->framing();
    if (pagePresent(page) || !m_line) {
        if (pagePresent(page))
            refreshLinkCopies();
        return {PageReadOutcome::Kind::AlreadyPresent, -1, {}};
    }
    for (int reg = info.read.first; reg <= info.read.last; ++reg) {
        ReplyCheck reply = m_line->read(static_cast<std::uint16_t>(reg));
        if (unanswered(reply))
            reply = m_line->read(static_cast<std::uint16_t>(reg));
        if (reply.outcome == LinkOutcome::Stopped)
            return {PageReadOutcome::Kind::Stopped, reg, {}};
        if (reply.outcome != LinkOutcome::Ok)
            return {PageReadOutcome::Kind::Failed, reg, readFailureText(reg)};
        m_drive[reg] = driveValueOf(reg, reply.value);
    }
    m_pages[page] = 1;
    refreshLinkCopies();
    return {PageReadOutcome::Kind::Read, -1, {}};
}

void EditorCore::refreshLinkCopies() {
    if (pagePresent(kLinkCopiesPage)) {
        m_copies.station = static_cast<std::int16_t>(m_drive[drive::kStationParameter]);
        m_copies.rate = static_cast<std::int16_t>(m_drive[drive::kRateParameter]);
        m_copies.format = static_cast<std::int16_t>(m_drive[drive::kFormatParameter]);
    }
    if (pagePresent(kLockCopyPage))
        m_copies.lockReset = static_cast<std::int16_t>(m_drive[drive::kResetParameter]);
}

void EditorCore::readOpeningCopies() {
    if (!m_line)
        return;
    std::int16_t* copies[] = {&m_copies.rampUnit, &m_copies.stepUnit, &m_copies.ratedCurrent,
                              &m_copies.pidFullScale, &m_copies.pidDecimals};
    for (std::size_t i = 0; i < kOpeningReads.size(); ++i) {
        const ReplyCheck reply = m_line->read(static_cast<std::uint16_t>(kOpeningReads[i]));
        if (reply.outcome == LinkOutcome::Stopped)
            return;
        if (reply.outcome == LinkOutcome::Ok)
            *copies[i] = static_cast<std::int16_t>(reply.value);
    }
}

std::vector<FieldView> EditorCore::showPage(int page) {
    const DisplayContext context{m_drive[kRampUnitRegister], m_drive[kStepUnitRegister],
                                 m_copies.pidDecimals};
    std::vector<FieldView> views;
    for (int reg : Catalogue::instance().page(page).fields) {
        FieldView view{reg, displayValue(reg, m_drive[reg], context), false, m_drive[reg]};
        view.unshowable = std::holds_alternative<LeaveUnchanged>(view.display);
        m_unshown[reg] = view.unshowable;
        m_unshownRaw[reg] = m_drive[reg];
        views.push_back(std::move(view));
    }
    return views;
}

void EditorCore::takeShown(const std::vector<FieldView>& views) {
    for (const FieldView& view : views) {
        if (view.unshowable)
            continue;
        FieldContent content;
        if (const auto* shown = std::get_if<ShowText>(&view.display)) {
            content.text = shown->text;
        } else if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
            // A box with a list shows the option's text as its own.
            const auto options = Catalogue::instance().options(view.reg);
            content.selected = position->position;
            if (position->position >= 0 && position->position < static_cast<int>(options.size()))
                content.text = options[position->position];
        } else {
            continue;
        }
        // The unit switches come before the times that follow them, as in the conversion.
        const ConversionContext context{m_working[kRampUnitRegister], m_working[kStepUnitRegister],
                                        m_copies.pidDecimals};
        if (const auto raw = convertField(view.reg, content, context))
            m_working[view.reg] = *raw;
    }
}

std::string EditorCore::fileText(bool offline) const {
    Values values = m_working;
    for (int reg = 0; reg < kRegisterCount; ++reg)
        if (m_unshown[reg])
            values[reg] = m_unshownRaw[reg];
    return parameterFileText(values, m_pages, offline);
}

std::vector<FieldView> EditorCore::applyLoad(const ParameterFileLoad& load) {
    if (!load.ok())
        return {};
    m_pages.fill(0);
    for (int page = 0; page < kFilePageCount; ++page) m_pages[page] = load.pages[page] ? 1 : 0;
    const DisplayContext context = loadDisplayContext(load, m_copies.pidDecimals);
    std::vector<FieldView> views;
    for (int page = 0; page < kFilePageCount; ++page) {
        if (!load.pages[page])
            continue;
        const RegisterRange range = heldRange(page);
        for (int reg = range.first; reg <= range.last; ++reg) {
            if (!Catalogue::instance().parameter(reg).shown)
                continue;
            const std::int32_t raw = load.values[reg].value_or(0);
            FieldView view{reg, loadedDisplay(reg, raw, context), false, raw, true};
            view.unshowable = std::holds_alternative<LeaveUnchanged>(view.display);
            m_unshown[reg] = view.unshowable;
            m_unshownRaw[reg] = raw;
            views.push_back(std::move(view));
        }
    }
    return views;
}

bool EditorCore::fieldEdited(int reg) {
    const bool noDecimals = m_copies.pidDecimals < 0 || m_copies.pidDecimals > 4;
    m_unshown.at(reg) = m_unshown.at(reg) && reg == kPidSetpointRegister && noDecimals;
    return m_unshown.at(reg);
}

void EditorCore::convert(std::span<const FieldContent, kRegisterCount> fields,
                         char decimalSeparator) {
    valueConvert(fields, m_working, m_copies.pidDecimals, decimalSeparator);
}

std::vector<CheckFailure> EditorCore::checkValues() const {
    return valueCheck(m_working, m_pages, m_copies.ratedCurrent, m_copies.pidFullScale);
}

bool EditorCore::send(int reg, std::int32_t value, WriteOutcome& outcome) {
    if (rehearsing()) {
        m_hooks->rehearse(reg, static_cast<std::uint16_t>(value & 0xFFFF));
        ++outcome.confirmed;
        return true;
    }
    const ReplyCheck reply =
        m_line->write(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(value & 0xFFFF));
    if (reply.outcome == LinkOutcome::Ok) {
        ++outcome.confirmed;
        m_silentWrites = 0;
        return true;
    }
    outcome.unconfirmed.push_back({reg, describeOutcome(reply)});
    const bool lineGone =
        reply.outcome == LinkOutcome::Stopped || reply.outcome == LinkOutcome::PortError;
    m_silentWrites = reply.outcome == LinkOutcome::NoReply ? m_silentWrites + 1 : 0;
    if (lineGone || m_silentWrites >= kSilentWritesToStop) {
        outcome.end = WriteOutcome::End::DriveSilent;
        return false;
    }
    return true;
}

void EditorCore::reopen(LinkState& link) {
    if (rehearsing())
        return;
    m_line->open(link.comPort, link.settings);
    m_line->setFraming(link.framing);
    m_line->setStation(link.station);
    m_framingInUse = link.framing;
}

bool EditorCore::answersAtNewSettings(const LinkState& link, WriteOutcome& outcome) {
    if (rehearsing())
        return true;
    ReplyCheck reply = m_line->read(drive::kStationParameter);
    if (unanswered(reply))
        reply = m_line->read(drive::kStationParameter);
    if (reply.outcome == LinkOutcome::Ok)
        return true;
    outcome.end = WriteOutcome::End::NotAtNewSettings;
    outcome.settingsInUse = link.settings + " " + std::string(framingName(link.framing)) +
                            " 站號 " + std::to_string(link.station);
    return false;
}

WriteOutcome EditorCore::writeToDrive(LinkState& link, const WriteHooks& hooks) {
    WriteOutcome outcome;
    if (!m_line)
        return outcome;
    struct HooksScope {
        const WriteHooks*& held;
        ~HooksScope() { held = nullptr; }
    } scope{m_hooks = &hooks};
    m_silentWrites = 0;
    // A drive that does not say whether its motor runs is not written to.
    const ReplyCheck status = m_line->read(drive::kStatusRegister);
    if (status.outcome != LinkOutcome::Ok) {
        outcome.end = WriteOutcome::End::NoAnswer;
        return outcome;
    }
    if (drive::motorRuns(status.value) && hooks.confirmWhileRunning &&
        !hooks.confirmWhileRunning()) {
        outcome.end = WriteOutcome::End::Declined;
        return outcome;
    }
    if (hooks.writing)
        hooks.writing();

    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page <= kLastWrittenPage; ++page) {
        if (!pagePresent(page))
            continue;
        for (const RegisterRange& range : catalogue.page(page).write)
            for (int reg = range.first; reg <= range.last; ++reg) {
                // The editor never showed a register without a field: it is not written.
                if (!catalogue.parameter(reg).shown ||
                    std::find(kUnlockCodes.begin(), kUnlockCodes.end(), reg) != kUnlockCodes.end())
                    continue;
                const std::int32_t value = m_working[reg];
                if (m_unshown[reg])
                    outcome.skipped.push_back({reg, kNotShown});
                else if (value < kLowestWord || value > kHighestWord)
                    outcome.skipped.push_back({reg, kOutOfRange});
                else if (!send(reg, value, outcome))
                    return outcome;
            }
    }

    // A changed unit switch: its page is read again and shown at the new resolution.
    const struct {
        int reg, page;
        std::int16_t& copy;
    } switches[] = {{kRampUnitRegister, kRampPage, m_copies.rampUnit},
                    {kStepUnitRegister, kStepPage, m_copies.stepUnit}};
    for (const auto& unit : switches) {
        if (m_working[unit.reg] == unit.copy || !pagePresent(unit.page) || rehearsing())
            continue;
        setPagePresent(unit.page, false);
        const PageReadOutcome read = readPage(unit.page);
        if (read.kind == PageReadOutcome::Kind::Stopped)
            return outcome;
        if (hooks.pageRead)
            hooks.pageRead(unit.page);
        unit.copy = static_cast<std::int16_t>(m_working[unit.reg]);
    }

    // The link parameters, each at the settings the step before left. What was written is now
    // the drive's, so a later page read does not make it look changed again.
    if (pagePresent(kLinkCopiesPage)) {
        const std::int32_t rate = m_working[drive::kRateParameter];
        if (m_unshown[drive::kRateParameter]) {
            outcome.skipped.push_back({drive::kRateParameter, kNotShown});
        } else if (rate < 0 || rate >= static_cast<std::int32_t>(kRates.size())) {
            outcome.skipped.push_back({drive::kRateParameter, kNoSelection});
        } else if (kRates[rate].driveValue != m_copies.rate) {
            const int code = kRates[rate].driveValue;
            if (!send(drive::kRateParameter, code, outcome))
                return outcome;
            m_copies.rate = static_cast<std::int16_t>(code);
            m_drive[drive::kRateParameter] = code;
            link.settings = replaceRate(link.settings, rate);
            reopen(link);
            if (!answersAtNewSettings(link, outcome))
                return outcome;
        }
        const std::int32_t station = m_working[drive::kStationParameter];
        if (m_unshown[drive::kStationParameter]) {
            outcome.skipped.push_back({drive::kStationParameter, kNotShown});
        } else if (station != m_copies.station) {
            if (!send(drive::kStationParameter, station, outcome))
                return outcome;
            m_copies.station = static_cast<std::int16_t>(station);
            m_drive[drive::kStationParameter] = station;
            link.station = static_cast<std::uint8_t>(station);
            if (!rehearsing())
                m_line->setStation(link.station);
        }
        const std::int32_t format = m_working[drive::kFormatParameter];
        if (m_unshown[drive::kFormatParameter]) {
            outcome.skipped.push_back({drive::kFormatParameter, kNotShown});
        } else if (format < 0 || format >= static_cast<std::int32_t>(kFormats.size())) {
            outcome.skipped.push_back({drive::kFormatParameter, kNoSelection});
        } else if (format != m_copies.format) {
            if (!send(drive::kFormatParameter, format, outcome))
                return outcome;
            m_copies.format = static_cast<std::int16_t>(format);
            m_drive[drive::kFormatParameter] = format;
            link.settings = replaceFormat(link.settings, format);
            link.framing = framingOfFormat(format);
            reopen(link);
            if (!answersAtNewSettings(link, outcome))
                return outcome;
        }
    }

    if (pagePresent(kLockCopyPage)) {
        for (int reg : kUnlockCodes)
            if (!send(reg, m_working[reg], outcome))
                return outcome;
        const std::int32_t lock = m_working[drive::kResetParameter];
        if (m_unshown[drive::kResetParameter]) {
            outcome.skipped.push_back({drive::kResetParameter, kNotShown});
        } else if (lock != m_copies.lockReset) {
            const int before = outcome.confirmed;
            const bool goOn = send(drive::kResetParameter, lock, outcome);
            m_copies.lockReset = static_cast<std::int16_t>(lock);
            m_drive[drive::kResetParameter] = lock;
            if (!goOn)
                return outcome;
            if (!rehearsing())
                m_line->clock().wait(kResetTime);
            if (drive::isFactoryReset(lock)) {
                // The drive answers at its factory link settings from now on.
                link.settings = drive::kFactorySettings;
                link.framing = drive::kFactoryFraming;
                link.station = drive::kFactoryStation;
                reopen(link);
                if (outcome.confirmed > before) {
                    // The fields no longer show what the drive holds.
                    outcome.factoryReset = true;
                    for (int page = 0; page < kPageCount; ++page) setPagePresent(page, false);
                }
            }
        }
    }
    return outcome;
}

std::vector<std::string> EditorCore::reportLines(const WriteOutcome& outcome, int maxLines) {
    std::vector<std::string> lines;
    if (outcome.end == WriteOutcome::End::DriveSilent)
        lines.push_back("變頻機未回應，寫入已停止：已確認寫入 " +
                        std::to_string(outcome.confirmed) + " 項，其餘參數未寫入。");
    if (outcome.end == WriteOutcome::End::NotAtNewSettings)
        lines.push_back("變頻機在新的通訊設定下未回應，其餘參數未寫入。目前使用：" +
                        outcome.settingsInUse);
    std::vector<WriteIssue> issues = outcome.unconfirmed;
    issues.insert(issues.end(), outcome.skipped.begin(), outcome.skipped.end());
    const int total = static_cast<int>(issues.size());
    for (int i = 0; i < std::min(total, maxLines); ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(issues[i].reg);
        lines.push_back(p.code + " " + p.name + "：" + issues[i].reason);
    }
    if (total > maxLines)
        lines.push_back("…及其他 " + std::to_string(total - maxLines) + " 項");
    return lines;
}

}  // namespace velorin
