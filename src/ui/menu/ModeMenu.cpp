#include "ModeMenu.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

#include "drive/ConnectSession.h"
#include "drive/DeveloperWrite.h"
#include "texts/FileTexts.h"
#include "ui/texts/WindowTexts.h"
#include "drive/LineBackup.h"
#include "editor/ParameterFile.h"
#include "link/NumberText.h"
#include "platform/DefaultButton.h"
#include "ui/common/LinkStatus.h"
#include "platform/SafeFile.h"
#include "platform/Twips.h"
#include "ui/common/WindowChangeLog.h"

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
const QString SwitchDriveButton = QStringLiteral("切換變頻機(&S)");
const QString BackupAllButton = QStringLiteral("全部備份(&B)");
// "站號 2　機種 101": a drive of the line as the list names it.
const QString DriveEntry = QStringLiteral("站號 %1");
const QString DriveModel = QStringLiteral("　機種 %1");
const QString DriveListTip = QStringLiteral("選擇要使用的變頻機，或輸入站號");
const QString StationRange = QStringLiteral("站號範圍為%1~%2，請重新輸入。");
const QString StationErrorTitle = QStringLiteral("站號錯誤");
const QString NoDriveAt = QStringLiteral("站號 %1 未偵測到變頻機，請檢查站號與連線。");
const QString LinkErrorTitle = QStringLiteral("連線錯誤");
const QString BackupTitle = QStringLiteral("全部備份");
const QString BackupFolderTitle = QStringLiteral("選擇全部備份的資料夾");
// "備份站號 2（2 / 3 台）第 12 / 29 頁　按 Esc 停止"
const QString BackupProgress = QStringLiteral("備份站號 %1（%2 / %3 台）");
const QString BackupPage = QStringLiteral("第 %1 / %2 頁");
const QString BackupStop = QStringLiteral("　按 Esc 停止");
const QString BackupSummary = QStringLiteral("全部備份：%1 台成功，%2 台失敗。\n資料夾：%3\n");
const QString BackupSaved = QStringLiteral("已備份 %1");
const QString BackupNoSidecar = QStringLiteral("（未寫入附檔：%1）");
const QString BackupSilent = QStringLiteral("未回應");
const QString BackupReadFailed = QStringLiteral("讀取失敗：%1");
const QString BackupNotWritten = QStringLiteral("無法寫入：%1");
const QString BackupStopped = QStringLiteral("已停止");
const QString BackupNotReached = QStringLiteral("未備份");
const QString BackupPortLost = QStringLiteral("通訊埠已中斷");
const QString PortFailed = QStringLiteral("無法開啟通訊埠，請確認連接埠未被其他程式占用。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");
}  // namespace text

QString driveText(const SurveyedDrive& d) {
    QString t = text::DriveEntry.arg(d.station);
    if (d.model)
        t += text::DriveModel.arg(*d.model);
    return t;
}

