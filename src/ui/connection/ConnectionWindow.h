#pragma once
// The connection screen: the first window. The technician picks the port, rate, format and
// station; the window probes the drive with them, and searches every station, format and rate
// when that fails or when rate or format were left open. On success it fixes the link state and
// hands over to the mode menu; its second button starts the parameter editor offline. Its third
// surveys every station at one setting and lists the drives that answer, to connect to one of them.

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "drive/ConnectSession.h"
#include "link/LineSession.h"
#include "platform/Services.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace velorin {

class ConnectionWindow : public QWidget {
    Q_OBJECT

public:
    // The reply timeout the technician can set on the screen, in milliseconds, and the key it is
    // kept under between runs.
    static constexpr int kMinReplyTimeoutMs = 20;
    static constexpr int kMaxReplyTimeoutMs = 5000;
    static constexpr const char* kReplyTimeoutKey = "link/replyTimeoutMs";
    // Whether pages are read in blocks (1) or one register at a time (0, the default).
    static constexpr const char* kBlockReadsKey = "link/blockReads";
    // Whether a value like another register's recent reply is read again on every line (1) or
    // only on a line that has shown trouble (0, the default).

    explicit ConnectionWindow(Services& services, QWidget* parent = nullptr);
    ~ConnectionWindow() override;

    // Whether a probe or the search is under way.
    bool busy() const { return m_session->busy(); }
    // Reads the ports again while the screen is idle and shows what changed, the chosen port
    // kept chosen while it is there (a timer calls it every 1.5 s).
    void refreshPorts();

protected:
    // A close during a probe is taken once the probe under way is over.
    void closeEvent(QCloseEvent* event) override;
    // Esc stops the search after the probe under way.
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class SearchEnd { Found, NotFound, Stopped, PortFailed };
    // What the technician had chosen before a search moved the lists.
    struct Choice {
        int rate = -1, format = -1;
        QString station;
    };

    void onConnectClicked();
    // The checks of the port chosen; false when the technician was told why it cannot be used.
    bool portChoiceUsable();
    // The session on the port chosen: a serial port, or the gateway's connection; false when the
    // gateway's address was refused.
    bool useChosenPort();
    // Every station 1-247 at the rate and format chosen (searched first when either is left
    // open), the drives that answer listed.
    void onSurveyClicked();
    void surveyLine(int rate, int format);
    // A drive of the list chosen: the lists show its settings and station, for the connect button.
    void onDriveChosen(QTreeWidgetItem* item);
    void showSurvey(const SurveyResult& survey);
    // The gateway entry of the port list is chosen.
    bool gatewayChosen() const;
    // Through the gateway: the probe at the station typed, else every station in turn (the rate
    // and format belong to the gateway's serial side).
    void connectThroughGateway();
    void onOfflineClicked();
    void onPortChosen();
    void onReplyTimeoutChanged(int milliseconds);
    void onReplyTimeoutEdited();

    void buildControls();
    void listPorts();
    // The port list's entries as the ports are now.
    QStringList portEntries();
    // Chooses the port, rate, format and station the drive was last found at.
    void chooseKeptLink();
    void keepLink(int rate, int format);
    // How to get the right to open the port: join the group that owns its device.
    QString permissionFix(int comNumber) const;
    void connectToDrive(int rate, int format);
    // Sets the line and opens the port; false when the port cannot be opened.
    bool openPort(const std::string& settings);
    SearchEnd searchEndOf(ConnectResult::End end) const;
    void endWithoutDrive(SearchEnd end);
    void setControlsEnabled(bool enabled);
    void handOver(QWidget* (*next)(Services&));
    // To the mode menu, with the survey's drives when the link is on the line surveyed.
    void handOverToMenu();
    static QString linkLine(const LinkState& link);
    bool stopAsked() const { return m_stopRequested || m_closeRequested; }
    void showSearchProgress(const ScanProgress& progress);
    QString portFailureText() const;

    Services& m_services;
    std::unique_ptr<LineSession> m_session;

    QComboBox* m_portList = nullptr;
    QComboBox* m_rateList = nullptr;
    QComboBox* m_formatList = nullptr;
    QComboBox* m_stationBox = nullptr;      // editable
    QLabel* m_rateLabel = nullptr;          // name the gateway's rows when it is chosen
    QLabel* m_formatLabel = nullptr;
    QLineEdit* m_gatewayAddressBox = nullptr;   // "192.168.1.50:502", in the rate's row
    QComboBox* m_gatewayFramingList = nullptr;  // Modbus TCP, RTU or ASCII, in the format's row
    QSpinBox* m_replyTimeoutBox = nullptr;  // milliseconds, kept between runs
    QCheckBox* m_blockReadsBox = nullptr;   // kept between runs
    QPushButton* m_connectButton = nullptr;
    QPushButton* m_offlineButton = nullptr;
    QPushButton* m_surveyButton = nullptr;
    QTreeWidget* m_driveList = nullptr;  // the survey's drives; shown once a survey ran
    QLabel* m_statusLine = nullptr;  // the search's progress, hints on the port chosen
    QTimer* m_portTimer = nullptr;   // reads the ports again while the screen is idle

    bool m_stopRequested = false;   // Esc during the search
    bool m_closeRequested = false;  // the window was closed during a probe
    bool m_leaving = false;         // handing over to the next window
    bool m_timeoutRefused = false;  // a reply timeout out of range was refused just now
    std::optional<int> m_timeoutBeforeEdit;  // the wait in force when the typing began
    OpenResult m_lastOpen = OpenResult::Ok;
    Choice m_choice;
    // The last survey: where it ran and what it found, handed on when the link is one of its
    // drives.
    std::optional<SurveyResult> m_survey;
    QString m_surveyLine;  // the port or gateway surveyed
};

// How a port is listed: free, held by another program, or barred to this user:
// "COM3", "COM3 被占用", "COM1（/dev/ttyUSB0） 無權限".
QString portEntryText(int comNumber, const QString& device, PortState state);

}  // namespace velorin
