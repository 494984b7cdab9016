#pragma once
// The run panel: runs, jogs and stops the motor through the drive's command register, sets the
// run frequency and the ramp times, and on entry and exit switches the drive's command sources
// to the link and back.
//
// Every transaction waits for its reply while the event loop turns, so a click can arrive while
// the panel is between two writes. The panel therefore never writes from inside a handler:
// each handler does its checks and state changes at once and hands its writes to the panel's
// line queue as one job. Jobs run one after another in the order they were handed in, and a job
// is never split, so a stop that comes while a run or jog command is on the line goes out after
// that command's run or jog word, and frequency writes keep their order.

#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;

namespace velorin {

struct Services;
class SerialPort;

// A button that reports every mouse button going down and coming up on it (the pointer may
// have left the button by then), whatever the button's own pressed look does.
class PressButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
signals:
    void mouseDown();
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A slider that reports every mouse move over it, with or without a mouse button held, after it
// has taken the move's new value.
class MoveSlider : public QSlider {
    Q_OBJECT
public:
    using QSlider::QSlider;
signals:
    void mouseMoved();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

class Form4 : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window; nothing goes on the line until Form_Load.
    explicit Form4(Services& services, QWidget* parent = nullptr);
    ~Form4() override;

    // The entry, run before the window is shown: opens the port, reads the ramp settings,
    // raises the frequency command and the maximum output frequency, and asks about the command
    // sources. False when the port cannot be opened: the technician has been told, nothing was
    // sent, and the panel must not be shown.
    bool Form_Load();

    // ---- Controls ----
    QMenu* Windows = nullptr;
    QAction* Return = nullptr;
    QAction* Quit = nullptr;
    QToolBar* Toolbar1 = nullptr;
    std::array<QAction*, 2> Toolbar1Buttons{};  // "返回上一頁", "離開程式"
    QGroupBox* Frame1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* Combo1 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLabel* Label1 = nullptr;
    MoveSlider* Slider1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLabel* Label3 = nullptr;
    PressButton* Command4 = nullptr;
    PressButton* Command5 = nullptr;

    // ---- Window state ----
    std::int16_t Temp = 0;     // framing of this window: 0 Modbus ASCII, other Modbus RTU
    std::int32_t Flag96 = 0;   // ramp time unit: 0 = 0.01 s, 1 = 0.1 s (other: not known)
    std::int32_t Flag97 = 0;   // acceleration time 1, raw, as last read
    std::int32_t Flag98 = 0;   // deceleration time 1, raw, as last read
    std::int16_t Preview = 0;  // 1 once the way back to the mode menu has begun
    std::int32_t Flag32 = 0;   // frequency command as read at entry
    std::int32_t Flag248 = 0;  // maximum output frequency as read at entry
    // Command sources and direction limit as read at entry and again on the way out; the
    // link's texts, empty when the drive gave no usable reply.
    std::string Main_F, Main_R, Main_Return;
    std::string Main_F_Temp, Main_R_Temp, Main_Return_Temp;

    // The panel's own notion of whether the motor runs (it never asks the drive).
    bool running() const { return m_running; }
    SerialPort* port() const { return m_port.get(); }

    // ---- Handlers ----
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_MouseDown();
    void Command4_MouseUp();
    void Command5_MouseDown();
    void Command5_MouseUp();
    void Slider1_MouseMove();
    void Text1_Change();
    void Text1_KeyPress(int keyAscii);
    void Text3_KeyPress(int keyAscii);
    void Text4_KeyPress(int keyAscii);
    void Combo1_Click();
    void Toolbar1_ButtonClick(QAction* button);
    void Return_Click();
    void Quit_Click();

    // The window is closing: unless return or quit has put the drive back already, restores it
    // (or, inside a transaction's wait, refuses this close and closes once restored).
    void Form_Unload(QCloseEvent* event);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class Way { Return, Quit, Close };
    using Job = std::function<void()>;
    // What a job puts on the line: a run or jog command (its frequency and its word), the stop
    // word, or anything else (frequency, ramp, unit, leaving).
    enum class JobKind { Other, Motion, Stop };

    void buildWindow();
    void setRunning(bool running);
    void runCommand(int word);
    void jogDown(int word);
    void jogUp();
    void rampKeyPress(QLineEdit* field, int reg, const QString& rangeMessage);

    // Hands a job to the line queue and, unless the queue is already being worked off further
    // out, works it off now, then tells the technician of commands the drive did not confirm.
    // A stop goes ahead of queued frequency and ramp writes, never ahead of a run or jog command.
    void onLine(Job job, JobKind kind = JobKind::Other);
    // A run or jog command: its frequency register, then its word to the command register.
    void sendMotion(int frequencyRegister, const std::string& value, int word);
    // The stop word.
    void sendStop();

    // Transactions in this window's framing. A read gives the link's text ("" without a usable
    // reply); a write takes the value as decimal text and says whether the drive confirmed it.
    std::string readRegister(int reg);
    bool writeRegister(int reg, const std::string& valueText);
    std::int32_t readRampTime(int reg);

    void applyUnit(std::int32_t unit);
    void showRampTimes(bool tenths);
    bool tenthsOfSecond() const { return Flag96 == 1; }
    bool ask(const QString& text, const QString& title);

    void enterDrive();
    void leave(Way way);
    void finishLeaving(Way way);
    void Restore();
    void closePort();

    Services& m_services;
    std::unique_ptr<SerialPort> m_port;
    std::deque<std::pair<JobKind, Job>> m_jobs;
    bool m_draining = false;
    bool m_running = false;
    bool m_jogHeld = false;                // a jog button is down: its stop is still to come
    bool m_unconfirmed = false;            // a command the drive did not confirm, not yet reported
    std::optional<int> m_lastSliderValue;  // last value a slider move handed to the line
    bool m_saved32 = false;                // Flag32 came from a usable reply
    bool m_saved248 = false;               // Flag248 came from a usable reply
    bool m_loaded = false;
    bool m_leaving = false;
    bool m_closeDeferred = false;
    bool m_closeAllowed = false;
    bool m_quitting = false;
};

// Creates the run panel, runs its entry and shows it. When the port cannot be opened the panel
// is dropped and the mode menu shown instead. Returns the window now shown.
QWidget* showRunPanel(Services& services);

}  // namespace velorin
