// The parameter editor's window as it is built: toolbar, menu, the tab strip over the pages, the
// one factory of fields, and the progress text over the toolbar.

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "EditorPictures.h"
#include "EditorTexts.h"
#include "PageTabs.h"
#include "ParameterEditor.h"
#include "VfCurvePlot.h"
#include "model/DriveFacts.h"
#include "platform/ChangeLogFile.h"
#include "platform/QtText.h"
#include "platform/Twips.h"

namespace velorin {

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
    layout->addWidget(buildFindPanel(central));
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
    connect(find, &QAction::triggered, this, &ParameterEditor::onFindTriggered);
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
    placeFindResults();
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

}  // namespace velorin
