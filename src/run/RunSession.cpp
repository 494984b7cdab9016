#include "RunSession.h"

#include "RunTexts.h"
#include "link/DriveFacts.h"
#include "link/NumberText.h"
#include "platform/Services.h"

namespace velorin {

namespace {

// Registers of the panel (register number = parameter number).
constexpr std::uint16_t kRunSource = 5;          // P00.05: 2 = the link
constexpr std::uint16_t kFrequencySource = 25;   // P01.00: 0 = frequency command 0
constexpr std::uint16_t kDirectionLimit = 28;    // P01.03: 0 = both directions
constexpr std::uint16_t kFrequencyCommand = 32;  // P01.07, hundredths of a hertz
constexpr std::uint16_t kJogFrequency = 48;      // P01.23, hundredths of a hertz
constexpr std::uint16_t kRampUnit = 96;          // P03.00: 0 = 0.01 s, 1 = 0.1 s
constexpr std::uint16_t kAccelTime = 97;         // P03.01
constexpr std::uint16_t kDecelTime = 98;         // P03.02
constexpr std::uint16_t kMaxFrequency = 248;     // P09.02, hundredths of a hertz

// 400.00 Hz, the top of the slider: the frequency command and the maximum output frequency
// while the panel is open.
constexpr std::uint16_t kPanelTop = 40000;
constexpr double kLowestFrequency = 1.5;
constexpr double kHighestFrequency = 400;
constexpr std::int64_t kLongestRamp = 60000;

// What a 16-bit register can take: -32768..-1 travel as their two's complement.
constexpr std::int64_t kRegisterLow = -32768;
constexpr std::int64_t kRegisterHigh = 65535;

double numberOf(std::string_view s) {
    return lenientNumber(s);
}

// The register word for a value, brought to a whole number as the link does with a value handed
// over as decimal text (15 significant digits, then half to even); empty when no register can
// hold it, for it would reach the drive as some other value.
std::optional<std::uint16_t> wordOf(double value) {
    const auto whole = roundHalfEven(lenientNumber(plainText(value)), kRegisterLow, kRegisterHigh);
    if (!whole)
        return std::nullopt;
    return static_cast<std::uint16_t>(*whole);
}

}  // namespace

RunSession::RunSession(Services& services, QWidget* dialogParent)
    : m_services(services),
      m_dialogParent(dialogParent),
      m_line(std::make_unique<LineSession>(services.ports->createPort(*services.wait))) {
    m_line->setOnPortLost([this] {
        m_portLostToTell = true;
        reportWhenQuiet();
    });
}

RunSession::~RunSession() = default;

bool RunSession::open() {
    m_line->follow(m_services.link);
    if (m_line->open(m_services.link.comPort, m_services.link.settings) != OpenResult::Ok) {
        // The mode menu has only just let go of the port; someone else has taken it.
        message(runtext::PortFailed, runtext::CommErrorTitle);
        return false;
    }
    return true;
}

bool RunSession::enter() {
    m_line->submit([this] { enterDrive(); });
    m_entered = true;
    return true;
}

void RunSession::enterDrive() {
    // The ramp unit. Only 0 and 1 are units; anything else (or no reply) is left on the drive
    // as it is, and the list keeps no selection until the technician picks a unit.
    const std::optional<int> unit = read(kRampUnit);
    if (unit && (*unit == 0 || *unit == 1)) {
        m_rampUnit = *unit;
        applyUnit(*unit);
    } else {
        m_rampUnit = unit.value_or(-1);
    }
    m_accelTime = readRampTime(kAccelTime);
    m_decelTime = readRampTime(kDecelTime);
    if (m_onRampTimesRead)
        m_onRampTimesRead();

    // Save the frequency command and the maximum output frequency, then raise both to the top
    // of the slider. A value the drive did not give us is neither raised nor written back: we
    // could not put it back as it was.
    m_frequencyCommandAtEntry = read(kFrequencyCommand);
    m_maxFrequencyAtEntry = read(kMaxFrequency);
    if (m_maxFrequencyAtEntry)
        write(kMaxFrequency, kPanelTop);
    if (m_frequencyCommandAtEntry)
        write(kFrequencyCommand, kPanelTop);

    m_frequencySourceAtEntry = read(kFrequencySource);
    if (m_frequencySourceAtEntry.value_or(0) != 0 &&
        ask(runtext::AskFrequencySource, runtext::FrequencySourceTitle))
        write(kFrequencySource, 0);
    m_runSourceAtEntry = read(kRunSource);
    if (m_runSourceAtEntry.value_or(0) != 2 && ask(runtext::AskRunSource, runtext::RunSourceTitle))
        write(kRunSource, 2);
    m_directionLimitAtEntry = read(kDirectionLimit);
    if (m_directionLimitAtEntry.value_or(0) != 0 && ask(runtext::AskReverse, runtext::ReverseTitle))
        write(kDirectionLimit, 0);
}

// ---- Transactions ----

bool RunSession::write(std::uint16_t reg, std::uint16_t value) {
    return m_line->write(reg, value).outcome == LinkOutcome::Ok;
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

bool RunSession::ask(const QString& text, const QString& title) {
    return m_services.dialogs->question(m_dialogParent, text, title) == kYes;
}

void RunSession::message(const QString& text, const QString& title) {
    m_services.dialogs->message(m_dialogParent, text, title);
}

void RunSession::reportWhenQuiet() {
    m_line->whenIdle([this] { report(); });
}

void RunSession::report() {
    if (m_portLostToTell) {
        m_portLostToTell = false;
        m_unconfirmed = false;  // nothing reaches the drive any more: the one box says why
        message(runtext::PortLost, runtext::CommErrorTitle);
        return;
    }
    if (!m_unconfirmed || m_jogHeld)
        return;
    m_unconfirmed = false;
    if (!m_line->portLost())  // told once already
        message(runtext::NoAnswer, runtext::CommErrorTitle);
}

void RunSession::stateChanged() {
    if (m_onStateChanged)
        m_onStateChanged();
}

// ---- Run, jog, stop ----

void RunSession::setRunning(bool running) {
    m_running = running;
    stateChanged();
}

bool RunSession::run(Direction direction, std::string_view frequencyText) {
    if (m_leaving)
        return false;
    const double hertz = numberOf(frequencyText);
    if (hertz > kHighestFrequency || hertz < kLowestFrequency) {
        message(runtext::FrequencyRange, runtext::FrequencyRangeTitle);
        return false;
    }
    setRunning(true);
    const auto value = wordOf(numberOf(formatNumber(hertz, "00.00")) * 100);
    m_lastSliderValue.reset();
    sendMotion(kFrequencyCommand, *value,
               direction == Direction::Forward ? drive::kRunForward : drive::kRunReverse);
    return true;
}

void RunSession::stop() {
    if (m_leaving)
        return;
    setRunning(false);
    sendStop();
}

bool RunSession::jogPress(Direction direction, std::string_view jogFrequencyText) {
    if (m_leaving)
        return false;
    m_jogHeld = true;
    const double hertz = numberOf(jogFrequencyText);
    if (hertz > kHighestFrequency || hertz < kLowestFrequency) {
        message(runtext::FrequencyRange, runtext::FrequencyRangeTitle);
        return false;
    }
    const auto value = wordOf(numberOf(formatNumber(hertz, "000.00")) * 100);
    sendMotion(kJogFrequency, *value,
               direction == Direction::Forward ? drive::kJogForward : drive::kJogReverse);
    return true;
}

void RunSession::jogRelease() {
    // A release after a way out has begun is left to the way out, which stops the motor itself.
    if (m_leaving)
        return;
    m_jogHeld = false;
    sendStop();
}

void RunSession::sendMotion(std::uint16_t frequencyRegister, std::uint16_t value,
                            std::uint16_t word) {
    m_line->submit(
        [this, frequencyRegister, value, word] {
            bool confirmed = write(frequencyRegister, value);
            confirmed = write(drive::kCommandRegister, word) && confirmed;
            if (!confirmed)
                m_unconfirmed = true;
        },
        LineSession::Order::Barrier);
    reportWhenQuiet();
}

void RunSession::sendStop() {
    m_line->submit(
        [this] {
            if (!write(drive::kCommandRegister, drive::kStop))
                m_unconfirmed = true;
        },
        LineSession::Order::Urgent);
    reportWhenQuiet();
}

// ---- Frequency ----

QString RunSession::sliderText(int sliderValue) {
    return QString::fromStdString(formatNumber(sliderValue / 100.0, "00.00"));
}

std::optional<int> RunSession::sliderValueFor(std::string_view frequencyText) {
    const double hertz = numberOf(frequencyText);
    if (hertz < kLowestFrequency || hertz > kHighestFrequency)
        return std::nullopt;
    return roundTo<int>(numberOf(formatNumber(hertz * 100, "0")));
}

void RunSession::sliderMoved(int sliderValue) {
    if (m_leaving)
        return;
    // A move that leaves the slider where the last move put it changes nothing on the drive.
    if (m_lastSliderValue == sliderValue)
        return;
    m_lastSliderValue = sliderValue;
    const auto value = wordOf(numberOf(sliderText(sliderValue).toStdString()) * 100);
    if (!value)
        return;
    m_line->submit([this, sliderValue, word = *value] {
        if (!write(kFrequencyCommand, word)) {
            if (m_lastSliderValue == sliderValue)
                m_lastSliderValue.reset();
            m_unconfirmed = true;
        }
    });
    reportWhenQuiet();
}

bool RunSession::enterFrequency(std::string_view frequencyText) {
    if (m_leaving)
        return false;
    const auto value = wordOf(numberOf(frequencyText) * 100);
    if (!value) {
        // No range check here by design (a technician may go past 400 Hz), but a number the
        // register cannot hold would reach the drive as some other frequency.
        message(runtext::FrequencyRange, runtext::FrequencyRangeTitle);
        return false;
    }
    m_lastSliderValue.reset();
    m_line->submit([this, word = *value] {
        if (!write(kFrequencyCommand, word))
            m_unconfirmed = true;
    });
    reportWhenQuiet();
    return true;
}

// ---- Ramp unit and times ----

void RunSession::chooseRampUnit(int unit) {
    if (m_leaving || unit < 0)
        return;
    m_rampUnit = unit;
    m_line->submit([this, unit] { applyUnit(unit); });
}

void RunSession::applyUnit(int unit) {
    write(kRampUnit, static_cast<std::uint16_t>(unit));
    m_accelTime = readRampTime(kAccelTime);
    m_decelTime = readRampTime(kDecelTime);
    if (m_onRampTimesRead)
        m_onRampTimesRead();
}

QString RunSession::rampTimeText(Ramp ramp) const {
    const int raw = ramp == Ramp::Accel ? m_accelTime : m_decelTime;
    const bool tenths = m_rampUnit == 1;
    return QString::fromStdString(tenths ? formatNumber(raw / 10.0, "0.0")
                                         : formatNumber(raw / 100.0, "0.00"));
}

QString RunSession::enterRampTime(Ramp ramp, std::string_view typed) {
    QString shown = QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()));
    if (m_leaving)
        return shown;
    const bool tenths = m_rampUnit == 1;
    const double scale = tenths ? 10 : 100;
    const auto raw = roundTo<std::int32_t>(numberOf(typed) * scale);
    if (raw)
        shown = QString::fromStdString(formatNumber(*raw / scale, tenths ? "0.0" : "0.00"));
    // Below -32768 the register cannot hold the time: it would arrive as a long positive ramp.
    if (!raw || *raw > kLongestRamp || *raw < kRegisterLow) {
        message(ramp == Ramp::Accel ? runtext::AccelRange : runtext::DecelRange,
                runtext::RampRangeTitle);
        return shown;
    }
    const std::uint16_t reg = ramp == Ramp::Accel ? kAccelTime : kDecelTime;
    m_line->submit([this, reg, word = static_cast<std::uint16_t>(*raw)] { write(reg, word); });
    return shown;
}

