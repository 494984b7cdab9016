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

constexpr int kRampPage = 5;           // P03: its times follow the ramp unit
constexpr int kStepPage = 11;          // P08: its step times follow the step unit
constexpr int kRatedCurrentPage = 18;  // P11-1
constexpr int kPidPage = 23;           // P13-2: P13.34 and P13.35
// A unit switch shows no unit while its field is marked: no time is converted at a guess.
constexpr std::int32_t kNoUnit = -1;
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
    m_shown.fill(std::nullopt);
    m_shownUnknown.fill(false);
    m_fromFile.fill(false);
    m_content.fill({});
    // Between two visits the drive may have been written from elsewhere: what a write of the
    // changed values only compares with is read again in this visit.
    m_driveKnown.fill(false);
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
    // The page in one run of reads; a register left unanswered is asked once more on its own,
    // and the run goes on behind it.
    int reg = info.read.first;
    while (reg <= info.read.last) {
        std::vector<std::uint16_t> regs;
        for (int r = reg; r <= info.read.last; ++r) regs.push_back(static_cast<std::uint16_t>(r));
        const std::vector<ReplyCheck> replies = m_line->readRegisters(regs);
        if (replies.empty())
            return {PageReadOutcome::Kind::Stopped, reg, {}};
        for (ReplyCheck reply : replies) {
            if (unanswered(reply))
                reply = m_line->read(static_cast<std::uint16_t>(reg));
            if (reply.outcome == LinkOutcome::Stopped)
                return {PageReadOutcome::Kind::Stopped, reg, {}};
            if (reply.outcome != LinkOutcome::Ok)
                return {PageReadOutcome::Kind::Failed, reg, readFailureText(reg)};
            m_drive[reg] = driveValueOf(reg, reply.value);
            m_driveKnown[reg] = true;
            ++reg;
        }
    }
    m_pages[page] = 1;
    refreshLinkCopies();
    refreshOpeningCopies(page);
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

void EditorCore::refreshOpeningCopies(int page) {
    const struct {
        int page, reg;
        std::optional<std::int16_t>& copy;
    } copies[] = {{kRampPage, drive::kRampUnitParameter, m_copies.rampUnit},
                  {kStepPage, drive::kStepUnitParameter, m_copies.stepUnit},
                  {kRatedCurrentPage, drive::kRatedCurrentParameter, m_copies.ratedCurrent},
                  {kPidPage, drive::kPidFullScaleParameter, m_copies.pidFullScale},
                  {kPidPage, drive::kPidDecimalsParameter, m_copies.pidDecimals}};
    for (const auto& c : copies)
        if (c.page == page)
            c.copy = static_cast<std::int16_t>(m_drive[c.reg]);
}

void EditorCore::readOpeningCopies() {
    if (!m_line)
        return;
    std::optional<std::int16_t>* copies[] = {&m_copies.rampUnit, &m_copies.stepUnit,
                                             &m_copies.ratedCurrent, &m_copies.pidFullScale,
                                             &m_copies.pidDecimals};
    for (std::size_t i = 0; i < kOpeningReads.size(); ++i) {
        ReplyCheck reply = m_line->read(static_cast<std::uint16_t>(kOpeningReads[i]));
        if (unanswered(reply))
            reply = m_line->read(static_cast<std::uint16_t>(kOpeningReads[i]));
        if (reply.outcome == LinkOutcome::Stopped)
            return;
        if (reply.outcome == LinkOutcome::Ok)
            *copies[i] = static_cast<std::int16_t>(reply.value);
        else
            copies[i]->reset();
    }
}

std::vector<int> EditorCore::unreadCopies() const {
    const std::optional<std::int16_t> copies[] = {m_copies.rampUnit, m_copies.stepUnit,
                                                  m_copies.ratedCurrent, m_copies.pidFullScale,
                                                  m_copies.pidDecimals};
    std::vector<int> regs;
    for (std::size_t i = 0; i < kOpeningReads.size(); ++i)
        if (!copies[i])
            regs.push_back(kOpeningReads[i]);
    return regs;
}

