#include "ParameterEditor.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "EditorPictures.h"
#include "PageTabs.h"
#include "editor/ParameterFile.h"
#include "link/DriveFacts.h"
#include "link/LineSession.h"
#include "menu/ModeMenu.h"
#include "platform/LinkStatus.h"
#include "platform/Services.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

// Every text the technician sees in this window.
namespace text {
const QString Caption = QStringLiteral("VELORIN");
const QString ParameterMenu = QStringLiteral("參數(&P)");
const QString SaveItem = QStringLiteral("參數儲存(&S)");
const QString LoadItem = QStringLiteral("參數讀取(&O)");
const QString DriveMenu = QStringLiteral("變頻機(&I)");
const QString WriteItem = QStringLiteral("寫入變頻機(&T)");
const QString WindowsMenu = QStringLiteral("視窗(&W)");
const QString ReturnItem = QStringLiteral("返回上一頁(&R)");
const QString QuitItem = QStringLiteral("離開程式(&Q)");
const QString Save = QStringLiteral("參數儲存");
const QString Load = QStringLiteral("參數讀取");
const QString Write = QStringLiteral("寫入變頻機");
const QString Return = QStringLiteral("返回上一頁");
const QString Quit = QStringLiteral("離開程式");
const QString Reading = QStringLiteral("參數讀取中，請稍候...");
const QString Writing = QStringLiteral("參數寫入中，請稍候");
const QString Done = QStringLiteral("參數寫入完成。");
const QString CloseAfterWrite = QStringLiteral("參數寫入中，寫入結束後關閉視窗，請稍候");
const QString AskRunning =
    QStringLiteral("目前變頻機為運轉狀態，部分參數無法在運轉狀態下寫入，是否確定繼續寫入?");
const QString RunningTitle = QStringLiteral("變頻機運轉設定");
const QString NoAnswer = QStringLiteral("變頻機未回應，未寫入任何參數。");
const QString CommErrorTitle = QStringLiteral("通訊錯誤");
const QString PortLost = QStringLiteral("通訊埠已中斷，請檢查連接線。");
const QString NotCompleteTitle = QStringLiteral("寫入未完成");
const QString CheckTitle = QStringLiteral("ERROR");
const QString Unshown =
    QStringLiteral("此欄位無法顯示變頻機的值 %1，寫入時略過此參數，儲存時存入此值。");
const QString UnshownFromFile =
    QStringLiteral("此欄位無法顯示檔案中的值 %1，寫入時略過此參數，儲存時存入此值。");
const QString UnreadCopy =
    QStringLiteral("%1 讀取失敗，此欄位無法確認，寫入時略過此參數，儲存時存入此值 %2。");
const QString SaveFilter = QStringLiteral("Text Files (*.txt);;All Files (*.*)");
const QString LoadFilter = QStringLiteral("Text Files(*.txt)");
const QString FileError = QString::fromUtf8(kFileErrorTitle);
const QString DefaultFileName = QString::fromUtf8(kDefaultFileName);
const QString Offline = QStringLiteral("離線模式");
}  // namespace text

// Layout in twips.
constexpr int kToolbarHeight = 1140;
constexpr int kProgressLeft = 5640;
constexpr int kProgressWidth = 14295;
constexpr int kProgressHeight = 495;
constexpr int kTabHeight = 520;
constexpr int kTabsPerRow = 11;
constexpr int kFirstRowY = 1080;  // rows are placed from here on a page
constexpr int kPageTopMargin = 240;
constexpr int kLabelWidth = 3015;
constexpr int kLabelHeight = 495;
constexpr int kPageWidth = 13560 + 3120 + FieldPlace::kFieldWidth + 240;
constexpr int kPageHeight = 970 * 7 + kLabelHeight + 2 * kPageTopMargin;
constexpr int kMaxDots = 40;
constexpr int kTickMs = 1000;
constexpr int kDoneShownMs = 3000;

const char* const kUnshownStyle = "QComboBox { background-color: #ffd0d0; }";

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

