#pragma once
// The connection screen: the first window. The technician picks the port, rate, format and
// station; the window probes the drive with them, and searches every station, format and rate
// when that fails or when rate or format were left open. On success it fixes the link state and
// hands over to the mode menu; its second button starts the parameter editor offline.

#include <QWidget>
#include <memory>
#include <string>

#include "link/LineSession.h"
#include "platform/Services.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace velorin {

class ConnectionWindow : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionWindow(Services& services, QWidget* parent = nullptr);
    ~ConnectionWindow() override;

    // Whether a probe or the search is under way.
    bool busy() const { return m_session->busy(); }

protected:
    // A close during a probe is taken once the probe under way is over.
    void closeEvent(QCloseEvent* event) override;
    // Esc stops the search after the probe under way.
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class SearchEnd { Found, NotFound, Stopped, PortFailed };

    void onConnectClicked();
    void onOfflineClicked();

    void buildControls();
    void listPorts();
    void connectToDrive(int rate, int format);
    // Sets the line and opens the port; false when the port cannot be opened.
    bool openPort(const std::string& settings);
    // Reads the drive's station register at the station of the link state.
    bool probe(Framing framing);
    SearchEnd search();
    void endWithoutDrive(SearchEnd end);
    void setControlsEnabled(bool enabled);
    void handOver(QWidget* (*next)(Services&));
    bool stopAsked() const { return m_stopRequested || m_closeRequested; }

    Services& m_services;
    std::unique_ptr<LineSession> m_session;

    QComboBox* m_portList = nullptr;
    QComboBox* m_rateList = nullptr;
    QComboBox* m_formatList = nullptr;
    QComboBox* m_stationBox = nullptr;  // editable
    QPushButton* m_connectButton = nullptr;
    QPushButton* m_offlineButton = nullptr;

    bool m_stopRequested = false;   // Esc during the search
    bool m_closeRequested = false;  // the window was closed during a probe
    bool m_leaving = false;         // handing over to the next window
};

// "COM3", "COM3 被占用"; a device whose name is not the COM name itself is shown in brackets
// ("COM1 (/dev/ttyUSB0)"), so the technician can tell which adapter the number stands for.
QString portEntryText(int comNumber, const QString& device, bool inUse);

}  // namespace velorin
