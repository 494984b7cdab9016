#include "Select.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "platform/HandlerGuard.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString Command1 = QStringLiteral("變頻機參數調整");
const QString Command2 = QStringLiteral("變頻機運轉試車");
const QString Reading = QStringLiteral("參數讀取中，請稍候");
const QString DevelopWriting = QStringLiteral("開發參數寫入中，請稍候");
}  // namespace text

constexpr int kMaxDots = 12;

}  // namespace

Form2::Form2(Services& services, QWidget* parent) : QWidget(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form2"));
    MSComm1 = m_services.ports->createPort(*m_services.wait);
    buildControls();
    Form_Load();
}

Form2::~Form2() {
    if (MSComm1 && MSComm1->isOpen())
        MSComm1->close();
}

void Form2::buildControls() {
    setWindowTitle(text::Caption);
    setFixedSize(twipsToPixels(5895), twipsToPixels(2730));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    const QFont kai = kaiFont();
    auto button = [&](const QString& t, int top) {
        auto* b = new QPushButton(t, this);
        b->setFont(kai);
        b->setGeometry(twipsRect(720, top, 4455, 600));
        b->setAutoDefault(false);
        return b;
    };
    Command1 = button(text::Command1, 300);
    Command2 = button(text::Command2, 1110);

    Text1 = new QLineEdit(text::Reading, this);
    Text1->setFont(kai);
    Text1->setFrame(false);
    Text1->setGeometry(twipsRect(720, 1980, 4455, 420));
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));

    Timer2 = new QTimer(this);

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Timer2, &QTimer::timeout, this, &Form2::Timer2_Timer);
}

void Form2::Form_Load() {
    MSComm1->close();
    Timer2->stop();
    Timer2->setInterval(1000);
    // Key preview: the window sees every key before the control that has the focus.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    DOT = 0;
    Text1->setReadOnly(true);
    Text1->hide();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    // A press the control does not use travels on to the window; by its release it is over.
    if (event->type() == QEvent::KeyRelease && watched != this)
        m_previewed = nullptr;
    if (event->type() == QEvent::KeyPress && watched != this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        m_previewed = key;
        if (Form_KeyDown(key->key(), key->modifiers()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::keyPressEvent(QKeyEvent* event) {
    // A key a control left unused comes on to the window: it was seen already.
    const bool seen = event == m_previewed;
    m_previewed = nullptr;
    if (!seen && Form_KeyDown(event->key(), event->modifiers()))
        return;
    QWidget::keyPressEvent(event);
}

bool Form2::Form_KeyDown(int /*keyCode*/, Qt::KeyboardModifiers /*shift*/) {
    // F12 (the developers' bulk write) is not part of this window yet.
    return false;
}

void Form2::closeEvent(QCloseEvent* event) {
    if (m_guard.holdBack(event))
        return;
    if (MSComm1->isOpen())
        MSComm1->close();
    event->accept();
}

void Form2::leave() {
    m_guard.closeWindow();
}

void Form2::Command1_Click() {
    HandlerGuard::Scope scope(m_guard);
    if (MSComm1->isOpen())
        MSComm1->close();
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    // The editor closes the menu once it has read its first page.
    m_services.windows.editor();
}

void Form2::Command2_Click() {
    HandlerGuard::Scope scope(m_guard);
    if (MSComm1->isOpen())
        MSComm1->close();
    m_services.windows.runPanel();
    leave();
}

void Form2::Timer2_Timer() {
    if (DOT < kMaxDots) {
        Text1->setText(Text1->text() + QLatin1Char('.'));
        ++DOT;
    } else {
        Text1->setText(text::DevelopWriting);
        DOT = 0;
    }
}

void closeModeMenus() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<Form2*>(w); menu && menu->isVisible())
            menu->close();
}

}  // namespace velorin
