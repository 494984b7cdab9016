#include "editor/EditorCore.h"

#include "link/DriveFacts.h"
#include "link/LineSession.h"

namespace velorin {

namespace {

constexpr int kLinkCopiesPage = 25;  // P15: station, rate, format
constexpr int kLockCopyPage = 28;    // P17-1: lock and reset

const char* const kReadFailed = "參數讀取失敗，變頻機未回應。";

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
        views.push_back(std::move(view));
    }
    return views;
}

void EditorCore::convert(std::span<const FieldContent, kRegisterCount> fields,
                         char decimalSeparator) {
    valueConvert(fields, m_working, m_copies.pidDecimals, decimalSeparator);
}

}  // namespace velorin