std::filesystem::path filePath(const QString& path) {
    return QFileInfo(path).filesystemFilePath();
}

}  // namespace

ParameterEditor::ParameterEditor(Services& services, std::shared_ptr<EditorCore> core,
                                 QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_core(core ? std::move(core) : std::make_shared<EditorCore>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow();
}

ParameterEditor::~ParameterEditor() {
    m_core->endVisit();
    if (m_line)
        m_line->close();
}

// ---- Building the window ----

void ParameterEditor::buildWindow() {
    setWindowTitle(text::Caption);
    setObjectName(QStringLiteral("parameterEditor"));
    buildToolbar();
    buildMenu();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(twipsToPixels(120), 0, twipsToPixels(120), 0);
    layout->setSpacing(0);
    QStringList captions;
    for (const PageInfo& page : Catalogue::instance().pages()) captions << qs(page.caption);
    m_tabs = new PageTabs(captions, kTabsPerRow, twipsToPixels(kTabHeight), central);
    m_tabs->setObjectName(QStringLiteral("pageTabs"));
    m_tabs->setFont(kaiFont(12));
    connect(m_tabs, &PageTabs::tabRequested, this, &ParameterEditor::onTabRequested);
    m_pages = new QStackedWidget(central);
    m_pages->setObjectName(QStringLiteral("pages"));
    for (int page = 0; page < kPageCount; ++page) {
        // A page that does not fit the screen (a laptop's 1366 × 768) scrolls.
        auto* scroll = new QScrollArea(m_pages);
        scroll->setObjectName(QStringLiteral("page%1").arg(page));
        scroll->setWidget(buildPage(page));
        m_pages->addWidget(scroll);
    }
    layout->addWidget(m_tabs);
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);

    // The link in use, so a technician who connected by the search learns its settings here.
    m_linkLabel = new QLabel(this);
    m_linkLabel->setObjectName(QStringLiteral("linkLabel"));
    m_linkLabel->setFont(mingFont(9));
    statusBar()->addPermanentWidget(m_linkLabel);
    showLink();

    m_progressTimer = new QTimer(this);
    m_progressTimer->setObjectName(QStringLiteral("progressTimer"));
    m_progressTimer->setInterval(kTickMs);
    connect(m_progressTimer, &QTimer::timeout, this, &ParameterEditor::progressTick);
}

void ParameterEditor::buildToolbar() {
    m_toolbar = new QToolBar(this);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(48, 48));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_toolbar->setFixedHeight(twipsToPixels(kToolbarHeight));
    m_toolbar->setFont(mingFont(9));
    const struct {
        Button button;
        QPixmap picture;
        const QString& caption;
        const char* name;
    } buttons[] = {
        {SaveButton, savePicture(), text::Save, "saveButton"},
        {LoadButton, loadPicture(), text::Load, "loadButton"},
        {WriteButton, writePicture(), text::Write, "writeButton"},
        {ReturnButton, backPicture(), text::Return, "returnButton"},
        {QuitButton, exitPicture(), text::Quit, "quitButton"},
    };
    for (const auto& b : buttons) {
        // Separators after "參數讀取" and after "寫入變頻機".
        if (b.button == WriteButton || b.button == ReturnButton)
            m_toolbar->addSeparator();
        QAction* action = m_toolbar->addAction(QIcon(b.picture), b.caption);
        action->setObjectName(QString::fromLatin1(b.name));
        connect(action, &QAction::triggered, this, [this, action] { onCommand(action); });
        m_buttons[b.button] = action;
    }
    // The progress text lies over the toolbar, right of its buttons, hidden while idle.
    m_progress = new QLineEdit(text::Writing, m_toolbar);
    m_progress->setObjectName(QStringLiteral("progressText"));
    m_progress->setReadOnly(true);
    m_progress->setFont(kaiFont(15.75));
    m_progress->hide();
    addToolBar(Qt::TopToolBarArea, m_toolbar);
}

