#include "ConnectionWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <algorithm>
#include <chrono>

#include "drive/Scan.h"
#include "link/DriveFacts.h"
#include "link/LinkSettings.h"
#include "link/NumberText.h"
#include "link/Transaction.h"
#include "platform/LinkStatus.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString PortLabel = QStringLiteral("請選擇使用連接埠 ：");
const QString RateLabel = QStringLiteral("鮑    率         ：");
const QString FormatLabel = QStringLiteral("通訊格式         ：");
const QString StationLabel = QStringLiteral("站    號         ：");
const QString ReplyTimeoutLabel = QStringLiteral("回應逾時（毫秒）：");
const QString SearchButton = QStringLiteral("自動偵測連線");
const QString OfflineButton = QStringLiteral("離線模式");
const QString InitialStation = QStringLiteral("1");
const QString InUse = QStringLiteral(" 被占用");
const QString NoPort = QStringLiteral("未選擇通訊埠");
const QString StationRange = QStringLiteral("站號範圍為0~254，請重新輸入。");
const QString NoPermission = QStringLiteral(" 無權限");
const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
const QString PortGone = QStringLiteral("找不到通訊埠，請確認連接線。");
const QString PermissionFix = QStringLiteral("請將使用者加入 dialout 群組後重新登入。");
const QString SearchCancelled = QStringLiteral("已取消自動偵測。");
// "第 12 / 8890 次　站號 1　19200,E,7,1 ASCII　剩餘約 14 分 48 秒　按 Esc 取消"
const QString SearchProgress =
    QStringLiteral("第 %1 / %2 次　站號 %3　%4 %5　剩餘約 %6　按 Esc 取消");
const QString MinutesSeconds = QStringLiteral("%1 分 %2 秒");
const QString Seconds = QStringLiteral("%1 秒");
const QString NotFound = QStringLiteral("未偵測到變頻機，請檢查連線。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");
const QString StationErrorTitle = QStringLiteral("站號錯誤");
const QString LinkErrorTitle = QStringLiteral("連線錯誤");
}  // namespace text

constexpr int kLastStation = ScanOrder::kLastStation;

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
    m_services.link.framing = Framing::Ascii;
    m_services.link.offline = false;
    listPorts();
}

ConnectionWindow::~ConnectionWindow() = default;

