#include "editor/EditorCore.h"
#include "editor/DriveWarnings.h"
#include "editor/WriteChecks.h"
#include "editor/WriteSequence.h"

#include <algorithm>
#include <chrono>
#include <type_traits>

#include "editor/EditorSteps.h"
#include "model/DriveFacts.h"
#include "link/LineSession.h"

namespace velorin {

using namespace editorsteps;

namespace {

// The registers within the pages' ranges that hold no parameter: where a drive most likely leaves
// registers out of its blocks.
std::vector<std::uint16_t> registersWithoutParameter() {
    std::vector<std::uint16_t> regs;
    for (const PageInfo& page : Catalogue::instance().pages())
        for (int r = page.read.first; r <= page.read.last; ++r)
            if (!Catalogue::instance().parameter(r).shown)
                regs.push_back(static_cast<std::uint16_t>(r));
    return regs;
}

}  // namespace

void EditorCore::beginVisit(LineSession* line, Framing framing) {
    m_line = line;
    if (m_line)
        m_line->setLikelyBlockGaps(registersWithoutParameter());
    m_framingInUse = framing;
    m_pages.fill(0);
    m_unshown.fill(false);
    m_marking.clear();
    m_leftOut.clear();
    // Between two visits the drive may have been written from elsewhere: what a write of the
    // changed values only compares with is read again in this visit.
    m_driveKnown.fill(false);
}

bool EditorCore::isSigned(int reg) {
    return registerSigned(reg);
}

std::int32_t EditorCore::driveValueOf(int reg, std::uint16_t word) {
    static const std::array<bool, kRegisterCount> signedness = [] {
        std::array<bool, kRegisterCount> s{};
        for (int r = 0; r < kRegisterCount; ++r) s[r] = isSigned(r);
        return s;
    }();
    return signedness.at(reg) ? static_cast<std::int16_t>(word) : static_cast<std::int32_t>(word);
}

PageReadOutcome EditorCore::readPage(int page) {
    const PageInfo& info = Catalogue::instance().page(page);
    if (m_line)
        m_framingInUse = m_line->framing();
    if (pagePresent(page) || !m_line) {
        if (pagePresent(page))
            refreshLinkCopies();
        return {PageReadOutcome::Kind::AlreadyPresent, -1};
    }
    // The page in one run of reads; the line session asks an unanswered register again itself.
    int reg = info.read.first;
    while (reg <= info.read.last) {
        std::vector<std::uint16_t> regs;
        for (int r = reg; r <= info.read.last; ++r) regs.push_back(static_cast<std::uint16_t>(r));
        const std::vector<ReplyCheck> replies = m_line->readRegisters(regs);
        if (replies.empty())
            return {PageReadOutcome::Kind::Stopped, reg};
        for (const ReplyCheck& reply : replies) {
            if (reply.outcome == LinkOutcome::Stopped)
                return {PageReadOutcome::Kind::Stopped, reg};
            if (reply.outcome != LinkOutcome::Ok)
                return {PageReadOutcome::Kind::Failed, reg};
            m_drive[reg] = driveValueOf(reg, reply.value);
            m_driveKnown[reg] = true;
            ++reg;
        }
    }
    m_pages[page] = 1;
    refreshLinkCopies();
    refreshOpeningCopies(page);
    return {PageReadOutcome::Kind::Read, -1};
}

void EditorCore::refreshLinkCopies() {
    if (pagePresent(pages::kLinkCopies)) {
        m_copies.station = static_cast<std::int16_t>(m_drive[drive::kStationParameter]);
        m_copies.rate = static_cast<std::int16_t>(m_drive[drive::kRateParameter]);
        m_copies.format = static_cast<std::int16_t>(m_drive[drive::kFormatParameter]);
    }
    if (pagePresent(pages::kLockReset))
        m_copies.lockReset = static_cast<std::int16_t>(m_drive[drive::kResetParameter]);
}

void EditorCore::refreshOpeningCopies(int page) {
    if (page == pages::kRamp)
        m_copies.rampUnit = static_cast<std::int16_t>(m_drive[drive::kRampUnitParameter]);
    if (page == pages::kStep)
        m_copies.stepUnit = static_cast<std::int16_t>(m_drive[drive::kStepUnitParameter]);
    if (page == pages::kRatedCurrent)
        m_copies.ratedCurrent = m_drive[drive::kRatedCurrentParameter];
    if (page == pages::kPid) {
        m_copies.pidFullScale = m_drive[drive::kPidFullScaleParameter];
        m_copies.pidDecimals = static_cast<std::int16_t>(m_drive[drive::kPidDecimalsParameter]);
    }
}

void EditorCore::readOpeningCopies() {
    if (!m_line)
        return;
    // Each copy in its register's type: a bound of 40000 stays 40000.
    auto take = [](auto& copy, std::optional<std::int32_t> value) {
        using Held = typename std::remove_reference_t<decltype(copy)>::value_type;
        copy = value ? std::optional<Held>(static_cast<Held>(*value)) : std::nullopt;
    };
    for (int reg : kOpeningReads) {
        const ReplyCheck reply = m_line->read(static_cast<std::uint16_t>(reg));
        if (reply.outcome == LinkOutcome::Stopped)
            return;
        const std::optional<std::int32_t> value =
            reply.outcome == LinkOutcome::Ok ? std::optional(driveValueOf(reg, reply.value))
                                             : std::nullopt;
        switch (reg) {
            case drive::kRampUnitParameter:
                take(m_copies.rampUnit, value);
                break;
            case drive::kStepUnitParameter:
                take(m_copies.stepUnit, value);
                break;
            case drive::kRatedCurrentParameter:
                take(m_copies.ratedCurrent, value);
                break;
            case drive::kPidFullScaleParameter:
                take(m_copies.pidFullScale, value);
                break;
            default:
                take(m_copies.pidDecimals, value);
                break;
        }
    }
}

std::vector<int> EditorCore::unreadCopies() const {
    const bool copies[] = {m_copies.rampUnit.has_value(), m_copies.stepUnit.has_value(),
                           m_copies.ratedCurrent.has_value(), m_copies.pidFullScale.has_value(),
                           m_copies.pidDecimals.has_value()};
    std::vector<int> regs;
    for (std::size_t i = 0; i < kOpeningReads.size(); ++i)
        if (!copies[i])
            regs.push_back(kOpeningReads[i]);
    return regs;
}

std::optional<std::int16_t> EditorCore::pidDecimalsAfterWrite() const {
    if (pagePresent(pages::kPid))
        return static_cast<std::int16_t>(m_working[drive::kPidDecimalsParameter]);
    return m_copies.pidDecimals;
}

std::optional<std::int32_t> EditorCore::pidFullScaleAfterWrite() const {
    if (pagePresent(pages::kPid))
        return m_working[drive::kPidFullScaleParameter];
    return m_copies.pidFullScale;
}

std::optional<int> EditorCore::unreadCopyFor(int reg) const {
    if (reg == kPidSetpointRegister && !pagePresent(pages::kPid)) {
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
            m_marking.showsNothing(reg);
            continue;
        }
        FieldView view{reg, displayValue(reg, m_drive[reg], context), false, m_drive[reg]};
        view.unreadCopy = unreadCopyFor(reg).value_or(-1);
        view.unshowable =
            std::holds_alternative<LeaveUnchanged>(view.display) || view.unreadCopy >= 0;
        m_unshown[reg] = view.unshowable;
        m_unshownRaw[reg] = m_drive[reg];
        m_marking.shownAs(view);
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
            const bool typed = edit != edits.end();
            if (const auto raw = typed ? convertField(view.reg, content, conversionContext())
                                       : convertShown(view.reg, content, conversionContext()))
                m_working[view.reg] = *raw;
            else if (typed)
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
    if (!load.usable())
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
            m_marking.shownAs(view);
            views.push_back(std::move(view));
        }
    }
    return views;
}

