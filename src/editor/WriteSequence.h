#pragma once
// The editor's write to the drive, in two parts: the plan (which registers go out, in which order,
// with which values, and what that changes on the drive) and the sequence that sends it over the
// line session, following the line through every change of station, rate, format and reset.
// Both work on the editor core's state; the core's writeToDrive, plannedWrites and previewWrite
// hand over to them.

#include <array>
#include <optional>
#include <vector>

#include "editor/EditorCore.h"

namespace velorin {

class WritePlan {
public:
    explicit WritePlan(const EditorCore& core) : m_core(core) {}

    // The registers a write with `scope` sends, in order, with the values they take.
    std::vector<PlannedWrite> writes(WriteScope scope) const;
    // What those writes change on the drive, as the editor shows both values.
    WritePreview preview(WriteScope scope) const;

    // The registers of the present pages in write order, before the link parameters.
    std::vector<int> pageWriteOrder(bool changedOnly) const;
    // Why a register of the pages is not sent, if it is not.
    std::optional<WriteIssue> pageWriteSkip(int reg) const;
    // A link parameter (rate, station, format) or the lock and reset value: why it is not sent,
    // or the value it goes out with when it differs from the drive's copy.
    struct LinkStep {
        std::optional<WriteIssue::Why> skip;
        std::optional<std::int32_t> value;
    };
    LinkStep linkStep(int reg) const;
    bool unlockCodeGoesOut(int reg, bool changedOnly) const;

    // The link parameters in the order they go out, each at the settings the one before left.
    static constexpr std::array<int, 3> kLinkParameters = {
        drive::kRateParameter, drive::kStationParameter, drive::kFormatParameter};

private:
    const EditorCore& m_core;
};

class WriteSequence {
public:
    WriteSequence(EditorCore& core, const WriteHooks& hooks)
        : m_core(core), m_plan(core), m_hooks(hooks) {}

    // Runs the write: the running check, the present pages, the unit switches' pages read again,
    // the link parameters with `link` following, the unlock codes and the lock and reset value.
    // Runs inside an operation of the line session.
    WriteOutcome run(LinkState& link, WriteScope scope);

private:
    // One write; false when the write must end here (the drive fell silent, the line stopped).
    bool send(int reg, std::int32_t value, WriteOutcome& outcome);
    bool rehearsing() const { return static_cast<bool>(m_hooks.rehearse); }
    // After the line settings changed: whether the drive answers at them.
    bool answersAtNewSettings(const LinkState& link, WriteOutcome& outcome);
    void reopen(LinkState& link);

    EditorCore& m_core;
    WritePlan m_plan;
    const WriteHooks& m_hooks;
    int m_silentWrites = 0;             // writes in a row without any reply
    DisplayContext m_shownBeforeWrite;  // the drive's values were shown with this
};

}  // namespace velorin