std::optional<std::int16_t> EditorCore::pidDecimalsAfterWrite() const {
    if (pagePresent(kPidPage))
        return static_cast<std::int16_t>(m_working[drive::kPidDecimalsParameter]);
    return m_copies.pidDecimals;
}

std::optional<std::int16_t> EditorCore::pidFullScaleAfterWrite() const {
    if (pagePresent(kPidPage))
        return static_cast<std::int16_t>(m_working[drive::kPidFullScaleParameter]);
    return m_copies.pidFullScale;
}

std::optional<int> EditorCore::unreadCopyFor(int reg) const {
    if (reg == kPidSetpointRegister && !pagePresent(kPidPage)) {
        if (!m_copies.pidDecimals)
            return drive::kPidDecimalsParameter;
        if (!m_copies.pidFullScale)
            return drive::kPidFullScaleParameter;
    }
    if (!m_copies.ratedCurrent)
        for (const RangeCheck& check : Catalogue::instance().checks())
            if (check.reg == reg && (check.lower.kind == CheckBound::Kind::RatedCurrent ||
                                     check.upper.kind == CheckBound::Kind::RatedCurrent))
                return drive::kRatedCurrentParameter;
    return std::nullopt;
}

ConversionContext EditorCore::conversionContext(char decimalSeparator) const {
    return {m_unshown[drive::kRampUnitParameter] ? kNoUnit : m_working[drive::kRampUnitParameter],
            m_unshown[drive::kStepUnitParameter] ? kNoUnit : m_working[drive::kStepUnitParameter],
            pidDecimalsAfterWrite(), decimalSeparator};
}

DisplayContext EditorCore::workingDisplayContext() const {
    const ConversionContext c = conversionContext();
    return {c.rampUnit, c.stepUnit, c.pidDecimals};
}

std::vector<FieldView> EditorCore::showPage(int page) {
    const DisplayContext context = driveDisplayContext();
    std::vector<FieldView> views;
    for (int reg : Catalogue::instance().page(page).fields) {
        if (!pagePresent(page)) {
            // Values a failed read did not bring are not shown, not even as zeros.
            const bool list = Catalogue::instance().parameter(reg).kind != FieldKind::Number;
            views.push_back({reg, list ? Display{SelectPosition{}} : Display{ShowText{}}});
            m_unshown[reg] = false;
            m_shown[reg].reset();
            m_shownUnknown[reg] = false;
            m_content[reg] = {};
            continue;
        }
        FieldView view{reg, displayValue(reg, m_drive[reg], context), false, m_drive[reg]};
        view.unreadCopy = unreadCopyFor(reg).value_or(-1);
        view.unshowable =
            std::holds_alternative<LeaveUnchanged>(view.display) || view.unreadCopy >= 0;
        m_unshown[reg] = view.unshowable;
        m_unshownRaw[reg] = m_drive[reg];
        shownAs(view);
        views.push_back(std::move(view));
    }
    return views;
}

std::vector<int> EditorCore::takeFields(const std::vector<FieldView>& views,
                                        const std::map<int, FieldContent>& edits) {
    auto selector = [](int reg) {
        return reg == drive::kRampUnitParameter || reg == drive::kStepUnitParameter ||
               reg == drive::kPidDecimalsParameter;
    };
    std::vector<int> refused;
    for (const bool selectors : {true, false})
        for (const FieldView& view : views) {
            if (selector(view.reg) != selectors)
                continue;
            FieldContent content;
            const auto edit = edits.find(view.reg);
            if (edit != edits.end()) {
                content = edit->second;
                if (fieldEdited(view.reg)) {
                    refused.push_back(view.reg);
                    continue;
                }
            } else if (view.unshowable || m_unshown[view.reg]) {
                continue;
            } else if (const auto* shown = std::get_if<ShowText>(&view.display)) {
                content.text = shown->text;
            } else if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
                // A box with a list shows the option's text as its own.
                const auto options = Catalogue::instance().options(view.reg);
                content.selected = position->position;
                if (position->position >= 0 &&
                    position->position < static_cast<int>(options.size()))
                    content.text = options[position->position];
            } else {
                continue;
            }
            if (const auto raw = convertField(view.reg, content, conversionContext()))
                m_working[view.reg] = *raw;
            else if (edit != edits.end())
                refused.push_back(view.reg);
        }
    return refused;
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
            view.unreadCopy = unreadCopyFor(reg).value_or(-1);
            view.unshowable =
                std::holds_alternative<LeaveUnchanged>(view.display) || view.unreadCopy >= 0;
            m_unshown[reg] = view.unshowable;
            m_unshownRaw[reg] = raw;
            shownAs(view);
            views.push_back(std::move(view));
        }
    }
    return views;
}