bool EditorCore::fieldEdited(int reg) {
    const ParameterInfo& p = Catalogue::instance().parameter(reg);
    const bool noDecimals =
        !pagePresent(pages::kPid) && !fieldDecimals(reg, {0, 0, m_copies.pidDecimals});
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
    if (pagePresent(pages::kPid))
        if (const auto raw =
                convertField(drive::kPidDecimalsParameter, fields[drive::kPidDecimalsParameter]))
            pidDecimals = static_cast<std::int16_t>(*raw);
    valueConvert(fields, m_working, pidDecimals, decimalSeparator);
    m_marking.allHold(fields);
}

// ---- The write (WriteSequence.h) ----

WriteOutcome EditorCore::writeToDrive(LinkState& link, const WriteHooks& hooks, WriteScope scope) {
    return WriteSequence(*this, hooks).run(link, scope);
}

std::vector<PlannedWrite> EditorCore::plannedWrites(WriteScope scope) const {
    return WritePlan(*this).writes(scope);
}

WritePreview EditorCore::previewWrite(WriteScope scope) const {
    return WritePlan(*this).preview(scope);
}

// ---- The checks (WriteChecks.h) ----

std::vector<CheckFailure> EditorCore::checkValues() const {
    return WriteChecks(*this).values();
}

WriteCheck EditorCore::checkWrite(WriteScope scope) const {
    return WriteChecks(*this).write(scope);
}

bool EditorCore::writeChanges(int reg) const {
    return WriteChecks(*this).changes(reg);
}

std::vector<int> EditorCore::checkSources(int reg) {
    return WriteChecks::sources(reg);
}

bool EditorCore::contentRefused(int reg) const {
    return WriteChecks(*this).refused(reg);
}

std::optional<FieldRefusal> EditorCore::refusal(int reg) const {
    return WriteChecks(*this).refusal(reg);
}

std::vector<FieldRefusal> EditorCore::refusedFields() const {
    return WriteChecks(*this).refusedFields();
}

std::vector<RangeInForce> EditorCore::rangeInForce(int reg) const {
    return WriteChecks(*this).rangeInForce(reg);
}

// ---- Before a write (DriveWarnings.h) ----

std::vector<DriveWarning> EditorCore::driveWarnings() const {
    return DriveWarningCheck(*this).warnings();
}

std::vector<VfPoint> EditorCore::vfCurve(int page) const {
    return DriveWarningCheck(*this).vfCurve(page);
}

std::optional<std::int32_t> EditorCore::resetPending() const {
    return DriveWarningCheck(*this).resetPending();
}

}  // namespace velorin
