#include "Run.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QToolBar>

#include "ToolbarPictures.h"
#include "link/Global.h"
#include "link/MBus.h"
#include "link/NumberText.h"
#include "platform/Services.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Every text the technician sees in this window.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString WindowsMenu = QStringLiteral("視窗(&W)");
const QString ReturnItem = QStringLiteral("返回上一頁(&R)");
const QString QuitItem = QStringLiteral("離開程式(&Q)");
const QString ReturnButton = QStringLiteral("返回上一頁");
const QString QuitButton = QStringLiteral("離開程式");
const QString RampUnit = QStringLiteral("加減速時間單位");
const QString UnitHundredths = QStringLiteral("0：0.01 sec");
const QString UnitTenths = QStringLiteral("1：0.1 sec");
const QString AccelTime = QStringLiteral("加速時間");
const QString DecelTime = QStringLiteral("減速時間");
const QString RampInitial = QStringLiteral("10.00");
const QString RunFrequency = QStringLiteral("運轉頻率");
const QString FrequencyInitial = QStringLiteral("60.00");
const QString Hz = QStringLiteral("Hz");
const QString RunForward = QStringLiteral("連續正轉");
const QString RunReverse = QStringLiteral("連續反轉");
const QString Stop = QStringLiteral("停止");
const QString JogFrequency = QStringLiteral("寸動頻率");
const QString JogForward = QStringLiteral("寸動正轉");
const QString JogReverse = QStringLiteral("寸動反轉");

const QString FrequencyRange = QStringLiteral("頻率範圍超出1.50~400.00Hz，請重新輸入。");
const QString FrequencyRangeTitle = QStringLiteral("範圍錯誤");
const QString AccelRange = QStringLiteral("加速度範圍錯誤!。");
const QString DecelRange = QStringLiteral("減速度範圍錯誤!。");
const QString RampRangeTitle = QStringLiteral("ERROR");
const QString NoAnswer = QStringLiteral("變頻機未回應，指令可能未送達。");
const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");

const QString AskFrequencySource = QStringLiteral("是否自動將主頻率來源設定為通信輸入?");
const QString AskRunSource = QStringLiteral("是否自動將運轉訊號設定為通信輸入?");
const QString AskReverse = QStringLiteral("是否解除禁止反轉?");
const QString AskFrequencySourceBack = QStringLiteral("是否自動將主頻率來源設定改回原始設定?");
const QString AskRunSourceBack = QStringLiteral("是否自動將運轉訊號來源設定改回原始設定?");
const QString AskReverseBack = QStringLiteral("是否自動將禁止反轉改回原始設定?");
const QString FrequencySourceTitle = QStringLiteral("主頻率設定");
const QString RunSourceTitle = QStringLiteral("運轉訊號設定");
const QString ReverseTitle = QStringLiteral("反轉設定");
const QString ReverseBackTitle = QStringLiteral("禁止反轉設定");
}  // namespace text

// Registers of the panel (register number = parameter number).
constexpr int kRunSource = 5;          // P00.05: 2 = the link
constexpr int kFrequencySource = 25;   // P01.00: 0 = frequency command 0
constexpr int kDirectionLimit = 28;    // P01.03: 0 = both directions
constexpr int kFrequencyCommand = 32;  // P01.07, hundredths of a hertz
constexpr int kJogFrequency = 48;      // P01.23, hundredths of a hertz
constexpr int kRampUnit = 96;          // P03.00: 0 = 0.01 s, 1 = 0.1 s
constexpr int kAccelTime = 97;         // P03.01
constexpr int kDecelTime = 98;         // P03.02
constexpr int kMaxFrequency = 248;     // P09.02, hundredths of a hertz
constexpr int kCommandRegister = 0x2000;

// Command words.
constexpr int kRunForward = 18;
constexpr int kRunReverse = 34;
constexpr int kJogForward = 19;
constexpr int kJogReverse = 35;
constexpr int kStop = 1;

