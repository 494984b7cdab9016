// The editor's find box, the compare window's way into the editor, the marks on its fields and
// tabs, and the reading of every page.

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CompareWindow.h"
#include "EditorTexts.h"
#include "PageTabs.h"
#include "ParameterEditor.h"
#include "VfCurvePlot.h"
#include "editor/ParameterFind.h"
#include "link/LineSession.h"
#include "platform/Twips.h"
#include "platform/QtText.h"

namespace velorin {

namespace {

namespace text = editortext;

constexpr int kFoundHighlightMs = 1500;
constexpr int kMostMatchesListed = 200;
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

QWidget* ParameterEditor::buildFindPanel(QWidget* parent) {
    m_findPanel = new QWidget(parent);
    m_findPanel->setObjectName(QStringLiteral("findPanel"));
    auto* layout = new QVBoxLayout(m_findPanel);
    layout->setContentsMargins(0, 4, 0, 4);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text::FindLabel, m_findPanel);
    label->setFont(kaiFont(12));
    m_findText = new QLineEdit(m_findPanel);
    m_findText->setObjectName(QStringLiteral("findText"));
    m_findText->setPlaceholderText(text::FindHint);
    m_findText->setFont(mingFont(12));
    row->addWidget(label);
    row->addWidget(m_findText, 1);
    layout->addLayout(row);
    // The matches float over the page under the find box, as a completer's list does, so the
    // page does not move down while the technician types.
    m_findResults = new QListWidget(parent);
    m_findResults->setObjectName(QStringLiteral("findResults"));
    m_findResults->setFont(mingFont(11));
    m_findResults->setFrameShape(QFrame::Box);
    m_findResults->hide();
    m_findText->installEventFilter(this);
    connect(m_findText, &QLineEdit::textChanged, this, &ParameterEditor::onFindTextChanged);
    connect(m_findText, &QLineEdit::returnPressed, this, &ParameterEditor::onFindChosen);
    connect(m_findResults, &QListWidget::itemActivated, this, &ParameterEditor::onFindChosen);
    connect(m_findResults, &QListWidget::itemClicked, this, &ParameterEditor::onFindChosen);
    m_findPanel->hide();
    return m_findPanel;
}

// Up and Down in the find box move through the matches, so a choice needs no mouse.
bool ParameterEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_findText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            const int row = m_findResults->currentRow() + (key == Qt::Key_Down ? 1 : -1);
            if (row >= 0 && row < m_findResults->count())
                m_findResults->setCurrentRow(row);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ParameterEditor::onFindTriggered() {
    m_findPanel->show();
    m_findText->setFocus(Qt::ShortcutFocusReason);
    m_findText->selectAll();
    placeFindResults();
}

void ParameterEditor::placeFindResults() {
    if (!m_findResults)
        return;  // a resize while the window is built
    if (!m_findPanel->isVisible() || m_findResults->count() == 0) {
        m_findResults->hide();
        return;
    }
    QWidget* area = m_findResults->parentWidget();
    const QPoint under = m_findText->mapTo(area, QPoint(0, m_findText->height()));
    const int rows = std::min(m_findResults->count(), 8);
    const int height = rows * m_findResults->sizeHintForRow(0) + 2 * m_findResults->frameWidth() + 2;
    const int width = std::min(area->width() - under.x(), std::max(m_findText->width(), 480));
    m_findResults->setGeometry(under.x(), under.y(), width, std::min(height, area->height() - under.y()));
    m_findResults->show();
    m_findResults->raise();
}

void ParameterEditor::onFindTextChanged(const QString& query) {
    m_findResults->clear();
    const std::vector<int> found = findParameters(query.toStdString());
    if (found.empty() && !query.trimmed().isEmpty()) {
        auto* none = new QListWidgetItem(text::NoMatch, m_findResults);
        none->setFlags(Qt::NoItemFlags);
        placeFindResults();
        return;
    }
    for (std::size_t i = 0; i < found.size() && i < kMostMatchesListed; ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(found[i]);
        auto* item = new QListWidgetItem(
            QStringLiteral("%1　%2　（%3）")
                .arg(qs(p.code), qs(p.name), qs(Catalogue::instance().page(p.page).caption)),
            m_findResults);
        item->setData(Qt::UserRole, p.reg);
    }
    m_findResults->setCurrentRow(0);
    placeFindResults();
}

void ParameterEditor::onFindChosen() {
    const QListWidgetItem* item = m_findResults->currentItem();
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return;
    goToParameter(item->data(Qt::UserRole).toInt());
}

void ParameterEditor::closeFind() {
    m_findPanel->hide();
    m_findResults->hide();
}

void ParameterEditor::goToParameter(int reg) {
    // While the line is in use the page stays as it is, as with a tab click.
    if (lineBusy() || m_closeHeld)
        return;
    const int page = Catalogue::instance().parameter(reg).page;
    closeFind();
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
    if (m_readingAll && m_line)
        m_line->stop();
    else if (m_findPanel->isVisible())
        closeFind();
}

// ---- Compare ----

void ParameterEditor::onCompareTriggered() {
    if (!m_compare) {
        CompareWindow::Hooks hooks;
        // While a page read or a write runs, the working values are not touched.
        hooks.convertFields = [this] {
            if (!lineBusy() && !m_closeHeld)
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
        tip = qs(m_core->refusalMessage(reg)) + QLatin1Char('\n') + tip;
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
    m_readingAll = true;
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
                showProgress(text::ReadFailed.arg(qs(Catalogue::codeOf(outcome.failedRegister))));
                break;
            }
        }
        m_line->setBeforeTransaction({});
        if (stopped)
            showProgress(text::ReadAllStopped);
        else if (m_progress->text().startsWith(text::ReadAllProgress.left(4)))
            hideProgress();
    });
    m_readingAll = false;
}

}  // namespace velorin
