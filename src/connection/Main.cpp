#include "Main.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "link/Global.h"
#include "link/MBus.h"
#include "link/NumberText.h"
#include "platform/HandlerGuard.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString Label1 = QStringLiteral("請選擇使用連接埠 ：");
const QString Label2 = QStringLiteral("鮑    率         ：");
const QString Label3 = QStringLiteral("通訊格式         ：");
const QString Label4 = QStringLiteral("站    號         ：");
const QString Command1 = QStringLiteral("自動偵測連線");
const QString Command2 = QStringLiteral("離線模式");
const QString InitialStation = QStringLiteral("1");
const QString InUse = QStringLiteral(" 被占用");
const QString NoPort = QStringLiteral("未選擇通訊埠");
const QString StationRange = QStringLiteral("站號範圍為0~254，請重新輸入。");
const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
const QString NotFound = QStringLiteral("未偵測到變頻機，請檢查連線。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");
const QString StationErrorTitle = QStringLiteral("站號錯誤");
const QString LinkErrorTitle = QStringLiteral("連線錯誤");
}  // namespace text

// P496, the drive's own station number: the register every probe reads.
constexpr std::uint8_t kProbeRegHigh = 1, kProbeRegLow = 240;  // 0x01F0 = 496

constexpr int kFirstStation = 1, kLastStation = 254;

}  // namespace

QString portEntryText(int comNumber, const QString& device, bool inUse) {
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    QString entry = com;
    if (!device.isEmpty() && device.compare(com, Qt::CaseInsensitive) != 0)
        entry += QStringLiteral(" (%1)").arg(device);
    if (inUse)
        entry += text::InUse;
    return entry;
}

Form1::Form1(Services& services, QWidget* parent) : QWidget(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form1"));
    MSComm1 = m_services.ports->createPort(*m_services.wait);
    buildControls();
    Form_Load();
}

Form1::~Form1() {
    Form_Unload();
}

void Form1::buildControls() {
    setWindowTitle(text::Caption);
    setFixedSize(twipsToPixels(5895), twipsToPixels(3870));
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
    auto list = [&](int top) {
        auto* c = new QComboBox(this);
        c->setFont(ming);
        c->setGeometry(twipsRect(3000, top, 2535, 360));
        return c;
    };
    Label1 = label(text::Label1, 240);
    Combo1 = list(240);
    Label2 = label(text::Label2, 780);
    Combo2 = list(780);
    Label3 = label(text::Label3, 1320);
    Combo3 = list(1320);
    Label4 = label(text::Label4, 1860);
    Combo4 = list(1860);
    Combo4->setEditable(true);
    Combo4->setInsertPolicy(QComboBox::NoInsert);
    Combo4->setEditText(text::InitialStation);

    auto button = [&](const QString& t, int top) {
        auto* b = new QPushButton(t, this);
        b->setFont(kai);
        b->setGeometry(twipsRect(360, top, 5175, 540));
        b->setAutoDefault(false);
        return b;
    };
    Command1 = button(text::Command1, 2460);
    Command2 = button(text::Command2, 3120);

    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Combo3);
    setTabOrder(Combo3, Command1);
    setTabOrder(Command1, Combo4);
    setTabOrder(Combo4, Command2);
    Combo1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
}

void Form1::Form_Load() {
    m_services.link.framing = Framing::Ascii;
    m_services.link.offline = false;

    // Every COM number is tried: a port that opens is free, one that another program holds is
    // listed as such, one that is not there is left out.
    for (int n = 1; n <= 16; ++n) {
        MSComm1->setCommPort(n);
        const OpenResult r = MSComm1->open();
        if (r == OpenResult::Ok) {
            Combo1->addItem(portEntryText(n, m_services.ports->deviceOf(n), false));
            MSComm1->close();
        } else if (r == OpenResult::InUse) {
            Combo1->addItem(portEntryText(n, m_services.ports->deviceOf(n), true));
        }
    }
    MSComm1->close();

    for (const auto& rate : kRates) Combo2->addItem(QString::fromUtf8(rate.text));
    for (const auto& format : kFormats) Combo3->addItem(QString::fromUtf8(format.listText));
    Combo2->setCurrentIndex(-1);
    Combo3->setCurrentIndex(-1);
    Combo1->setCurrentIndex(Combo1->count() - 1);
}

void Form1::Form_Unload() {
    if (MSComm1 && MSComm1->isOpen())
        MSComm1->close();
}

void Form1::closeEvent(QCloseEvent* event) {
    // The probe under way finishes first; the handler then closes the window.
    if (m_guard.holdBack(event))
        return;
    Form_Unload();
    event->accept();
}

