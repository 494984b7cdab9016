#include "drive/RunSession.h"

#include "drive/RunSteps.h"
#include "model/DriveFacts.h"
#include "link/NumberText.h"

namespace velorin {

using namespace runsteps;

namespace {

double numberOf(std::string_view s) {
    return lenientNumber(s).value_or(0);
}

// The number of a typed text: the whole text must be one ("abc" is no time of 0, "1,5" none of 1).
std::optional<double> typedNumber(std::string_view text) {
    return strictNumber(text);
}

// The register word for a value, brought to a whole number as the link does with a value handed
// over as decimal text (15 significant digits, then half to even); empty when no register can
// hold it, for it would reach the drive as some other value.
std::optional<std::uint16_t> wordOf(double value) {
    const auto number = lenientNumber(plainText(value));
    const auto whole = number ? roundHalfEven(*number, drive::kLowestWord, drive::kHighestWord) : std::nullopt;
    if (!whole)
        return std::nullopt;
    return static_cast<std::uint16_t>(*whole);
}

}  // namespace

RunSession::RunSession(std::unique_ptr<LineSession> line, RunHooks hooks)
    : m_line(std::move(line)),
      m_hooks(std::move(hooks)),
      m_sources{{
          {kFrequencySource, 0, RunSetting::FrequencySource, {}, false},
          {kRunSource, 2, RunSetting::RunSource, {}, false},
          {kDirectionLimit, 0, RunSetting::DirectionLimit, {}, false},
      }} {
    m_line->setOnPortLost([this] {
        m_portLostToTell = true;
        reportWhenQuiet();
    });
}

RunSession::~RunSession() = default;

bool RunSession::open(const LinkState& link) {
    m_line->follow(link);
    if (const OpenResult opened = m_line->open(link.comPort, link.settings);
        opened != OpenResult::Ok) {
        // The mode menu has only just let go of the port: someone else has taken it, or the
        // adapter is gone.
        if (m_hooks.tell)
            m_hooks.tell(
                {RunNotice::Kind::PortNotOpened, {}, opened == OpenResult::NotFound, false, {}});
        return false;
    }
    return true;
}

bool RunSession::enter() {
    m_phase = Phase::Entering;
    m_line->submit([this] { m_phase = enterDrive() ? Phase::Open : Phase::Closed; });  // runs now
    reportWhenQuiet();
    return entered();
}

bool RunSession::enterDrive() {
    // The raise to 400 Hz speeds up a motor that follows an analog or terminal speed source scaled
    // to the maximum frequency: a running motor is not touched.
    const ReplyCheck status = m_line->read(drive::kStatusRegister);
    if (status.outcome != LinkOutcome::Ok) {
        if (!m_line->portLost())  // a lost port is told on its own
            tell(RunNotice::Kind::NoEntry, status);
        return false;
    }
    if (drive::motorRuns(status.value)) {
        tell(RunNotice::Kind::MotorRunning);
        return false;
    }

    // The ramp unit. Only 0 and 1 are units; anything else (or no reply) is left on the drive
    // as it is, and the list keeps no selection until the technician picks a unit.
    const std::optional<int> unit = read(drive::kRampUnitParameter);
    if (unit && (*unit == 0 || *unit == 1)) {
        m_rampUnit = *unit;
        applyUnit(*unit);
    } else {
        m_rampUnit = unit.value_or(-1);
    }
    m_accelTime = readRampTime(drive::kAccelTimeParameter);
    m_decelTime = readRampTime(drive::kDecelTimeParameter);
    rampTimesRead();

    if (!raiseFrequencies())
        return false;

    // A question is asked only about a value the drive told us: Yes on an unknown run source
    // would leave the drive on the link with nothing to put back on the way out.
    for (Source& source : m_sources) {
        source.atEntry = read(source.reg);
        if (!source.atEntry || *source.atEntry == source.linkValue || !ask(source.setting, false))
            continue;
        source.changed = true;
        if (!write(source.reg, source.linkValue)) {
            // Refused or unanswered: it may have been taken all the same.
            note(SettingIssue::Kind::NotSet, source.setting, std::to_string(source.linkValue));
            const std::optional<int> now = read(source.reg);
            source.changed = !now || *now != *source.atEntry;
        }
    }
    if (m_line->portLost()) {
        // Whatever the entry changed before the line went away is named for the technician.
        restore();
        return false;
    }
    return true;
}

bool RunSession::raiseFrequencies() {
    // Save the frequency command and the maximum output frequency, then raise both to the top
    // of the slider. A value the drive did not give us is neither raised nor written back: we
    // could not put it back as it was.
    m_frequencyCommandAtEntry = read(kFrequencyCommand);
    m_maxFrequencyAtEntry = read(kMaxFrequency);
    const std::string top = hertzText(kPanelTop);
    if (m_maxFrequencyAtEntry && !write(kMaxFrequency, kPanelTop)) {
        note(SettingIssue::Kind::NotRaised, RunSetting::MaxFrequency, top);
        m_frequencyCommandAtEntry.reset();  // not raised yet
        restoreFrequencies();
        return false;
    }
    if (m_frequencyCommandAtEntry && !write(kFrequencyCommand, kPanelTop)) {
        note(SettingIssue::Kind::NotRaised, RunSetting::FrequencyCommand, top);
        restoreFrequencies();
        return false;
    }
    if (m_frequencyCommandAtEntry)
        m_frequencyCommandNow = kPanelTop;
    // The jog frequency the drive holds is the jog field's until the technician changes it.
    const ReplyCheck jog = m_line->read(kJogFrequency);
    m_jogFrequencyAtEntry =
        jog.outcome == LinkOutcome::Ok ? std::optional<int>(jog.value) : std::nullopt;
    m_jogFrequencyNow = m_jogFrequencyAtEntry;
    return true;
}

// ---- Transactions ----

bool RunSession::write(std::uint16_t reg, std::uint16_t value) {
    return m_line->write(reg, value, drive::writeEffect(reg, value)).outcome == LinkOutcome::Ok;
}

std::optional<int> RunSession::read(std::uint16_t reg) {
    const ReplyCheck r = m_line->read(reg);
    if (r.outcome != LinkOutcome::Ok)
        return std::nullopt;
    return m_line->framedValue(r);
}

int RunSession::readRampTime(std::uint16_t reg) {
    // Ramp times run from 0 to 60000: the register is taken unsigned in both framings.
    const ReplyCheck r = m_line->read(reg);
    return r.outcome == LinkOutcome::Ok ? r.value : 0;
}

bool RunSession::ask(RunSetting setting, bool back) {
    return m_hooks.ask && m_hooks.ask({setting, back});
}

void RunSession::tell(RunNotice::Kind kind, const ReplyCheck& reply) {
    if (m_hooks.tell)
        m_hooks.tell({kind, reply, false, false, {}});
}

void RunSession::reportWhenQuiet() {
    m_line->whenIdle([this] { report(); });
}

void RunSession::report() {
    if (m_motion == Motion::Jogging)
        return;
    RunNotice notice{RunNotice::Kind::Report, {}, false, false, {}};
    // A lost port says why nothing reaches the drive any more; no other outcome is told then.
    notice.portLost = m_portLostToTell;
    notice.unconfirmed = !m_portLostToTell && m_unconfirmed && !m_line->portLost();
    m_portLostToTell = false;
    m_unconfirmed = false;
    notice.settings = std::move(m_toTell);
    m_toTell.clear();
    if ((notice.portLost || notice.unconfirmed || !notice.settings.empty()) && m_hooks.tell)
        m_hooks.tell(notice);
}

void RunSession::stateChanged() {
    if (m_hooks.stateChanged)
        m_hooks.stateChanged();
}

void RunSession::rampTimesRead() {
    if (m_hooks.rampTimesRead)
        m_hooks.rampTimesRead();
}

// ---- Run, jog, stop ----

void RunSession::commandConfirmed(bool confirmed) {
    if (!confirmed)
        m_unconfirmed = true;
    m_stateUnconfirmed = !confirmed;
    stateChanged();
}

void RunSession::setMotion(Motion motion) {
    const bool runningChanges = motion == Motion::Running || m_motion == Motion::Running;
    m_motion = motion;
    if (runningChanges)
        stateChanged();
}

bool RunSession::run(Direction direction, std::string_view frequencyText) {
    return startMotion(Motion::Running, direction, frequencyText);
}

bool RunSession::jogPress(Direction direction, std::string_view jogFrequencyText) {
    return startMotion(Motion::Jogging, direction, jogFrequencyText);
}

bool RunSession::startMotion(Motion motion, Direction direction, std::string_view frequencyText) {
    if (leaving())
        return false;
    // A jog button is down whatever its frequency: its release still sends the stop.
    if (motion == Motion::Jogging)
        setMotion(motion);
    const auto value = panelFrequency(frequencyText);
    if (!value) {
        tell(RunNotice::Kind::FrequencyOutOfRange);
        return false;
    }
    const bool forward = direction == Direction::Forward;
    if (motion == Motion::Running) {
        setMotion(motion);
        m_lastSliderValue.reset();
        sendMotion(kFrequencyCommand, *value, forward ? drive::kRunForward : drive::kRunReverse);
    } else {
        sendMotion(kJogFrequency, *value, forward ? drive::kJogForward : drive::kJogReverse);
    }
    return true;
}

void RunSession::stop() {
    // A stop (or a jog button's release) after a way out has begun is left to the way out, which
    // stops the motor itself.
    if (leaving())
        return;
    setMotion(Motion::Stopped);
    sendStop();
}

void RunSession::jogRelease() {
    stop();
}

void RunSession::sendMotion(std::uint16_t frequencyRegister, std::uint16_t value,
                            std::uint16_t word) {
    m_line->submit(
        [this, frequencyRegister, value, word] {
            bool confirmed = write(frequencyRegister, value);
            // Even unconfirmed it may have been taken: the way out puts it back either way.
            (frequencyRegister == kJogFrequency ? m_jogFrequencyNow : m_frequencyCommandNow) =
                value;
            stateChanged();
            confirmed = write(drive::kCommandRegister, word) && confirmed;
            commandConfirmed(confirmed);
        },
        LineSession::Order::Barrier);
    reportWhenQuiet();
}

void RunSession::sendStop() {
    m_line->submit([this] { commandConfirmed(write(drive::kCommandRegister, drive::kStop)); },
                   LineSession::Order::Urgent);
    reportWhenQuiet();
}

// ---- Frequency ----

std::string RunSession::sliderText(int sliderValue) {
    return formatNumber(sliderValue / 100.0, "00.00");
}

std::optional<int> RunSession::sliderValueFor(std::string_view frequencyText) {
    if (const auto value = panelFrequency(frequencyText))
        return *value;
    return std::nullopt;
}

std::optional<std::uint16_t> RunSession::panelFrequency(std::string_view text) {
    const std::optional<double> hertz = strictNumber(text);
    if (!hertz || *hertz < kLowestFrequency || *hertz > kHighestFrequency)
        return std::nullopt;
    // To the hundredth, half to even (" 60.005 " is 60.00).
    return wordOf(*hertz * 100);
}

void RunSession::sliderMoved(int sliderValue) {
    if (leaving())
        return;
    // A move that leaves the slider where the last move put it changes nothing on the drive.
    if (m_lastSliderValue == sliderValue)
        return;
    m_lastSliderValue = sliderValue;
    const auto value = wordOf(numberOf(sliderText(sliderValue)) * 100);
    if (!value)
        return;
    m_line->submit([this, sliderValue, word = *value] {
        m_frequencyCommandNow = word;
        stateChanged();
        if (!write(kFrequencyCommand, word)) {
            if (m_lastSliderValue == sliderValue)
                m_lastSliderValue.reset();
            m_unconfirmed = true;
        }
    });
    reportWhenQuiet();
}

bool RunSession::enterFrequency(std::string_view frequencyText) {
    if (leaving())
        return false;
    // Only a number the run buttons take: "-5" would reach the drive as 650.36 Hz, "abc" as
    // 0 Hz, 500 as a frequency the panel then refuses to run.
    const auto value = panelFrequency(frequencyText);
    if (!value) {
        tell(RunNotice::Kind::FrequencyOutOfRange);
        return false;
    }
    m_lastSliderValue.reset();
    m_line->submit([this, word = *value] {
        m_frequencyCommandNow = word;
        if (!write(kFrequencyCommand, word))
            m_unconfirmed = true;
        stateChanged();
    });
    reportWhenQuiet();
    return true;
}

// ---- Ramp unit and times ----

void RunSession::chooseRampUnit(int unit) {
    if (leaving() || unit < 0)
        return;
    m_rampUnit = unit;
    m_line->submit([this, unit] { applyUnit(unit); });
    reportWhenQuiet();
}

void RunSession::applyUnit(int unit) {
    if (!write(drive::kRampUnitParameter, static_cast<std::uint16_t>(unit))) {
        note(SettingIssue::Kind::NotSet, RunSetting::RampUnit, std::to_string(unit));
        // The times are shown in the unit the drive holds.
        const std::optional<int> held = read(drive::kRampUnitParameter);
        if (held && (*held == 0 || *held == 1))
            m_rampUnit = *held;
    }
    m_accelTime = readRampTime(drive::kAccelTimeParameter);
    m_decelTime = readRampTime(drive::kDecelTimeParameter);
    rampTimesRead();
}

std::string RunSession::rampTimeText(Ramp ramp) const {
    const int raw = ramp == Ramp::Accel ? m_accelTime : m_decelTime;
    const bool tenths = drive::rampTimeDecimals(m_rampUnit) == 1;
    return tenths ? formatNumber(raw / 10.0, "0.0") : formatNumber(raw / 100.0, "0.00");
}

std::string RunSession::enterRampTime(Ramp ramp, std::string_view typed) {
    std::string shown(typed);
    if (leaving())
        return shown;
    const bool tenths = drive::rampTimeDecimals(m_rampUnit) == 1;
    const double scale = tenths ? 10 : 100;
    const std::optional<double> number = typedNumber(typed);
    const auto raw = number ? roundTo<std::int32_t>(*number * scale) : std::nullopt;
    if (raw)
        shown = formatNumber(*raw / scale, tenths ? "0.0" : "0.00");
    // A negative time would reach the drive as its two's complement, a ramp of minutes.
    if (!raw || *raw > kLongestRamp || *number < 0) {
        tell(ramp == Ramp::Accel ? RunNotice::Kind::AccelTimeOutOfRange
                                 : RunNotice::Kind::DecelTimeOutOfRange);
        return shown;
    }
    const std::uint16_t reg = ramp == Ramp::Accel ? drive::kAccelTimeParameter : drive::kDecelTimeParameter;
    const RunSetting setting = ramp == Ramp::Accel ? RunSetting::AccelTime : RunSetting::DecelTime;
    m_line->submit([this, reg, word = static_cast<std::uint16_t>(*raw), setting, shown] {
        if (!write(reg, word))
            note(SettingIssue::Kind::NotSet, setting, shown);
    });
    reportWhenQuiet();
    return shown;
}

// The run session's way out: what the panel holds changed on the drive, and putting it back.

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