// 400.00 Hz, the top of the slider: the frequency command and the maximum output frequency
// while the panel is open.
constexpr int kPanelTop = 40000;
constexpr double kLowestFrequency = 1.5;
constexpr double kHighestFrequency = 400;
constexpr std::int64_t kLongestRamp = 60000;

// What a 16-bit register can take: -32768..-1 travel as their two's complement.
constexpr std::int64_t kRegisterLow = -32768;
constexpr std::int64_t kRegisterHigh = 65535;

constexpr int kToolbarTwips = 1140;

double numberOf(const QString& s) {
    return lenientNumber(s.toStdString());
}
double numberOf(const std::string& s) {
    return lenientNumber(s);
}

std::int32_t integerOf(const std::string& s) {
    return roundTo<std::int32_t>(lenientNumber(s)).value_or(0);
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The value handed to the link: the number times 100 (hertz to hundredths) as plain text.
std::string hundredthsText(double hertz) {
    return plainText(hertz * 100);
}

// Whether a decimal text stands for a value a register can take once brought to a whole number.
bool fitsRegister(const std::string& valueText) {
    auto v = roundTo<std::int64_t>(lenientNumber(valueText));
    return v && *v >= kRegisterLow && *v <= kRegisterHigh;
}

}  // namespace

// ---- The two reporting controls ----

void PressButton::mousePressEvent(QMouseEvent* event) {
    QPushButton::mousePressEvent(event);
    emit mouseDown();
}

void PressButton::mouseReleaseEvent(QMouseEvent* event) {
    QPushButton::mouseReleaseEvent(event);
    emit mouseUp();
}

void MoveSlider::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    emit mouseMoved();
}

// ---- Window ----

Form4::Form4(Services& services, QWidget* parent) : QMainWindow(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow();
}

Form4::~Form4() {
    closePort();
}

