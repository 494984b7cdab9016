#include "ConnectionWindow.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

#include "drive/Scan.h"
#include "model/DriveFacts.h"
#include "link/LinkSettings.h"
#include "link/NumberText.h"
#include "link/Transaction.h"
#include "platform/DefaultButton.h"
#include "ui/common/LinkStatus.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN － 連線設定");
const QString PortLabel = QStringLiteral("請選擇使用連接埠 ：");
const QString RateLabel = QStringLiteral("鮑    率         ：");
const QString FormatLabel = QStringLiteral("通訊格式         ：");
const QString StationLabel = QStringLiteral("站    號         ：");
const QString ReplyTimeoutLabel = QStringLiteral("回應逾時（毫秒）：");
const QString BlockReads = QStringLiteral("區塊讀取(&B)");
const QString SearchButton = QStringLiteral("自動偵測連線(&C)");
const QString OfflineButton = QStringLiteral("離線模式(&O)");
const QString SurveyButton = QStringLiteral("搜尋所有站號(&A)");
const QStringList DriveColumns = {QStringLiteral("站號"), QStringLiteral("機種"),
                                  QStringLiteral("運轉時數")};
const QString Unknown = QStringLiteral("—");
const QString SurveyFound = QStringLiteral("找到 %1 台變頻機，請選擇一台後連線。");
const QString SurveyStopped = QStringLiteral("已停止搜尋，列出已找到的 %1 台變頻機。");
const QString SurveyCancelled = QStringLiteral("已取消搜尋所有站號。");
const QString InitialStation = QStringLiteral("1");
const QString InUse = QStringLiteral(" 被占用");
const QString NoPort = QStringLiteral("未選擇通訊埠");
const QString StationRange = QStringLiteral("站號範圍為0~254，請重新輸入。");
const QString NoPermission = QStringLiteral(" 無權限");
const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
const QString PortGone = QStringLiteral("找不到通訊埠，請確認連接線。");
const QString PermissionFix = QStringLiteral("請將使用者加入 %1 群組後重新登入。");
const QString PermissionAdmin = QStringLiteral("請向系統管理員取得 %1 的讀寫權限。");
const QString SearchCancelled = QStringLiteral("已取消自動偵測。");
// The last entry of the rate and format lists: nothing chosen, the search tries them all.
const QString AutoSearch = QStringLiteral("自動搜尋");
const QString BlockReadsTip = QStringLiteral(
    "一次讀取多個參數，整頁讀取較快。\n"
    "變頻機不支援時會自動改回逐一讀取。透過閘道或無線連線時建議勾選。");
const QString ReplyTimeoutTip = QStringLiteral(
    "每次詢問等候變頻機回應的時間。\n"
    "一般接線用 100 毫秒即可；經由閘道、無線或長距離線路時請加長。\n"
    "範圍 %1~%2 毫秒。");
const QString ReplyTimeoutRange = QStringLiteral("回應逾時範圍為%1~%2毫秒，請重新輸入。");
const QString ReplyTimeoutErrorTitle = QStringLiteral("回應逾時錯誤");
// "第 12 / 8890 次　站號 1　19200,E,7,1 ASCII　剩餘約 14 分 48 秒　按 Esc 取消"
// The blanks inside a count and a time are no-break spaces: a line never breaks inside
// "16 分 56 秒".
const QString SearchProgress =
    QStringLiteral("第\u00A0%1\u00A0/\u00A0%2\u00A0次　站號\u00A0%3　%4\u00A0%5　剩餘約\u00A0%6　按 Esc 取消");
const QString MinutesSeconds = QStringLiteral("%1\u00A0分\u00A0%2\u00A0秒");
const QString Seconds = QStringLiteral("%1\u00A0秒");
const QString NotFound = QStringLiteral("未偵測到變頻機，請檢查連線。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");
const QString StationErrorTitle = QStringLiteral("站號錯誤");
const QString LinkErrorTitle = QStringLiteral("連線錯誤");
const QString GatewayEntry = QStringLiteral("網路閘道");
const QString GatewayAddressLabel = QStringLiteral("閘道位址         ：");
const QString GatewayFramingLabel = QStringLiteral("閘道格式         ：");
const QString GatewayFramings[] = {QStringLiteral("Modbus TCP"), QStringLiteral("RTU 直通"),
                                   QStringLiteral("ASCII 直通")};
const QString BadGatewayAddress =
    QStringLiteral("閘道位址不正確，請輸入位址或位址:埠，例如 192.168.1.50:502。");