bool EditorCore::fieldEdited(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    const bool noDecimals =
        !pagePresent(kPidPage) && !fieldDecimals(reg, {0, 0, m_copies.pidDecimals});
    // A time whose unit switch shows no unit cannot be read at any resolution.
    const bool noUnit =
        (p.conversion == ConversionKind::ByRampUnit && m_unshown[drive::kRampUnitParameter]) ||
        (p.conversion == ConversionKind::ByStepUnit && m_unshown[drive::kStepUnitParameter]);
    m_unshown.at(reg) = m_unshown.at(reg) && ((reg == kPidSetpointRegister && noDecimals) ||
                                              noUnit || unreadCopyFor(reg).has_value());
    return m_unshown.at(reg);
}

void EditorCore::convert(std::span<const FieldContent, kRegisterCount> fields,
                         char decimalSeparator) {
    // P13.04 takes the decimals that P13.35's field gives when its page is written with it.
    std::optional<std::int16_t> pidDecimals = m_copies.pidDecimals;
    if (pagePresent(kPidPage))
        if (const auto raw =
                convertField(drive::kPidDecimalsParameter, fields[drive::kPidDecimalsParameter]))
            pidDecimals = static_cast<std::int16_t>(*raw);
    valueConvert(fields, m_working, pidDecimals, decimalSeparator);
    for (int reg = 0; reg < kRegisterCount; ++reg)
        if (Catalogue::instance().parameter(reg).shown)
            m_content[reg] = fields[reg];
}

std::vector<CheckFailure> EditorCore::checkValues() const {
    std::vector<CheckFailure> failures =
        valueCheck(m_working, m_pages, m_copies.ratedCurrent, pidFullScaleAfterWrite());
    std::erase_if(failures, [this](const CheckFailure& f) { return m_unshown[f.reg]; });
    // What the drive's register cannot hold is refused before anything is written, not
    // found half-way through the write.
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page <= kLastWrittenPage; ++page) {
        if (!pagePresent(page))
            continue;
        for (int reg : catalogue.page(page).fields) {
            const ParameterInfo& p = catalogue.parameter(reg);
            if (p.conversion == ConversionKind::None || p.conversion == ConversionKind::List ||
                p.access != Access::Editable || m_unshown[reg])
                continue;
            const bool isSignedField = isSigned(reg);
            const std::int32_t lowest = isSignedField ? -32768 : 0;
            const std::int32_t highest = isSignedField ? 32767 : 65535;
            if (m_working[reg] < lowest || m_working[reg] > highest)
                failures.push_back(
                    {reg, p.code + " 範圍不在" +
                              wordRangeText(reg, isSignedField, conversionContext()) + "。"});
        }
    }
    return failures;
}

bool EditorCore::send(int reg, std::int32_t value, WriteOutcome& outcome) {
    if (rehearsing()) {
        m_hooks->rehearse(reg, static_cast<std::uint16_t>(value & 0xFFFF));
        ++outcome.confirmed;
        return true;
    }
    const std::optional<std::int32_t> before =
        m_driveKnown[reg] ? std::optional(m_drive[reg]) : std::nullopt;
    const ReplyCheck reply =
        m_line->write(static_cast<std::uint16_t>(reg), static_cast<std::uint16_t>(value & 0xFFFF));
    // A write the stopped session never sent changed nothing.
    if (m_hooks->registerWritten && reply.outcome != LinkOutcome::Stopped)
        m_hooks->registerWritten({reg, before, value, reply.outcome == LinkOutcome::Ok,
                                  m_shownBeforeWrite, workingDisplayContext()});
    if (reply.outcome == LinkOutcome::Ok) {
        ++outcome.confirmed;
        m_silentWrites = 0;
        m_drive[reg] = value;
        m_driveKnown[reg] = true;
        written(reg);
        return true;
    }
    outcome.unconfirmed.push_back({reg, WriteIssue::Why::NotConfirmed, reply});
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
    outcome.settingsInUse = lineSettingsText(link) + " 站號 " + std::to_string(link.station);
    return false;
}

