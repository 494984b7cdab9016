#pragma once
// The drive's fault history on one screen (異常履歷): the eight faults latest first with the
// running hours at each and how long ago, what the drive saw at the latest fault with units, and
// the terminals as terminals. Online it reads through the editor's line session (queued behind
// whatever is on the line) and can clear the history; offline it shows the values the editor
// holds (a loaded file's). The logic is records/FaultHistory and drive/FaultHistoryRead; this
// window only shows it.

#include <QWidget>
#include <functional>
#include <map>
#include <optional>

#include "platform/Services.h"
#include "records/FaultHistory.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QGridLayout;

namespace velorin {

class LineSession;

class FaultHistoryWindow : public QWidget {
    Q_OBJECT

public:
    // `line`: the editor's session, null offline. `offlineValues`: what the editor holds, read
    // when there is no line.
    FaultHistoryWindow(Services& services, LineSession* line, RegisterLookup offlineValues,
                       QWidget* parent = nullptr);

    // Reads the history again (online, as a line operation) or takes the editor's values.
    void refresh();
    // The history shown now; empty before the first read, or after one that failed.
    const std::optional<FaultHistory>& history() const { return m_history; }
    // The registers of the last read from the drive, as it keeps them; empty offline.
    const std::map<int, std::int32_t>& readValues() const { return m_readValues; }
    // What 匯出報告 runs; the button is hidden without it.
    void setReportExport(std::function<void(QWidget* parent)> exporter);

private:
    void onClearClicked();
    void showHistory(const FaultHistory& history);
    void showFailure(const QString& why);
    void showTerminals(QGridLayout* row, const std::vector<TerminalState>& states);

    Services& m_services;
    LineSession* m_line;
    RegisterLookup m_offlineValues;
    std::optional<FaultHistory> m_history;
    std::map<int, std::int32_t> m_readValues;
    std::function<void(QWidget*)> m_exporter;
    QLabel* m_status = nullptr;
    QTableWidget* m_faults = nullptr;
    QTableWidget* m_seen = nullptr;
    QGridLayout* m_inputs = nullptr;
    QGridLayout* m_outputs = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_exportButton = nullptr;
};

}  // namespace velorin