const QString GatewayFailed = QStringLiteral("無法連線到網路閘道 %1，請確認位址、埠與網路。");
// "經由網路閘道只搜尋站號：站號 12 / 254　按 Esc 取消"
const QString GatewaySearch = QStringLiteral("經由網路閘道只搜尋站號：站號 %1 / %2　按 Esc 取消");
}  // namespace text

constexpr int kLastStation = ScanOrder::kLastStation;
// How often the port list is read again while the screen waits for the technician.
constexpr int kPortRefreshMs = 1500;

// Where the link last found is kept between runs.
const QString kComPortKey = QStringLiteral("link/comPort");
// The device behind the port: COM numbers shift when devices come and go.
const QString kDeviceKey = QStringLiteral("link/device");
const QString kRateKey = QStringLiteral("link/rate");
const QString kFormatKey = QStringLiteral("link/format");
const QString kStationKey = QStringLiteral("link/station");
const QString kGatewayKey = QStringLiteral("link/gateway");
const QString kGatewayFramingKey = QStringLiteral("link/gatewayFraming");
// The gateway's framings in the order of its list.
constexpr Framing kGatewayFramings[] = {Framing::Mbap, Framing::Rtu, Framing::Ascii};

// The COM number an entry of the port list names ("COM12 被占用" -> 12).
int comNumberOfEntry(const QString& entry) {
    return roundTo<std::int16_t>(lenientNumber(entry.mid(3).toStdString())).value_or(0);
}

QString durationText(Micros d) {
    const long long s = roundedSeconds(d);
    if (s < 60)
        return text::Seconds.arg(s);
    return text::MinutesSeconds.arg(s / 60).arg(s % 60);
}

}  // namespace

QString portEntryText(int comNumber, const QString& device, PortState state) {
    QString entry = portDisplayName(comNumber, device);
    if (state == PortState::InUse)
        entry += text::InUse;
    else if (state == PortState::NoPermission)
        entry += text::NoPermission;
    return entry;
}

ConnectionWindow::ConnectionWindow(Services& services, QWidget* parent)
    : QWidget(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("connectionWindow"));
    m_session = createLineSession(m_services);
    buildControls();
    m_services.startConnecting();
    listPorts();
    chooseKeptLink();
    // Adapters come and go while the screen waits: the list follows them.
    m_portTimer = new QTimer(this);
    m_portTimer->setInterval(kPortRefreshMs);
    connect(m_portTimer, &QTimer::timeout, this, &ConnectionWindow::refreshPorts);
    m_portTimer->start();
}

ConnectionWindow::~ConnectionWindow() = default;