void Form4::buildWindow() {
    setWindowTitle(text::Caption);
    setContextMenuPolicy(Qt::PreventContextMenu);

    Windows = menuBar()->addMenu(text::WindowsMenu);
    Return = Windows->addAction(text::ReturnItem);
    Return->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    Quit = Windows->addAction(text::QuitItem);
    Quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(Return, &QAction::triggered, this, &Form4::Return_Click);
    connect(Quit, &QAction::triggered, this, &Form4::Quit_Click);

    Toolbar1 = new QToolBar(this);
    Toolbar1->setMovable(false);
    Toolbar1->setFloatable(false);
    Toolbar1->setIconSize(QSize(48, 48));
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbar1->setFixedHeight(twipsToPixels(kToolbarTwips));
    Toolbar1->setFont(mingFont(9));
    Toolbar1Buttons[0] = Toolbar1->addAction(QIcon(returnPicture()), text::ReturnButton);
    Toolbar1Buttons[1] = Toolbar1->addAction(QIcon(quitPicture()), text::QuitButton);
    for (QAction* button : Toolbar1Buttons)
        connect(button, &QAction::triggered, this,
                [this, button] { Toolbar1_ButtonClick(button); });
    addToolBar(Qt::TopToolBarArea, Toolbar1);

    // The client area below the toolbar; positions are counted from the top of the client area,
    // so the toolbar's height comes off every top.
    auto* client = new QWidget(this);
    client->setFont(kaiFont(14.25));
    client->setFixedSize(twipsToPixels(5895), twipsToPixels(6735 - kToolbarTwips));
    setCentralWidget(client);
    auto place = [](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(twipsRect(left, top, width, height));
    };
    auto label = [&](QWidget* parent, const QString& caption) {
        auto* l = new QLabel(caption, parent);
        return l;
    };
    auto field = [&](QWidget* parent, const QString& initial) {
        auto* f = new QLineEdit(initial, parent);
        f->setAlignment(Qt::AlignCenter);
        return f;
    };

    Frame1 = new QGroupBox(client);
    place(Frame1, 120, 1200 - kToolbarTwips, 5655, 3615);
    Label5 = label(Frame1, text::RampUnit);
    place(Label5, 360, 240, 2175, 255);
    Combo1 = new QComboBox(Frame1);
    place(Combo1, 480, 600, 1935, 405);
    Label6 = label(Frame1, text::AccelTime);
    place(Label6, 2640, 240, 1215, 255);
    Text3 = field(Frame1, text::RampInitial);
    place(Text3, 2640, 600, 1215, 405);
    Label7 = label(Frame1, text::DecelTime);
    place(Label7, 4080, 240, 1215, 255);
    Text4 = field(Frame1, text::RampInitial);
    place(Text4, 4080, 600, 1215, 405);
    Label1 = label(Frame1, text::RunFrequency);
    place(Label1, 3720, 1200, 1215, 255);
    Slider1 = new MoveSlider(Qt::Horizontal, Frame1);
    Slider1->setRange(1, 40000);
    Slider1->setValue(6000);
    Slider1->setTickInterval(5000);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setPageStep(10);
    Slider1->setSingleStep(1);
    // Moves are reported with or without a mouse button held.
    Slider1->setMouseTracking(true);
    place(Slider1, 360, 1560, 3255, 495);
    Text1 = field(Frame1, text::FrequencyInitial);
    place(Text1, 3720, 1560, 1215, 405);
    Label2 = label(Frame1, text::Hz);
    place(Label2, 5040, 1680, 495, 255);
    Command1 = new QPushButton(text::RunForward, Frame1);
    place(Command1, 360, 2280, 2450, 495);
    Command2 = new QPushButton(text::RunReverse, Frame1);
    place(Command2, 2880, 2280, 2450, 495);
    Command3 = new QPushButton(text::Stop, Frame1);
    place(Command3, 360, 2880, 5000, 495);
    Command3->setEnabled(false);

    Frame2 = new QGroupBox(client);
    place(Frame2, 120, 4920 - kToolbarTwips, 5655, 1695);
    Label4 = label(Frame2, text::JogFrequency);
    place(Label4, 1080, 360, 1215, 255);
    Text2 = field(Frame2, text::FrequencyInitial);
    place(Text2, 2520, 240, 1215, 405);
    Label3 = label(Frame2, text::Hz);
    place(Label3, 3960, 360, 495, 255);
    Command4 = new PressButton(text::JogForward, Frame2);
    place(Command4, 360, 960, 2450, 495);
    Command5 = new PressButton(text::JogReverse, Frame2);
    place(Command5, 2880, 960, 2450, 495);

    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
    connect(Command4, &PressButton::mouseDown, this, &Form4::Command4_MouseDown);
    connect(Command4, &PressButton::mouseUp, this, &Form4::Command4_MouseUp);
    connect(Command5, &PressButton::mouseDown, this, &Form4::Command5_MouseDown);
    connect(Command5, &PressButton::mouseUp, this, &Form4::Command5_MouseUp);
    connect(Slider1, &MoveSlider::mouseMoved, this, &Form4::Slider1_MouseMove);
    connect(Text1, &QLineEdit::textChanged, this, &Form4::Text1_Change);
    connect(Text1, &QLineEdit::returnPressed, this, [this] { Text1_KeyPress('\r'); });
    connect(Text3, &QLineEdit::returnPressed, this, [this] { Text3_KeyPress('\r'); });
    connect(Text4, &QLineEdit::returnPressed, this, [this] { Text4_KeyPress('\r'); });
    connect(Combo1, &QComboBox::activated, this, &Form4::Combo1_Click);

    adjustSize();
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

// ---- Entry ----

bool Form4::Form_Load() {
    Temp = isRtu(m_services.link.framing) ? 1 : 0;
    Preview = 0;
    Command3->setEnabled(false);
    Slider1->setMinimum(1);
    Slider1->setMaximum(40000);
    Slider1->setValue(6000);
    Slider1->setTickInterval(5000);

    m_port = m_services.ports->createPort(*m_services.wait);
    m_port->setCommPort(m_services.link.comPort);
    const bool open = m_port->setSettings(m_services.link.settings) && m_port->open() == OpenResult::Ok;
    if (!open) {
        // The mode menu has only just let go of the port; someone else has taken it.
        m_port.reset();
        m_services.dialogs->message(this, text::PortFailed, text::CommErrorTitle);
        return false;
    }

    Combo1->clear();
    Combo1->addItem(text::UnitHundredths);
    Combo1->addItem(text::UnitTenths);

    onLine([this] { enterDrive(); });
    m_loaded = true;
    return true;
}

void Form4::enterDrive() {
    // The ramp unit. Only 0 and 1 are units; anything else (or no reply) is left on the drive
    // as it is, and the list keeps no selection until the technician picks a unit.
    const std::string unit = readRegister(kRampUnit);
    const std::int32_t unitValue = integerOf(unit);
    if (!unit.empty() && (unitValue == 0 || unitValue == 1)) {
        Combo1->setCurrentIndex(unitValue);
        Flag96 = unitValue;
        applyUnit(unitValue);
    } else {
        Combo1->setCurrentIndex(-1);
        Flag96 = unit.empty() ? -1 : unitValue;
    }

    Flag97 = readRampTime(kAccelTime);
    Flag98 = readRampTime(kDecelTime);
    showRampTimes(tenthsOfSecond());

    // Save the frequency command and the maximum output frequency, then raise both to the top
    // of the slider. A value the drive did not give us is neither raised nor written back: we
    // could not put it back as it was.
    const std::string f32 = readRegister(kFrequencyCommand);
    const std::string f248 = readRegister(kMaxFrequency);
    m_saved32 = !f32.empty();
    m_saved248 = !f248.empty();
    Flag32 = integerOf(f32);
    Flag248 = integerOf(f248);
    if (m_saved248)
        writeRegister(kMaxFrequency, plainText(kPanelTop));
    if (m_saved32)
        writeRegister(kFrequencyCommand, plainText(kPanelTop));

    Main_F = readRegister(kFrequencySource);
    if (numberOf(Main_F) != 0 && ask(text::AskFrequencySource, text::FrequencySourceTitle))
        writeRegister(kFrequencySource, "00");
    Main_R = readRegister(kRunSource);
    if (numberOf(Main_R) != 2 && ask(text::AskRunSource, text::RunSourceTitle))
        writeRegister(kRunSource, "02");
    Main_Return = readRegister(kDirectionLimit);
    if (numberOf(Main_Return) != 0 && ask(text::AskReverse, text::ReverseTitle))
        writeRegister(kDirectionLimit, "00");
}

// ---- Line queue and transactions ----

void Form4::sendMotion(int frequencyRegister, const std::string& value, int word) {
    onLine(
        [this, frequencyRegister, value, word] {
            bool confirmed = writeRegister(frequencyRegister, value);
            confirmed = writeRegister(kCommandRegister, plainText(word)) && confirmed;
            if (!confirmed)
                m_unconfirmed = true;
        },
        JobKind::Motion);
}

void Form4::sendStop() {
    onLine(
        [this] {
            if (!writeRegister(kCommandRegister, plainText(kStop)))
                m_unconfirmed = true;
        },
        JobKind::Stop);
}

void Form4::onLine(Job job, JobKind kind) {
    auto at = m_jobs.end();
    if (kind == JobKind::Stop) {
        // A drag of the slider can queue many frequency writes; the motor must not wait for them.
        at = std::find_if(m_jobs.rbegin(), m_jobs.rend(),
                          [](const auto& j) { return j.first != JobKind::Other; })
                 .base();
    }
    m_jobs.insert(at, {kind, std::move(job)});
    if (m_draining)
        return;  // the queue is being worked off further out; it gets there
    m_draining = true;
    for (;;) {
        while (!m_jobs.empty()) {
            Job next = std::move(m_jobs.front().second);
            m_jobs.pop_front();
            next();
        }
        // Report only once the line is quiet, so that no box holds back a stop behind it, and
        // not while a jog button is held: the box would take the mouse and its release with it.
        if (!m_unconfirmed || m_jogHeld)
            break;
        m_unconfirmed = false;
        m_services.dialogs->message(this, text::NoAnswer, text::CommErrorTitle);
    }
    m_draining = false;
}

std::string Form4::readRegister(int reg) {
    if (!m_port)
        return {};
    const auto hi = static_cast<std::uint8_t>(reg >> 8);
    const auto lo = static_cast<std::uint8_t>(reg & 0xFF);
    if (Temp == 0)
        return ReadDataASCII(m_services.link.station, hi, lo, 0, 1, *m_port);
    return ReadData(m_services.link.station, hi, lo, 0, 1, *m_port);
}

bool Form4::writeRegister(int reg, const std::string& valueText) {
    if (!m_port)
        return false;
    // Nothing that a register cannot hold goes on the line: it would arrive as another value.
    const auto value = roundTo<std::int64_t>(lenientNumber(valueText));
    if (!value || *value < kRegisterLow || *value > kRegisterHigh)
        return false;
    const auto hi = static_cast<std::uint8_t>(reg >> 8);
    const auto lo = static_cast<std::uint8_t>(reg & 0xFF);
    if (Temp == 0) {
        const std::int64_t word = *value < 0 ? 65536 + *value : *value;
        return WriteDataASCII(formatNumber(m_services.link.station, "00"), formatNumber(hi, "00"),
                              formatNumber(lo, "00"), plainText(static_cast<double>(word)),
                              *m_port);
    }
    std::array<std::uint8_t, 2> bytes{};
    if (!D2Byte(plainText(static_cast<double>(*value)), bytes))
        return false;
    return WriteData(m_services.link.station, hi, lo, bytes[0], bytes[1], *m_port);
}

std::int32_t Form4::readRampTime(int reg) {
    // Ramp times run from 0 to 60000; the ASCII read gives the register signed, so a long ramp
    // would show negative.
    std::int32_t v = integerOf(readRegister(reg));
    if (v < 0)
        v += 65536;
    return v;
}

bool Form4::ask(const QString& question, const QString& title) {
    return m_services.dialogs->question(this, question, title) == kYes;
}

// ---- Run, jog, stop ----

void Form4::setRunning(bool running) {
    m_running = running;
    Command1->setEnabled(!running);
    Command2->setEnabled(!running);
    Command4->setEnabled(!running);
    Command5->setEnabled(!running);
    Combo1->setEnabled(!running);
    Command3->setEnabled(running);
}

void Form4::Command1_Click() {
    runCommand(kRunForward);
}
void Form4::Command2_Click() {
    runCommand(kRunReverse);
}

void Form4::runCommand(int word) {
    if (m_leaving)
        return;
    const double hertz = numberOf(Text1->text());
    if (hertz > kHighestFrequency || hertz < kLowestFrequency) {
        m_services.dialogs->message(this, text::FrequencyRange, text::FrequencyRangeTitle);
        return;
    }
    setRunning(true);
    const std::string value = hundredthsText(numberOf(formatNumber(hertz, "00.00")));
    m_lastSliderValue.reset();
    sendMotion(kFrequencyCommand, value, word);
}

void Form4::Command3_Click() {
    if (m_leaving)
        return;
    setRunning(false);
    sendStop();
}

void Form4::Command4_MouseDown() {
    jogDown(kJogForward);
}
void Form4::Command5_MouseDown() {
    jogDown(kJogReverse);
}
void Form4::Command4_MouseUp() {
    jogUp();
}
void Form4::Command5_MouseUp() {
    jogUp();
}

void Form4::jogDown(int word) {
    if (m_leaving)
        return;
    m_jogHeld = true;
    const double hertz = numberOf(Text2->text());
    if (hertz > kHighestFrequency || hertz < kLowestFrequency) {
        m_services.dialogs->message(this, text::FrequencyRange, text::FrequencyRangeTitle);
        return;
    }
    const std::string value = hundredthsText(numberOf(formatNumber(hertz, "000.00")));
    sendMotion(kJogFrequency, value, word);
}

void Form4::jogUp() {
    // A release after a way out has begun is left to the way out, which stops the motor itself.
    if (m_leaving)
        return;
    m_jogHeld = false;
    sendStop();
}

void Form4::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A jog button held while the window loses the mouse to another window never sees its
    // release: stop the motor now, as the release would.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && m_jogHeld)
        jogUp();
}