void ParameterEditor::buildMenu() {
    const struct {
        const QString* menu;
        const QString& caption;
        QKeySequence shortcut;
        Button button;
        const char* name;
    } items[] = {
        {&text::ParameterMenu, text::SaveItem, QKeySequence(Qt::CTRL | Qt::Key_S), SaveButton,
         "saveItem"},
        {nullptr, text::LoadItem, QKeySequence(Qt::CTRL | Qt::Key_O), LoadButton, "loadItem"},
        {&text::DriveMenu, text::WriteItem, QKeySequence(Qt::CTRL | Qt::Key_T), WriteButton,
         "writeItem"},
        {&text::WindowsMenu, text::ReturnItem, QKeySequence(Qt::CTRL | Qt::Key_R), ReturnButton,
         "returnItem"},
        {nullptr, text::QuitItem, QKeySequence(Qt::CTRL | Qt::Key_Q), QuitButton, "quitItem"},
    };
    QMenu* menu = nullptr;
    for (const auto& item : items) {
        if (item.menu)
            menu = menuBar()->addMenu(*item.menu);
        QAction* action = menu->addAction(item.caption);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.shortcut);
        QAction* button = m_buttons[item.button];
        // A menu item does what its button does, and nothing while the button is disabled.
        connect(action, &QAction::triggered, this, [this, button] {
            if (button->isEnabled())
                onCommand(button);
        });
    }
}

QWidget* ParameterEditor::buildPage(int page) {
    auto* widget = new QWidget;
    widget->setFixedSize(twipsToPixels(kPageWidth), twipsToPixels(kPageHeight));
    widget->setFont(kaiFont(12));
    for (int reg : Catalogue::instance().page(page).fields) {
        const ParameterInfo& p = Catalogue::instance().parameter(reg);
        const int y = p.place.y - kFirstRowY + kPageTopMargin;
        auto* label = new QLabel(qs(p.label), widget);
        label->setObjectName(QStringLiteral("label%1").arg(reg));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setGeometry(twipsRect(p.place.labelX, y, kLabelWidth, kLabelHeight));
        QComboBox* field = makeField(p, widget);
        field->setGeometry(
            twipsRect(p.place.fieldX, y, FieldPlace::kFieldWidth, FieldPlace::kFieldHeight));
        m_fields[reg] = field;
    }
    return widget;
}

// The one factory of fields: the catalogue says what each becomes.
QComboBox* ParameterEditor::makeField(const ParameterInfo& p, QWidget* page) {
    auto* field = new QComboBox(page);
    field->setObjectName(QStringLiteral("field%1").arg(p.reg));
    field->setEditable(p.kind != FieldKind::Choice);
    field->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& option : Catalogue::instance().options(p.reg))
        field->addItem(qs(option));
    field->setCurrentIndex(-1);
    if (p.dropDownWidth > 0)
        field->view()->setMinimumWidth(p.dropDownWidth);
    if (p.access == Access::Disabled)
        field->setEnabled(false);
    else if (p.access == Access::Locked && field->lineEdit())
        field->lineEdit()->setReadOnly(true);
    const int reg = p.reg;
    // What the technician picks or types is what they were shown: the field takes part again.
    auto edited = [this, reg] {
        if (!m_core->fieldEdited(reg))
            markUnshown(reg, false, 0);
    };
    connect(field, &QComboBox::activated, this, edited);
    if (field->lineEdit())
        connect(field->lineEdit(), &QLineEdit::textEdited, this, edited);
    if (p.display == DisplayRule::BaudRate)
        connect(field->lineEdit(), &QLineEdit::editingFinished, this,
                &ParameterEditor::settleTypedRate);
    return field;
}

// ---- Start-up and pages ----