void ConnectionWindow::buildControls() {
    setWindowTitle(text::Caption);
    // Two lines more than the buttons need, for the search's progress.
    setFixedSize(twipsToPixels(5895), twipsToPixels(5730));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    const QFont kai = kaiFont();
    const QFont ming = mingFont();
    auto label = [&](const QString& t, int top) {
        auto* l = new QLabel(t, this);
        l->setFont(kai);
        l->setGeometry(twipsRect(360, top, 2640, 360));
        return l;
    };
    auto list = [&](const char* name, int top) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setFont(ming);
        c->setGeometry(twipsRect(3000, top, 2535, 360));
        return c;
    };
    label(text::PortLabel, 240);
    m_portList = list("portList", 240);
    m_rateLabel = label(text::RateLabel, 780);
    m_rateList = list("rateList", 780);
    m_formatLabel = label(text::FormatLabel, 1320);
    m_formatList = list("formatList", 1320);
    m_gatewayAddressBox = new QLineEdit(this);
    m_gatewayAddressBox->setObjectName(QStringLiteral("gatewayAddressBox"));
    m_gatewayAddressBox->setFont(ming);
    m_gatewayAddressBox->setGeometry(twipsRect(3000, 780, 2535, 360));
    m_gatewayAddressBox->setPlaceholderText(QStringLiteral("192.168.1.50:502"));
    m_gatewayAddressBox->hide();
    m_gatewayFramingList = list("gatewayFramingList", 1320);
    for (const QString& f : text::GatewayFramings) m_gatewayFramingList->addItem(f);
    m_gatewayFramingList->hide();
    label(text::StationLabel, 1860);
    m_stationBox = list("stationBox", 1860);
    m_stationBox->setEditable(true);
    m_stationBox->setInsertPolicy(QComboBox::NoInsert);
    m_stationBox->setEditText(text::InitialStation);
    label(text::ReplyTimeoutLabel, 2400);
    m_replyTimeoutBox = new QSpinBox(this);
    m_replyTimeoutBox->setObjectName(QStringLiteral("replyTimeoutBox"));
    m_replyTimeoutBox->setFont(ming);
    m_replyTimeoutBox->setGeometry(twipsRect(3000, 2400, 1200, 360));
    // Any number is taken as typed, then refused with the range when out of it: a box that
    // quietly turns 5 into 20 leaves the technician waiting on a wait nobody chose.
    m_replyTimeoutBox->setRange(0, 99999);
    m_replyTimeoutBox->setSingleStep(10);
    m_replyTimeoutBox->setToolTip(text::ReplyTimeoutTip.arg(kMinReplyTimeoutMs).arg(kMaxReplyTimeoutMs));
    // What the technician set last time, else the wait the session has now.
    const auto kept =
        m_services.settings ? m_services.settings->number(kReplyTimeoutKey) : std::nullopt;
    const int ms = kept ? *kept
                        : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               m_services.replyTimeout)
                                               .count());
    m_replyTimeoutBox->setValue(std::clamp(ms, kMinReplyTimeoutMs, kMaxReplyTimeoutMs));
    m_services.replyTimeout = std::chrono::milliseconds(m_replyTimeoutBox->value());
    m_session->setReplyTimeout(m_services.replyTimeout);
    // How the windows after this one read (`on`): what the technician ticked last time, else what
    // the program started with; the next run starts with what is ticked now.
    auto keptBox = [&](const char* name, const QString& t, const char* key, bool& on, int left) {
        auto* b = new QCheckBox(t, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(ming);
        b->setGeometry(twipsRect(left, 2940, 2535, 360));
        const auto kept = m_services.settings ? m_services.settings->number(key) : std::nullopt;
        b->setChecked(kept ? *kept != 0 : on);
        on = b->isChecked();
        connect(b, &QCheckBox::toggled, this, [this, key, &on](bool checked) {
            on = checked;
            if (m_services.settings)
                m_services.settings->setNumber(key, checked ? 1 : 0);
        });
        return b;
    };
    m_blockReadsBox =
        keptBox("blockReadsBox", text::BlockReads, kBlockReadsKey, m_services.blockReads, 3000);
    m_blockReadsBox->setToolTip(text::BlockReadsTip);

    auto button = [&](const char* name, const QString& t, int top) {
        auto* b = new QPushButton(t, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(kai);
        b->setGeometry(twipsRect(360, top, 5175, 540));
        b->setAutoDefault(false);
        return b;
    };
    m_connectButton = button("connectButton", text::SearchButton, 3540);
    m_connectButton->setDefault(true);  // Enter in any field connects
    m_offlineButton = button("offlineButton", text::OfflineButton, 4200);
    m_offlineButton->setGeometry(twipsRect(360, 4200, 2520, 540));
    m_surveyButton = button("surveyButton", text::SurveyButton, 4200);
    m_surveyButton->setGeometry(twipsRect(3015, 4200, 2520, 540));
    // Below the progress line, shown (the window grown for it) once a survey starts.
    m_driveList = new QTreeWidget(this);
    m_driveList->setObjectName(QStringLiteral("driveList"));
    m_driveList->setFont(ming);
    m_driveList->setGeometry(twipsRect(360, 5640, 5175, 1800));
    m_driveList->setHeaderLabels(text::DriveColumns);
    m_driveList->setRootIsDecorated(false);
    m_driveList->setColumnWidth(0, twipsToPixels(1200));
    m_driveList->setColumnWidth(1, twipsToPixels(1800));
    m_driveList->hide();
    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setFont(ming);
    m_statusLine->setGeometry(twipsRect(360, 4830, 5175, 720));
    m_statusLine->setWordWrap(true);
    m_statusLine->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    setTabOrder(m_portList, m_rateList);
    setTabOrder(m_rateList, m_formatList);
    setTabOrder(m_formatList, m_connectButton);
    setTabOrder(m_connectButton, m_stationBox);
    setTabOrder(m_stationBox, m_replyTimeoutBox);
    setTabOrder(m_replyTimeoutBox, m_blockReadsBox);
    setTabOrder(m_blockReadsBox, m_offlineButton);
    setTabOrder(m_offlineButton, m_surveyButton);
    setTabOrder(m_surveyButton, m_driveList);
    m_portList->setFocus();

    connect(m_connectButton, &QPushButton::clicked, this, &ConnectionWindow::onConnectClicked);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this,
            [this] {
                if (m_services.showMonitor)
                    m_services.showMonitor();
            });
    connect(m_offlineButton, &QPushButton::clicked, this, &ConnectionWindow::onOfflineClicked);
    connect(m_surveyButton, &QPushButton::clicked, this, &ConnectionWindow::onSurveyClicked);
    connect(m_driveList, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { onDriveChosen(item); });
    connect(m_driveList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        onDriveChosen(item);
        onConnectClicked();
    });
    connect(m_portList, &QComboBox::currentIndexChanged, this, &ConnectionWindow::onPortChosen);
    connect(m_replyTimeoutBox, &QSpinBox::valueChanged, this,
            &ConnectionWindow::onReplyTimeoutChanged);
    connect(m_replyTimeoutBox, &QSpinBox::editingFinished, this,
            &ConnectionWindow::onReplyTimeoutEdited);
}