// ---- Frequency ----

void Form4::Slider1_MouseMove() {
    if (m_leaving)
        return;
    const int value = Slider1->value();
    // A move that leaves the slider where the last move put it changes nothing on the drive.
    if (m_lastSliderValue == value)
        return;
    m_lastSliderValue = value;
    Text1->setText(qs(formatNumber(value / 100.0, "00.00")));
    const std::string valueText = hundredthsText(numberOf(Text1->text()));
    onLine([this, valueText, value] {
        if (!writeRegister(kFrequencyCommand, valueText)) {
            if (m_lastSliderValue == value)
                m_lastSliderValue.reset();
            m_unconfirmed = true;
        }
    });
}

void Form4::Text1_Change() {
    const double hertz = numberOf(Text1->text());
    if (hertz >= kLowestFrequency && hertz <= kHighestFrequency)
        Slider1->setValue(integerOf(formatNumber(hertz * 100, "0")));
}

void Form4::Text1_KeyPress(int keyAscii) {
    if (keyAscii != '\r' || m_leaving)
        return;
    const std::string value = hundredthsText(numberOf(Text1->text()));
    if (!fitsRegister(value)) {
        // No range check here by design (a technician may go past 400 Hz), but a number the
        // register cannot hold would reach the drive as some other frequency.
        m_services.dialogs->message(this, text::FrequencyRange, text::FrequencyRangeTitle);
        return;
    }
    m_lastSliderValue.reset();
    onLine([this, value] {
        if (!writeRegister(kFrequencyCommand, value))
            m_unconfirmed = true;
    });
}