void ParameterEditor::load() {
    m_progressTimer->stop();
    m_dots = 0;
    hideProgress();
    showLink();
    const LinkState& link = m_services.link;
    if (!link.offline) {
        m_line = createLineSession(m_services);
        m_line->follow(link);
        m_line->setOnSlowDrive([this] {
            m_slowDrive = true;
            showLink();
        });
        m_line->setOnPortLost(
            [this] { m_services.dialogs->message(this, text::PortLost, text::CommErrorTitle); });
        // A port that does not open leaves every read without a reply; the start-up goes on.
        m_line->open(link.comPort, link.settings);
        m_core->beginVisit(m_line.get(), link.framing);
        selectPage(0);
        m_line->submit([this] {
            m_core->readOpeningCopies();
            closeModeMenus();
        });
    } else {
        m_core->beginVisit(nullptr, link.framing);
        m_buttons[WriteButton]->setEnabled(false);
        showFieldContents(EditorCore::offlineFields());
        selectPage(0);
    }
}

bool ParameterEditor::lineBusy() const {
    return m_line && m_line->busy();
}

void ParameterEditor::onTabRequested(int page) {
    // While a page is being read the strip stays on it; the click is not taken.
    if (lineBusy() || m_closeHeld) {
        m_tabs->setCurrent(m_pages->currentIndex());
        return;
    }
    selectPage(page);
}

void ParameterEditor::selectPage(int page) {
    hideProgress();
    m_tabs->setCurrent(page);
    m_pages->setCurrentIndex(page);
    for (QComboBox* field : m_fields)
        if (field && field->lineEdit())
            field->lineEdit()->setSelection(0, 0);
    if (m_line && !m_core->pagePresent(page))
        readAndShowPage(page);
}

void ParameterEditor::readAndShowPage(int page) {
    m_line->submit([this, page] {
        showProgress(text::Reading);
        const PageReadOutcome outcome = m_core->readPage(page);
        if (outcome.kind == PageReadOutcome::Kind::Stopped)
            return;
        // A page that stopped half-way shows nothing of it; it stays unread.
        showFields(m_core->showPage(page));
        if (outcome.kind == PageReadOutcome::Kind::Failed)
            showProgress(qs(outcome.message));
        else
            hideProgress();
    });
}

void ParameterEditor::showFields(const std::vector<FieldView>& views) {
    for (const FieldView& view : views) {
        QComboBox* field = m_fields[view.reg];
        if (const auto* shown = std::get_if<ShowText>(&view.display)) {
            field->clear();
            if (!shown->text.empty()) {
                field->addItem(qs(shown->text));
                field->setCurrentIndex(0);
            }
        } else if (const auto* position = std::get_if<SelectPosition>(&view.display)) {
            field->setCurrentIndex(position->position);
        }
        markUnshown(view.reg, view.unshowable, view.driveValue, view.fromFile);
        if (view.unreadCopy >= 0)
            field->setToolTip(
                text::UnreadCopy.arg(qs(Catalogue::codeOf(view.unreadCopy))).arg(view.driveValue));
    }
}

void ParameterEditor::showFieldContents(const std::array<FieldContent, kRegisterCount>& contents) {
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        QComboBox* field = m_fields[reg];
        if (!field)
            continue;
        const ParameterInfo& p = Catalogue::instance().parameter(reg);
        if (p.kind == FieldKind::Number) {
            field->clear();
            if (!contents[reg].text.empty()) {
                field->addItem(qs(contents[reg].text));
                field->setCurrentIndex(0);
            }
        } else {
            field->setCurrentIndex(contents[reg].selected);
        }
    }
}

void ParameterEditor::markUnshown(int reg, bool unshown, std::int32_t raw, bool fromFile) {
    QComboBox* field = m_fields[reg];
    field->setStyleSheet(unshown ? QString::fromLatin1(kUnshownStyle) : QString());
    const QString& tip = fromFile ? text::UnshownFromFile : text::Unshown;
    field->setToolTip(unshown ? tip.arg(raw) : QString());
}

void ParameterEditor::showLink() {
    m_linkLabel->setText(
        m_services.link.offline
            ? text::Offline
            : linkStatusText(m_services) +
                  (m_slowDrive && m_line ? QStringLiteral("　") + slowDriveText(m_line->replyTimeout())
                                         : QString()));
}

