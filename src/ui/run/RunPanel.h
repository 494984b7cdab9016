#pragma once
// The run panel's window: runs, jogs and stops the motor, sets the run frequency and the ramp
// times. Its handlers take what the technician did to the run session, which does the line work;
// the window shows the session's state.

#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <memory>

#include "drive/RunSession.h"
#include "platform/Services.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;

namespace velorin {

class ElidingLabel;

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

class RunPanel : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window; nothing goes on the line until load().
    // `opening.back` is where the panel returns to (and where it goes when it cannot be entered).
    explicit RunPanel(Services& services, Opening opening = {}, QWidget* parent = nullptr);
    ~RunPanel() override;

    // The entry, run before the window is shown. False when the panel must not be shown (the
    // port cannot be opened): the technician has been told.
    bool load();

    RunSession& session() { return *m_session; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class Way { Return, Quit, Close };

    RunHooks sessionHooks();
    void buildWindow();
    void showState();
    void showRampTimes();
    // "P09.02 最高輸出頻率 400.00 Hz、P01.23 寸動頻率 60.00 Hz": what the panel holds changed.
    QString heldSettingsText() const;
    void leave(Way way);
    void finishLeaving(Way way);

    // ---- Handlers ----
    void onRunForwardClicked();
    void onRunReverseClicked();
    void onStopClicked();
    void onJogForwardPressed();
    void onJogReversePressed();
    void onJogReleased();
    void onSliderMoved();
    void onFrequencyTextChanged();
    void onFrequencyEntered();
    void onAccelTimeEntered();
    void onDecelTimeEntered();
    void onRampUnitActivated(int index);
    void onReturnTriggered();
    void onQuitTriggered();

    Services& m_services;
    Opening m_opening;
    std::unique_ptr<RunSession> m_session;
    bool m_finished = false;      // the way out is done: the window may close
    bool m_closePending = false;  // a close waits for the line to be idle
    bool m_shownRunning = false;

    QMenu* m_windowsMenu = nullptr;
    QAction* m_returnAction = nullptr;
    QAction* m_quitAction = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_returnToolAction = nullptr;
    QAction* m_quitToolAction = nullptr;
    QGroupBox* m_runFrame = nullptr;
    QLabel* m_rampUnitLabel = nullptr;
    QComboBox* m_rampUnitCombo = nullptr;
    QLabel* m_accelTimeLabel = nullptr;
    QLineEdit* m_accelTimeEdit = nullptr;
    QLabel* m_decelTimeLabel = nullptr;
    QLineEdit* m_decelTimeEdit = nullptr;
    QLabel* m_frequencyLabel = nullptr;
    MoveSlider* m_frequencySlider = nullptr;
    QLineEdit* m_frequencyEdit = nullptr;
    QLabel* m_frequencyUnitLabel = nullptr;
    QPushButton* m_runForwardButton = nullptr;
    QPushButton* m_runReverseButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QGroupBox* m_jogFrame = nullptr;
    QLabel* m_jogFrequencyLabel = nullptr;
    QLineEdit* m_jogFrequencyEdit = nullptr;
    QLabel* m_jogFrequencyUnitLabel = nullptr;
    PressButton* m_jogForwardButton = nullptr;
    PressButton* m_jogReverseButton = nullptr;
    ElidingLabel* m_stateLabel = nullptr;
    QLabel* m_noteLabel = nullptr;  // what the panel holds changed on the drive meanwhile
};

// Creates the run panel, runs its entry and shows it. When the panel cannot be entered it is
// dropped and the window it returns to shown instead. Returns the window now shown.
QWidget* showRunPanel(Services& services, const Opening& opening);

}  // namespace velorin