WriteOutcome EditorCore::writeToDrive(LinkState& link, const WriteHooks& hooks, WriteScope scope) {
    WriteOutcome outcome;
    if (!m_line)
        return outcome;
    struct HooksScope {
        const WriteHooks*& held;
        ~HooksScope() { held = nullptr; }
    } hooksHeld{m_hooks = &hooks};
    m_silentWrites = 0;
    m_shownBeforeWrite = driveDisplayContext();
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

    const bool changedOnly = scope == WriteScope::ChangedOnly;
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page <= kLastWrittenPage; ++page) {
        if (!pagePresent(page))
            continue;
        for (const RegisterRange& range : catalogue.page(page).write)
            for (int reg = range.first; reg <= range.last; ++reg) {
                // The editor never showed a register without a field: it is not written. What
                // the drive keeps for itself (its counters, its rated current) is not either.
                if (!catalogue.parameter(reg).shown ||
                    catalogue.parameter(reg).access != Access::Editable ||
                    std::find(kUnlockCodes.begin(), kUnlockCodes.end(), reg) != kUnlockCodes.end() ||
                    (changedOnly && sameAsDrive(reg)))
                    continue;
                const std::int32_t value = m_working[reg];
                if (const auto copy = unreadCopyFor(reg))
                    outcome.skipped.push_back({reg, WriteIssue::Why::CopyUnread, {}, *copy});
                else if (m_unshown[reg])
                    outcome.skipped.push_back({reg, WriteIssue::Why::NotShown});
                else if (value < kLowestWord || value > kHighestWord)
                    outcome.skipped.push_back({reg, WriteIssue::Why::OutOfRange});
                else if (!send(reg, value, outcome))
                    return outcome;
            }
    }

    // A changed unit switch: its page is read again and shown at the new resolution.
    const struct {
        int reg, page;
        std::optional<std::int16_t>& copy;
    } switches[] = {{drive::kRampUnitParameter, kRampPage, m_copies.rampUnit},
                    {drive::kStepUnitParameter, kStepPage, m_copies.stepUnit}};
    for (const auto& unit : switches) {
        if (m_working[unit.reg] == unit.copy || m_unshown[unit.reg] || !pagePresent(unit.page) ||
            rehearsing())
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
            outcome.skipped.push_back({drive::kRateParameter, WriteIssue::Why::NotShown});
        } else if (rate < 0 || rate >= static_cast<std::int32_t>(kRates.size())) {
            outcome.skipped.push_back({drive::kRateParameter, WriteIssue::Why::NoSelection});
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
            outcome.skipped.push_back({drive::kStationParameter, WriteIssue::Why::NotShown});
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
            outcome.skipped.push_back({drive::kFormatParameter, WriteIssue::Why::NotShown});
        } else if (format < 0 || format >= static_cast<std::int32_t>(kFormats.size())) {
            outcome.skipped.push_back({drive::kFormatParameter, WriteIssue::Why::NoSelection});
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
        const std::int32_t lock = m_working[drive::kResetParameter];
        const bool lockGoesOut = !m_unshown[drive::kResetParameter] && lock != m_copies.lockReset;
        for (int reg : kUnlockCodes)
            if ((!changedOnly || lockGoesOut || !sameAsDrive(reg)) &&
                !send(reg, m_working[reg], outcome))
                return outcome;
        if (m_unshown[drive::kResetParameter]) {
            outcome.skipped.push_back({drive::kResetParameter, WriteIssue::Why::NotShown});
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
                    m_shown.fill(std::nullopt);
                    m_shownUnknown.fill(false);
                    m_driveKnown.fill(false);
                }
            }
        }
    }
    return outcome;
}

}  // namespace velorin