void ConnectionWindow::onReplyTimeoutEdited() {
    const int milliseconds = m_replyTimeoutBox->value();
    const std::optional<int> before = std::exchange(m_timeoutBeforeEdit, std::nullopt);
    if (milliseconds < kMinReplyTimeoutMs || milliseconds > kMaxReplyTimeoutMs) {
        // Back to the wait the technician had before this edit ("999" on the way to "99999"
        // counted meanwhile).
        if (before)
            onReplyTimeoutChanged(*before);
        const QSignalBlocker quiet(m_replyTimeoutBox);
        m_replyTimeoutBox->setValue(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_services.replyTimeout).count()));
        m_timeoutRefused = true;  // the Enter that typed it does not connect
        QTimer::singleShot(0, this, [this] { m_timeoutRefused = false; });
        m_services.dialogs->message(
            this, text::ReplyTimeoutRange.arg(kMinReplyTimeoutMs).arg(kMaxReplyTimeoutMs),
            text::ReplyTimeoutErrorTitle);
        m_replyTimeoutBox->setFocus();
        m_replyTimeoutBox->selectAll();
    }
}

void ConnectionWindow::onReplyTimeoutChanged(int milliseconds) {
    // What is typed counts once it is in range ("5" on the way to "50" does not).
    if (!m_timeoutBeforeEdit)
        m_timeoutBeforeEdit = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_services.replyTimeout).count());
    if (milliseconds < kMinReplyTimeoutMs || milliseconds > kMaxReplyTimeoutMs)
        return;
    // The windows after this one start their sessions with it; the next run starts with it.
    m_services.replyTimeout = std::chrono::milliseconds(milliseconds);
    m_session->setReplyTimeout(m_services.replyTimeout);
    if (m_services.settings)
        m_services.settings->setNumber(kReplyTimeoutKey, milliseconds);
}

QStringList ConnectionWindow::portEntries() {
    // Listed as the system knows them, never opened: a port held by another program shows so
    // from its lock file, or when the technician's own open fails.
    QStringList entries;
    for (const ListedPort& p : m_services.ports->listPorts())
        entries << portEntryText(p.comNumber, p.device, p.state);
    entries << text::GatewayEntry;  // a drive reached through a network gateway
    return entries;
}

void ConnectionWindow::listPorts() {
    m_portList->addItems(portEntries());
    for (const auto& rate : kRates) m_rateList->addItem(QString::fromUtf8(rate.text));
    for (const auto& format : kFormats) m_formatList->addItem(QString::fromUtf8(format.listText));
    // Nothing chosen means the search: said in the empty box, and to be chosen again.
    for (QComboBox* list : {m_rateList, m_formatList}) {
        list->addItem(text::AutoSearch);
        list->setPlaceholderText(text::AutoSearch);
    }
    m_rateList->setCurrentIndex(-1);
    m_formatList->setCurrentIndex(-1);
    // The last serial port (none chosen when there is none), not the gateway entry after it.
    m_portList->setCurrentIndex(m_portList->count() - 2);
    onPortChosen();
}

void ConnectionWindow::refreshPorts() {
    // Not while a probe or the search has the port, nor under an open drop-down list.
    if (busy() || m_leaving || !m_connectButton->isEnabled() || m_portList->view()->isVisible())
        return;
    const QStringList entries = portEntries();
    QStringList shown;
    for (int i = 0; i < m_portList->count(); ++i) shown << m_portList->itemText(i);
    if (entries == shown)
        return;
    // The port chosen stays chosen while it is there; else the last one, as at the start.
    const int chosen =
        m_portList->currentIndex() < 0 ? 0 : comNumberOfEntry(m_portList->currentText());
    const QSignalBlocker quiet(m_portList);
    m_portList->clear();
    m_portList->addItems(entries);
    int index = m_portList->count() - 2;
    for (int i = 0; i < entries.size(); ++i)
        if (comNumberOfEntry(entries[i]) == chosen ||
            (chosen == 0 && entries[i] == text::GatewayEntry))
            index = i;
    m_portList->setCurrentIndex(index);
    onPortChosen();
}