std::array<FieldContent, kRegisterCount> ParameterEditor::fieldContents() const {
    std::array<FieldContent, kRegisterCount> contents{};
    for (int reg = 0; reg < kRegisterCount; ++reg) {
        const QComboBox* field = m_fields[reg];
        if (!field)
            continue;
        const FieldKind kind = Catalogue::instance().parameter(reg).kind;
        if (kind == FieldKind::Choice) {
            contents[reg].selected = field->currentIndex();
        } else {
            contents[reg].text = field->currentText().toStdString();
            // A box with a list stands at an option only while its text is that option's.
            if (kind == FieldKind::NumberWithList)
                contents[reg].selected = field->findText(field->currentText(), Qt::MatchExactly);
        }
    }
    return contents;
}

// ---- Commands ----

void ParameterEditor::onCommand(QAction* button) {
    if (lineBusy() || m_closeHeld)
        return;
    hideProgress();
    const QString caption = button->text();
    if (caption == text::Save)
        saveParameters();
    else if (caption == text::Load)
        loadParameters();
    else if (caption == text::Write)
        writeToDrive();
    else if (caption == text::Return)
        returnToPrevious();
    else if (caption == text::Quit)
        quitProgram();
}

void ParameterEditor::convertFields() {
    settleTypedRate();
    m_core->convert(fieldContents());
}

// P15.01 takes a rate typed as the list writes it or in bit/s as that option; any other text is
// not taken and the field shows its option again, so nothing is shown that the write would drop.
void ParameterEditor::settleTypedRate() {
    QComboBox* field = m_fields[drive::kRateParameter];
    const QString typed = field->currentText();
    if (typed.isEmpty())
        return;
    if (const auto position = typedRatePosition(typed.trimmed().toStdString()))
        field->setCurrentIndex(*position);
    else
        field->setEditText(field->currentIndex() >= 0 ? field->itemText(field->currentIndex())
                                                      : QString());
}

void ParameterEditor::saveParameters() {
    convertFields();
    const auto path =
        m_services.dialogs->saveFile(this, text::Save, m_services.folders->desktopFolder(),
                                     text::DefaultFileName, text::SaveFilter);
    if (!path)
        return;
    const std::string bytes = m_core->fileText(m_services.link.offline);
    if (const auto failure = writeFileSafely(filePath(*path), bytes))
        m_services.dialogs->message(this, qs(*failure), text::FileError);
}

// All or nothing: the whole file is read and checked before any field or page flag changes,
// and a cancelled dialog changes nothing either.
void ParameterEditor::loadParameters() {
    const auto path = m_services.dialogs->openFile(
        this, text::Load, m_services.folders->desktopFolder(), text::LoadFilter);
    if (!path)
        return;
    const ParameterFileLoad load = loadParameterFile(filePath(*path));
    if (!load.ok()) {
        m_services.dialogs->message(this, qs(load.error->message()), text::FileError);
        return;
    }
    showFields(m_core->applyLoad(load));
}

void ParameterEditor::writeToDrive() {
    convertFields();
    const std::vector<CheckFailure> failures = m_core->checkValues();
    for (const CheckFailure& failure : failures)
        m_services.dialogs->message(this, qs(failure.message), text::CheckTitle);
    if (!failures.empty())
        return;
    setWriting(true);
    m_line->submit([this] {
        WriteHooks hooks;
        hooks.confirmWhileRunning = [this] {
            return m_services.dialogs->question(this, text::AskRunning, text::RunningTitle) == kYes;
        };
        hooks.writing = [this] {
            m_tabs->setEnabled(false);
            m_dots = 0;
            showProgress(m_closeHeld ? text::CloseAfterWrite : text::Writing);
            m_progressTimer->start();
        };
        hooks.pageRead = [this](int page) { showFields(m_core->showPage(page)); };
        const WriteOutcome outcome = m_core->writeToDrive(m_services.link, hooks);
        showLink();
        setWriting(false);
        reportWrite(outcome);
        // After a reset to factory values the page in view is read again at the new settings.
        if (outcome.factoryReset && !m_closeHeld)
            readAndShowPage(m_pages->currentIndex());
    });
}

