#include "ParameterEditor.h"

#include <algorithm>
#include <set>

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
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

#include "CompareWindow.h"
#include "EditorTexts.h"
#include "PageTabs.h"
#include "editor/ParameterFile.h"
#include "model/DriveFacts.h"
#include "link/LineSession.h"
#include "platform/LinkStatus.h"
#include "platform/SafeFile.h"
#include "platform/Services.h"
#include "platform/Twips.h"
#include "platform/WindowChangeLog.h"
#include "platform/QtText.h"

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
    const LinkState& link = m_services.link;
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
    if (m_line->open(m_services.link.comPort, m_services.link.settings) != OpenResult::Ok) {
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
            showProgress(m_line->portLost() || m_services.portLost ? text::PortLostStatus
                                                                   : text::ReadFailed.arg(qs(Catalogue::codeOf(outcome.failedRegister))));
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
        m_services.link.offline
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
    if (lineBusy() || m_closeHeld)
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
    if (m_services.link.offline)
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
    if (m_services.link.gateway)
        if (const QString q = gatewayQuestion(*m_core, scope, *m_services.link.gateway);
            !q.isEmpty() &&
            m_services.dialogs->cautiousQuestion(this, q, text::GatewayTitle) != Answer::Yes)
            return;
    const WriteScope asked = scope;
    if (!writeConfirmed(scope))
        return;
    // Nothing changed and the technician sends everything: the full write's checks hold.
    if (scope != asked && !checksPassed(scope))
        return;
    setWriting(true);
    m_line->submit([this, scope] {
        WriteHooks hooks;
        hooks.confirmWhileRunning = [this] {
            return m_services.dialogs->question(this, text::AskRunning, text::RunningTitle) ==
                   Answer::Yes;
        };
        hooks.writing = [this] {
            m_tabs->setEnabled(false);
            m_dots = 0;
            showProgress(m_closeHeld ? text::CloseAfterWrite : text::Writing);
            m_progressTimer->start();
        };
        hooks.pageRead = [this](int page) { showFields(m_core->showPage(page)); };
        WindowChangeLog log(m_services,
                            scope == WriteScope::Everything ? text::Write : text::WriteChanged);
        hooks.registerWritten = [&log](const RegisterWritten& written) {
            log.record(editorChange(log.source(), written));
        };
        const WriteOutcome outcome = m_core->writeToDrive(m_services.link, hooks, scope);
        showLink();
        setWriting(false);
        refreshAllMarks();
        reportWrite(outcome);
        log.tellFailure(this);
        // After a reset to factory values the page in view is read again at the new settings.
        if (outcome.factoryReset && !m_closeHeld)
            readAndShowPage(m_pages->currentIndex());
    });
}

bool ParameterEditor::fieldsTaken() {
    const std::vector<CheckFailure> refused = m_core->refusedFields();
    if (refused.empty())
        return true;
    for (const CheckFailure& failure : refused)
        m_services.dialogs->message(this, qs(failure.message), text::CheckTitle);
    goToParameter(refused.front().reg);
    showProgress(qs(refused.front().message));
    return false;
}

bool ParameterEditor::checksPassed(WriteScope scope) {
    const WriteCheck check = m_core->checkWrite(scope);
    m_core->leaveOut({});
    if (!check.failures.empty()) {
        for (const CheckFailure& failure : check.failures)
            m_services.dialogs->message(this, qs(failure.message), text::CheckTitle);
        goToParameter(check.failures.front().reg);
        showProgress(check.failures.size() == 1
                         ? qs(check.failures.front().message)
                         : text::ChecksFailed.arg(qs(check.failures.front().message))
                               .arg(check.failures.size() - 1));
        return false;
    }
    if (check.driveHeld.empty())
        return true;
    // Values the drive itself holds, untouched: the technician may write the rest without them.
    QStringList lines;
    std::vector<int> regs;
    for (const CheckFailure& failure : check.driveHeld) {
        lines << qs(failure.message);
        regs.push_back(failure.reg);
    }
    if (m_services.dialogs->cautiousQuestion(this, text::DriveHeldQuestion.arg(lines.join("\n")),
                                             text::CheckTitle) != Answer::Yes) {
        goToParameter(check.driveHeld.front().reg);
        showProgress(qs(check.driveHeld.front().message));
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
                        change.before ? qs(*change.before) : text::PreviewNotRead,
                        qs(change.after)});
    QString summary = text::PreviewChanges.arg(preview.changes.size());
    if (preview.unchanged > 0)
        summary += text::PreviewUnchanged.arg(preview.unchanged);
    return m_services.dialogs->confirmTable(this, summary + text::PreviewQuestion,
                                            text::PreviewColumns, rows, text::Write) == Answer::Yes;
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
    if (!m_services.link.offline)
        m_services.link.framing = m_core->framingInUse();
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

}  // namespace velorin
