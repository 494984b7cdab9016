#pragma once
// What the run panel does on the line, without its widgets: the entry that hands the drive's
// command sources to the link, the run, jog and stop commands, the frequency and ramp writes,
// and the restore on the way out. It asks and tells through hooks; the panel turns its
// questions and notices into boxes.
//
// Every handler hands its writes to the line session as one operation. Operations run one after
// another in the order they came; a run or jog command is a barrier that nothing later overtakes,
// and the stop word goes ahead of queued frequency writes but never ahead of a run or jog
// command, so that the last word of a press-and-release or of a run-then-stop is always the stop.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/LineSession.h"

namespace velorin {

// The drive settings the panel changes and puts back.
enum class RunSetting {
    RunSource,         // P00.05
    FrequencySource,   // P01.00
    DirectionLimit,    // P01.03
    FrequencyCommand,  // P01.07
    RampUnit,          // P03.00
    AccelTime,         // P03.01
    DecelTime,         // P03.02
    MaxFrequency,      // P09.02
    JogFrequency,      // P01.23
};

// A drive setting the panel holds changed while it is open, with its value now as the
// technician would set it ("400.00"); each is put back on the way out.
struct HeldSetting {
    RunSetting setting;
    std::string value;
    bool operator==(const HeldSetting&) const = default;
};

// A command source or the direction limit: whether to switch it to the link at entry, or back
// to what it was on the way out.
struct RunQuestion {
    RunSetting setting;
    bool back = false;
};

// A setting the drive did not take.
struct SettingIssue {
    enum class Kind {
        NotRaised,    // the entry's raise to 400 Hz: the panel is not entered
        NotSet,       // a change the technician asked for
        NotRestored,  // the way out could not put it back
    };
    Kind kind;
    RunSetting setting;
    std::string value;  // as the technician would set it on the drive: "400.00", "2"
};

struct RunNotice {
    enum class Kind {
        PortNotOpened,        // the port could not be opened (`portLost`: it is gone)
        NoEntry,              // the running check got no usable answer (`reply`)
        MotorRunning,         // the motor runs: the panel is not entered
        FrequencyOutOfRange,  // a frequency entered, run or jogged outside 1.50..400.00 Hz
        AccelTimeOutOfRange,
        DecelTimeOutOfRange,
        Report,  // what the line did not carry, told once it is quiet
    };
    Kind kind;
    ReplyCheck reply;                    // NoEntry
    bool portLost = false;               // Report, PortNotOpened: the port is gone
    bool unconfirmed = false;            // Report: a command the drive did not confirm
    std::vector<SettingIssue> settings;  // Report
};

struct RunHooks {
    // A Yes/No question; true for Yes.
    std::function<bool(const RunQuestion&)> ask;
    // Tells the technician; returns once they have taken it in (the panel shows a box).
    std::function<void(const RunNotice&)> tell;
    // The session changed what the window shows: the running state, or the ramp unit and times
    // (read again from the drive).
    std::function<void()> stateChanged;
    std::function<void()> rampTimesRead;
};

class RunSession {
public:
    enum class Direction { Forward, Reverse };
    enum class Ramp { Accel, Decel };

    RunSession(std::unique_ptr<LineSession> line, RunHooks hooks);
    ~RunSession();
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    // Opens the line as `link` says. False when the port cannot be opened: the technician has
    // been told and nothing was sent.
    bool open(const LinkState& link);
    // The entry: makes sure the motor stands still, reads the ramp settings, saves and raises the
    // frequency command and the maximum output frequency, and asks about the command sources.
    // False when the panel must not be used (the motor runs, the drive does not answer, or a
    // raise was not taken): the technician has been told, and what was changed is put back.
    bool enter();
    // Where the panel stands: closed (not entered, or the entry refused), entering, open, or
    // leaving (the drive being put back; no handler acts any more).
    enum class Phase { Closed, Entering, Open, Leaving };
    // What the panel last had the motor do: stand, run, or jog while a jog button is held.
    enum class Motion { Stopped, Running, Jogging };
    Phase phase() const { return m_phase; }
    Motion motion() const { return m_motion; }
    bool entered() const { return m_phase == Phase::Open || m_phase == Phase::Leaving; }

    // ---- Run, jog, stop ----
    // False when the frequency is outside 1.50..400.00 Hz: told, nothing written.
    bool run(Direction direction, std::string_view frequencyText);
    void stop();
    bool jogPress(Direction direction, std::string_view jogFrequencyText);
    void jogRelease();
    // The panel's own notion of whether the motor runs.
    bool running() const { return m_motion == Motion::Running; }
    bool jogHeld() const { return m_motion == Motion::Jogging; }
    // The drive did not confirm the last run, jog or stop command: it may be doing something
    // other than the panel shows.
    bool stateUnconfirmed() const { return m_stateUnconfirmed; }

