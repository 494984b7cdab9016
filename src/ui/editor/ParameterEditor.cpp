#include "ParameterEditor.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "CompareWindow.h"
#include "EditorPictures.h"
#include "EditorTexts.h"
#include "FindBar.h"
#include "PageTabs.h"
#include "VfCurvePlot.h"
#include "drive/FaultHistoryRead.h"
#include "editor/BackupSidecar.h"
#include "editor/ParameterFile.h"
#include "editor/ParameterSets.h"
#include "link/LineSession.h"
#include "model/DriveFacts.h"
#include "model/FaultRegisters.h"
#include "model/Sha256.h"
#include "platform/ChangeLogFile.h"
#include "ui/common/LinkStatus.h"
#include "platform/QtText.h"
#include "platform/ReportPdf.h"
#include "platform/SafeFile.h"
#include "texts/FileTexts.h"
#include "platform/Services.h"
#include "platform/Twips.h"
#include "ui/common/WindowChangeLog.h"
#include "texts/CheckTexts.h"
#include "texts/EditorWords.h"
#include "texts/ServiceReport.h"
#include "ui/diagnosis/FaultHistoryWindow.h"

namespace velorin {

namespace {

namespace text = editortext;

// Through a gateway: the question before a write that moves the drive's link, naming what the
// drive will answer at; empty when the write moves nothing.
QString gatewayQuestion(const EditorCore& core, WriteScope scope, const NetworkAddress& gateway) {
    QStringList moves;
    for (const PlannedWrite& w : core.plannedWrites(scope)) {
        const auto reg = static_cast<std::uint16_t>(w.reg);
        if (drive::writeEffect(reg, w.value) != WriteEffect::MovesLink)
            continue;
        if (reg == drive::kStationParameter)
            moves << text::GatewayStation.arg(w.value);
        else if (reg == drive::kRateParameter)
            moves << text::GatewayRate.arg(w.value * 100);
        else if (reg == drive::kFormatParameter && w.value >= 0 &&
                 w.value < static_cast<int>(kFormats.size()))
            moves << text::GatewayFormat.arg(QString::fromUtf8(kFormats[w.value].listText.data(),
                                                               kFormats[w.value].listText.size()));
        else
            moves << text::GatewayReset;
    }
    if (moves.isEmpty())
        return {};
    return text::GatewayLinkChange.arg(QString::fromStdString(gateway.text()),
                                       moves.join(QStringLiteral("、")));
}

}  // namespace

ParameterEditor::ParameterEditor(Services& services, std::shared_ptr<EditorCore> core,
                                 Opening opening, QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_core(core ? std::move(core) : std::make_shared<EditorCore>()),
      m_opening(std::move(opening)) {
    setAttribute(Qt::WA_DeleteOnClose);
    buildWindow();
}

ParameterEditor::~ParameterEditor() {
    m_core->endVisit();
    if (m_line)
        m_line->close();
}

// ---- Start-up and pages ----

void ParameterEditor::load() {
    m_progressTimer->stop();
    m_dots = 0;
    hideProgress();
    showLink();
    const LinkState& link = m_services.link();
    if (!link.offline) {
        m_line = createLineSession(m_services);
        m_line->follow(link);
        m_line->setOnSlowDrive([this] {
            m_slowDrive = true;
            showLink();
        });
        m_line->setOnPortLost([this] {
            m_services.portLost = true;
            showLink();
            m_reconnectAction->setEnabled(true);
            m_services.dialogs->message(this, text::PortLost, text::CommErrorTitle);
        });
        m_line->setOnBlocksDisagree([this] {
            m_services.dialogs->message(this, text::BlocksDisagree, text::CommErrorTitle);
        });
        // A port that does not open leaves every read without a reply; the start-up goes on.
        if (m_line->open(link.comPort, link.settings) == OpenResult::Ok)
            m_services.portLost = false;
        showLink();
        m_reconnectAction->setEnabled(m_services.portLost);
        m_core->beginVisit(m_line.get(), link.framing);
        selectPage(0);
        m_line->submit([this] {
            m_core->readOpeningCopies();
            releaseOpener();
        });
    } else {
        m_core->beginVisit(nullptr, link.framing);
        m_buttons[WriteButton]->setEnabled(false);
        m_readAllAction->setEnabled(false);
        showFieldContents(EditorCore::offlineFields());
        m_core->fieldsShown(EditorCore::offlineFields());
        refreshAllMarks();
        selectPage(0);
    }
}

void ParameterEditor::releaseOpener() {
    if (m_opening.opener && m_opening.opener->isVisible())
        m_opening.opener->close();
}

void ParameterEditor::onReconnectTriggered() {
    if (!m_line || !commandAllowed())
        return;
    if (m_line->open(m_services.link().comPort, m_services.link().settings) != OpenResult::Ok) {
        m_services.dialogs->message(this, text::ReconnectFailed, text::CommErrorTitle);
        return;
    }
    m_services.portLost = false;
    m_reconnectAction->setEnabled(false);
    showLink();
    if (!m_core->pagePresent(m_pages->currentIndex()))
        readAndShowPage(m_pages->currentIndex());
}

bool ParameterEditor::lineBusy() const {
    return m_line && m_line->busy();
}

void ParameterEditor::onTabRequested(int page) {
    // While a page is being read the strip stays on it; the click is not taken.
    if (lineBusy() || closing()) {
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
            showProgress(m_line->portLost() || m_services.portLost ? text::PortLostStatus
                                                                   : qs(pageReadFailed(outcome.failedRegister)));
        else
            hideProgress();
    });
}

void ParameterEditor::showFields(const std::vector<FieldView>& views) {
    std::set<int> pages;
    for (const FieldView& view : views) {
        pages.insert(Catalogue::instance().parameter(view.reg).page);
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
        m_unshownTips[view.reg] = QString();
        markUnshown(view.reg, view.unshowable, view.driveValue, view.fromFile);
        if (view.unreadCopy >= 0)
            m_unshownTips[view.reg] =
                text::UnreadCopy.arg(qs(Catalogue::codeOf(view.unreadCopy))).arg(view.driveValue);
    }
    for (int page : pages) refreshMarks(page);
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
    const QString& tip = fromFile ? text::UnshownFromFile : text::Unshown;
    m_unshownTips[reg] = unshown ? tip.arg(raw) : QString();
    applyMarks(reg);
}

void ParameterEditor::showLink() {
    m_linkLabel->setText(
        m_services.link().offline
            ? text::Offline
            : linkStatusText(m_services) +
                  (m_slowDrive && m_line
                       ? QStringLiteral("　") + slowDriveText(m_line->replyTimeout())
                       : QString()));
}

FieldContent ParameterEditor::fieldContent(int reg) const {
    FieldContent content;
    const QComboBox* field = m_fields[reg];
    if (!field)
        return content;
    const FieldKind kind = Catalogue::instance().parameter(reg).kind;
    if (kind == FieldKind::Choice) {
        content.selected = field->currentIndex();
    } else {
        content.text = field->currentText().toStdString();
        // A box with a list stands at an option only while its text is that option's.
        if (kind == FieldKind::NumberWithList)
            content.selected = field->findText(field->currentText(), Qt::MatchExactly);
    }
    return content;
}

std::array<FieldContent, kRegisterCount> ParameterEditor::fieldContents() const {
    std::array<FieldContent, kRegisterCount> contents{};
    for (int reg = 0; reg < kRegisterCount; ++reg) contents[reg] = fieldContent(reg);
    return contents;
}

// ---- Commands ----

bool ParameterEditor::commandAllowed() {
    if (lineBusy() || closing())
        return false;
    hideProgress();
    return true;
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

bool ParameterEditor::changesMayGo() {
    if (m_leavingAsked)
        return true;
    m_leavingAsked = editsMayBeDropped();
    return m_leavingAsked;
}

bool ParameterEditor::editsMayBeDropped() {
    // Online, a field that differs from what the drive holds would be lost unseen.
    if (m_services.link().offline)
        return true;
    bool changed = false;
    for (int page = 0; page < kPageCount && !changed; ++page) changed = m_core->pageChanged(page);
    if (!changed)
        return true;
    return m_services.dialogs->cautiousQuestion(this, text::DropChanges, text::DropChangesTitle) ==
           Answer::Yes;
}

void ParameterEditor::write(WriteScope scope) {
    if (!commandAllowed())
        return;
    convertFields();
    if (!fieldsTaken() || !checksPassed(scope))
        return;
    // The drive judges these settings; the technician decides whether it gets them.
    if (const std::vector<DriveWarning> warnings = m_core->driveWarnings(); !warnings.empty())
        if (m_services.dialogs->cautiousQuestion(this, text::warningQuestion(warnings),
                                                 text::WarningTitle) != Answer::Yes)
            return;
    if (m_core->resetPending() &&
        m_services.dialogs->cautiousQuestion(this, text::ResetQuestion,
                                             text::ResetTitle) != Answer::Yes)
        return;
    // Through a gateway such a write leaves the drive where the gateway cannot follow.
    if (m_services.link().gateway)
        if (const QString q = gatewayQuestion(*m_core, scope, *m_services.link().gateway);
            !q.isEmpty() &&
            m_services.dialogs->cautiousQuestion(this, q, text::GatewayTitle) != Answer::Yes)
            return;
    const WriteScope asked = scope;
    if (!writeConfirmed(scope))
        return;
    // Nothing changed and the technician sends everything: the full write's checks hold.
    if (scope != asked && !checksPassed(scope))
        return;
    setBusy(Busy::Writing);
    m_line->submit([this, scope] {
        WriteHooks hooks;
        hooks.confirmWhileRunning = [this] {
            return m_services.dialogs->question(this, text::AskRunning, text::RunningTitle) ==
                   Answer::Yes;
        };
        hooks.writing = [this] {
            m_tabs->setEnabled(false);
            m_dots = 0;
            showProgress(closing() ? text::CloseAfterWrite : text::Writing);
            m_progressTimer->start();
        };
        hooks.pageRead = [this](int page) { showFields(m_core->showPage(page)); };
        WindowChangeLog log(m_services,
                            scope == WriteScope::Everything ? text::Write : text::WriteChanged);
        hooks.registerWritten = [&log](const RegisterWritten& written) {
            log.record(editorChange(log.source(), written));
        };
        const WriteOutcome outcome = m_services.writeFollowingLink(
            [&](LinkState& link) { return m_core->writeToDrive(link, hooks, scope); });
        showLink();
        setBusy(Busy::Idle);
        refreshAllMarks();
        reportWrite(outcome);
        log.tellFailure(this);
        // After a reset to factory values the page in view is read again at the new settings.
        if (outcome.factoryReset && !closing())
            readAndShowPage(m_pages->currentIndex());
    });
}

bool ParameterEditor::fieldsTaken() {
    const std::vector<FieldRefusal> refused = m_core->refusedFields();
    if (refused.empty())
        return true;
    for (const FieldRefusal& refusal : refused)
        m_services.dialogs->message(this, text::refusal(refusal), text::CheckTitle);
    goToParameter(refused.front().reg);
    showProgress(text::refusal(refused.front()));
    return false;
}

bool ParameterEditor::checksPassed(WriteScope scope) {
    const WriteCheck check = m_core->checkWrite(scope);
    m_core->leaveOut({});
    if (!check.failures.empty()) {
        for (const CheckFailure& failure : check.failures)
            m_services.dialogs->message(this, qs(checkFailureText(failure)), text::CheckTitle);
        goToParameter(check.failures.front().reg);
        showProgress(check.failures.size() == 1
                         ? qs(checkFailureText(check.failures.front()))
                         : text::ChecksFailed.arg(qs(checkFailureText(check.failures.front())))
                               .arg(check.failures.size() - 1));
        return false;
    }
    if (check.driveHeld.empty())
        return true;
    // Values the drive itself holds, untouched: the technician may write the rest without them.
    QStringList lines;
    std::vector<int> regs;
    for (const CheckFailure& failure : check.driveHeld) {
        lines << qs(checkFailureText(failure));
        regs.push_back(failure.reg);
    }
    if (m_services.dialogs->cautiousQuestion(this, text::DriveHeldQuestion.arg(lines.join("\n")),
                                             text::CheckTitle) != Answer::Yes) {
        goToParameter(check.driveHeld.front().reg);
        showProgress(qs(checkFailureText(check.driveHeld.front())));
        return false;
    }
    m_core->leaveOut(std::move(regs));
    return true;
}

bool ParameterEditor::writeConfirmed(WriteScope& scope) {
    const WritePreview preview = m_core->previewWrite(scope);
    if (preview.changes.empty()) {
        if (m_services.dialogs->confirmTable(this, text::PreviewNothing, text::PreviewColumns, {},
                                             text::Write) != Answer::Yes)
            return false;
        scope = WriteScope::Everything;
        return true;
    }
    std::vector<QStringList> rows;
    for (const WritePreview::Change& change : preview.changes)
        rows.push_back({qs(Catalogue::codeOf(change.reg)),
                        qs(Catalogue::instance().parameter(change.reg).name),
                        change.before ? text::previewValue(*change.before) : text::PreviewNotRead,
                        text::previewValue(change.after)});
    QString summary = text::PreviewChanges.arg(preview.changes.size());
    if (preview.unchanged > 0)
        summary += text::PreviewUnchanged.arg(preview.unchanged);
    return m_services.dialogs->confirmTable(this, summary + text::PreviewQuestion,
                                            text::PreviewColumns, rows, text::Write) == Answer::Yes;
}

void ParameterEditor::setBusy(Busy next) {
    // A close waiting stays until the window goes; one that comes during a write waits for it.
    if (closing() && next == Busy::Idle)
        next = Busy::Closing;
    if (m_busy == Busy::Writing && next == Busy::Closing)
        next = Busy::ClosingAfterWrite;
    const bool wasWriting = m_busy == Busy::Writing || m_busy == Busy::ClosingAfterWrite;
    const bool writing = next == Busy::Writing || next == Busy::ClosingAfterWrite;
    m_busy = next;
    if (wasWriting == writing)
        return;
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
        m_services.dialogs->message(
            this, m_line->portLost() ? text::PortLostStatus : text::NoAnswer, text::CommErrorTitle);
        return;
    }
    if (outcome.complete()) {
        showProgress(text::Done);  // until the technician does something else
        return;
    }
    m_services.dialogs->message(this, text::writeReport(outcome).join(QLatin1Char('\n')),
                                text::NotCompleteTitle);
}

void ParameterEditor::onReturnTriggered() {
    if (!commandAllowed() || !changesMayGo())
        return;
    m_returning = true;
    if (!m_services.link().offline)
        m_services.followFraming(m_core->framingInUse());
    if (m_opening.back)
        m_opening.back();
    close();
}

void ParameterEditor::onQuitTriggered() {
    if (!commandAllowed() || !changesMayGo())
        return;
    if (m_line)
        m_line->close();
    m_services.quit();
}

void ParameterEditor::closeEvent(QCloseEvent* event) {
    if (lineBusy()) {
        // A page read ends after the register on the line; a write runs to its end, so the
        // drive is never left half-configured with the port closed under it. Then the window
        // closes.
        if (!closing()) {
            const bool writing = m_busy == Busy::Writing;
            setBusy(Busy::Closing);
            if (writing)
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
    if (!m_returning && !changesMayGo()) {
        event->ignore();
        return;
    }
    // Closed before its start-up had let the opener go: no window is left.
    if (!m_returning && m_line)
        releaseOpener();
    if (m_line)
        m_line->close();
    event->accept();
}

QWidget* showParameterEditor(Services& services, std::shared_ptr<EditorCore> core,
                             const Opening& opening) {
    auto* editor = new ParameterEditor(services, std::move(core), opening);
    editor->showMaximized();
    editor->load();
    return editor;
}

// The parameter editor's window as it is built: toolbar, menu, the tab strip over the pages, the
// one factory of fields, and the progress text over the toolbar.

namespace {

namespace text = editortext;

// Layout in twips.
constexpr int kToolbarHeight = 1140;
constexpr int kProgressLeft = 5640;
constexpr int kProgressWidth = 14295;
constexpr int kProgressHeight = 495;
constexpr int kTabHeight = 520;
constexpr int kTabsPerRow = 11;
constexpr int kFirstRowY = 1080;  // rows are placed from here on a page
constexpr int kRowPitch = 970;    // from one row of fields to the next
constexpr int kPageTopMargin = 240;
constexpr int kLabelWidth = 3015;
// Two lines of the labels' 12-point type with their descenders ("pu)", "byte").
constexpr int kLabelHeight = 570;
constexpr int kPageHeight = 970 * 7 + kLabelHeight + 2 * kPageTopMargin;
constexpr int kFieldOffset = 3120;   // from a column's labels to its fields
constexpr int kColumnGap = 465;      // from a column's fields to the next column's labels
constexpr int kPlotMinWidth = 4500;  // the V/F curve beside a motor page's fields
constexpr int kPlotGap = 120;
constexpr int kMaxDots = 40;
constexpr int kTickMs = 1000;

}  // namespace

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
        m_pageScrolls[page] = scroll;
        if (m_core->vfCurve(page).empty()) {
            m_pages->addWidget(scroll);
            continue;
        }
        // A motor page: its V/F curve beside the fields, in sight while they scroll.
        auto* motorPage = new QWidget(m_pages);
        motorPage->setObjectName(QStringLiteral("motorPage%1").arg(page));
        // The fields fit themselves to the width (fitPagesToWidth): the page's minimum is not
        // theirs as laid out, or a window once wide could not be made narrow again.
        motorPage->setMinimumSize(twipsToPixels(kPlotMinWidth), 0);
        auto* plot = new VfCurvePlot([this, page] { return m_core->vfCurve(page); }, motorPage);
        plot->setObjectName(QStringLiteral("vfCurve%1").arg(page));
        plot->setFont(kaiFont(12));
        m_vfPlots[page] = plot;
        auto* beside = new QVBoxLayout;
        beside->addWidget(plot);
        beside->addStretch(1);
        auto* row = new QHBoxLayout(motorPage);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(twipsToPixels(kPlotGap));
        row->addWidget(scroll);
        row->addLayout(beside, 1);
        m_pages->addWidget(motorPage);
    }
    m_find = new FindBar(central);
    connect(m_find, &FindBar::chosen, this, &ParameterEditor::goToParameter);
    layout->addWidget(m_find);
    layout->addWidget(m_tabs);
    layout->addWidget(m_pages, 1);
    setCentralWidget(central);

    // The link in use, so a technician who connected by the search learns its settings here.
    m_linkLabel = new QLabel(this);
    m_linkLabel->setObjectName(QStringLiteral("linkLabel"));
    m_linkLabel->setFont(mingFont(9));
    statusBar()->addPermanentWidget(m_linkLabel);
    m_legend = new QLabel(text::Legend, this);
    m_legend->setObjectName(QStringLiteral("markLegend"));
    m_legend->setFont(mingFont(9));
    statusBar()->addWidget(m_legend);
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
    // Each button's Alt key is its menu item's.
    const struct {
        Button button;
        QPixmap picture;
        const QString& caption;
        const char* mnemonic;
        const char* name;
        void (ParameterEditor::*slot)();
    } buttons[] = {
        {SaveButton, savePicture(), text::Save, "(&S)", "saveButton",
         &ParameterEditor::onSaveTriggered},
        {LoadButton, loadPicture(), text::Load, "(&O)", "loadButton",
         &ParameterEditor::onLoadTriggered},
        {WriteButton, writePicture(), text::Write, "(&T)", "writeButton",
         &ParameterEditor::onWriteTriggered},
        {ReturnButton, backPicture(), text::Return, "(&R)", "returnButton",
         &ParameterEditor::onReturnTriggered},
        {QuitButton, exitPicture(), text::Quit, "(&Q)", "quitButton",
         &ParameterEditor::onQuitTriggered},
    };
    for (const auto& b : buttons) {
        // Separators after "參數讀取" and after "寫入變頻機".
        if (b.button == WriteButton || b.button == ReturnButton)
            m_toolbar->addSeparator();
        QAction* action = m_toolbar->addAction(QIcon(b.picture), b.caption);
        action->setIconText(b.caption + QLatin1String(b.mnemonic));
        action->setObjectName(QString::fromLatin1(b.name));
        connect(action, &QAction::triggered, this, b.slot);
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
    QMenu* parameterMenu = nullptr;
    QMenu* driveMenu = nullptr;
    for (const auto& item : items) {
        if (item.menu)
            menu = menuBar()->addMenu(*item.menu);
        if (item.menu == &text::ParameterMenu)
            parameterMenu = menu;
        if (item.menu == &text::DriveMenu)
            driveMenu = menu;
        QAction* action = menu->addAction(item.caption);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.shortcut);
        QAction* button = m_buttons[item.button];
        // A menu item does what its button does, and nothing while the button is disabled.
        connect(action, &QAction::triggered, button, [button] {
            if (button->isEnabled())
                button->trigger();
        });
    }
    QAction* monitor = menu->addAction(text::MonitorItem);  // the last menu: 視窗(W)
    monitor->setObjectName(QStringLiteral("monitorItem"));
    monitor->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(monitor, &QAction::triggered, this, [this] {
        if (m_services.showMonitor)
            m_services.showMonitor();
    });
    parameterMenu->addSeparator();
    QAction* find = parameterMenu->addAction(text::FindItem);
    find->setObjectName(QStringLiteral("findItem"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(find, &QAction::triggered, this, [this] { m_find->open(); });
    QAction* compare = parameterMenu->addAction(text::CompareItem);
    compare->setObjectName(QStringLiteral("compareItem"));
    compare->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(compare, &QAction::triggered, this, &ParameterEditor::onCompareTriggered);
    // The folder of the change log, made where there is none yet, in the system's file manager.
    QAction* changeLog = parameterMenu->addAction(text::ChangeLogFolderItem);
    changeLog->setObjectName(QStringLiteral("changeLogFolderItem"));
    changeLog->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    connect(changeLog, &QAction::triggered, this, [this] {
        if (!m_services.changeLog || !m_services.openFolder)
            return;
        const QString folder = QFileInfo(m_services.changeLog->path()).absolutePath();
        QDir().mkpath(folder);
        m_services.openFolder(folder);
    });
    // Offline, and while the write button is disabled, it does nothing, as the write.
    QAction* writeChanged = driveMenu->addAction(text::WriteChangedItem);
    writeChanged->setObjectName(QStringLiteral("writeChangedItem"));
    writeChanged->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(writeChanged, &QAction::triggered, this, [this] {
        if (m_buttons[WriteButton]->isEnabled())
            onWriteChangedTriggered();
    });
    m_readAllAction = driveMenu->addAction(text::ReadAllItem);
    m_readAllAction->setObjectName(QStringLiteral("readAllItem"));
    connect(m_readAllAction, &QAction::triggered, this, &ParameterEditor::onReadAllTriggered);
    addFaultHistoryItem(driveMenu);
    m_reconnectAction = driveMenu->addAction(text::ReconnectItem);
    m_reconnectAction->setObjectName(QStringLiteral("reconnectItem"));
    m_reconnectAction->setEnabled(false);
    connect(m_reconnectAction, &QAction::triggered, this, &ParameterEditor::onReconnectTriggered);
    // Esc closes the find box, or stops a reading of every page between two registers.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &ParameterEditor::onEscapePressed);
}

QWidget* ParameterEditor::buildPage(int page) {
    auto* widget = new QWidget;
    widget->setFont(kaiFont(12));
    for (int reg : Catalogue::instance().page(page).fields) {
        const ParameterInfo& p = Catalogue::instance().parameter(reg);
        auto* label = new QLabel(qs(p.label), widget);
        label->setObjectName(QStringLiteral("label%1").arg(reg));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_fields[reg] = makeField(p, widget);
    }
    placeFields(page, 3);
    return widget;
}

namespace {

// Where a column's labels start, in twips, as the drive's manual lays a page out.
int manualColumnLeft(int column) {
    for (const ParameterInfo& p : Catalogue::instance().parameters())
        if (p.shown && p.place.column == column)
            return p.place.labelX;
    return 0;
}

// A page's fields in `columns` columns: three as on the drive's manual, else running down fewer
// columns in the same order. Each column is as wide as its widest field and starts where the
// manual starts it, or further right where the column before needs the room. Pixels.
struct FieldColumns {
    struct Slot {
        int reg = 0;
        int column = 0;  // from 0
        int y = 0;       // twips
    };
    std::vector<Slot> places;
    std::vector<int> labelLefts;
    std::vector<int> fieldWidths;
    int width = 0;
};

FieldColumns fieldColumns(int page, int columns, const std::array<int, kRegisterCount>& widths) {
    std::vector<int> fields = Catalogue::instance().page(page).fields;
    std::stable_sort(fields.begin(), fields.end(), [](int a, int b) {
        const FieldPlace& pa = Catalogue::instance().parameter(a).place;
        const FieldPlace& pb = Catalogue::instance().parameter(b).place;
        return std::pair(pa.column, pa.row) < std::pair(pb.column, pb.row);
    });
    FieldColumns out;
    out.fieldWidths.assign(columns, twipsToPixels(FieldPlace::kFieldWidth));
    const int perColumn = static_cast<int>((fields.size() + columns - 1) / columns);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldPlace& place = Catalogue::instance().parameter(fields[i]).place;
        const bool asBuilt = columns >= 3;
        const int column = asBuilt ? place.column - 1 : static_cast<int>(i) / perColumn;
        const int y = asBuilt ? place.y - kFirstRowY + kPageTopMargin
                              : static_cast<int>(i) % perColumn * kRowPitch + kPageTopMargin;
        out.places.push_back({fields[i], column, y});
        out.fieldWidths[column] = std::max(out.fieldWidths[column], widths[fields[i]]);
    }
    // A page of few fields leaves the manual's last columns empty: they take no width.
    int used = 0;
    for (const FieldColumns::Slot& slot : out.places) used = std::max(used, slot.column + 1);
    int right = 0;
    for (int column = 0; column < columns; ++column) {
        const int left = std::max(twipsToPixels(manualColumnLeft(column + 1)),
                                  column == 0 ? 0 : right + twipsToPixels(kColumnGap));
        out.labelLefts.push_back(left);
        right = left + twipsToPixels(kFieldOffset) + out.fieldWidths[column];
        if (column < used)
            out.width = right + twipsToPixels(kPageTopMargin);
    }
    return out;
}

}  // namespace

void ParameterEditor::placeFields(int page, int columns) {
    QWidget* widget = m_fields[Catalogue::instance().page(page).fields.front()]->parentWidget();
    const FieldColumns layout = fieldColumns(page, columns, m_fieldWidths);
    int bottom = 0;
    for (const FieldColumns::Slot& slot : layout.places) {
        const int left = layout.labelLefts[slot.column];
        const int top = twipsToPixels(slot.y);
        widget->findChild<QLabel*>(QStringLiteral("label%1").arg(slot.reg))
            ->setGeometry(left, top, twipsToPixels(kLabelWidth), twipsToPixels(kLabelHeight));
        m_fields[slot.reg]->setGeometry(left + twipsToPixels(kFieldOffset), top,
                                        layout.fieldWidths[slot.column],
                                        twipsToPixels(FieldPlace::kFieldHeight));
        bottom = std::max(bottom, slot.y + kLabelHeight);
    }
    const int height = std::max(bottom, kPageHeight - kPageTopMargin) + kPageTopMargin;
    widget->setFixedSize(layout.width, twipsToPixels(height));
    m_columnsShown[page] = columns;
}

void ParameterEditor::fitPagesToWidth() {
    if (!m_pages)
        return;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int available = m_pages->width() - scrollBar - 4;
    for (int page = 0; page < kPageCount; ++page) {
        const int besideFields = m_vfPlots[page] ? twipsToPixels(kPlotGap + kPlotMinWidth) : 0;
        int columns = 3;
        while (columns > 1 &&
               fieldColumns(page, columns, m_fieldWidths).width + besideFields > available)
            --columns;
        if (columns != m_columnsShown[page])
            placeFields(page, columns);
        if (m_vfPlots[page]) {
            QScrollArea* scroll = m_pageScrolls[page];
            scroll->setFixedWidth(scroll->widget()->width() + scrollBar + 2 * scroll->frameWidth());
        }
    }
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
    // The list, and the field itself, are wide enough for the longest option.
    int widest = p.dropDownWidth;
    int longest = 0;
    const QFontMetrics metrics(page->font());
    for (int i = 0; i < field->count(); ++i) {
        longest = std::max(longest, metrics.horizontalAdvance(field->itemText(i)));
        widest = std::max(widest, longest + 32);
    }
    if (widest > 0)
        field->view()->setMinimumWidth(widest);
    // The box's frame and arrow, and the text's margins inside it, beside the option's text.
    const int manualWidth = twipsToPixels(FieldPlace::kFieldWidth);
    QStyleOptionComboBox option;
    option.initFrom(field);
    option.editable = field->isEditable();
    option.rect = QRect(0, 0, manualWidth, twipsToPixels(FieldPlace::kFieldHeight));
    const int textWidth =
        field->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, field)
            .width();
    m_fieldWidths[p.reg] = std::max(manualWidth, longest + manualWidth - textWidth + 6);
    if (p.access == Access::Disabled)
        field->setEnabled(false);
    else if (p.access == Access::Locked && field->lineEdit())
        field->lineEdit()->setReadOnly(true);
    const int reg = p.reg;
    // What the technician picks or types is what they were shown: the field takes part again.
    auto edited = [this, reg] {
        if (m_progress->isVisible() && m_progress->text() == text::Done)
            hideProgress();  // the write told of is no longer the last thing done
        if (!m_core->fieldEdited(reg))
            m_unshownTips[reg] = QString();
        fieldTouched(reg);
    };
    connect(field, &QComboBox::activated, this, edited);
    if (field->lineEdit())
        connect(field->lineEdit(), &QLineEdit::textEdited, this, edited);
    if (p.display == DisplayRule::BaudRate)
        connect(field->lineEdit(), &QLineEdit::editingFinished, this,
                &ParameterEditor::settleTypedRate);
    return field;
}

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
    fitPagesToWidth();
    placeProgress();
    if (m_find)  // a resize while the window is built
        m_find->placeResults();
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

// Going to a parameter (from the find box or the compare window), the marks on the fields and
// tabs, and the reading of every page.

namespace {

namespace text = editortext;

constexpr int kFoundHighlightMs = 1500;
constexpr Micros kProgressEvery{200000};  // the read-all progress text at most five times a second
// Okabe-Ito colours, told apart with every common colour blindness; "changed" is also bold
// and has a thick left edge, so it never rests on colour alone.
const char* const kChangedEdge = "border: 1px solid #9a9a9a; border-left: 5px solid #d55e00;";
const char* const kNotFactoryTint = "background-color: #dcebf7;";
const char* const kUnknownTint = "background-color: #ffd0d0;";
const char* const kFoundEdge = "border: 2px solid #e69f00;";
// A text that is no number in the field's form: never written, never saved.
const char* const kRefusedMark = "background-color: #fff0c0; border: 2px dashed #c00000;";

}  // namespace

// ---- Find ----

void ParameterEditor::goToParameter(int reg) {
    // While the line is in use the page stays as it is, as with a tab click.
    if (lineBusy() || closing())
        return;
    const int page = Catalogue::instance().parameter(reg).page;
    m_find->dismiss();
    if (m_pages->currentIndex() != page || (m_line && !m_core->pagePresent(page)))
        selectPage(page);
    QComboBox* field = m_fields[reg];
    m_pageScrolls[page]->ensureWidgetVisible(field);
    field->setFocus(Qt::OtherFocusReason);
    field->setProperty("found", true);
    applyMarks(reg);
    QTimer::singleShot(kFoundHighlightMs, field, [this, reg] {
        m_fields[reg]->setProperty("found", false);
        applyMarks(reg);
    });
}

void ParameterEditor::onEscapePressed() {
    if (m_busy == Busy::ReadingAll && m_line)
        m_line->stop();
    else if (m_find->isOpen())
        m_find->dismiss();
}

// ---- Compare ----

void ParameterEditor::onCompareTriggered() {
    if (!m_compare) {
        CompareWindow::Hooks hooks;
        // While a page read or a write runs, the working values are not touched.
        hooks.convertFields = [this] {
            if (!lineBusy() && !closing())
                convertFields();
        };
        hooks.showField = [this](int reg) {
            raise();
            activateWindow();
            goToParameter(reg);
        };
        m_compare = new CompareWindow(m_services, m_core, std::move(hooks), this);
    }
    m_compare->refresh();
    m_compare->show();
    m_compare->raise();
    m_compare->activateWindow();
}

// ---- Marks ----

void ParameterEditor::fieldTouched(int reg) {
    m_core->fieldContentIs(reg, fieldContent(reg));
    // A unit switch or a bound changes how the other fields of its page are read.
    refreshMarks(Catalogue::instance().parameter(reg).page);
}

void ParameterEditor::applyMarks(int reg) {
    QComboBox* field = m_fields[reg];
    const FieldMarks marks = m_core->marks(reg);
    QString rules;
    if (marks.refused)
        rules += QLatin1String(kRefusedMark);
    else if (marks.unknown)
        rules += QLatin1String(kUnknownTint);
    else if (marks.notFactory)
        rules += QLatin1String(kNotFactoryTint);
    if (marks.changed)
        rules += QLatin1String(kChangedEdge);
    if (field->property("found").toBool())
        rules += QLatin1String(kFoundEdge);
    const QString style =
        rules.isEmpty() ? QString() : QStringLiteral("QComboBox { %1 }").arg(rules);
    if (field->styleSheet() != style)
        field->setStyleSheet(style);
    // Bold in the field's own face and size: only the weight changes.
    if (field->font().bold() != marks.changed) {
        QFont font = field->font();
        font.setBold(marks.changed);
        field->setFont(font);
    }
    QString tip = text::fieldTip(m_core->fieldFacts(reg));
    // A choice's text may be longer than its field shows: the tooltip starts with it whole.
    if (!field->isEditable() && field->currentIndex() >= 0)
        tip = field->currentText() + QLatin1Char('\n') + tip;
    if (!m_unshownTips[reg].isEmpty())
        tip += QLatin1Char('\n') + m_unshownTips[reg];
    if (marks.refused)
        if (const auto refusal = m_core->refusal(reg))
            tip = text::refusal(*refusal) + QLatin1Char('\n') + tip;
    field->setToolTip(tip);
}

void ParameterEditor::refreshMarks(int page) {
    for (int reg : Catalogue::instance().page(page).fields) applyMarks(reg);
    const QString caption = qs(Catalogue::instance().page(page).caption);
    m_tabs->tab(page)->setText(m_core->pageChanged(page) ? caption + text::ChangedTabMark
                                                         : caption);
    if (m_vfPlots[page])
        m_vfPlots[page]->update();
}

void ParameterEditor::refreshAllMarks() {
    for (int page = 0; page < kPageCount; ++page) refreshMarks(page);
}

// ---- Read all ----

void ParameterEditor::onReadAllTriggered() {
    if (!m_line || !commandAllowed())
        return;
    std::vector<int> pages;
    long total = 0;
    for (int page = 0; page < kPageCount; ++page)
        if (!m_core->pagePresent(page)) {
            pages.push_back(page);
            const RegisterRange& range = Catalogue::instance().page(page).read;
            total += range.last - range.first + 1;
        }
    if (pages.empty())
        return;
    setBusy(Busy::ReadingAll);
    m_line->submit([this, pages, total] {
        const Micros started = m_services.wait->now();
        long done = 0;
        int pageNumber = 0;
        QString caption;
        Micros shownAt{-kProgressEvery};
        m_line->setBeforeTransaction([&](FunctionCode function, std::uint16_t reg,
                                         std::uint16_t registers) {
            if (function != FunctionCode::ReadRegisters)
                return;
            done += registers;
            // Repainting the text for every register would cost more than the line at 115200.
            const Micros now = m_services.wait->now();
            if (now - shownAt < kProgressEvery)
                return;
            shownAt = now;
            QString left;
            const Micros elapsed = now - started;
            if (done > 0 && done < total)
                left = text::TimeLeft.arg((elapsed.count() * (total - done) / done + 999999) /
                                          1000000);
            showProgress(text::ReadAllProgress.arg(caption)
                             .arg(pageNumber)
                             .arg(pages.size())
                             .arg(reg)
                             .arg(left));
        });
        bool stopped = false;
        for (int page : pages) {
            ++pageNumber;
            caption = qs(Catalogue::instance().page(page).caption);
            const PageReadOutcome outcome = m_core->readPage(page);
            if (outcome.kind == PageReadOutcome::Kind::Stopped) {
                stopped = true;
                break;
            }
            showFields(m_core->showPage(page));
            if (outcome.kind == PageReadOutcome::Kind::Failed) {
                showProgress(qs(pageReadFailed(outcome.failedRegister)));
                break;
            }
        }
        m_line->setBeforeTransaction({});
        if (stopped)
            showProgress(text::ReadAllStopped);
        else if (m_progress->text().startsWith(text::ReadAllProgress.left(4)))
            hideProgress();
    });
    setBusy(Busy::Idle);
}

// The editor's parameter files: the save of the fields, refused while one holds a text no field
// takes, and the load shown as a page read; both say which pages the file holds.

namespace {

namespace text = editortext;

std::filesystem::path filePath(const QString& path) {
    return QFileInfo(path).filesystemFilePath();
}

}  // namespace

void ParameterEditor::onSaveTriggered() {
    if (!commandAllowed())
        return;
    convertFields();
    // A text no field takes has no value to save: the file would hold an old or a cut one.
    if (const std::vector<FieldRefusal> refused = m_core->refusedFields(); !refused.empty()) {
        QStringList lines;
        for (const FieldRefusal& refusal : refused) lines << text::refusal(refusal);
        m_services.dialogs->message(this, text::SaveRefused.arg(lines.join(QLatin1Char('\n'))),
                                    text::FileError);
        goToParameter(refused.front().reg);
        return;
    }
    const auto path =
        m_services.dialogs->saveFile(this, text::Save, m_services.folders->desktopFolder(),
                                     text::DefaultFileName, text::SaveFilter);
    if (!path)
        return;
    const std::string bytes = m_core->fileText(m_services.link().offline);
    if (const auto failure = writeFileSafely(filePath(*path), bytes)) {
        m_services.dialogs->message(this, qs(describeWriteFault(*failure)), text::FileError);
        return;
    }
    writeSidecar(*path, bytes);
    // One line a parameter.
    const auto lines = std::count(bytes.begin(), bytes.end(), '\n');
    std::array<bool, kFilePageCount> held{};
    for (int page = 0; page < kFilePageCount; ++page)
        held[page] = m_services.link().offline || m_core->pagePresent(page);
    showProgress(text::Saved.arg(lines).arg(QFileInfo(*path).fileName()) + pagesHeldText(held));
}

QString ParameterEditor::pagesHeldText(const std::array<bool, kFilePageCount>& held) {
    QStringList in, out;
    for (int page = 0; page < kFilePageCount; ++page)
        (held[page] ? in : out) << qs(Catalogue::instance().page(page).caption);
    if (out.isEmpty())
        return text::AllPagesHeld;
    return text::SomePagesHeld.arg(in.size())
        .arg(in.join(QStringLiteral("、")))
        .arg(out.size())
        .arg(out.join(QStringLiteral("、")));
}

// All or nothing: the whole file is read and checked before any field or page flag changes,
// and a cancelled dialog changes nothing either.
void ParameterEditor::onLoadTriggered() {
    if (!commandAllowed() || !editsMayBeDropped())
        return;
    const auto path = m_services.dialogs->openFile(
        this, text::Load, m_services.folders->desktopFolder(), text::LoadFilter);
    if (!path)
        return;
    const ParameterFileLoad load = loadParameterFile(filePath(*path));
    if (!fileMayBeTaken(*m_services.dialogs, this, load))
        return;
    QString origin;
    if (!sidecarAllowsLoad(*path, origin))
        return;
    showFields(m_core->applyLoad(load));
    // Pages the file does not hold are no longer present: their marks follow too.
    refreshAllMarks();
    const auto values = std::count_if(load.values.begin(), load.values.end(),
                                      [](const auto& v) { return v.has_value(); });
    showProgress(text::Loaded.arg(values).arg(QFileInfo(*path).fileName()) +
                 pagesHeldText(load.pages) + (origin.isEmpty() ? QString() : QStringLiteral(" ") + origin));
}

// The editor's backups know their drive: a save online writes the sidecar beside the file, and a
// load that finds one names the drive the file came from and asks before taking a file that was
// edited since or comes from another drive model.

namespace {

constexpr int kLockResetPage = 28;  // P17-1: running hours; P17.11 is read with it


}  // namespace

std::optional<std::int32_t> ParameterEditor::driveModel() const {
    // The model comes with page P17-1; a drive never reports model 0.
    const std::int32_t model = m_core->driveValue(faultregs::kModel);
    if (m_services.link().offline || model == 0)
        return std::nullopt;
    return model;
}

void ParameterEditor::writeSidecar(const QString& path, const std::string& bytes) {
    if (m_services.link().offline)
        return;  // the factory values of no drive in particular
    BackupSidecar sidecar;
    sidecar.model = driveModel();
    if (m_core->pagePresent(kLockResetPage))
        sidecar.runHours = m_core->driveValue(faultregs::kRunHours);
    // Not read with the pages yet: asked now. A save runs only while the line is idle, so the
    // operation runs at once.
    if (m_line && !m_line->busy() && (!sidecar.model || !sidecar.runHours))
        m_line->submit([&] {
            for (auto [reg, value] : {std::pair{faultregs::kModel, &sidecar.model},
                                      std::pair{faultregs::kRunHours, &sidecar.runHours}}) {
                const ReplyCheck r = m_line->read(static_cast<std::uint16_t>(reg));
                if (!*value && r.outcome == LinkOutcome::Ok)
                    *value = driveValue(reg, r.value);
            }
        });
    sidecar.station = m_services.link().station;
    sidecar.link = m_services.link().settings;
    const QDateTime now = QDateTime::currentDateTime();
    sidecar.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    sidecar.program = "velorin " + QCoreApplication::applicationVersion().toStdString();
    sidecar.sha256 = sha256Hex(bytes);
    const std::string target = sidecarPath(QFileInfo(path).filesystemFilePath().string());
    if (const auto failure = writeFileSafely(target, sidecarText(sidecar))) {
        std::error_code ec;
        std::filesystem::remove(target, ec);  // an older one would speak for another file
        m_services.dialogs->message(this, text::NoSidecar.arg(qs(target), qs(describeWriteFault(*failure))),
                                    text::SidecarTitle);
    }
}

bool ParameterEditor::sidecarAllowsLoad(const QString& path, QString& origin) {
    const std::filesystem::path file = QFileInfo(path).filesystemFilePath();
    const std::string side = sidecarPath(file.string());
    std::error_code ec;
    if (!std::filesystem::exists(side, ec))
        return true;
    const SidecarCheck check = checkSidecar(readTextFile(file).bytes.value_or(""),
                                            readTextFile(side).bytes.value_or(""), driveModel());
    origin = check.sidecar ? text::sidecarOrigin(*check.sidecar) : QString();
    if (!check.refused())
        return true;
    return m_services.dialogs->cautiousQuestion(
               this, text::TakeAnyway.arg(text::sidecarRefusal(check), origin),
               text::SidecarTitle) == Answer::Yes;
}

// The editor's way to the drive's fault history: 異常履歷 in the drive menu, on Ctrl+H.

void ParameterEditor::addFaultHistoryItem(QMenu* driveMenu) {
    QAction* item = driveMenu->addAction(QStringLiteral("異常履歷"));
    item->setObjectName(QStringLiteral("faultHistoryItem"));
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(item, &QAction::triggered, this, &ParameterEditor::onFaultHistoryTriggered);
}

void ParameterEditor::onFaultHistoryTriggered() {
    const bool offline = m_services.link().offline || !m_line;
    if (offline)
        convertFields();  // the fields, a loaded file's values among them, as working values
    if (!m_faultHistory) {
        // Offline the history is what the fields hold; online the drive's, read through the
        // editor's own line session.
        RegisterLookup values = [this](int reg) -> std::optional<std::int32_t> {
            return m_core->working().at(reg);
        };
        m_faultHistory =
            new FaultHistoryWindow(m_services, offline ? nullptr : m_line.get(), values, this);
        m_faultHistory->setReportExport([this](QWidget* parent) { exportReport(parent); });
    }
    m_faultHistory->show();
    m_faultHistory->raise();
    m_faultHistory->activateWindow();
    m_faultHistory->refresh();
}

void ParameterEditor::exportReport(QWidget* parent) {
    const bool offline = m_services.link().offline || !m_line;
    const auto path = m_services.dialogs->saveFile(
        parent, QStringLiteral("匯出報告"), m_services.folders->desktopFolder(),
        QStringLiteral("Report.pdf"), QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
    if (!path)
        return;
    ReportInputs in;
    if (offline) {
        convertFields();
        in.drive = workingSet(*m_core);
        in.source = "離線（編輯器中的數值）";
    } else {
        // The pages read in this visit, as a backup of them would hold them.
        in.drive = driveSet(*m_core);
        // The history as this window read it, where the pages holding it were not read.
        for (const auto& [reg, value] : m_faultHistory->readValues())
            if (reg < kFileRegisterCount && !in.drive.load.values[reg])
                in.drive.load.values[reg] = value;
        in.source = "變頻機";
        in.model = driveModel();
        in.station = m_services.link().station;
        in.link = lineSettingsText(m_services.link());
    }
    // The bytes a save of the same set writes, so the SHA-256 can be compared with a backup's.
    in.setBytes = offline ? m_core->fileText(true) : onlineSaveText(*m_core);
    if (m_services.changeLog)
        if (const auto log = readTextFile(m_services.changeLog->path().toStdString()).bytes)
            in.changes = changesOfStation(readChangeLog(*log).entries, in.station);
    const QDateTime now = QDateTime::currentDateTime();
    in.date = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString();
    in.program = "velorin " + QCoreApplication::applicationVersion().toStdString();
    const std::string html = serviceReportHtml(in);
    const std::string target = QFileInfo(*path).filesystemFilePath().string();
    const bool pdf = path->endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    if (const auto failure =
            pdf ? writeReportPdf(html, kReportTitle, target) : writeFileSafely(target, html))
        m_services.dialogs->message(parent, qs(describeWriteFault(*failure)),
                                    QStringLiteral("匯出報告"));
}

}  // namespace velorin