void ConnectionWindow::chooseKeptLink() {
    // Where the drive was found last time; the first start keeps the lists as they come.
    if (!m_services.settings)
        return;
    const Settings& kept = *m_services.settings;
    // The device found last time, wherever its COM number went (an older setting names the
    // number only); COM 0 is the network gateway.
    const auto device = kept.text(kDeviceKey);
    const auto com = kept.number(kComPortKey);
    for (int i = 0; i < m_portList->count(); ++i) {
        const QString entry = m_portList->itemText(i);
        const int number = comNumberOfEntry(entry);
        if (com && *com == 0) {
            if (entry == text::GatewayEntry)
                m_portList->setCurrentIndex(i);
        } else if (entry != text::GatewayEntry &&
                   (device && !device->isEmpty() ? m_services.ports->deviceOf(number) == *device
                                                 : com && number == *com)) {
            m_portList->setCurrentIndex(i);
        }
    }
    if (const auto address = kept.text(kGatewayKey))
        m_gatewayAddressBox->setText(*address);
    if (const auto framing = kept.number(kGatewayFramingKey);
        framing && *framing >= 0 && *framing < m_gatewayFramingList->count())
        m_gatewayFramingList->setCurrentIndex(*framing);
    const auto rate = kept.number(kRateKey);
    const auto format = kept.number(kFormatKey);
    if (rate && format && *rate >= 0 && *rate < m_rateList->count() && *format >= 0 &&
        *format < m_formatList->count()) {
        m_rateList->setCurrentIndex(*rate);
        m_formatList->setCurrentIndex(*format);
    }
    if (const auto station = kept.number(kStationKey);
        station && *station >= 0 && *station <= kLastStation)
        m_stationBox->setEditText(QString::number(*station));
}

void ConnectionWindow::keepLink(int rate, int format) {
    if (!m_services.settings)
        return;
    Settings& kept = *m_services.settings;
    kept.setNumber(kComPortKey, m_services.link().gateway ? 0 : m_services.link().comPort);
    kept.setNumber(kStationKey, m_services.link().station);
    if (m_services.link().gateway) {
        kept.setText(kGatewayKey, QString::fromStdString(m_services.link().gateway->text()));
        kept.setNumber(kGatewayFramingKey, m_gatewayFramingList->currentIndex());
        return;
    }
    kept.setText(kDeviceKey, m_services.ports->deviceOf(m_services.link().comPort));
    kept.setNumber(kRateKey, rate);
    kept.setNumber(kFormatKey, format);
}

void ConnectionWindow::closeEvent(QCloseEvent* event) {
    if (busy() && !m_leaving) {
        // The probe under way finishes first (its answer is not taken); then the window closes.
        m_closeRequested = true;
        event->ignore();
        m_session->whenIdle([this] {
            m_leaving = true;
            close();
        });
        return;
    }
    m_session->close();
    event->accept();
}

void ConnectionWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && busy()) {
        m_stopRequested = true;
        return;
    }
    if (!busy() && !m_timeoutRefused && pressOnEnter(event, m_connectButton))
        return;
    QWidget::keyPressEvent(event);
}

void ConnectionWindow::setControlsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_portList, m_rateList, m_formatList, m_stationBox,
                                         m_replyTimeoutBox, m_connectButton, m_offlineButton,
                                         m_surveyButton, m_driveList, m_gatewayAddressBox,
                                         m_gatewayFramingList})
        w->setEnabled(enabled);
}

bool ConnectionWindow::openPort(const std::string& settings) {
    m_lastOpen = m_session->open(m_services.link().comPort, settings);
    return m_lastOpen == OpenResult::Ok;
}

QString ConnectionWindow::portFailureText() const {
    if (m_services.link().gateway)
        return text::GatewayFailed.arg(QString::fromStdString(m_services.link().gateway->text()));
    switch (m_lastOpen) {
        case OpenResult::NotFound:
            return text::PortGone;
        case OpenResult::NoPermission:
            return permissionFix(m_services.link().comPort);
        default:
            return text::PortFailed;
    }
}

QString ConnectionWindow::permissionFix(int comNumber) const {
    // The group that owns the device opens it; where none is found, the usual one.
    const QString device = m_services.ports->deviceOf(comNumber);
    const QString group = QFileInfo(device).group();
    if (group == QLatin1String("root"))
        return text::PermissionAdmin.arg(device);
    return text::PermissionFix.arg(group.isEmpty() ? QStringLiteral("dialout") : group);
}

bool ConnectionWindow::gatewayChosen() const {
    return m_portList->currentText() == text::GatewayEntry;
}