    // ---- Frequency ----
    // What the frequency field shows for a slider value (6000 -> "60.00").
    static std::string sliderText(int sliderValue);
    // The slider position for a typed frequency, when it is one the slider can show.
    static std::optional<int> sliderValueFor(std::string_view frequencyText);
    // A mouse move over the slider at `sliderValue`: writes it, unless the last move did.
    void sliderMoved(int sliderValue);
    // Enter in the frequency field: the range of the run buttons, 1.50 to 400.00 Hz, for a
    // frequency the panel will not run must not reach the drive either. False when refused (told,
    // nothing written).
    bool enterFrequency(std::string_view frequencyText);
    // The frequency a typed text names, in hundredths of a hertz: a number (nothing else in the
    // text) within 1.50..400.00 Hz, the one range of the panel's field, buttons and jog.
    static std::optional<std::uint16_t> panelFrequency(std::string_view text);

    // ---- What the panel holds changed ----
    // The jog frequency as the drive held it at entry, shown in its field ("6.00"); empty when
    // the drive did not tell.
    std::optional<std::string> jogFrequencyText() const;
    // Every drive setting the panel has changed and will put back, in the order it goes back.
    std::vector<HeldSetting> heldSettings() const;

    // ---- Ramp unit and times ----
    // 0 = 0.01 s, 1 = 0.1 s; -1 when the drive did not tell, another value when it holds one.
    int rampUnit() const { return m_rampUnit; }
    void chooseRampUnit(int unit);
    // The times as last read, shown in the unit.
    std::string rampTimeText(Ramp ramp) const;
    // Enter in a ramp time field: the field's text rewritten in the unit, and the time written
    // when within 0..60000 counts of the unit (else told).
    std::string enterRampTime(Ramp ramp, std::string_view typed);

    // ---- Ways out ----
    // Puts the drive back as the entry found it and closes the line, then runs `done`. Handlers
    // are ignored from here on; what is already queued goes out first. Each setting that could
    // not be put back is named in one notice at the end.
    void leave(std::function<void()> done);
    bool leaving() const { return m_phase == Phase::Leaving; }

    // What entry saved, for the window and tests.
    std::optional<int> frequencyCommandAtEntry() const { return m_frequencyCommandAtEntry; }
    std::optional<int> maxFrequencyAtEntry() const { return m_maxFrequencyAtEntry; }
    std::optional<int> jogFrequencyAtEntry() const { return m_jogFrequencyAtEntry; }

    LineSession& line() { return *m_line; }

private:
    // A command source or the direction limit: switched to the link at entry on the
    // technician's word, offered back on the way out.
    struct Source {
        std::uint16_t reg;
        std::uint16_t linkValue;  // what the panel needs it to be
        RunSetting setting;
        std::optional<int> atEntry;  // empty when the drive gave no usable reply
        bool changed = false;        // the entry switched it (or may have)
    };

    bool enterDrive();
    bool raiseFrequencies();
    void restoreFrequencies();
    void restore();
    void applyUnit(int unit);
    void sendMotion(std::uint16_t frequencyRegister, std::uint16_t value, std::uint16_t word);
    void sendStop();
    void commandConfirmed(bool confirmed);
    // The one place the motion changes; the window is told when running starts or ends.
    void setMotion(Motion motion);
    // A run or a jog: the frequency checked, the motion set and the command sent.
    bool startMotion(Motion motion, Direction direction, std::string_view frequencyText);
    bool write(std::uint16_t reg, std::uint16_t value);
    // A read's value as the framing gives it (signed over ASCII); empty without a usable reply.
    std::optional<int> read(std::uint16_t reg);
    int readRampTime(std::uint16_t reg);
    bool ask(RunSetting setting, bool back);
    void tell(RunNotice::Kind kind, const ReplyCheck& reply = {});
    // Tells of commands the drive did not confirm and of a lost port, once the line is quiet and
    // no jog button is held (a box would take the mouse and the button's release with it).
    // Settings the drive did not take are told in the same notice.
    void reportWhenQuiet();
    void report();
    void note(SettingIssue::Kind kind, RunSetting setting, std::string value) {
        m_toTell.push_back({kind, setting, std::move(value)});
    }
    void stateChanged();
    void rampTimesRead();

    std::unique_ptr<LineSession> m_line;
    RunHooks m_hooks;

    Phase m_phase = Phase::Closed;
    Motion m_motion = Motion::Stopped;  // Jogging: a jog button is down, its stop still to come
    bool m_unconfirmed = false;  // a command the drive did not confirm, not yet told
    bool m_stateUnconfirmed = false;
    bool m_portLostToTell = false;
    std::vector<SettingIssue> m_toTell;
    std::optional<int> m_lastSliderValue;  // last value a slider move handed to the line

    int m_rampUnit = 0;
    int m_accelTime = 0;  // raw, in the unit
    int m_decelTime = 0;
    // Read at entry; empty when the drive gave no usable reply.
    std::optional<int> m_frequencyCommandAtEntry;
    std::optional<int> m_maxFrequencyAtEntry;
    std::optional<int> m_jogFrequencyAtEntry;
    // What the panel last wrote to the frequency command and the jog frequency (hundredths).
    std::optional<int> m_frequencyCommandNow;
    std::optional<int> m_jogFrequencyNow;
    std::array<Source, 3> m_sources;
};

}  // namespace velorin
