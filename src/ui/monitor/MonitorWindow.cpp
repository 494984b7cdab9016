#include "MonitorWindow.h"

#include <algorithm>
#include <deque>
#include <optional>

#include <QAbstractTableModel>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Services.h"
#include "ui/texts/WindowTexts.h"

namespace velorin {

namespace {

namespace text {
const QString Caption = QStringLiteral("VELORIN － 通訊監視");
const QString Pause = QStringLiteral("暫停");
const QString Resume = QStringLiteral("繼續");
const QString Clear = QStringLiteral("清除");
const QString Save = QStringLiteral("另存 CSV…");
const QString SaveTitle = QStringLiteral("另存通訊紀錄");
const QString CsvFilter = QStringLiteral("CSV 檔 (*.csv)");
const QString DefaultName = QStringLiteral("通訊紀錄.csv");
const QString SaveFailed = QStringLiteral("無法寫入 %1。");
const QString FileErrorTitle = QStringLiteral("檔案錯誤");
const QStringList Columns = {QStringLiteral("時刻"),   QStringLiteral("線路設定"),
                             QStringLiteral("站號"),   QStringLiteral("功能"),
                             QStringLiteral("暫存器"), QStringLiteral("數值"),
                             QStringLiteral("請求"),   QStringLiteral("回應"),
                             QStringLiteral("結果"),   QStringLiteral("延遲(ms)")};
// The widest a column's text gets, so each column is as wide as it needs to be.
const QStringList Widest = {QStringLiteral("00:00:00.000"),
                            QStringLiteral("115200,N,8,1"),
                            QStringLiteral("254"),
                            QStringLiteral("讀取"),
                            QStringLiteral("0x2101"),
                            QStringLiteral("65535"),
                            QStringLiteral(":01030105000100F6"),
                            QStringLiteral("01 03 02 12 34 B5 33 01 03"),
                            QStringLiteral("例外碼 03，回波（疑慮重讀）"),
                            QStringLiteral("1000.0")};
}  // namespace text

constexpr int kRefreshMs = 200;

QString milliseconds(Micros t) {
    return QString::number(static_cast<double>(t.count()) / 1000.0, 'f', 1);
}

}  // namespace

// The monitor's rows as a table, or while paused the rows as they were when the pause began;
// told to reset when rows came or went.
class MonitorModel : public QAbstractTableModel {
public:
    explicit MonitorModel(const LineMonitor& monitor, QObject* parent)
        : QAbstractTableModel(parent), m_monitor(monitor) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(text::Columns.size());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o == Qt::Horizontal && role == Qt::DisplayRole)
            return text::Columns.value(section);
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || index.row() >= rowCount())
            return {};
        const MonitorRow& r = rows()[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case 0:
                return QString::fromStdString(monitorClockText(r.timeOfDayMs));
            case 1:
                return QString::fromStdString(r.settings);
            case 2:
                return r.station;
            case 3:
                return QString::fromStdString(monitorFunctionText(r.function));
            case 4:
                return r.reg;
            case 5:
                return QString::fromStdString(monitorValueText(r));
            case 6:
                return QString::fromStdString(monitorBytesText(r.framing, r.request));
            case 7:
                return QString::fromStdString(monitorBytesText(r.framing, r.received));
            case 8:
                return QString::fromStdString(monitorOutcomeText(r));
            case 9:
                return r.latency ? milliseconds(*r.latency) : QString();
        }
        return {};
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }
    // Freezes the view on the rows as they are now, or follows the record again.
    void freeze(bool frozen) {
        beginResetModel();
        m_frozen = frozen ? std::optional(m_monitor.rows()) : std::nullopt;
        endResetModel();
    }
    bool frozen() const { return m_frozen.has_value(); }

private:
    const std::deque<MonitorRow>& rows() const { return m_frozen ? *m_frozen : m_monitor.rows(); }

    const LineMonitor& m_monitor;
    std::optional<std::deque<MonitorRow>> m_frozen;
};