// One line of the summary: "站號 2　機種 101　已備份 S02_M101_20261208.txt"; a drive that
// did not answer is named by what the survey learned of it.
QString outcomeLine(const DriveBackupOutcome& o, const std::vector<SurveyedDrive>& found) {
    using K = DriveBackupOutcome::Kind;
    SurveyedDrive drive{o.station, {}, {}};
    for (const SurveyedDrive& d : found)
        if (d.station == o.station)
            drive = d;
    if (o.model)
        drive.model = static_cast<std::uint16_t>(*o.model);
    QString line = driveText(drive) + QStringLiteral("　");
    const QString detail = QString::fromStdString(o.detail);
    switch (o.kind) {
        case K::Saved:
            line += text::BackupSaved.arg(QString::fromStdString(o.file.filename().string()));
            if (!o.sidecarFailure.empty())
                line += text::BackupNoSidecar.arg(QString::fromStdString(o.sidecarFailure));
            break;
        case K::Silent:
            line += text::BackupSilent;
            break;
        case K::ReadFailed:
            line += text::BackupReadFailed.arg(detail);
            break;
        case K::NotWritten:
            line += text::BackupNotWritten.arg(detail);
            break;
        case K::Stopped:
            line += text::BackupStopped;
            break;
        case K::NotReached:
            line += text::BackupNotReached;
            break;
        case K::PortLost:
            line += text::BackupPortLost;
            break;
    }
    return line;
}

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
    setFixedSize(twipsToPixels(5895), twipsToPixels(4260));
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
    // The drive in use among those of the line; another is chosen or its station typed.
    m_driveList = new QComboBox(this);
    m_driveList->setObjectName(QStringLiteral("driveList"));
    m_driveList->setFont(mingFont());
    m_driveList->setEditable(true);
    m_driveList->setInsertPolicy(QComboBox::NoInsert);
    m_driveList->setGeometry(twipsRect(720, 1920, 2535, 480));
    m_driveList->setToolTip(text::DriveListTip);
    m_switchDriveButton = button("switchDriveButton", text::SwitchDriveButton, 1920);
    m_switchDriveButton->setGeometry(twipsRect(3375, 1920, 1800, 480));
    m_backupAllButton = button("backupAllButton", text::BackupAllButton, 2580);
    m_backupAllButton->setGeometry(twipsRect(720, 2580, 2160, 480));
    // Back to the connection screen, the port closed: another port, or offline work.
    m_disconnectButton = button("disconnectButton", text::DisconnectButton, 2580);
    m_disconnectButton->setGeometry(twipsRect(3015, 2580, 2160, 480));
    m_disconnectButton->setToolTip(QStringLiteral("Ctrl+D"));

    m_progressLine = new QLineEdit(text::Reading, this);
    m_progressLine->setObjectName(QStringLiteral("progressLine"));
    m_progressLine->setFont(kai);
    m_progressLine->setFrame(false);
    m_progressLine->setGeometry(twipsRect(240, 3240, 5415, 420));
    m_progressLine->setFocusPolicy(Qt::NoFocus);
    m_progressLine->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    m_progressLine->setReadOnly(true);
    m_progressLine->hide();

    m_statusLine = new QLabel(linkStatusText(m_services), this);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    m_statusLine->setFont(mingFont());
    m_statusLine->setGeometry(twipsRect(240, 3780, 5415, 360));
    showDrives();

    m_progressTimer = new QTimer(this);
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(1000);

    connect(m_editorButton, &QPushButton::clicked, this, &ModeMenu::onEditorClicked);
    connect(m_runPanelButton, &QPushButton::clicked, this, &ModeMenu::onRunPanelClicked);
    connect(m_disconnectButton, &QPushButton::clicked, this, &ModeMenu::onDisconnectClicked);
    connect(m_switchDriveButton, &QPushButton::clicked, this, &ModeMenu::onSwitchDriveClicked);
    connect(m_backupAllButton, &QPushButton::clicked, this, &ModeMenu::onBackupAllClicked);
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
        // Enter on a station typed in the drive list switches to it; it never opens the editor
        // on the drive still in use.
        if ((watched == m_driveList || watched == m_driveList->lineEdit()) &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            onSwitchDriveClicked();
            return true;
        }
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
    if (key == Qt::Key_Escape && busy()) {
        m_backupStopAsked = true;  // 全部備份 stops after the read under way
        return true;
    }
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
            m_services.dialogs->message(this, QString::fromStdString(describeReadFault(*file.fault)),
                                        QString::fromUtf8(kFileErrorTitle));
            return std::nullopt;
        }
        return file.bytes;
    };
    hooks.tell = [this](const DeveloperNotice& notice) {
        const MessageBoxText box = developerNoticeText(notice);
        m_services.dialogs->message(this, QString::fromStdString(box.text),
                                    QString::fromStdString(box.title));
    };
    hooks.written = [&log](std::uint16_t reg, std::uint16_t word, bool confirmed) {
        log.record(wordChange(log.source(), reg, word, confirmed));
    };
    m_session->submit([this, &hooks] {
        m_services.writeFollowingLink(
            [&](LinkState& link) { return runDeveloperWrite(*m_session, link, hooks); });
    });
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
    for (QPushButton* b : {m_editorButton, m_runPanelButton, m_disconnectButton,
                           m_switchDriveButton, m_backupAllButton})
        b->setEnabled(enabled);
    m_driveList->setEnabled(enabled);
}

void ModeMenu::showDrives() {
    m_driveList->clear();
    bool inUseListed = false;
    for (const SurveyedDrive& d : m_services.drives) {
        m_driveList->addItem(driveText(d), d.station);
        inUseListed = inUseListed || d.station == m_services.link().station;
    }
    // A drive found by a probe or the search is the line's only one known so far.
    if (!inUseListed) {
        m_driveList->insertItem(0, driveText({m_services.link().station, {}, {}}),
                                m_services.link().station);
    }
    m_driveList->setCurrentIndex(m_driveList->findData(m_services.link().station));
    m_statusLine->setText(linkStatusText(m_services));
}

std::optional<SurveyedDrive> ModeMenu::probeDrive(std::uint8_t station) {
    std::optional<SurveyedDrive> found;
    ConnectHooks hooks;
    hooks.open = [this](const std::string& settings) -> LineSession* {
        return m_session->open(m_services.link().comPort, settings) == OpenResult::Ok
                   ? m_session.get()
                   : nullptr;
    };
    m_session->submit([&] {
        ConnectSession probing(m_session->clock(), hooks);
        const SurveyResult result =
            probing.survey(m_services.link().settings, m_services.link().framing, station, station);
        if (!result.drives.empty())
            found = result.drives.front();
        m_session->close();
    });
    return found;
}

