#include "editor/WriteSequence.h"

#include <algorithm>

#include "editor/EditorSteps.h"
#include "link/LineSession.h"
#include "model/DriveFacts.h"

namespace velorin {

using namespace editorsteps;

// ---- The plan ----

std::vector<int> WritePlan::pageWriteOrder(bool changedOnly) const {
    std::vector<int> regs;
    const Catalogue& catalogue = Catalogue::instance();
    for (int page = 0; page <= pages::kLockReset; ++page) {
        if (!m_core.pagePresent(page))
            continue;
        for (const RegisterRange& range : catalogue.page(page).write)
            for (int reg = range.first; reg <= range.last; ++reg) {
                // The editor never showed a register without a field: it is not written. What
                // the drive keeps for itself (its counters, its rated current) is not either.
                // The unlock codes go out after the link parameters.
                const ParameterInfo& p = catalogue.parameter(reg);
                if (p.shown && p.access == Access::Editable &&
                    std::find(kUnlockCodes.begin(), kUnlockCodes.end(), reg) ==
                        kUnlockCodes.end() &&
                    std::find(m_core.m_leftOut.begin(), m_core.m_leftOut.end(), reg) ==
                        m_core.m_leftOut.end() &&
                    !(changedOnly && m_core.sameAsDrive(reg)))
                    regs.push_back(reg);
            }
    }
    return regs;
}

std::optional<WriteIssue> WritePlan::pageWriteSkip(int reg) const {
    if (const auto copy = m_core.unreadCopyFor(reg))
        return WriteIssue{reg, WriteIssue::Why::CopyUnread, {}, *copy};
    if (m_core.m_unshown[reg])
        return WriteIssue{reg, WriteIssue::Why::NotShown};
    if (m_core.m_working[reg] < drive::kLowestWord || m_core.m_working[reg] > drive::kHighestWord)
        return WriteIssue{reg, WriteIssue::Why::OutOfRange};
    return std::nullopt;
}

WritePlan::LinkStep WritePlan::linkStep(int reg) const {
    if (m_core.m_unshown[reg])
        return {WriteIssue::Why::NotShown, std::nullopt};
    const std::int32_t working = m_core.m_working[reg];
    switch (reg) {
        case drive::kRateParameter:
            if (const auto code = rateCodeAt(working); !code)
                return {WriteIssue::Why::NoSelection, std::nullopt};
            else if (*code != m_core.m_copies.rate)
                return {std::nullopt, *code};
            return {};
        case drive::kFormatParameter:
            if (working < 0 || working >= static_cast<std::int32_t>(kFormats.size()))
                return {WriteIssue::Why::NoSelection, std::nullopt};
            break;
        case drive::kStationParameter:
            break;
        case drive::kResetParameter:
            if (working != m_core.m_copies.lockReset)
                return {std::nullopt, working};
            return {};
    }
    const std::optional<std::int16_t>& copy =
        reg == drive::kStationParameter ? m_core.m_copies.station : m_core.m_copies.format;
    if (working != copy)
        return {std::nullopt, working};
    return {};
}

bool WritePlan::unlockCodeGoesOut(int reg, bool changedOnly) const {
    const LinkStep reset = linkStep(drive::kResetParameter);
    return !changedOnly || (!reset.skip && reset.value) || !m_core.sameAsDrive(reg);
}

std::vector<PlannedWrite> WritePlan::writes(WriteScope scope) const {
    std::vector<PlannedWrite> writes;
    const bool changedOnly = scope == WriteScope::ChangedOnly;
    for (int reg : pageWriteOrder(changedOnly))
        if (!pageWriteSkip(reg))
            writes.push_back({reg, m_core.m_working[reg]});
    auto linkWrite = [&](int reg) {
        if (const LinkStep step = linkStep(reg); !step.skip && step.value)
            writes.push_back({reg, *step.value});
    };
    if (m_core.pagePresent(pages::kLinkCopies))
        for (int reg : kLinkParameters) linkWrite(reg);
    if (m_core.pagePresent(pages::kLockReset)) {
        for (int reg : kUnlockCodes)
            if (unlockCodeGoesOut(reg, changedOnly))
                writes.push_back({reg, m_core.m_working[reg]});
        linkWrite(drive::kResetParameter);
    }
    return writes;
}

WritePreview WritePlan::preview(WriteScope scope) const {
    WritePreview preview;
    const DisplayContext driveContext = m_core.driveDisplayContext();
    const DisplayContext workingContext = m_core.workingDisplayContext();
    auto shown = [](int reg, std::int32_t raw, const DisplayContext& context) {
        return WritePreview::Value{shownText(reg, displayValue(reg, raw, context)), raw};
    };
    for (const PlannedWrite& write : writes(scope)) {
        if (m_core.m_driveKnown[write.reg] && m_core.m_drive[write.reg] == write.value) {
            ++preview.unchanged;
            continue;
        }
        WritePreview::Change change{write.reg, std::nullopt,
                                    shown(write.reg, write.value, workingContext)};
        if (m_core.m_driveKnown[write.reg])
            change.before = shown(write.reg, m_core.m_drive[write.reg], driveContext);
        preview.changes.push_back(std::move(change));
    }
    return preview;
}

// ---- The sequence ----

bool WriteSequence::send(int reg, std::int32_t value, WriteOutcome& outcome) {
    if (rehearsing()) {
        m_hooks.rehearse(reg, static_cast<std::uint16_t>(value & 0xFFFF));
        ++outcome.confirmed;
        return true;
    }
    const std::optional<std::int32_t> before =
        m_core.m_driveKnown[reg] ? std::optional(m_core.m_drive[reg]) : std::nullopt;
    const auto r = static_cast<std::uint16_t>(reg);
    const ReplyCheck reply = m_core.m_line->write(r, static_cast<std::uint16_t>(value & 0xFFFF),
                                                  drive::writeEffect(r, value));
    // A write the stopped session never sent changed nothing.
    if (m_hooks.registerWritten && reply.outcome != LinkOutcome::Stopped)
        m_hooks.registerWritten({reg, before, value, reply.outcome == LinkOutcome::Ok,
                                 m_shownBeforeWrite, m_core.workingDisplayContext()});
    if (reply.outcome == LinkOutcome::Ok) {
        ++outcome.confirmed;
        m_silentWrites = 0;
        m_core.m_drive[reg] = value;
        m_core.m_driveKnown[reg] = true;
        m_core.m_marking.written(reg);
        return true;
    }
    outcome.unconfirmed.push_back({reg, WriteIssue::Why::NotConfirmed, reply});
    const bool lineGone =
        reply.outcome == LinkOutcome::Stopped || reply.outcome == LinkOutcome::PortError;
    const bool silent =
        reply.outcome == LinkOutcome::NoReply || reply.outcome == LinkOutcome::NotAReply;
    m_silentWrites = silent ? m_silentWrites + 1 : 0;
    if (lineGone || m_silentWrites >= kSilentWritesToStop) {
        outcome.end = WriteOutcome::End::DriveSilent;
        return false;
    }
    return true;
}

void WriteSequence::reopen(LinkState& link) {
    if (rehearsing())
        return;
    m_core.m_line->open(link.comPort, link.settings);
    m_core.m_line->setFraming(link.framing);
    m_core.m_line->setStation(link.station);
    m_core.m_framingInUse = link.framing;
}

bool WriteSequence::answersAtNewSettings(const LinkState& link, WriteOutcome& outcome) {
    if (rehearsing())
        return true;
    const ReplyCheck reply = m_core.m_line->read(drive::kStationParameter);
    if (reply.outcome == LinkOutcome::Ok)
        return true;
    outcome.end = WriteOutcome::End::NotAtNewSettings;
    outcome.settingsInUse = lineSettingsText(link);
    outcome.stationInUse = link.station;
    return false;
}

WriteOutcome WriteSequence::run(LinkState& link, WriteScope scope) {
    WriteOutcome outcome;
    if (!m_core.m_line)
        return outcome;
    m_silentWrites = 0;
    m_shownBeforeWrite = m_core.driveDisplayContext();
    // A drive that does not say whether its motor runs is not written to.
    const ReplyCheck status = m_core.m_line->read(drive::kStatusRegister);
    if (status.outcome != LinkOutcome::Ok) {
        outcome.end = WriteOutcome::End::NoAnswer;
        return outcome;
    }
    if (drive::motorRuns(status.value) && m_hooks.confirmWhileRunning &&
        !m_hooks.confirmWhileRunning()) {
        outcome.end = WriteOutcome::End::Declined;
        return outcome;
    }
    if (m_hooks.writing)
        m_hooks.writing();

    const bool changedOnly = scope == WriteScope::ChangedOnly;
    for (int reg : m_plan.pageWriteOrder(changedOnly)) {
        if (const std::optional<WriteIssue> skip = m_plan.pageWriteSkip(reg))
            outcome.skipped.push_back(*skip);
        else if (!send(reg, m_core.m_working[reg], outcome))
            return outcome;
    }

    // A changed unit switch: its page is read again and shown at the new resolution.
    const struct {
        int reg, page;
        std::optional<std::int16_t>& copy;
    } switches[] = {{drive::kRampUnitParameter, pages::kRamp, m_core.m_copies.rampUnit},
                    {drive::kStepUnitParameter, pages::kStep, m_core.m_copies.stepUnit}};
    for (const auto& unit : switches) {
        if (m_core.m_working[unit.reg] == unit.copy || m_core.m_unshown[unit.reg] ||
            !m_core.pagePresent(unit.page) || rehearsing())
            continue;
        m_core.setPagePresent(unit.page, false);
        const PageReadOutcome read = m_core.readPage(unit.page);
        if (read.kind == PageReadOutcome::Kind::Stopped)
            return outcome;
        if (m_hooks.pageRead)
            m_hooks.pageRead(unit.page);
        unit.copy = static_cast<std::int16_t>(m_core.m_working[unit.reg]);
    }

    // The link parameters, each at the settings the step before left. What was written is now
    // the drive's, so a later page read does not make it look changed again.
    if (m_core.pagePresent(pages::kLinkCopies)) {
        for (int reg : WritePlan::kLinkParameters) {
            const WritePlan::LinkStep step = m_plan.linkStep(reg);
            if (step.skip)
                outcome.skipped.push_back({reg, *step.skip});
            if (step.skip || !step.value)
                continue;
            if (!send(reg, *step.value, outcome))
                return outcome;
            m_core.m_drive[reg] = *step.value;
            const auto copy = static_cast<std::int16_t>(*step.value);
            if (reg == drive::kStationParameter) {
                m_core.m_copies.station = copy;
                link.station = static_cast<std::uint8_t>(*step.value);
                if (!rehearsing())
                    m_core.m_line->setStation(link.station);
                continue;
            }
            if (reg == drive::kRateParameter) {
                m_core.m_copies.rate = copy;
                link.settings = replaceRate(link.settings, m_core.m_working[reg]);
            } else {
                m_core.m_copies.format = copy;
                link.settings = replaceFormat(link.settings, *step.value);
                link.framing = framingOfFormat(*step.value);
            }
            reopen(link);
            if (!answersAtNewSettings(link, outcome))
                return outcome;
        }
    }

    if (m_core.pagePresent(pages::kLockReset)) {
        const WritePlan::LinkStep reset = m_plan.linkStep(drive::kResetParameter);
        for (int reg : kUnlockCodes)
            if (m_plan.unlockCodeGoesOut(reg, changedOnly) &&
                !send(reg, m_core.m_working[reg], outcome))
                return outcome;
        if (reset.skip) {
            outcome.skipped.push_back({drive::kResetParameter, *reset.skip});
        } else if (reset.value) {
            const std::int32_t lock = *reset.value;
            const int before = outcome.confirmed;
            const bool goOn = send(drive::kResetParameter, lock, outcome);
            m_core.m_copies.lockReset = static_cast<std::int16_t>(lock);
            m_core.m_drive[drive::kResetParameter] = lock;
            if (!goOn)
                return outcome;
            if (!rehearsing())
                m_core.m_line->clock().wait(kResetTime);
            if (drive::isFactoryReset(lock)) {
                // The drive answers at its factory link settings from now on.
                link.settings = drive::kFactorySettings;
                link.framing = drive::kFactoryFraming;
                link.station = drive::kFactoryStation;
                reopen(link);
                if (outcome.confirmed > before) {
                    // The fields no longer show what the drive holds.
                    outcome.factoryReset = true;
                    for (int page = 0; page < kPageCount; ++page)
                        m_core.setPagePresent(page, false);
                    m_core.m_marking.driveReset();
                    m_core.m_driveKnown.fill(false);
                }
            }
        }
    }
    return outcome;
}

}  // namespace velorin
