#include "ModeMenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "platform/LinkStatus.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString EditorButton = QStringLiteral("變頻機參數調整");
const QString RunPanelButton = QStringLiteral("變頻機運轉試車");
const QString Reading = QStringLiteral("參數讀取中，請稍候");
const QString DevelopWriting = QStringLiteral("開發參數寫入中，請稍候");
}  // namespace text

constexpr int kMaxDots = 12;

}  // namespace

ModeMenu::ModeMenu(Services& services, QWidget* parent) : QWidget(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("modeMenu"));
    m_session = std::make_unique<LineSession>(m_services.ports->createPort(*m_services.wait));
    buildControls();
    // Key preview: the window sees every key before the control that has the focus.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

ModeMenu::~ModeMenu() = default;

void ModeMenu::buildControls() {
    setWindowTitle(text::Caption);
    // One line more than the buttons and the progress line need, for the link in use.
    setFixedSize(twipsToPixels(5895), twipsToPixels(3120));
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    const QFont kai = kaiFont();
    auto button = [&](const char* name, const QString& t, int top) {
        auto* b = new QPushButton(t, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(kai);
        b->setGeometry(twipsRect(720, top, 4455, 600));
        b->setAutoDefault(false);
        return b;
    };
    m_editorButton = button("editorButton", text::EditorButton, 300);
    m_runPanelButton = button("runPanelButton", text::RunPanelButton, 1110);

    m_progressLine = new QLineEdit(text::Reading, this);
    m_progressLine->setObjectName(QStringLiteral("progressLine"));
    m_progressLine->setFont(kai);
    m_progressLine->setFrame(false);
    m_progressLine->setGeometry(twipsRect(720, 1980, 4455, 420));
    m_progressLine->setFocusPolicy(Qt::NoFocus);
    m_progressLine->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    m_progressLine->setReadOnly(true);
    m_progressLine->hide();

    m_statusLine = new QLabel(linkStatusText(m_services), this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setFont(mingFont());
    m_statusLine->setGeometry(twipsRect(240, 2700, 5415, 360));

    m_progressTimer = new QTimer(this);
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(1000);

    connect(m_editorButton, &QPushButton::clicked, this, &ModeMenu::onEditorClicked);
    connect(m_runPanelButton, &QPushButton::clicked, this, &ModeMenu::onRunPanelClicked);
    connect(m_progressTimer, &QTimer::timeout, this, &ModeMenu::onProgressTick);
}

bool ModeMenu::eventFilter(QObject* watched, QEvent* event) {
    // A press the control does not use travels on to the window; by its release it is over.
    if (event->type() == QEvent::KeyRelease && watched != this)
        m_previewed = nullptr;
    if (event->type() == QEvent::KeyPress && watched != this) {
        const auto* key = static_cast<QKeyEvent*>(event);
        m_previewed = key;
        if (previewKey(key->key(), key->modifiers()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ModeMenu::keyPressEvent(QKeyEvent* event) {
    // A key a control left unused comes on to the window: it was seen already.
    const bool seen = event == m_previewed;
    m_previewed = nullptr;
    if (!seen && previewKey(event->key(), event->modifiers()))
        return;
    QWidget::keyPressEvent(event);
}

bool ModeMenu::previewKey(int /*key*/, Qt::KeyboardModifiers /*modifiers*/) {
    return false;
}

void ModeMenu::closeEvent(QCloseEvent* event) {
    if (busy()) {
        // Taken once the handler under way has ended: it still runs in this window.
        event->ignore();
        m_session->whenIdle([this] { close(); });
        return;
    }
    m_session->close();
    event->accept();
}

void ModeMenu::leave() {
    m_leaving = true;
    m_session->whenIdle([this] { close(); });
}

void ModeMenu::onEditorClicked() {
    if (busy() || m_leaving)
        return;
    m_session->submit([this] {
        m_session->close();
        m_editorButton->setEnabled(false);
        m_runPanelButton->setEnabled(false);
        // The editor closes the menu once it has read its first page.
        m_services.windows.editor();
    });
}

void ModeMenu::onRunPanelClicked() {
    if (busy() || m_leaving)
        return;
    m_session->submit([this] {
        m_session->close();
        m_editorButton->setEnabled(false);
        m_runPanelButton->setEnabled(false);
        m_services.windows.runPanel();
        leave();
    });
}

void ModeMenu::onProgressTick() {
    if (m_dots < kMaxDots) {
        m_progressLine->setText(m_progressLine->text() + QLatin1Char('.'));
        ++m_dots;
    } else {
        m_progressLine->setText(text::DevelopWriting);
        m_dots = 0;
    }
}

void closeModeMenus() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<ModeMenu*>(w); menu && menu->isVisible())
            menu->close();
}

}  // namespace velorin