void ModeMenu::onSwitchDriveClicked() {
    if (busy() || m_leaving || !m_switchDriveButton->isEnabled())
        return;
    // The entry chosen as it stands, else the station typed over it.
    std::optional<std::uint8_t> station;
    const int index = m_driveList->currentIndex();
    if (index >= 0 && m_driveList->currentText() == m_driveList->itemText(index)) {
        station = static_cast<std::uint8_t>(m_driveList->itemData(index).toInt());
    } else {
        const auto typed = lenientNumber(m_driveList->currentText().toStdString());
        const auto rounded = typed ? roundTo<std::uint8_t>(*typed) : std::nullopt;
        if (!rounded || *rounded < kFirstSurveyStation || *rounded > kLastSurveyStation) {
            m_services.dialogs->message(
                this, text::StationRange.arg(kFirstSurveyStation).arg(kLastSurveyStation),
                text::StationErrorTitle);
            showDrives();
            return;
        }
        station = *rounded;
    }
    std::vector<SurveyedDrive>& drives = m_services.drives;
    const bool listed = std::any_of(drives.begin(), drives.end(),
                                    [&](const SurveyedDrive& d) { return d.station == *station; });
    if (!listed && *station != m_services.link().station) {
        // A station typed is taken once a drive answers there.
        setButtonsEnabled(false);
        const std::optional<SurveyedDrive> found = probeDrive(*station);
        setButtonsEnabled(true);
        if (!found) {
            m_services.dialogs->message(this, text::NoDriveAt.arg(*station), text::LinkErrorTitle);
            showDrives();
            return;
        }
        // The drive in use so far stays on the list, to switch back to.
        if (std::none_of(drives.begin(), drives.end(), [&](const SurveyedDrive& d) {
                return d.station == m_services.link().station;
            }))
            drives.push_back({m_services.link().station, {}, {}});
        drives.push_back(*found);
        std::sort(drives.begin(), drives.end(), [](const SurveyedDrive& a, const SurveyedDrive& b) {
            return a.station < b.station;
        });
    }
    m_services.useDrive(*station);
    showDrives();
}

void ModeMenu::onBackupAllClicked() {
    if (busy() || m_leaving || !m_backupAllButton->isEnabled())
        return;
    const auto folder = m_services.dialogs->chooseFolder(this, text::BackupFolderTitle,
                                                         m_services.folders->desktopFolder());
    if (!folder)
        return;
    // Every drive found; on a line where none was surveyed, the drive in use.
    std::vector<std::uint8_t> stations;
    for (const SurveyedDrive& d : m_services.drives) stations.push_back(d.station);
    if (std::find(stations.begin(), stations.end(), m_services.link().station) == stations.end())
        stations.push_back(m_services.link().station);
    std::sort(stations.begin(), stations.end());
    std::vector<int> pages;
    for (int page = 0; page < kFilePageCount; ++page) pages.push_back(page);
    const QDateTime now = QDateTime::currentDateTime();
    const BackupStamp stamp{
        now.toString(QStringLiteral("yyyyMMdd")).toStdString(),
        now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString(),
        "velorin " + QCoreApplication::applicationVersion().toStdString()};

    setButtonsEnabled(false);
    m_backupStopAsked = false;
    m_progressLine->clear();
    m_progressLine->show();
    LineBackupHooks hooks;
    hooks.save = [](const std::filesystem::path& path, std::string_view bytes) {
        const auto failure = writeFileSafely(path, bytes);
        return failure ? std::optional(describeWriteFault(*failure)) : std::nullopt;
    };
    hooks.progress = [this](const DriveBackupProgress& p) {
        QString line = text::BackupProgress.arg(p.station).arg(p.drive + 1).arg(p.drives);
        if (p.page >= 0)
            line += text::BackupPage.arg(p.pageNumber).arg(p.pageCount);
        m_progressLine->setText(line + text::BackupStop);
    };
    hooks.stopRequested = [this] { return m_backupStopAsked; };
    std::vector<DriveBackupOutcome> outcomes;
    bool opened = false;
    m_session->submit([&] {
        opened = m_session->open(m_services.link().comPort, m_services.link().settings) == OpenResult::Ok;
        if (!opened)
            return;
        m_session->follow(m_services.link());
        LineBackup backup(*m_session, hooks);
        outcomes = backup.run(stations, pages, QDir(*folder).filesystemAbsolutePath(), stamp);
        m_session->close();
    });
    m_progressLine->hide();
    m_progressLine->setText(text::Reading);
    setButtonsEnabled(true);
    if (m_leaving)
        return;
    if (!opened) {
        m_services.dialogs->message(this, text::PortFailed, text::CommErrorTitle);
        return;
    }

    const auto saved = std::count_if(outcomes.begin(), outcomes.end(),
                                     [](const DriveBackupOutcome& o) { return o.ok(); });
    QString summary = text::BackupSummary.arg(saved)
                          .arg(static_cast<qsizetype>(outcomes.size()) - saved)
                          .arg(QDir::toNativeSeparators(*folder));
    for (const DriveBackupOutcome& o : outcomes)
        summary += QLatin1Char('\n') + outcomeLine(o, m_services.drives);
    m_services.dialogs->message(this, summary, text::BackupTitle);
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
        // Taken once the handler under way has ended: it still runs in this window. 全部備份
        // stops after the read under way; its summary still tells what was saved.
        m_backupStopAsked = true;
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
