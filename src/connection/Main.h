#pragma once
// The connection screen: the first window. The technician picks the port, rate, format and
// station; the window probes the drive with them, and searches every station, format and rate
// when that fails or when rate or format were left open. On success it fixes the link state and
// hands over to the mode menu; its second button starts the parameter editor offline.

#include <QWidget>
#include <cstdint>
#include <memory>

#include "link/SerialPort.h"
#include "platform/HandlerGuard.h"
#include "platform/Services.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace velorin {

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // Connect: the probe with the chosen settings, then the search.
    void Command1_Click();
    // Offline mode.
    void Command2_Click();

    // Whether a probe or the search is under way.
    bool busy() const { return m_guard.busy(); }

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QComboBox* Combo1;  // port
    QComboBox* Combo2;  // rate
    QComboBox* Combo3;  // format
    QComboBox* Combo4;  // station (editable)
    QPushButton* Command1;
    QPushButton* Command2;
    std::unique_ptr<SerialPort> MSComm1;

    // The search's counters: station, format index, rate index.
    std::int16_t i = 0;
    std::int16_t j = 0;
    std::int16_t k = 0;

protected:
    // The window's unload. While a probe waits on the line, a close is held back until the probe
    // is over, so the handler on the stack never finds its window gone.
    void closeEvent(QCloseEvent* event) override;
    // Esc stops the search after the probe under way.
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class ScanEnd { Found, NotFound, Stopped, PortFailed };

    void Form_Load();
    void Form_Unload();
    void buildControls();
    // Sets the line and opens the port; false when the port cannot be opened.
    bool openPort(const std::string& settings);
    // Reads P496 at `Station`; the drive is there when it answers with a number above 0.
    bool probe(bool rtu);
    ScanEnd scan();
    void searchWithoutResult(ScanEnd end);
    void setControlsEnabled(bool enabled);
    void handOver();
    bool stopAsked() const { return m_stopRequested || m_guard.closeRequested(); }

    Services& m_services;
    HandlerGuard m_guard{*this};   // a close waits for the probe under way
    bool m_stopRequested = false;  // Esc during the search
};

// "COM3", "COM3 被占用"; a device whose name is not the COM name itself is shown in brackets
// ("COM1 (/dev/ttyUSB0)"), so the technician can tell which adapter the number stands for.
QString portEntryText(int comNumber, const QString& device, bool inUse);

}  // namespace velorin