void ConnectionWindow::buildControls() {
    setWindowTitle(text::Caption);
    // One line more than the buttons need, for the search's progress.
    setFixedSize(twipsToPixels(5895), twipsToPixels(4830));
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
    label(text::RateLabel, 780);
    m_rateList = list("rateList", 780);
    label(text::FormatLabel, 1320);
    m_formatList = list("formatList", 1320);
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
    m_replyTimeoutBox->setRange(kMinReplyTimeoutMs, kMaxReplyTimeoutMs);
    m_replyTimeoutBox->setSingleStep(10);
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

    auto button = [&](const char* name, const QString& t, int top) {
        auto* b = new QPushButton(t, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(kai);
        b->setGeometry(twipsRect(360, top, 5175, 540));
        b->setAutoDefault(false);
        return b;
    };
    m_connectButton = button("connectButton", text::SearchButton, 3000);
    m_offlineButton = button("offlineButton", text::OfflineButton, 3660);
    m_statusLine = new QLabel(this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setFont(ming);
    m_statusLine->setGeometry(twipsRect(360, 4290, 5175, 360));

    setTabOrder(m_portList, m_rateList);
    setTabOrder(m_rateList, m_formatList);
    setTabOrder(m_formatList, m_connectButton);
    setTabOrder(m_connectButton, m_stationBox);
    setTabOrder(m_stationBox, m_replyTimeoutBox);
    setTabOrder(m_replyTimeoutBox, m_offlineButton);
    m_portList->setFocus();

    connect(m_connectButton, &QPushButton::clicked, this, &ConnectionWindow::onConnectClicked);
    connect(m_offlineButton, &QPushButton::clicked, this, &ConnectionWindow::onOfflineClicked);
    connect(m_portList, &QComboBox::currentIndexChanged, this, &ConnectionWindow::onPortChosen);
    connect(m_replyTimeoutBox, &QSpinBox::valueChanged, this,
            &ConnectionWindow::onReplyTimeoutChanged);
}

void ConnectionWindow::onReplyTimeoutChanged(int milliseconds) {
    // The windows after this one start their sessions with it; the next run starts with it.
    m_services.replyTimeout = std::chrono::milliseconds(milliseconds);
    m_session->setReplyTimeout(m_services.replyTimeout);
    if (m_services.settings)
        m_services.settings->setNumber(kReplyTimeoutKey, milliseconds);
}

void ConnectionWindow::listPorts() {
    // Every COM number is tried: a port that opens is free, one that another program holds or
    // that this user may not open is listed as such, one that is not there is left out.
    SerialPort& port = m_session->port();
    for (int n = 1; n <= 16; ++n) {
        port.setCommPort(n);
        const OpenResult r = port.open();
        const QString device = m_services.ports->deviceOf(n);
        if (r == OpenResult::Ok) {
            m_portList->addItem(portEntryText(n, device, PortState::Free));
            port.close();
        } else if (r == OpenResult::InUse) {
            m_portList->addItem(portEntryText(n, device, PortState::InUse));
        } else if (r == OpenResult::NoPermission) {
            m_portList->addItem(portEntryText(n, device, PortState::NoPermission));
        }
    }
    m_session->close();

    for (const auto& rate : kRates) m_rateList->addItem(QString::fromUtf8(rate.text));
    for (const auto& format : kFormats) m_formatList->addItem(QString::fromUtf8(format.listText));
    m_rateList->setCurrentIndex(-1);
    m_formatList->setCurrentIndex(-1);
    m_portList->setCurrentIndex(m_portList->count() - 1);
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
    QWidget::keyPressEvent(event);
}

void ConnectionWindow::setControlsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_portList, m_rateList, m_formatList, m_stationBox,
                                         m_replyTimeoutBox, m_connectButton, m_offlineButton})
        w->setEnabled(enabled);
}

bool ConnectionWindow::openPort(const std::string& settings) {
    m_lastOpen = m_session->open(m_services.link.comPort, settings);
    return m_lastOpen == OpenResult::Ok;
}

QString ConnectionWindow::portFailureText() const {
    switch (m_lastOpen) {
        case OpenResult::NotFound:
            return text::PortGone;
        case OpenResult::NoPermission:
            return text::PermissionFix;
        default:
            return text::PortFailed;
    }
}

void ConnectionWindow::onPortChosen() {
    if (busy())
        return;
    m_statusLine->setText(
        m_portList->currentText().endsWith(text::NoPermission) ? text::PermissionFix : QString());
}

void ConnectionWindow::showSearchProgress(const ScanProgress& p) {
    m_statusLine->setText(text::SearchProgress.arg(p.index + 1)
                              .arg(p.total)
                              .arg(p.step.station)
                              .arg(QString::fromStdString(p.step.settings()),
                                   QString::fromUtf8(framingName(p.step.framing()).data()),
                                   durationText(p.left)));
}

bool ConnectionWindow::probe(Framing framing) {
    m_session->setFraming(framing);
    const ReplyCheck r = m_session->readAt(m_services.link.station, drive::kProbeRegister);
    return drive::probeFound(r, framing);
}

void ConnectionWindow::handOver(QWidget* (*next)(Services&)) {
    m_leaving = true;
    next(m_services);
    m_session->whenIdle([this] { close(); });
}

