#pragma once
// The mode menu: shown once the drive was found and whenever the editor or the run panel
// returns. It opens the parameter editor or the run panel, and carries the developers' F12
// function with its progress line. On a line with several drives it names the drive in use,
// switches to another without reconnecting, and backs up every drive found in one go.
//
// Opening the editor or the run panel talks to the drive while the menu's handler is still on
// the stack; the handler runs as an operation of the menu's line session, so a second click is
// not taken and a close waits until the handler has ended.

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "link/LineSession.h"
#include "platform/Services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace velorin {

class ModeMenu : public QWidget {
    Q_OBJECT

public:
    explicit ModeMenu(Services& services, QWidget* parent = nullptr);
    ~ModeMenu() override;

    // Whether a handler that talks to the drive is under way.
    bool busy() const { return m_session->busy(); }

protected:
    // Every key press of the window reaches this first, whichever control has the focus. F12
    // belongs to the developers' bulk write. Returns whether the key was taken.
    virtual bool previewKey(int key, Qt::KeyboardModifiers modifiers);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // Parameter editor: the menu stays, both buttons disabled, until the editor closes it.
    void onEditorClicked();
    // Run panel: the menu closes once the panel is shown.
    void onRunPanelClicked();
    // Closes the port and goes back to the connection screen (Ctrl+D).
    void onDisconnectClicked();
    // One tick of the progress line: a dot more, up to 12, then the bare text again.
    void onProgressTick();
    // 切換變頻機: the drive chosen in the list, or the station typed once it answers, is the
    // drive every window serves from now on.
    void onSwitchDriveClicked();
    // 全部備份: every drive found, one parameter file each, into a folder the technician picks.
    void onBackupAllClicked();

private:
    // F12: after the developers' password, writes a whole parameter file to the drive.
    void developerWrite();
    // Shows the next window from inside an operation of the menu's line session, so nothing else
    // starts from this menu meanwhile and a close waits for it.
    void openNext(const std::function<void()>& show);
    // What the next window gets: `opener` to close when it is ready, and the way back here.
    Opening opening(QWidget* opener);
    void buildControls();
    // The drives found, the one in use chosen.
    void showDrives();
    // The drive at `station` asked for its model and running hours; empty when it does not answer.
    std::optional<SurveyedDrive> probeDrive(std::uint8_t station);
    void leave();
    void setButtonsEnabled(bool enabled);
    // Where the developers' files are chosen from.
    QString developerFolder() const;

    Services& m_services;
    std::unique_ptr<LineSession> m_session;  // used by the developers' write
    QPushButton* m_editorButton = nullptr;
    QPushButton* m_runPanelButton = nullptr;
    QPushButton* m_disconnectButton = nullptr;
    QComboBox* m_driveList = nullptr;  // editable: a station may be typed
    QPushButton* m_switchDriveButton = nullptr;
    QPushButton* m_backupAllButton = nullptr;
    bool m_backupStopAsked = false;  // Esc during 全部備份
    QLineEdit* m_progressLine = nullptr;  // hidden at rest
    QLabel* m_statusLine = nullptr;       // the link in use
    QTimer* m_progressTimer = nullptr;
    int m_dots = 0;
    bool m_leaving = false;
    const QKeyEvent* m_previewed = nullptr;  // the key last shown to previewKey by a control
};

}  // namespace velorin