void ConnectionWindow::onPortChosen() {
    if (busy())
        return;
    // The gateway's address and framing take the rows of the rate and the format.
    const bool gateway = gatewayChosen();
    m_rateList->setVisible(!gateway);
    m_formatList->setVisible(!gateway);
    m_gatewayAddressBox->setVisible(gateway);
    m_gatewayFramingList->setVisible(gateway);
    m_rateLabel->setText(gateway ? text::GatewayAddressLabel : text::RateLabel);
    m_formatLabel->setText(gateway ? text::GatewayFramingLabel : text::FormatLabel);
    const QString entry = m_portList->currentText();
    m_statusLine->setText(
        entry.endsWith(text::NoPermission) ? permissionFix(comNumberOfEntry(entry)) : QString());
}

void ConnectionWindow::showSearchProgress(const ScanProgress& p) {
    m_statusLine->setText(text::SearchProgress.arg(p.index + 1)
                              .arg(p.total)
                              .arg(p.step.station)
                              .arg(QString::fromStdString(p.step.settings()),
                                   QString::fromUtf8(framingName(p.step.framing()).data()),
                                   durationText(p.left)));
}

QString ConnectionWindow::linkLine(const LinkState& link) {
    return link.gateway ? QString::fromStdString(link.gateway->text())
                        : QStringLiteral("COM%1").arg(link.comPort);
}

void ConnectionWindow::handOverToMenu() {
    // The survey's drives go along when the link found is on the line surveyed, at its settings.
    const LinkState& link = m_services.link();
    m_services.drives.clear();
    if (m_survey && m_surveyLine == linkLine(link) && m_survey->link.settings == link.settings &&
        m_survey->link.framing == link.framing)
        m_services.drives = m_survey->drives;
    handOver([](Services& s) { return s.windows.menu(); });
}

void ConnectionWindow::handOver(QWidget* (*next)(Services&)) {
    m_leaving = true;
    next(m_services);
    m_session->whenIdle([this] { close(); });
}

bool ConnectionWindow::portChoiceUsable() {
    if (m_portList->currentIndex() < 0) {
        m_services.dialogs->message(this, text::NoPort, text::CommErrorTitle);
        return false;
    }
    if (m_portList->currentText().endsWith(text::NoPermission)) {
        m_services.dialogs->message(
            this, permissionFix(comNumberOfEntry(m_portList->currentText())), text::CommErrorTitle);
        return false;
    }
    return true;
}

bool ConnectionWindow::useChosenPort() {
    std::optional<NetworkAddress> gateway;
    if (gatewayChosen()) {
        gateway = parseNetworkAddress(m_gatewayAddressBox->text().toStdString());
        if (!gateway) {
            m_services.dialogs->message(this, text::BadGatewayAddress, text::CommErrorTitle);
            return false;
        }
    }
    if (gateway.has_value() != m_services.link().gateway.has_value() || gateway) {
        m_services.chooseGateway(gateway, kGatewayFramings[m_gatewayFramingList->currentIndex()]);
        m_session = createLineSession(m_services);
    }
    return true;
}

void ConnectionWindow::onConnectClicked() {
    if (busy() || !portChoiceUsable())
        return;
    const double station = lenientNumber(m_stationBox->currentText().toStdString()).value_or(-1);
    if (!(station >= 0 && station <= kLastStation)) {
        m_services.dialogs->message(this, text::StationRange, text::StationErrorTitle);
        return;
    }
    if (!useChosenPort())
        return;
    const bool gateway = m_services.link().gateway.has_value();

    m_stopRequested = false;
    m_choice = {m_rateList->currentIndex(), m_formatList->currentIndex(),
                m_stationBox->currentText()};
    m_statusLine->clear();
    setControlsEnabled(false);
    m_services.chooseStation(roundTo<std::uint8_t>(station).value_or(0));
    m_services.chooseComPort(comNumberOfEntry(m_portList->currentText()));

    if (gateway) {
        m_session->submit([this] { connectThroughGateway(); });
        return;
    }
    // The entry 自動搜尋 is no rate or format: the search.
    const int rate = m_rateList->currentIndex() < int(kRates.size()) ? m_rateList->currentIndex() : -1;
    const int format =
        m_formatList->currentIndex() < int(kFormats.size()) ? m_formatList->currentIndex() : -1;
    m_session->submit([this, rate, format] { connectToDrive(rate, format); });
}

