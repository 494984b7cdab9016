#include "RunPanel.h"

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
#include <QStatusBar>
#include <QToolBar>

#include "RunBoxes.h"
#include "RunTexts.h"
#include "ToolbarPictures.h"
#include "platform/ElidingLabel.h"
#include "ui/common/LinkStatus.h"
#include "platform/Services.h"
#include "platform/Twips.h"
#include "platform/QtText.h"

namespace velorin {

namespace {

constexpr int kToolbarTwips = 1140;

std::string textOf(const QLineEdit* field) {
    return field->text().toStdString();
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

RunPanel::RunPanel(Services& services, Opening opening, QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_opening(std::move(opening)),
      m_session(std::make_unique<RunSession>(createLineSession(services), sessionHooks())) {
    setObjectName("runPanel");
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow();
}

RunHooks RunPanel::sessionHooks() {
    RunHooks hooks = runBoxes(m_services, this);
    hooks.stateChanged = [this] { showState(); };
    hooks.rampTimesRead = [this] { showRampTimes(); };
    return hooks;
}

RunPanel::~RunPanel() = default;

void RunPanel::buildWindow() {
    namespace text = runtext;
    setWindowTitle(text::Caption);
    setContextMenuPolicy(Qt::PreventContextMenu);

    m_windowsMenu = menuBar()->addMenu(text::WindowsMenu);
    m_windowsMenu->setObjectName("windowsMenu");
    m_returnAction = m_windowsMenu->addAction(text::ReturnItem);
    m_returnAction->setObjectName("returnAction");
    m_returnAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_quitAction = m_windowsMenu->addAction(text::QuitItem);
    m_quitAction->setObjectName("quitAction");
    m_quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(m_returnAction, &QAction::triggered, this, &RunPanel::onReturnTriggered);
    connect(m_quitAction, &QAction::triggered, this, &RunPanel::onQuitTriggered);
    QAction* monitor = m_windowsMenu->addAction(text::MonitorItem);
    monitor->setObjectName("monitorAction");
    monitor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(monitor, &QAction::triggered, this, [this] {
        if (m_services.showMonitor)
            m_services.showMonitor();
    });

    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName("toolbar");
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(48, 48));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setFixedHeight(twipsToPixels(kToolbarTwips));
    m_toolbar->setFont(mingFont(9));
    m_returnToolAction = m_toolbar->addAction(QIcon(returnPicture()), text::ReturnButton);
    m_returnToolAction->setObjectName("returnToolAction");
    m_returnToolAction->setIconText(text::ReturnButton + QLatin1String("(&R)"));
    m_quitToolAction = m_toolbar->addAction(QIcon(quitPicture()), text::QuitButton);
    m_quitToolAction->setIconText(text::QuitButton + QLatin1String("(&Q)"));
    m_quitToolAction->setObjectName("quitToolAction");
    connect(m_returnToolAction, &QAction::triggered, this, &RunPanel::onReturnTriggered);
    connect(m_quitToolAction, &QAction::triggered, this, &RunPanel::onQuitTriggered);
    addToolBar(Qt::TopToolBarArea, m_toolbar);

    // The client area below the toolbar; positions are counted from the top of the client area,
    // so the toolbar's height comes off every top.
    auto* client = new QWidget(this);
    client->setObjectName("client");
    client->setFont(kaiFont(14.25));
    // Two lines below the frames for what the panel holds changed on the drive meanwhile.
    client->setFixedSize(twipsToPixels(5895), twipsToPixels(7335 - kToolbarTwips));
    setCentralWidget(client);
    auto place = [](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(name);
        w->setGeometry(twipsRect(left, top, width, height));
    };
    auto field = [](QWidget* parent, const QString& initial) {
        auto* f = new QLineEdit(initial, parent);
        f->setAlignment(Qt::AlignCenter);
        return f;
    };

    m_runFrame = new QGroupBox(client);
    place(m_runFrame, "runFrame", 120, 1200 - kToolbarTwips, 5655, 3615);
    m_rampUnitLabel = new QLabel(text::RampUnit, m_runFrame);
    place(m_rampUnitLabel, "rampUnitLabel", 360, 240, 2175, 255);
    m_rampUnitCombo = new QComboBox(m_runFrame);
    m_rampUnitCombo->addItem(text::UnitHundredths);
    m_rampUnitCombo->addItem(text::UnitTenths);
    place(m_rampUnitCombo, "rampUnitCombo", 480, 600, 1935, 405);
    // Wide enough for "0：0.01 sec" whole in the type the panel uses.
    m_rampUnitCombo->resize(std::max(m_rampUnitCombo->width(), m_rampUnitCombo->sizeHint().width()),
                            m_rampUnitCombo->height());
    m_accelTimeLabel = new QLabel(text::AccelTime, m_runFrame);
    place(m_accelTimeLabel, "accelTimeLabel", 2640, 240, 1215, 255);
    m_accelTimeEdit = field(m_runFrame, text::RampInitial);
    place(m_accelTimeEdit, "accelTimeEdit", 2640, 600, 1215, 405);
    m_decelTimeLabel = new QLabel(text::DecelTime, m_runFrame);
    place(m_decelTimeLabel, "decelTimeLabel", 4080, 240, 1215, 255);
    m_decelTimeEdit = field(m_runFrame, text::RampInitial);
    place(m_decelTimeEdit, "decelTimeEdit", 4080, 600, 1215, 405);
    m_frequencyLabel = new QLabel(text::RunFrequency, m_runFrame);
    place(m_frequencyLabel, "frequencyLabel", 3720, 1200, 1215, 255);
    m_frequencySlider = new MoveSlider(Qt::Horizontal, m_runFrame);
    // The panel's one range, 1.50~400.00 Hz: the slider writes no frequency the buttons refuse.
    m_frequencySlider->setRange(150, 40000);
    m_frequencySlider->setValue(6000);
    m_frequencySlider->setTickInterval(5000);
    m_frequencySlider->setTickPosition(QSlider::TicksBelow);
    m_frequencySlider->setPageStep(10);
    m_frequencySlider->setSingleStep(1);
    // Moves are reported with or without a mouse button held.
    m_frequencySlider->setMouseTracking(true);
    place(m_frequencySlider, "frequencySlider", 360, 1560, 3255, 495);
    m_frequencyEdit = field(m_runFrame, text::FrequencyInitial);
    place(m_frequencyEdit, "frequencyEdit", 3720, 1560, 1215, 405);
    m_frequencyUnitLabel = new QLabel(text::Hz, m_runFrame);
    place(m_frequencyUnitLabel, "frequencyUnitLabel", 5040, 1680, 495, 255);
    m_runForwardButton = new QPushButton(text::RunForward, m_runFrame);
    place(m_runForwardButton, "runForwardButton", 360, 2280, 2450, 495);
    m_runReverseButton = new QPushButton(text::RunReverse, m_runFrame);
    place(m_runReverseButton, "runReverseButton", 2880, 2280, 2450, 495);
    m_stopButton = new QPushButton(text::Stop, m_runFrame);
    place(m_stopButton, "stopButton", 360, 2880, 5000, 495);
    // Space or Enter stops once a run command has put the focus here.
    m_stopButton->setAutoDefault(true);

    m_jogFrame = new QGroupBox(client);
    place(m_jogFrame, "jogFrame", 120, 4920 - kToolbarTwips, 5655, 1695);
    m_jogFrequencyLabel = new QLabel(text::JogFrequency, m_jogFrame);
    place(m_jogFrequencyLabel, "jogFrequencyLabel", 1080, 360, 1215, 255);
    m_jogFrequencyEdit = field(m_jogFrame, text::FrequencyInitial);
    place(m_jogFrequencyEdit, "jogFrequencyEdit", 2520, 240, 1215, 405);
    m_jogFrequencyUnitLabel = new QLabel(text::Hz, m_jogFrame);
    place(m_jogFrequencyUnitLabel, "jogFrequencyUnitLabel", 3960, 360, 495, 255);
    m_jogForwardButton = new PressButton(text::JogForward, m_jogFrame);
    place(m_jogForwardButton, "jogForwardButton", 360, 960, 2450, 495);
    m_jogReverseButton = new PressButton(text::JogReverse, m_jogFrame);
    place(m_jogReverseButton, "jogReverseButton", 2880, 960, 2450, 495);

    m_noteLabel = new QLabel(client);
    place(m_noteLabel, "noteLabel", 240, 6675 - kToolbarTwips, 5415, 600);
    m_noteLabel->setFont(mingFont());
    m_noteLabel->setWordWrap(true);
    m_noteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Whether the drive confirmed the last command.
    m_stateLabel = new ElidingLabel(this);
    m_stateLabel->setObjectName("stateLabel");
    m_stateLabel->setFont(kaiFont(14.25));
    statusBar()->setObjectName("statusBar");
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(m_stateLabel, 1);
    // The link in use, as the mode menu shows it.
    auto* linkLabel = new ElidingLabel(this);
    linkLabel->setFullText(linkStatusText(m_services));
    linkLabel->setObjectName("linkLabel");
    linkLabel->setFont(mingFont());
    statusBar()->addPermanentWidget(linkLabel);
    m_session->line().setOnSlowDrive([this, linkLabel] {
        linkLabel->setFullText(linkStatusText(m_services) + QStringLiteral("　") +
                               slowDriveText(m_session->line().replyTimeout()));
    });

    connect(m_runForwardButton, &QPushButton::clicked, this, &RunPanel::onRunForwardClicked);
    connect(m_runReverseButton, &QPushButton::clicked, this, &RunPanel::onRunReverseClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &RunPanel::onStopClicked);
    connect(m_jogForwardButton, &PressButton::mouseDown, this, &RunPanel::onJogForwardPressed);
    connect(m_jogForwardButton, &PressButton::mouseUp, this, &RunPanel::onJogReleased);
    connect(m_jogReverseButton, &PressButton::mouseDown, this, &RunPanel::onJogReversePressed);
    connect(m_jogReverseButton, &PressButton::mouseUp, this, &RunPanel::onJogReleased);
    connect(m_frequencySlider, &MoveSlider::mouseMoved, this, &RunPanel::onSliderMoved);
    connect(m_frequencyEdit, &QLineEdit::textChanged, this, &RunPanel::onFrequencyTextChanged);
    connect(m_frequencyEdit, &QLineEdit::returnPressed, this, &RunPanel::onFrequencyEntered);
    connect(m_accelTimeEdit, &QLineEdit::returnPressed, this, &RunPanel::onAccelTimeEntered);
    connect(m_decelTimeEdit, &QLineEdit::returnPressed, this, &RunPanel::onDecelTimeEntered);
    connect(m_rampUnitCombo, &QComboBox::activated, this, &RunPanel::onRampUnitActivated);

    showState();
    adjustSize();
    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

bool RunPanel::load() {
    if (!m_session->open(m_services.link()))
        return false;
    m_services.portLost = false;
    if (auto* link = findChild<ElidingLabel*>("linkLabel"))
        link->setFullText(linkStatusText(m_services));
    if (!m_session->enter())
        return false;
    // The jog starts at the drive's own jog frequency, so a jog leaves it as it was.
    if (const auto jog = m_session->jogFrequencyText())
        m_jogFrequencyEdit->setText(qs(*jog));
    showState();  // names what the panel holds changed meanwhile
    return true;
}

QString RunPanel::heldSettingsText() const {
    QStringList items;
    for (const HeldSetting& held : m_session->heldSettings()) {
        const bool hertz = held.setting == RunSetting::MaxFrequency ||
                           held.setting == RunSetting::FrequencyCommand ||
                           held.setting == RunSetting::JogFrequency;
        items << settingName(held.setting) + QLatin1Char(' ') + qs(held.value) +
                     (hertz ? QStringLiteral(" Hz") : QString());
    }
    return items.join(QStringLiteral("、"));
}

void RunPanel::showState() {
    const bool running = m_session->running();
    m_runForwardButton->setEnabled(!running);
    m_runReverseButton->setEnabled(!running);
    m_jogForwardButton->setEnabled(!running);
    m_jogReverseButton->setEnabled(!running);
    m_rampUnitCombo->setEnabled(!running);
    // A stop is always allowed: the drive may not be doing what the panel shows.
    m_stopButton->setEnabled(true);
    // Not into the jog frequency field, where a typed digit would change the jog frequency.
    if (running && !m_shownRunning)
        m_stopButton->setFocus();
    m_shownRunning = running;
    m_stateLabel->setFullText(m_session->stateUnconfirmed() ? runtext::StateUnconfirmed
                                                            : QString());
    // What the panel holds changed on the drive is the technician's to know: it is put back on
    // the way out.
    if (m_session->entered() && !m_session->leaving()) {
        const QString held = heldSettingsText();
        m_noteLabel->setText(held.isEmpty() ? QString() : runtext::HeldSettings.arg(held));
    }
}

void RunPanel::showRampTimes() {
    const int unit = m_session->rampUnit();
    m_rampUnitCombo->setCurrentIndex(unit == 0 || unit == 1 ? unit : -1);
    m_accelTimeEdit->setText(qs(m_session->rampTimeText(RunSession::Ramp::Accel)));
    m_decelTimeEdit->setText(qs(m_session->rampTimeText(RunSession::Ramp::Decel)));
}

// ---- Run, jog, stop ----

void RunPanel::onRunForwardClicked() {
    m_session->run(RunSession::Direction::Forward, textOf(m_frequencyEdit));
}

void RunPanel::onRunReverseClicked() {
    m_session->run(RunSession::Direction::Reverse, textOf(m_frequencyEdit));
}

void RunPanel::onStopClicked() {
    m_session->stop();
}

void RunPanel::onJogForwardPressed() {
    m_session->jogPress(RunSession::Direction::Forward, textOf(m_jogFrequencyEdit));
}

void RunPanel::onJogReversePressed() {
    m_session->jogPress(RunSession::Direction::Reverse, textOf(m_jogFrequencyEdit));
}

void RunPanel::onJogReleased() {
    m_session->jogRelease();
}

void RunPanel::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // A jog button held while the window loses the mouse to another window never sees its
    // release: stop the motor now, as the release would.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && m_session->jogHeld())
        m_session->jogRelease();
}

// ---- Frequency ----

void RunPanel::onSliderMoved() {
    if (m_session->leaving())
        return;
    const int value = m_frequencySlider->value();
    m_frequencyEdit->setText(qs(RunSession::sliderText(value)));
    m_session->sliderMoved(value);
}

void RunPanel::onFrequencyTextChanged() {
    if (const auto value = RunSession::sliderValueFor(textOf(m_frequencyEdit)))
        m_frequencySlider->setValue(*value);
}

void RunPanel::onFrequencyEntered() {
    m_session->enterFrequency(textOf(m_frequencyEdit));
}

// ---- Ramp unit and times ----

void RunPanel::onRampUnitActivated(int index) {
    m_session->chooseRampUnit(index);
}

void RunPanel::onAccelTimeEntered() {
    m_accelTimeEdit->setText(
        qs(m_session->enterRampTime(RunSession::Ramp::Accel, textOf(m_accelTimeEdit))));
}

void RunPanel::onDecelTimeEntered() {
    m_decelTimeEdit->setText(
        qs(m_session->enterRampTime(RunSession::Ramp::Decel, textOf(m_decelTimeEdit))));
}

// ---- Ways out ----

void RunPanel::onReturnTriggered() {
    leave(Way::Return);
}

void RunPanel::onQuitTriggered() {
    leave(Way::Quit);
}

void RunPanel::leave(Way way) {
    if (m_session->leaving() || !m_session->entered())
        return;
    // Nothing more is taken from the technician.
    centralWidget()->setEnabled(false);
    m_toolbar->setEnabled(false);
    menuBar()->setEnabled(false);
    if (const QString held = heldSettingsText(); !held.isEmpty())
        m_noteLabel->setText(runtext::HeldSettingsRestoring.arg(held));
    m_session->leave([this, way] { finishLeaving(way); });
}

void RunPanel::finishLeaving(Way way) {
    m_finished = true;
    switch (way) {
        case Way::Return:
            if (m_opening.back)
                m_opening.back();
            close();
            break;
        case Way::Quit:
            if (m_services.quit)
                m_services.quit();
            break;
        case Way::Close:
            break;
    }
}

void RunPanel::closeEvent(QCloseEvent* event) {
    if (!m_session->entered() || m_finished) {
        event->accept();
        return;
    }
    // A close while the line is busy is taken once it is idle; a way out under way closes the
    // window itself when done.
    if (m_session->line().busy() || m_session->leaving()) {
        event->ignore();
        if (!m_session->leaving() && !m_closePending) {
            m_closePending = true;
            m_session->line().whenIdle([this] {
                m_closePending = false;
                close();
            });
        }
        return;
    }
    leave(Way::Close);  // the line is idle: the restore runs now
    event->setAccepted(m_finished);
}

QWidget* showRunPanel(Services& services, const Opening& opening) {
    auto* panel = new RunPanel(services, opening);
    if (!panel->load()) {
        delete panel;
        return opening.back ? opening.back() : nullptr;
    }
    panel->show();
    return panel;
}

}  // namespace velorin