// ---- Ramp unit and times ----

void Form4::Combo1_Click() {
    if (m_leaving || Combo1->currentIndex() < 0)
        return;
    Flag96 = Combo1->currentIndex();
    const std::int32_t unit = Flag96;
    onLine([this, unit] { applyUnit(unit); });
}

void Form4::applyUnit(std::int32_t unit) {
    writeRegister(kRampUnit, formatNumber(unit, "00"));
    Flag97 = readRampTime(kAccelTime);
    Flag98 = readRampTime(kDecelTime);
    showRampTimes(unit == 1);
}

void Form4::showRampTimes(bool tenths) {
    if (tenths) {
        Text3->setText(qs(formatNumber(Flag97 / 10.0, "0.0")));
        Text4->setText(qs(formatNumber(Flag98 / 10.0, "0.0")));
    } else {
        Text3->setText(qs(formatNumber(Flag97 / 100.0, "0.00")));
        Text4->setText(qs(formatNumber(Flag98 / 100.0, "0.00")));
    }
}

void Form4::Text3_KeyPress(int keyAscii) {
    if (keyAscii == '\r')
        rampKeyPress(Text3, kAccelTime, text::AccelRange);
}

void Form4::Text4_KeyPress(int keyAscii) {
    if (keyAscii == '\r')
        rampKeyPress(Text4, kDecelTime, text::DecelRange);
}