void ConnectionWindow::onSurveyClicked() {
    if (busy() || !portChoiceUsable() || !useChosenPort())
        return;
    m_stopRequested = false;
    m_choice = {m_rateList->currentIndex(), m_formatList->currentIndex(),
                m_stationBox->currentText()};
    m_statusLine->clear();
    m_survey.reset();
    m_driveList->clear();
    if (m_driveList->isHidden()) {
        setFixedSize(width(), height() + twipsToPixels(1890));
        m_driveList->show();
    }
    setControlsEnabled(false);
    m_services.chooseComPort(comNumberOfEntry(m_portList->currentText()));
    const int rate = m_rateList->currentIndex() < int(kRates.size()) ? m_rateList->currentIndex() : -1;
    const int format =
        m_formatList->currentIndex() < int(kFormats.size()) ? m_formatList->currentIndex() : -1;
    m_session->submit([this, rate, format] { surveyLine(rate, format); });
}

void ConnectionWindow::surveyLine(int rate, int format) {
    ConnectHooks hooks;
    hooks.open = [this](const std::string& settings) {
        return openPort(settings) ? m_session.get() : nullptr;
    };
    hooks.progress = [this](const ScanProgress& p) {
        // The search's steps move the three lists, the survey's the station only.
        m_stationBox->clear();
        m_stationBox->addItem(QString::number(p.step.station));
        m_stationBox->setCurrentIndex(0);
        if (m_services.link().gateway) {
            m_statusLine->setText(text::GatewaySearch.arg(p.step.station).arg(p.total));
            return;
        }
        showSearchProgress(p);
        m_formatList->setCurrentIndex(p.step.format);
        m_rateList->setCurrentIndex(p.step.rate);
    };
    hooks.stopRequested = [this] { return stopAsked(); };
    ConnectSession surveying(m_session->clock(), hooks);
    SurveyResult result;
    if (m_services.link().gateway) {
        m_services.reachThroughGateway(drive::kFactorySettings);
        result = surveying.survey(m_services.link().settings, m_services.link().framing);
    } else {
        result = surveying.surveyAll(rate < 0 ? std::nullopt : std::optional<int>(rate),
                                     format < 0 ? std::nullopt : std::optional<int>(format));
    }
    m_session->close();
    if (result.end == ConnectResult::End::PortLost)
        m_lastOpen = OpenResult::NotFound;  // told as a port that went away
    if (m_closeRequested)
        return;
    showSurvey(result);
}

void ConnectionWindow::showSurvey(const SurveyResult& survey) {
    setControlsEnabled(true);
    m_statusLine->clear();
    const SearchEnd end = survey.drives.empty() ? searchEndOf(survey.end) : SearchEnd::Found;
    m_offlineButton->setEnabled(end != SearchEnd::NotFound);
    if (survey.drives.empty()) {
        // Nothing to connect to: the lists as the technician had chosen them.
        m_rateList->setCurrentIndex(m_choice.rate);
        m_formatList->setCurrentIndex(m_choice.format);
        m_stationBox->clear();
        m_stationBox->setEditText(m_choice.station);
        if (end == SearchEnd::Stopped)
            m_statusLine->setText(text::SurveyCancelled);
        else if (end == SearchEnd::NotFound)
            m_services.dialogs->message(this, text::NotFound, text::LinkErrorTitle);
        else
            m_services.dialogs->message(this, portFailureText(), text::CommErrorTitle);
        return;
    }
    m_survey = survey;
    m_surveyLine = linkLine(m_services.link());
    const auto number = [](const std::optional<std::uint16_t>& v) {
        return v ? QString::number(*v) : text::Unknown;
    };
    for (const SurveyedDrive& d : survey.drives) {
        auto* item = new QTreeWidgetItem(
            m_driveList, {QString::number(d.station), number(d.model), number(d.hours)});
        item->setData(0, Qt::UserRole, d.station);
    }
    m_statusLine->setText(survey.end == ConnectResult::End::Found
                              ? text::SurveyFound.arg(survey.drives.size())
                              : text::SurveyStopped.arg(survey.drives.size()));
    m_driveList->setCurrentItem(m_driveList->topLevelItem(0));
    if (survey.end == ConnectResult::End::PortLost)
        m_services.dialogs->message(this, portFailureText(), text::CommErrorTitle);
}

void ConnectionWindow::onDriveChosen(QTreeWidgetItem* item) {
    if (!item || !m_survey || busy())
        return;
    // The connect button probes it where the survey found it.
    if (!m_services.link().gateway) {
        if (m_survey->link.rate)
            m_rateList->setCurrentIndex(*m_survey->link.rate);
        if (m_survey->link.format)
            m_formatList->setCurrentIndex(*m_survey->link.format);
    }
    m_stationBox->clear();
    m_stationBox->setEditText(item->data(0, Qt::UserRole).toString());
}