MonitorWindow::MonitorWindow(LineMonitor& monitor, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), m_monitor(monitor), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("monitorWindow"));
    setWindowTitle(text::Caption);

    m_model = new MonitorModel(m_monitor, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("monitorTable"));
    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    const QFontMetrics metrics = m_table->fontMetrics();
    const QFontMetrics headerMetrics = m_table->horizontalHeader()->fontMetrics();
    int tableWidth = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < text::Columns.size(); ++c) {
        const int width = std::max(metrics.horizontalAdvance(text::Widest[c]),
                                   headerMetrics.horizontalAdvance(text::Columns[c])) +
                          18;
        m_table->setColumnWidth(c, width);
        tableWidth += width;
    }
    m_tableWidth = tableWidth;

    m_countsLine = new QLabel(this);
    m_countsLine->setObjectName(QStringLiteral("countsLine"));
    m_pauseButton = new QPushButton(text::Pause, this);
    m_pauseButton->setObjectName(QStringLiteral("pauseButton"));
    auto* clearButton = new QPushButton(text::Clear, this);
    clearButton->setObjectName(QStringLiteral("clearButton"));
    auto* saveButton = new QPushButton(text::Save, this);
    saveButton->setObjectName(QStringLiteral("saveButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_countsLine, 1);
    buttons->addWidget(m_pauseButton);
    buttons->addWidget(clearButton);
    buttons->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);

    connect(m_pauseButton, &QPushButton::clicked, this, &MonitorWindow::onPauseClicked);
    connect(clearButton, &QPushButton::clicked, this, &MonitorWindow::onClearClicked);
    connect(saveButton, &QPushButton::clicked, this, &MonitorWindow::onSaveClicked);
    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setInterval(kRefreshMs);
    connect(m_refreshTimer, &QTimer::timeout, this, &MonitorWindow::refresh);
    m_refreshTimer->start();
    refresh();
}

MonitorWindow::~MonitorWindow() = default;

void MonitorWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    // Wide enough for every column, along the bottom of the screen, where it covers the least of
    // the window the technician works in.
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown)
        return;
    const QRect area = shown->availableGeometry();
    const QMargins frame = frameGeometry().size() == size()
                               ? QMargins()
                               : QMargins(geometry().left() - frameGeometry().left(),
                                          geometry().top() - frameGeometry().top(),
                                          frameGeometry().right() - geometry().right(),
                                          frameGeometry().bottom() - geometry().bottom());
    const int margins = layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const int width = std::min(m_tableWidth + margins, area.width() - frame.left() - frame.right());
    const int height = std::min(std::max(area.height() * 2 / 5, 300),
                                area.height() - frame.top() - frame.bottom());
    resize(width, height);
    move(area.left() + (area.width() - width - frame.left() - frame.right()) / 2,
         area.bottom() + 1 - height - frame.top() - frame.bottom());
}

void MonitorWindow::refresh() {
    // The counters go on while the view is paused: they count the record.
    m_countsLine->setText(QString::fromStdString(monitorCountsText(m_monitor.counts())));
    if (m_model->frozen())
        return;
    if (m_model->rowCount() == static_cast<int>(m_monitor.rows().size()) &&
        m_shownRecorded == m_monitor.recorded())
        return;
    m_shownRecorded = m_monitor.recorded();
    // The newest row stays in sight while the technician has not scrolled away from it.
    QScrollBar* bar = m_table->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_model->reset();
    if (atEnd)
        m_table->scrollToBottom();
}

void MonitorWindow::onPauseClicked() {
    // The view stops; the record goes on, and the rows of the pause are there on resuming.
    const bool pause = !m_model->frozen();
    m_model->freeze(pause);
    m_pauseButton->setText(pause ? text::Resume : text::Pause);
    if (!pause) {
        m_shownRecorded = -1;
        refresh();
    }
}

void MonitorWindow::onClearClicked() {
    m_monitor.clear();
    if (m_model->frozen())
        m_model->freeze(true);  // the paused view is cleared too
    refresh();
}

void MonitorWindow::onSaveClicked() {
    const auto path = m_dialogs.saveFile(this, text::SaveTitle, QDir::homePath(), text::DefaultName,
                                         text::CsvFilter);
    if (!path)
        return;
    QFile file(*path);
    const std::string csv = monitorCsv(m_monitor);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()))
        m_dialogs.message(this, text::SaveFailed.arg(QDir::toNativeSeparators(*path)),
                          text::FileErrorTitle);
}

}  // namespace velorin