// ---- Ways out ----

void RunSession::leave(std::function<void()> done) {
    if (m_leaving || !m_entered)
        return;
    m_leaving = true;
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
    if (m_running || m_jogHeld) {
        m_jogHeld = false;
        setRunning(false);
        if (!write(drive::kCommandRegister, drive::kStop))
            m_unconfirmed = true;
    }
    report();

    if (m_maxFrequencyAtEntry)
        write(kMaxFrequency, static_cast<std::uint16_t>(*m_maxFrequencyAtEntry));
    if (m_frequencyCommandAtEntry)
        write(kFrequencyCommand, static_cast<std::uint16_t>(*m_frequencyCommandAtEntry));

    // Each setting is offered back only when the drive told us what it was at entry.
    struct Back {
        std::uint16_t reg;
        const std::optional<int>& atEntry;
        const QString& question;
        const QString& title;
    };
    const Back settings[] = {
        {kFrequencySource, m_frequencySourceAtEntry, runtext::AskFrequencySourceBack,
         runtext::FrequencySourceTitle},
        {kRunSource, m_runSourceAtEntry, runtext::AskRunSourceBack, runtext::RunSourceTitle},
        {kDirectionLimit, m_directionLimitAtEntry, runtext::AskReverseBack,
         runtext::ReverseBackTitle},
    };
    for (const Back& b : settings) {
        const std::optional<int> now = read(b.reg);
        if (b.atEntry && *b.atEntry != now.value_or(0) && ask(b.question, b.title))
            write(b.reg, static_cast<std::uint16_t>(*b.atEntry));
    }
}

}  // namespace velorin