void Form4::rampKeyPress(QLineEdit* field, int reg, const QString& rangeMessage) {
    if (m_leaving)
        return;
    const bool tenths = tenthsOfSecond();
    const double scale = tenths ? 10 : 100;
    const auto raw = roundTo<std::int32_t>(numberOf(field->text()) * scale);
    if (raw)
        field->setText(qs(formatNumber(*raw / scale, tenths ? "0.0" : "0.00")));
    // Below -32768 the register cannot hold the time: it would arrive as a long positive ramp.
    if (!raw || *raw > kLongestRamp || *raw < kRegisterLow) {
        m_services.dialogs->message(this, rangeMessage, text::RampRangeTitle);
        return;
    }
    const std::string value = plainText(*raw);
    onLine([this, reg, value] { writeRegister(reg, value); });
}

// ---- Ways out ----

void Form4::Toolbar1_ButtonClick(QAction* button) {
    if (!button)
        return;
    if (button->text() == text::ReturnButton)
        leave(Way::Return);
    else if (button->text() == text::QuitButton)
        leave(Way::Quit);
}

void Form4::Return_Click() {
    Toolbar1_ButtonClick(Toolbar1Buttons[0]);
}
void Form4::Quit_Click() {
    Toolbar1_ButtonClick(Toolbar1Buttons[1]);
}