void ParameterEditor::setWriting(bool writing) {
    m_writing = writing;
    for (Button b : {SaveButton, LoadButton, WriteButton, ReturnButton, QuitButton})
        m_buttons[b]->setEnabled(!writing);
    if (!writing) {
        m_progressTimer->stop();
        m_dots = 0;
        hideProgress();
        m_tabs->setEnabled(true);
    }
}

void ParameterEditor::reportWrite(const WriteOutcome& outcome) {
    if (outcome.end == WriteOutcome::End::Declined)
        return;
    if (outcome.end == WriteOutcome::End::NoAnswer) {
        m_services.dialogs->message(this, text::NoAnswer, text::CommErrorTitle);
        return;
    }
    if (outcome.complete()) {
        showProgress(text::Done);
        QTimer::singleShot(kDoneShownMs, this, [this] {
            if (m_progress->text() == text::Done)
                hideProgress();
        });
        return;
    }
    QStringList lines;
    for (const std::string& line : EditorCore::reportLines(outcome)) lines << qs(line);
    m_services.dialogs->message(this, lines.join(QLatin1Char('\n')), text::NotCompleteTitle);
}

void ParameterEditor::returnToPrevious() {
    m_returning = true;
    if (!m_services.link.offline) {
        m_services.link.framing = m_core->framingInUse();
        m_services.windows.menu();
    } else {
        m_services.windows.connection();
    }
    close();
}

void ParameterEditor::quitProgram() {
    if (m_line)
        m_line->close();
    m_services.quit();
}

void ParameterEditor::closeEvent(QCloseEvent* event) {
    if (lineBusy()) {
        // A page read ends after the register on the line; a write runs to its end, so the
        // drive is never left half-configured with the port closed under it. Then the window
        // closes.
        if (!m_closeHeld) {
            m_closeHeld = true;
            if (m_writing)
                showProgress(text::CloseAfterWrite);
            else
                m_line->stop();
            m_line->whenIdle([self = QPointer<ParameterEditor>(this)] {
                if (self)
                    self->close();
            });
        }
        event->ignore();
        return;
    }
    // Closed before its start-up had closed the mode menu: no window is left.
    if (!m_returning && m_line)
        closeModeMenus();
    if (m_line)
        m_line->close();
    event->accept();
}

// ---- Progress text ----

void ParameterEditor::showProgress(const QString& message) {
    m_progress->setText(message);
    placeProgress();
    m_progress->show();
    m_progress->raise();
}

void ParameterEditor::hideProgress() {
    m_progress->hide();
}

void ParameterEditor::placeProgress() {
    const QWidget* last = m_toolbar->widgetForAction(m_buttons[QuitButton]);
    const int left =
        std::max(twipsToPixels(kProgressLeft), last ? last->geometry().right() + 12 : 0);
    const int width = std::min(twipsToPixels(kProgressWidth), m_toolbar->width() - left - 8);
    const int height = twipsToPixels(kProgressHeight);
    m_progress->setGeometry(left, (m_toolbar->height() - height) / 2, std::max(width, 0), height);
}

void ParameterEditor::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    placeProgress();
}

void ParameterEditor::progressTick() {
    if (m_dots < kMaxDots) {
        m_progress->setText(m_progress->text() + QLatin1Char('.'));
        ++m_dots;
    } else {
        m_progress->setText(text::Writing);
        m_dots = 0;
    }
}

QWidget* showParameterEditor(Services& services, std::shared_ptr<EditorCore> core) {
    auto* editor = new ParameterEditor(services, std::move(core));
    editor->showMaximized();
    editor->load();
    return editor;
}

}  // namespace velorin
