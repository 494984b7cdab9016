#pragma once
// The mode menu: shown once the drive was found and whenever the editor or the run panel
// returns. It opens the parameter editor or the run panel, and carries the developers' F12
// function with its progress line.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "link/SerialPort.h"
#include "platform/HandlerGuard.h"
#include "platform/Services.h"

class QLineEdit;
class QPushButton;
class QTimer;

namespace velorin {

class Form2 : public QWidget {
    Q_OBJECT

public:
    explicit Form2(Services& services, QWidget* parent = nullptr);
    ~Form2() override;

    // Parameter editor: the menu stays, both buttons disabled, until the editor closes it.
    void Command1_Click();
    // Run panel: the menu closes once the panel is shown.
    void Command2_Click();
    // One tick of the progress line: a dot more, up to 12, then the bare text again.
    void Timer2_Timer();

    QPushButton* Command1;
    QPushButton* Command2;
    QLineEdit* Text1;  // progress line, hidden at rest
    QTimer* Timer2;
    std::unique_ptr<SerialPort> MSComm1;  // used only by the developers' write

    std::int16_t DOT = 0;  // dots on the progress line
    QString Password;      // last answer typed after F12

protected:
    // Every key press of the window reaches this first, whichever control has the focus. F12
    // belongs to the developers' bulk write, which hooks in here. Returns whether the key was
    // taken.
    virtual bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // While a handler waits on the line a close is held back until the handler has ended.
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void buildControls();
    void leave();

    Services& m_services;
    HandlerGuard m_guard{*this};             // a close waits for the handler under way
    const QKeyEvent* m_previewed = nullptr;  // the key last shown to Form_KeyDown by a control
};

// Closes every mode menu that is open: the editor does this once it has read its first page.
void closeModeMenus();

}  // namespace velorin