void Form4::leave(Way way) {
    if (m_leaving || !m_loaded)
        return;
    m_leaving = true;
    if (way == Way::Return)
        Preview = 1;
    // Nothing more is taken from the technician; what is already queued still goes out first.
    centralWidget()->setEnabled(false);
    Toolbar1->setEnabled(false);
    menuBar()->setEnabled(false);
    onLine([this, way] { finishLeaving(way); });
}

void Form4::finishLeaving(Way way) {
    Restore();
    closePort();
    switch (way) {
        case Way::Return:
            if (m_services.windows.menu)
                m_services.windows.menu();
            m_closeAllowed = true;
            close();
            break;
        case Way::Quit:
            m_quitting = true;
            if (m_services.quit)
                m_services.quit();
            break;
        case Way::Close:
            m_closeAllowed = true;
            if (m_closeDeferred)
                close();
            break;
    }
}

void Form4::Restore() {
    // Walking away from a turning motor is not an option: stop it first.
    if (m_running || m_jogHeld) {
        m_jogHeld = false;
        setRunning(false);
        if (!writeRegister(kCommandRegister, plainText(kStop)))
            m_unconfirmed = true;
    }
    if (m_unconfirmed) {
        m_unconfirmed = false;
        m_services.dialogs->message(this, text::NoAnswer, text::CommErrorTitle);
    }

    if (m_saved248)
        writeRegister(kMaxFrequency, plainText(Flag248));
    if (m_saved32)
        writeRegister(kFrequencyCommand, plainText(Flag32));

    // Each setting is offered back only when the drive told us what it was at entry.
    Main_F_Temp = readRegister(kFrequencySource);
    if (!Main_F.empty() && numberOf(Main_F) != numberOf(Main_F_Temp) &&
        ask(text::AskFrequencySourceBack, text::FrequencySourceTitle))
        writeRegister(kFrequencySource, Main_F);
    Main_R_Temp = readRegister(kRunSource);
    if (!Main_R.empty() && numberOf(Main_R) != numberOf(Main_R_Temp) &&
        ask(text::AskRunSourceBack, text::RunSourceTitle))
        writeRegister(kRunSource, Main_R);
    Main_Return_Temp = readRegister(kDirectionLimit);
    if (!Main_Return.empty() && numberOf(Main_Return) != numberOf(Main_Return_Temp) &&
        ask(text::AskReverseBack, text::ReverseBackTitle))
        writeRegister(kDirectionLimit, Main_Return);
}

void Form4::closePort() {
    if (m_port && m_port->isOpen())
        m_port->close();
}

void Form4::closeEvent(QCloseEvent* event) {
    Form_Unload(event);
}

void Form4::Form_Unload(QCloseEvent* event) {
    // Return (Preview = 1) and quit have restored already; so has a close that had to wait.
    if (!m_loaded || m_closeAllowed || m_quitting) {
        closePort();
        event->accept();
        return;
    }
    // A way out is under way and closes the window itself when done.
    if (m_leaving) {
        event->ignore();
        return;
    }
    // Inside a transaction's wait the restore must queue behind the command on the line; the
    // window then closes once it is done.
    const bool queued = m_draining;
    m_closeDeferred = queued;
    leave(Way::Close);
    if (queued)
        event->ignore();
    else
        event->accept();
}

QWidget* showRunPanel(Services& services) {
    auto* panel = new Form4(services);
    if (!panel->Form_Load()) {
        delete panel;
        return services.windows.menu ? services.windows.menu() : nullptr;
    }
    panel->show();
    return panel;
}

}  // namespace velorin
