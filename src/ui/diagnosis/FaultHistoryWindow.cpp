#include "FaultHistoryWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "drive/FaultHistoryRead.h"
#include "model/Catalogue.h"
#include "model/DriveFacts.h"
#include "platform/Twips.h"
#include "ui/common/WindowChangeLog.h"
#include "texts/FaultHistoryText.h"
#include "texts/LinkTexts.h"

namespace velorin {

namespace {

// The window's texts, together.
namespace text {
const QString Title = QStringLiteral("異常履歷");
const QString Refresh = QStringLiteral("重新讀取");
const QString Clear = QStringLiteral("清除異常履歷");
const QString Export = QStringLiteral("匯出報告");
const QString Close = QStringLiteral("關閉");
const QString ClearQuestion =
    QStringLiteral("清除異常履歷會讓變頻機忘記全部 8 筆異常記錄與發生時數，無法復原。是否清除？");
const QString ClearFailed = QStringLiteral("清除異常履歷失敗：%1");
const QString Reading = QStringLiteral("讀取異常履歷中…");
const QString ReadFailed = QStringLiteral("%1 讀取失敗：%2");
const QString FromDrive = QStringLiteral("變頻機的異常履歷，累計運轉時間 %1。");
const QString Offline = QStringLiteral("離線：顯示編輯器中的數值（讀取的檔案）。");
const QString NoFaults = QStringLiteral("無異常記錄");
const QString SeenBox = QStringLiteral("最新異常發生時");
const QString Inputs = QStringLiteral("輸入端子");
const QString Outputs = QStringLiteral("輸出端子");
const QStringList FaultColumns = {QStringLiteral("記錄"), QStringLiteral("異常"),
                                  QStringLiteral("代碼"), QStringLiteral("運轉時數"),
                                  QStringLiteral("距今")};
const QStringList SeenColumns = {QStringLiteral("參數"), QStringLiteral("名稱"),
                                 QStringLiteral("數值")};
}  // namespace text

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QTableWidget* table(const QStringList& columns, const char* name) {
    auto* t = new QTableWidget(0, static_cast<int>(columns.size()));
    t->setObjectName(QLatin1String(name));
    t->setHorizontalHeaderLabels(columns);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(22);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setRow(QTableWidget* t, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) t->setItem(row, c, new QTableWidgetItem(cells[c]));
}

}  // namespace

FaultHistoryWindow::FaultHistoryWindow(Services& services, LineSession* line,
                                       RegisterLookup offlineValues, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_services(services),
      m_line(line),
      m_offlineValues(std::move(offlineValues)) {
    setObjectName(QStringLiteral("faultHistoryWindow"));
    setWindowTitle(text::Title);
    setFont(mingFont(10));
    auto* layout = new QVBoxLayout(this);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("statusLine"));
    layout->addWidget(m_status);
    m_faults = table(text::FaultColumns, "faultTable");
    layout->addWidget(m_faults, 2);

    auto* seenBox = new QGroupBox(text::SeenBox);
    auto* seenLayout = new QVBoxLayout(seenBox);
    m_seen = table(text::SeenColumns, "seenTable");
    seenLayout->addWidget(m_seen);
    for (auto [caption, row, name] : {std::tuple{text::Inputs, &m_inputs, "inputTerminals"},
                                      std::tuple{text::Outputs, &m_outputs, "outputTerminals"}}) {
        auto* line = new QHBoxLayout;
        line->addWidget(new QLabel(caption));
        auto* holder = new QWidget;
        holder->setObjectName(QLatin1String(name));
        *row = new QGridLayout(holder);
        (*row)->setSpacing(4);
        line->addWidget(holder, 1);
        seenLayout->addLayout(line);
    }
    layout->addWidget(seenBox, 5);

    auto* buttons = new QHBoxLayout;
    m_refreshButton = new QPushButton(text::Refresh);
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    m_clearButton = new QPushButton(text::Clear);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setEnabled(m_line != nullptr);
    m_exportButton = new QPushButton(text::Export);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->hide();
    auto* close = new QPushButton(text::Close);
    close->setObjectName(QStringLiteral("closeButton"));
    for (QPushButton* b : {m_refreshButton, m_clearButton, m_exportButton}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_refreshButton, &QPushButton::clicked, this, &FaultHistoryWindow::refresh);
    connect(m_clearButton, &QPushButton::clicked, this, &FaultHistoryWindow::onClearClicked);
    connect(m_exportButton, &QPushButton::clicked, this, [this] {
        if (m_exporter)
            m_exporter(this);
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    resize(760, 640);
}

void FaultHistoryWindow::setReportExport(std::function<void(QWidget*)> exporter) {
    m_exporter = std::move(exporter);
    m_exportButton->setVisible(static_cast<bool>(m_exporter));
}

void FaultHistoryWindow::refresh() {
    if (!m_line) {
        showHistory(decodeFaultHistory(m_offlineValues));
        m_status->setText(text::Offline);
        return;
    }
    m_status->setText(text::Reading);
    m_refreshButton->setEnabled(false);
    m_clearButton->setEnabled(false);
    m_line->submit([this] {
        const FaultHistoryRead read = readFaultHistory(*m_line);
        m_refreshButton->setEnabled(true);
        m_clearButton->setEnabled(true);
        if (!read.history) {
            showFailure(text::ReadFailed.arg(qs(Catalogue::codeOf(read.failedRegister)),
                                             qs(describeOutcome(read.failure, false))));
            return;
        }
        m_readValues = read.values;
        showHistory(*read.history);
        m_status->setText(text::FromDrive.arg(
            read.history->runSeconds ? qs(runTimeText(*read.history->runSeconds)) : "—"));
    });
}

void FaultHistoryWindow::onClearClicked() {
    if (!m_line || m_line->busy())
        return;
    if (m_services.dialogs->cautiousQuestion(this, text::ClearQuestion, text::Clear) != Answer::Yes)
        return;
    m_line->submit([this] {
        const ReplyCheck written = clearFaultHistory(*m_line);
        WindowChangeLog log(m_services, text::Clear);
        log.record(wordChange(log.source(), drive::kResetParameter, faultregs::kClearHistory,
                              written.outcome == LinkOutcome::Ok));
        log.tellFailure(this);
        if (written.outcome != LinkOutcome::Ok)
            m_services.dialogs->message(this, text::ClearFailed.arg(qs(describeOutcome(written))),
                                        text::Clear);
    });
    refresh();  // behind the write, as the next line operation
}

void FaultHistoryWindow::showFailure(const QString& why) {
    m_history.reset();
    m_status->setText(why);
    m_faults->setRowCount(0);
    m_seen->setRowCount(0);
    showTerminals(m_inputs, {});
    showTerminals(m_outputs, {});
}

void FaultHistoryWindow::showHistory(const FaultHistory& history) {
    m_history = history;
    m_faults->setRowCount(std::max<int>(1, static_cast<int>(history.records.size())));
    if (history.records.empty()) {
        m_faults->clearContents();
        setRow(m_faults, 0, {QString(), text::NoFaults});
    }
    for (int row = 0; row < static_cast<int>(history.records.size()); ++row) {
        const FaultRecord& r = history.records[row];
        setRow(m_faults, row,
               {qs(r.slotName), qs(faultText(r)),
                r.shortCode.empty() ? QString() : qs("[" + r.shortCode + "]"),
                r.hours ? QString::number(*r.hours) : QString(),
                r.secondsAgo ? qs(agoText(*r.secondsAgo)) : QString()});
    }
    m_faults->resizeColumnsToContents();
    m_seen->setRowCount(static_cast<int>(history.seen.size()));
    for (int row = 0; row < static_cast<int>(history.seen.size()); ++row) {
        const SeenValue& s = history.seen[row];
        setRow(m_seen, row,
               {qs(s.code), qs(s.name),
                qs(s.shown) + (s.unit.empty() || s.shown.empty() ? QString() : " " + qs(s.unit))});
    }
    m_seen->resizeColumnsToContents();
    showTerminals(m_inputs, history.inputs);
    showTerminals(m_outputs, history.outputs);
}

void FaultHistoryWindow::showTerminals(QGridLayout* row, const std::vector<TerminalState>& states) {
    while (QLayoutItem* item = row->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (int i = 0; i < static_cast<int>(states.size()); ++i) {
        auto* terminal = new QLabel(qs(states[i].name));
        terminal->setObjectName(qs("terminal_" + states[i].name));
        terminal->setAlignment(Qt::AlignCenter);
        terminal->setMinimumWidth(44);
        terminal->setProperty("on", states[i].on);
        terminal->setStyleSheet(states[i].on
                                    ? "background:#2e9d4a; color:white; border:1px solid #1b5e2c;"
                                    : "background:#eeeeee; color:#555; border:1px solid #aaa;");
        row->addWidget(terminal, 0, i);
    }
}

}  // namespace velorin
