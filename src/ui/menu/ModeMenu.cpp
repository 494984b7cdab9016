#include "ModeMenu.h"

#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>

#include "drive/DeveloperWrite.h"
#include "editor/ParameterFile.h"
#include "platform/DefaultButton.h"
#include "platform/LinkStatus.h"
#include "platform/Twips.h"
#include "platform/WindowChangeLog.h"

namespace velorin {

namespace {

// Everything this window shows, in one place.
namespace text {
const QString Caption = QStringLiteral("VELORIN － 模式選擇");
const QString EditorButton = QStringLiteral("變頻機參數調整(&E)");
const QString RunPanelButton = QStringLiteral("變頻機運轉試車(&R)");
const QString DisconnectButton = QStringLiteral("中斷連線(&D)");
const QString Reading = QStringLiteral("參數讀取中，請稍候");
const QString DevelopWriting = QStringLiteral("開發參數寫入中，請稍候");
}  // namespace text

constexpr int kMaxDots = 12;

}  // namespace

ModeMenu::ModeMenu(Services& services, QWidget* parent) : QWidget(parent), m_services(services) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("modeMenu"));
    m_session = createLineSession(m_services);
    buildControls();
    // Key preview: the window sees every key before the control that has the focus.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

ModeMenu::~ModeMenu() = default;

void ModeMenu::buildControls() {
    setWindowTitle(text::Caption);
    // One line more than the buttons and the progress line need, for the link in use.
    setFixedSize(twipsToPixels(5895), twipsToPixels(3780));
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
    m_editorButton->setDefault(true);  // Enter opens the editor
    m_runPanelButton = button("runPanelButton", text::RunPanelButton, 1110);
    // Back to the connection screen, the port closed: another port, or offline work.
    m_disconnectButton = button("disconnectButton", text::DisconnectButton, 1920);
    m_disconnectButton->setGeometry(twipsRect(1800, 1920, 2295, 480));
    m_disconnectButton->setToolTip(QStringLiteral("Ctrl+D"));

    m_progressLine = new QLineEdit(text::Reading, this);
    m_progressLine->setObjectName(QStringLiteral("progressLine"));
    m_progressLine->setFont(kai);
    m_progressLine->setFrame(false);
    m_progressLine->setGeometry(twipsRect(720, 2640, 4455, 420));
    m_progressLine->setFocusPolicy(Qt::NoFocus);
    m_progressLine->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    m_progressLine->setReadOnly(true);
    m_progressLine->hide();

    m_statusLine = new QLabel(linkStatusText(m_services), this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setFont(mingFont());
    m_statusLine->setGeometry(twipsRect(240, 3360, 5415, 360));

    m_progressTimer = new QTimer(this);
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(1000);

    connect(m_editorButton, &QPushButton::clicked, this, &ModeMenu::onEditorClicked);
    connect(m_runPanelButton, &QPushButton::clicked, this, &ModeMenu::onRunPanelClicked);
    connect(m_disconnectButton, &QPushButton::clicked, this, &ModeMenu::onDisconnectClicked);
    auto* disconnectKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(disconnectKey, &QShortcut::activated, this, &ModeMenu::onDisconnectClicked);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated, this,
            [this] {
                if (m_services.showMonitor)
                    m_services.showMonitor();
            });
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
    if (!busy() && !m_leaving && pressOnEnter(event, m_editorButton))
        return;
    QWidget::keyPressEvent(event);
}

bool ModeMenu::previewKey(int key, Qt::KeyboardModifiers /*modifiers*/) {
    if (key != Qt::Key_F12)
        return false;
    if (!busy() && !m_leaving)
        developerWrite();
    return true;
}

void ModeMenu::developerWrite() {
    const QString password =
        m_services.dialogs
            ->password(this, QString::fromUtf8(kDeveloperPrompt),
                       QString::fromUtf8(kDeveloperTitle))
            .value_or(QString());
    if (!developerPasswordMatches(password.toStdString())) {
        m_services.dialogs->message(this, QString::fromUtf8(kWrongPasswordText),
                                    QString::fromUtf8(kWrongPasswordTitle));
        return;
    }
    setButtonsEnabled(false);
    m_progressLine->setText(QString::fromUtf8(kDeveloperProgressText));
    m_dots = 0;
    m_progressLine->show();
    m_progressTimer->start();

    // Its lines name the file: "開發參數寫入 Develop.txt".
    WindowChangeLog log(m_services, QString::fromUtf8(kDeveloperCommand));
    DeveloperWriteHooks hooks;
    hooks.chooseFile = [this, &log]() -> std::optional<std::string> {
        const QString folder = developerFolder();
        const auto path = m_services.dialogs->openFile(this, QString(), folder,
                                                       QStringLiteral("Text Files (*.txt)"));
        if (!path)
            return std::nullopt;
        log.setCommand(QString::fromUtf8(kDeveloperCommand) + QLatin1Char(' ') +
                       QFileInfo(*path).fileName());
        TextFileRead file = readTextFile(path->toStdString());
        if (!file.bytes) {
            m_services.dialogs->message(this, QString::fromStdString(file.error),
                                        QString::fromUtf8(kFileErrorTitle));
            return std::nullopt;
        }
        return file.bytes;
    };
    hooks.tell = [this](const DeveloperMessage& m) {
        m_services.dialogs->message(this, QString::fromStdString(m.text),
                                    QString::fromStdString(m.title));
    };
    hooks.written = [&log](std::uint16_t reg, std::uint16_t word, bool confirmed) {
        log.record(wordChange(log.source(), reg, word, confirmed));
    };
    m_session->submit([this, &hooks] { runDeveloperWrite(*m_session, m_services.link, hooks); });
    log.tellFailure(this);

    // However the write ended, the menu is at rest again.
    m_progressTimer->stop();
    m_progressLine->hide();
    m_progressLine->setText(text::Reading);
    m_dots = 0;
    setButtonsEnabled(true);
    m_statusLine->setText(linkStatusText(m_services));
}

QString ModeMenu::developerFolder() const {
    // The Develop folder beside the program where there is one to write in; otherwise (an
    // installed program) the one in the user's data folder.
    const QString name = QString::fromUtf8(kDeveloperFolderName);
    const QString beside = QDir(m_services.folders->programFolder()).filePath(name);
    const QFileInfo there(beside);
    if (there.isDir() && there.isWritable())
        return beside;
    const QString data =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(name);
    QDir().mkpath(data);
    return data;
}

void ModeMenu::setButtonsEnabled(bool enabled) {
    for (QPushButton* b : {m_editorButton, m_runPanelButton, m_disconnectButton})
        b->setEnabled(enabled);
}

void ModeMenu::onDisconnectClicked() {
    // Not while the editor or the developers' write holds the menu (its buttons are locked).
    if (busy() || m_leaving || !m_disconnectButton->isEnabled())
        return;
    m_session->close();
    m_services.windows.connection();
    leave();
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

Opening ModeMenu::opening(QWidget* opener) {
    return {opener, [&services = m_services] { return services.windows.menu(); }};
}

void ModeMenu::onEditorClicked() {
    // The editor closes the menu once it has read its first page.
    openNext([this] { m_services.windows.editor(opening(this)); });
}

void ModeMenu::onRunPanelClicked() {
    openNext([this] {
        m_services.windows.runPanel(opening(nullptr));
        leave();
    });
}

void ModeMenu::openNext(const std::function<void()>& show) {
    if (busy() || m_leaving)
        return;
    m_session->submit([this, show] {
        m_session->close();
        setButtonsEnabled(false);
        show();
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

}  // namespace velorin
