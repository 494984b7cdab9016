#pragma once
// The line monitor ("通訊監視"): every transaction of the line session in use, one row each, with
// the counters, pause, clear and a CSV copy. One per program; every window opens it with Ctrl+L.
// The rows are kept by a LineMonitor, which the sessions feed whether the window is open or not;
// the window looks at it a few times a second, so an open monitor costs the line nothing.

#include <QWidget>

#include "records/LineMonitor.h"

class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace velorin {

class Dialogs;
class MonitorModel;

class MonitorWindow : public QWidget {
    Q_OBJECT

public:
    MonitorWindow(LineMonitor& monitor, Dialogs& dialogs, QWidget* parent = nullptr);
    ~MonitorWindow() override;

    // Shows what was recorded since the last look (the timer calls it five times a second).
    void refresh();

protected:
    // The first time: sized for every column and placed along the bottom of the screen.
    void showEvent(QShowEvent* event) override;

private:
    void onPauseClicked();
    void onClearClicked();
    void onSaveClicked();

    LineMonitor& m_monitor;
    Dialogs& m_dialogs;
    MonitorModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_countsLine = nullptr;
    QPushButton* m_pauseButton = nullptr;
    QTimer* m_refreshTimer = nullptr;
    long m_shownRecorded = -1;  // the monitor's count of rows when last shown
    int m_tableWidth = 0;       // the table with every column whole
    bool m_placed = false;
};

}  // namespace velorin
