// The run session's way out: what the panel holds changed on the drive, and putting it back.

#include "drive/RunSession.h"
#include "drive/RunSteps.h"
#include "model/DriveFacts.h"

namespace velorin {

using namespace runsteps;

// ---- What the panel holds changed ----

std::optional<std::string> RunSession::jogFrequencyText() const {
    if (!m_jogFrequencyAtEntry)
        return std::nullopt;
    return hertzText(*m_jogFrequencyAtEntry);
}

std::vector<HeldSetting> RunSession::heldSettings() const {
    std::vector<HeldSetting> held;
    if (m_jogFrequencyNow && m_jogFrequencyNow != m_jogFrequencyAtEntry)
        held.push_back({RunSetting::JogFrequency, hertzText(*m_jogFrequencyNow)});
    if (m_maxFrequencyAtEntry && static_cast<std::uint16_t>(*m_maxFrequencyAtEntry) != kPanelTop)
        held.push_back({RunSetting::MaxFrequency, hertzText(kPanelTop)});
    if (m_frequencyCommandAtEntry && m_frequencyCommandNow &&
        *m_frequencyCommandNow != *m_frequencyCommandAtEntry)
        held.push_back({RunSetting::FrequencyCommand, hertzText(*m_frequencyCommandNow)});
    for (const Source& source : m_sources)
        if (source.changed)
            held.push_back({source.setting, std::to_string(source.linkValue)});
    return held;
}

void RunSession::restoreFrequencies() {
    // A jog frequency the panel wrote goes back to what the drive held; one the drive did not
    // tell at entry cannot be put back, and is named as such.
    if (m_jogFrequencyNow && m_jogFrequencyNow != m_jogFrequencyAtEntry) {
        if (!m_jogFrequencyAtEntry)
            note(SettingIssue::Kind::NotRestored, RunSetting::JogFrequency, "?");
        else if (!write(kJogFrequency, static_cast<std::uint16_t>(*m_jogFrequencyAtEntry)))
            note(SettingIssue::Kind::NotRestored, RunSetting::JogFrequency,
                 hertzText(*m_jogFrequencyAtEntry));
        else
            m_jogFrequencyNow = m_jogFrequencyAtEntry;
    }
    // A raise that went unanswered may have been carried out: it is put back too.
    if (m_maxFrequencyAtEntry &&
        !write(kMaxFrequency, static_cast<std::uint16_t>(*m_maxFrequencyAtEntry)))
        note(SettingIssue::Kind::NotRestored, RunSetting::MaxFrequency,
             hertzText(*m_maxFrequencyAtEntry));
    if (m_frequencyCommandAtEntry &&
        !write(kFrequencyCommand, static_cast<std::uint16_t>(*m_frequencyCommandAtEntry)))
        note(SettingIssue::Kind::NotRestored, RunSetting::FrequencyCommand,
             hertzText(*m_frequencyCommandAtEntry));
}

// ---- Ways out ----

void RunSession::leave(std::function<void()> done) {
    if (m_phase != Phase::Open)
        return;
    m_phase = Phase::Leaving;
    // What is already queued goes out first; the restore then runs as the line's last operation.
    m_line->whenIdle([this, done = std::move(done)] {
        m_line->submit([this] {
            restore();
            m_line->close();
        });
        if (done)
            done();
    });
}

void RunSession::restore() {
    // Walking away from a turning motor is not an option: stop it first.
    if (m_motion != Motion::Stopped) {
        setMotion(Motion::Stopped);
        commandConfirmed(write(drive::kCommandRegister, drive::kStop));
    }

    restoreFrequencies();

    // Each setting is offered back only when the drive told us what it was at entry.
    for (const Source& source : m_sources) {
        if (!source.atEntry)
            continue;
        const std::optional<int> now = read(source.reg);
        // Not known now: it needs putting back if the entry changed it.
        if (now ? *now == *source.atEntry : !source.changed)
            continue;
        if (m_line->portLost() || ask(source.setting, true)) {
            if (!write(source.reg, static_cast<std::uint16_t>(*source.atEntry)))
                note(SettingIssue::Kind::NotRestored, source.setting,
                     std::to_string(*source.atEntry));
        }
    }
    report();
}

}  // namespace velorin