void ConnectionWindow::onConnectClicked() {
    if (busy())
        return;
    if (m_portList->currentIndex() < 0) {
        m_services.dialogs->message(this, text::NoPort, text::CommErrorTitle);
        return;
    }
    if (m_portList->currentText().endsWith(text::NoPermission)) {
        m_services.dialogs->message(this, text::PermissionFix, text::CommErrorTitle);
        return;
    }
    const double station = lenientNumber(m_stationBox->currentText().toStdString()).value_or(-1);
    if (!(station >= 0 && station <= kLastStation)) {
        m_services.dialogs->message(this, text::StationRange, text::StationErrorTitle);
        return;
    }

    m_stopRequested = false;
    m_choice = {m_rateList->currentIndex(), m_formatList->currentIndex(),
                m_stationBox->currentText()};
    m_statusLine->clear();
    setControlsEnabled(false);
    m_services.link.station = roundTo<std::uint8_t>(station).value_or(0);
    // "COM12 被占用" -> 12: the number read from the 4th character on.
    m_services.link.comPort =
        roundTo<std::int16_t>(lenientNumber(m_portList->currentText().mid(3).toStdString()))
            .value_or(0);

    const int rate = m_rateList->currentIndex();
    const int format = m_formatList->currentIndex();
    m_session->submit([this, rate, format] { connectToDrive(rate, format); });
}

void ConnectionWindow::connectToDrive(int rate, int format) {
    SearchEnd end = SearchEnd::NotFound;
    if (rate < 0 || format < 0) {
        end = search();
    } else {
        const std::string settings = settingsString(rate, format);
        if (!openPort(settings)) {
            end = SearchEnd::PortFailed;
        } else {
            const Framing framing = framingOfFormat(format);
            m_services.link.framing = framing;
            if (probe(framing) && !m_closeRequested) {
                m_services.link.settings = settings;
                handOver([](Services& s) { return s.windows.menu(); });
                return;
            }
            m_services.link.framing = Framing::Ascii;
            m_session->close();
            end = stopAsked() ? SearchEnd::Stopped : search();
        }
    }

    if (end == SearchEnd::Found && !m_closeRequested) {
        handOver([](Services& s) { return s.windows.menu(); });
        return;
    }
    endWithoutDrive(end);
}

ConnectionWindow::SearchEnd ConnectionWindow::search() {
    ScanHooks hooks;
    hooks.open = [this](const ScanStep& step) {
        return openPort(step.settings()) ? m_session.get() : nullptr;
    };
    hooks.progress = [this](const ScanProgress& p) {
        showSearchProgress(p);
        if (p.step.format == 0 && p.step.rate == 0) {
            m_services.link.station = static_cast<std::uint8_t>(p.step.station);
            m_stationBox->clear();
            m_stationBox->addItem(QString::number(p.step.station));
            m_stationBox->setCurrentIndex(0);
        }
        m_formatList->setCurrentIndex(p.step.format);
        m_rateList->setCurrentIndex(p.step.rate);
    };
    hooks.stopRequested = [this] { return stopAsked(); };
    const ScanResult result = scanForDrive(ScanOrder(), m_session->clock(), hooks);
    switch (result.end) {
        case ScanResult::End::Found:
            m_services.link.framing = result.step.framing();
            m_services.link.settings = result.step.settings();
            return SearchEnd::Found;
        case ScanResult::End::Stopped:
            return SearchEnd::Stopped;
        case ScanResult::End::PortUnusable:
            return SearchEnd::PortFailed;
        case ScanResult::End::PortLost:
            m_lastOpen = OpenResult::NotFound;  // told as a port that went away
            return SearchEnd::PortFailed;
        case ScanResult::End::NotFound:
            break;
    }
    // A stop asked during the last probe still puts the technician's choice back.
    return stopAsked() ? SearchEnd::Stopped : SearchEnd::NotFound;
}

void ConnectionWindow::endWithoutDrive(SearchEnd end) {
    m_session->close();
    // Back to idle, but offline mode stays barred once a connection was attempted.
    setControlsEnabled(true);
    m_offlineButton->setEnabled(false);
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
    m_services.link.offline = true;
    handOver([](Services& s) {
        return s.windows.editor({nullptr, [&s] { return s.windows.connection(); }});
    });
}

}  // namespace velorin