void ConnectionWindow::connectThroughGateway() {
    m_services.reachThroughGateway(drive::kFactorySettings);
    const LinkState& link = m_services.link();
    ConnectHooks hooks;
    hooks.open = [this](const std::string& settings) {
        return openPort(settings) ? m_session.get() : nullptr;
    };
    hooks.progress = [this](const ScanProgress& p) {
        m_statusLine->setText(text::GatewaySearch.arg(p.step.station).arg(p.total));
    };
    hooks.stopRequested = [this] { return stopAsked(); };
    ConnectSession connecting(m_session->clock(), hooks);
    const ConnectResult result =
        connecting.connectThroughGateway(link.settings, link.framing, link.station);
    if (result.end == ConnectResult::End::Found && !m_closeRequested) {
        m_services.chooseStation(result.link.station);
        keepLink(-1, -1);
        handOverToMenu();
        return;
    }
    endWithoutDrive(searchEndOf(result.end));
}

void ConnectionWindow::connectToDrive(int rate, int format) {
    ConnectHooks hooks;
    hooks.open = [this](const std::string& settings) {
        return openPort(settings) ? m_session.get() : nullptr;
    };
    hooks.progress = [this](const ScanProgress& p) {
        m_services.trying(Framing::Ascii);  // until the search finds the drive
        showSearchProgress(p);
        if (p.step.format == 0 && p.step.rate == 0) {
            m_services.chooseStation(static_cast<std::uint8_t>(p.step.station));
            m_stationBox->clear();
            m_stationBox->addItem(QString::number(p.step.station));
            m_stationBox->setCurrentIndex(0);
        }
        m_formatList->setCurrentIndex(p.step.format);
        m_rateList->setCurrentIndex(p.step.rate);
    };
    hooks.stopRequested = [this] { return stopAsked(); };
    // The link state tells the probe's framing while the probe is out.
    if (rate >= 0 && format >= 0)
        m_services.trying(framingOfFormat(format));
    ConnectSession connecting(m_session->clock(), hooks);
    const ConnectResult result =
        connecting.connect(m_services.link().station,
                           rate < 0 ? std::nullopt : std::optional<int>(rate),
                           format < 0 ? std::nullopt : std::optional<int>(format));
    switch (result.end) {
        case ConnectResult::End::Found:
            if (m_closeRequested)
                break;
            m_services.found(result.link.station, result.link.framing, result.link.settings);
            keepLink(result.link.rate.value_or(rate), result.link.format.value_or(format));
            handOverToMenu();
            return;
        case ConnectResult::End::PortLost:
            m_lastOpen = OpenResult::NotFound;  // told as a port that went away
            break;
        default:
            break;
    }
    m_services.trying(Framing::Ascii);
    endWithoutDrive(searchEndOf(result.end));
}

ConnectionWindow::SearchEnd ConnectionWindow::searchEndOf(ConnectResult::End end) const {
    if (m_closeRequested)
        return SearchEnd::Stopped;
    switch (end) {
        case ConnectResult::End::Found:
            return SearchEnd::Found;
        case ConnectResult::End::Stopped:
            return SearchEnd::Stopped;
        case ConnectResult::End::PortUnusable:
        case ConnectResult::End::PortLost:
            return SearchEnd::PortFailed;
        case ConnectResult::End::NotFound:
            break;
    }
    return SearchEnd::NotFound;
}

void ConnectionWindow::endWithoutDrive(SearchEnd end) {
    m_session->close();
    // Back to idle. Offline mode stays barred after a search that found no drive; after a stop
    // or a port that failed, the technician may well work without the drive.
    setControlsEnabled(true);
    m_offlineButton->setEnabled(end == SearchEnd::Stopped || end == SearchEnd::PortFailed);
    m_statusLine->clear();
    if (end == SearchEnd::Stopped || m_closeRequested) {
        // The lists show what the technician had chosen, not the last combination tried, so the
        // next click does not probe a combination nobody chose.
        m_rateList->setCurrentIndex(m_choice.rate);
        m_formatList->setCurrentIndex(m_choice.format);
        m_stationBox->clear();
        m_stationBox->setEditText(m_choice.station);
        m_statusLine->setText(text::SearchCancelled);
    }
    if (m_closeRequested)
        return;
    if (end == SearchEnd::NotFound)
        m_services.dialogs->message(this, text::NotFound, text::LinkErrorTitle);
    else if (end == SearchEnd::PortFailed)
        m_services.dialogs->message(this, portFailureText(), text::CommErrorTitle);
}

void ConnectionWindow::onOfflineClicked() {
    if (busy())
        return;
    m_services.goOffline();
    handOver([](Services& s) {
        return s.windows.editor({nullptr, [&s] { return s.windows.connection(); }});
    });
}

}  // namespace velorin