void Form1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && busy()) {
        m_stopRequested = true;
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form1::setControlsEnabled(bool enabled) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{Combo1, Combo2, Combo3, Combo4, Command1, Command2})
        w->setEnabled(enabled);
}

bool Form1::openPort(const std::string& settings) {
    if (!MSComm1->setSettings(settings))
        return false;
    return MSComm1->open() == OpenResult::Ok;
}

bool Form1::probe(bool rtu) {
    const std::string reply =
        rtu ? ReadData(m_services.link.station, kProbeRegHigh, kProbeRegLow, 0, 1, *MSComm1)
            : ReadDataASCII(m_services.link.station, kProbeRegHigh, kProbeRegLow, 0, 1, *MSComm1);
    return lenientNumber(reply) > 0;
}

void Form1::handOver() {
    m_services.windows.menu();
    m_guard.closeWindow();
}

void Form1::Command1_Click() {
    if (busy())
        return;
    if (Combo1->currentIndex() < 0) {
        m_services.dialogs->message(this, text::NoPort, text::CommErrorTitle);
        return;
    }
    const double station = lenientNumber(Combo4->currentText().toStdString());
    if (!(station >= 0 && station <= kLastStation)) {
        m_services.dialogs->message(this, text::StationRange, text::StationErrorTitle);
        return;
    }

    HandlerGuard::Scope scope(m_guard);
    m_stopRequested = false;
    setControlsEnabled(false);
    m_services.link.station = roundTo<std::uint8_t>(station).value_or(0);

    // "COM12 被占用" -> 12: the number read from the 4th character on.
    const int comPort =
        roundTo<std::int16_t>(lenientNumber(Combo1->currentText().mid(3).toStdString()))
            .value_or(0);
    MSComm1->setCommPort(comPort);
    m_services.link.comPort = comPort;

    const int rate = Combo2->currentIndex();
    const int format = Combo3->currentIndex();
    ScanEnd end = ScanEnd::NotFound;
    if (rate < 0 || format < 0) {
        end = scan();
    } else {
        const std::string settings = settingsString(rate, format);
        if (!openPort(settings)) {
            end = ScanEnd::PortFailed;
        } else {
            bool found = false;
            if (format < 3) {
                found = probe(false);
            } else {
                m_services.link.framing = Framing::Rtu;
                found = probe(true);
            }
            if (found && !m_guard.closeRequested()) {
                m_services.link.settings = settings;
                handOver();
                return;
            }
            m_services.link.framing = Framing::Ascii;
            MSComm1->close();
            end = stopAsked() ? ScanEnd::Stopped : scan();
        }
    }

    if (end == ScanEnd::Found && !m_guard.closeRequested()) {
        handOver();
        return;
    }
    searchWithoutResult(end);
}

Form1::ScanEnd Form1::scan() {
    for (i = kFirstStation; i <= kLastStation; ++i) {
        m_services.link.station = static_cast<std::uint8_t>(i);
        Combo4->clear();
        Combo4->addItem(QString::number(i));
        Combo4->setCurrentIndex(0);
        // ASCII formats (0..2) before RTU formats (3..6); within a format the rates upwards.
        for (j = 0; j < static_cast<int>(kFormats.size()); ++j) {
            Combo3->setCurrentIndex(j);
            for (k = 0; k < static_cast<int>(kRates.size()); ++k) {
                Combo2->setCurrentIndex(k);
                const std::string settings = settingsString(k, j);
                if (!openPort(settings))
                    return ScanEnd::PortFailed;
                const bool rtu = isRtu(framingOfFormat(j));
                if (probe(rtu)) {
                    if (rtu)
                        m_services.link.framing = Framing::Rtu;
                    m_services.link.settings = settings;
                    return ScanEnd::Found;
                }
                MSComm1->close();
                if (stopAsked())
                    return ScanEnd::Stopped;
            }
        }
    }
    return ScanEnd::NotFound;
}

void Form1::searchWithoutResult(ScanEnd end) {
    MSComm1->close();
    // Back to idle, but offline mode stays barred once a connection was attempted.
    for (QWidget* w : std::initializer_list<QWidget*>{Combo1, Combo2, Combo3, Combo4, Command1})
        w->setEnabled(true);
    if (m_guard.closeRequested())
        return;
    if (end == ScanEnd::NotFound)
        m_services.dialogs->message(this, text::NotFound, text::LinkErrorTitle);
    else if (end == ScanEnd::PortFailed)
        m_services.dialogs->message(this, text::PortFailed, text::CommErrorTitle);
}

void Form1::Command2_Click() {
    if (busy())
        return;
    m_services.link.offline = true;
    m_services.windows.editor();
    m_guard.closeWindow();
}

}  // namespace velorin
