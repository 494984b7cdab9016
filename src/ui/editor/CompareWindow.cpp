#include "CompareWindow.h"

#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "EditorTexts.h"
#include "platform/QtText.h"
#include "platform/SafeFile.h"
#include "texts/FileTexts.h"
#include "platform/Twips.h"

namespace velorin {

namespace {

namespace text = editortext;

}  // namespace

CompareWindow::CompareWindow(Services& services, std::shared_ptr<const EditorCore> core,
                             Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_services(services),
      m_core(std::move(core)),
      m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("compareWindow"));
    setWindowTitle(text::CompareTitle);
    setFont(mingFont(10));
    resize(900, 600);

    auto* sets = new QHBoxLayout;
    sets->addWidget(new QLabel(text::CompareSets, this));
    const struct {
        Set set;
        const QString& caption;
        const char* name;
    } boxes[] = {{DriveValues, text::CompareDrive, "compareDrive"},
                 {EditorValues, text::CompareEditor, "compareEditor"},
                 {FileValues, text::CompareFile, "compareFile"},
                 {FactoryValues, text::CompareFactory, "compareFactory"}};
    for (const auto& b : boxes) {
        auto* box = new QCheckBox(b.caption, this);
        box->setObjectName(QString::fromLatin1(b.name));
        sets->addWidget(box);
        m_setBoxes[b.set] = box;
        if (b.set == FileValues) {
            auto* choose = new QPushButton(text::ChooseCompareFile, this);
            choose->setObjectName(QStringLiteral("chooseCompareFile"));
            connect(choose, &QPushButton::clicked, this, &CompareWindow::onChooseFileClicked);
            sets->addWidget(choose);
        }
    }
    // Offline there is no drive to compare with; a file is offered once one is chosen.
    const bool online = !m_core->offline();
    m_setBoxes[DriveValues]->setVisible(online);
    m_setBoxes[DriveValues]->setChecked(online);
    m_setBoxes[EditorValues]->setChecked(true);
    m_setBoxes[FileValues]->setEnabled(false);
    m_setBoxes[FactoryValues]->setChecked(!online);
    for (QCheckBox* box : m_setBoxes)
        connect(box, &QCheckBox::toggled, this, &CompareWindow::refresh);
    sets->addStretch(1);

    m_onlyDifferent = new QRadioButton(text::OnlyDifferent, this);
    m_onlyDifferent->setObjectName(QStringLiteral("onlyDifferent"));
    m_onlyDifferent->setChecked(true);
    auto* all = new QRadioButton(text::ShowAll, this);
    all->setObjectName(QStringLiteral("showAll"));
    connect(m_onlyDifferent, &QRadioButton::toggled, this, &CompareWindow::showTable);
    sets->addWidget(m_onlyDifferent);
    sets->addWidget(all);
    auto* again = new QPushButton(text::CompareAgain, this);
    again->setObjectName(QStringLiteral("compareAgain"));
    connect(again, &QPushButton::clicked, this, &CompareWindow::refresh);
    sets->addWidget(again);
    m_saveButton = new QPushButton(text::SaveCsv, this);
    m_saveButton->setObjectName(QStringLiteral("saveCompareCsv"));
    connect(m_saveButton, &QPushButton::clicked, this, &CompareWindow::onSaveClicked);
    sets->addWidget(m_saveButton);

    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("compareTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    connect(m_table, &QTableWidget::cellActivated, this, &CompareWindow::onRowActivated);
    m_table->viewport()->installEventFilter(this);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("compareSummary"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sets);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summary);
}

void CompareWindow::refresh() {
    if (m_hooks.convertFields)
        m_hooks.convertFields();
    std::vector<ParameterSet> sets;
    m_shownSets.clear();
    for (int i = 0; i < SetCount; ++i) {
        const auto set = static_cast<Set>(i);
        if (!m_setBoxes[set]->isChecked())
            continue;
        m_shownSets.push_back(set);
        switch (set) {
            case DriveValues:
                sets.push_back(driveSet(*m_core));
                break;
            case EditorValues:
                sets.push_back(workingSet(*m_core));
                break;
            case FileValues:
                sets.push_back(*m_file);
                break;
            case FactoryValues:
            case SetCount:
                sets.push_back(factorySet());
                break;
        }
    }
    m_comparison = sets.size() >= 2 ? compareSets(sets) : Comparison{};
    showTable();
}

bool CompareWindow::onlyDifferent() const {
    return m_onlyDifferent->isChecked();
}

QString CompareWindow::setName(Set set) const {
    switch (set) {
        case DriveValues:
            return text::CompareDrive;
        case EditorValues:
            return text::CompareEditor;
        case FileValues:
            return m_fileName;
        case FactoryValues:
        case SetCount:
            break;
    }
    return text::CompareFactory;
}

void CompareWindow::showTable() {
    QStringList headers = {QString::fromUtf8(kCodeColumn), QString::fromUtf8(kNameColumn)};
    for (Set set : m_shownSets) headers << setName(set);
    m_table->clear();
    m_table->setRowCount(0);
    m_naturalWidths.clear();
    m_table->setColumnCount(static_cast<int>(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    const bool compared = m_shownSets.size() >= 2;
    m_saveButton->setEnabled(compared);
    if (!compared) {
        m_summary->setText(text::ChooseTwoSets);
        return;
    }
    int differing = 0;
    QFont differs = m_table->font();
    differs.setBold(true);
    for (const CompareRow& row : m_comparison.rows) {
        differing += row.differs;
        if (onlyDifferent() && !row.differs)
            continue;
        const int at = m_table->rowCount();
        m_table->insertRow(at);
        const ParameterInfo& p = Catalogue::instance().parameter(row.reg);
        QStringList cells = {qs(p.code), qs(p.name)};
        for (const auto& value : row.values) cells << qs(comparedText(value));
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            item->setData(Qt::UserRole, row.reg);
            item->setToolTip(cells[column]);  // whole where its column cuts it
            if (row.differs)
                item->setFont(differs);
            m_table->setItem(at, column, item);
        }
    }
    m_table->resizeColumnsToContents();
    for (int column = 0; column < m_table->columnCount(); ++column)
        m_naturalWidths.push_back(m_table->columnWidth(column));
    fitColumns();
    m_summary->setText(text::CompareSummary.arg(differing).arg(m_comparison.rows.size()));
}

std::vector<int> fittedColumnWidths(const std::vector<int>& natural, int available, int slack) {
    std::vector<int> widths = natural;
    int total = 0;
    for (int w : natural) total += w;
    if (total <= available) {
        if (slack >= 0 && slack < static_cast<int>(widths.size()))
            widths[slack] += available - total;
        return widths;
    }
    // The narrow columns stay whole as long as an equal share of what is left covers them.
    std::vector<int> ascending = natural;
    std::sort(ascending.begin(), ascending.end());
    int left = available;
    int shared = static_cast<int>(ascending.size());
    for (int w : ascending) {
        if (w * shared > left)
            break;
        left -= w;
        --shared;
    }
    const int cap = std::max(1, left / std::max(shared, 1));
    for (int& w : widths) w = std::min(w, cap);
    return widths;
}

void CompareWindow::fitColumns() {
    const std::vector<int> widths =
        fittedColumnWidths(m_naturalWidths, m_table->viewport()->width(), 1);
    for (int column = 0; column < static_cast<int>(widths.size()); ++column)
        m_table->setColumnWidth(column, widths[column]);
}

bool CompareWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void CompareWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    const QWidget* editor = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* shown = editor && editor->screen() ? editor->screen() : screen();
    if (!shown)
        return;
    const QRect area = shown->availableGeometry();
    const QMargins frame(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    resize(std::min(width(), area.width() - frame.left() - frame.right()),
           std::min(height(), area.height() - frame.top() - frame.bottom()));
    QRect placed(QPoint(), frameGeometry().size());
    placed.moveCenter(editor ? editor->frameGeometry().center() : area.center());
    placed.moveLeft(std::clamp(placed.left(), area.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::clamp(placed.top(), area.top(), area.bottom() + 1 - placed.height()));
    move(placed.topLeft());
}

bool fileMayBeTaken(Dialogs& dialogs, QWidget* parent, const ParameterFileLoad& load) {
    if (!load.usable() || !load.holdsAnyPage()) {
        QStringList told;
        for (const ParameterFileError& line : load.unreadLines) told << text::fileFault(line);
        told << (load.usable() ? text::NoPage : text::fileFault(*load.error));
        dialogs.message(parent, told.join(QLatin1Char('\n')), text::FileError);
        return false;
    }
    if (load.unreadLines.empty())
        return true;
    QStringList lines;
    for (const ParameterFileError& line : load.unreadLines) {
        if (lines.size() == text::kUnreadShown) {
            lines << text::MoreUnread.arg(load.unreadLines.size() - text::kUnreadShown);
            break;
        }
        lines << text::fileFault(line);
    }
    const QString question =
        text::UnreadLines.arg(load.unreadLines.size()).arg(lines.join(QLatin1Char('\n'))) +
        text::SkipUnreadQuestion;
    return dialogs.question(parent, question, text::FileError) == Answer::Yes;
}

void CompareWindow::onRowActivated(int row) {
    if (const QTableWidgetItem* item = m_table->item(row, 0); item && m_hooks.showField)
        m_hooks.showField(item->data(Qt::UserRole).toInt());
}

void CompareWindow::onChooseFileClicked() {
    const auto path = m_services.dialogs->openFile(
        this, text::CompareFileTitle, m_services.folders->desktopFolder(), text::LoadFilter);
    if (!path)
        return;
    ParameterFileLoad load = loadParameterFile(QFileInfo(*path).filesystemFilePath());
    if (!fileMayBeTaken(*m_services.dialogs, this, load))
        return;
    // Shown as a load into the editor would show it, with the editor's copy of P13.35 when the
    // file lacks page P13-2.
    m_file = ParameterSet{std::move(load), m_core->copies().pidDecimals};
    m_fileName = QFileInfo(*path).fileName();
    QCheckBox* box = m_setBoxes[FileValues];
    box->setText(m_fileName);
    box->setEnabled(true);
    if (box->isChecked())
        refresh();
    else
        box->setChecked(true);  // refreshes
}

void CompareWindow::onSaveClicked() {
    const auto path =
        m_services.dialogs->saveFile(this, text::SaveCsv, m_services.folders->desktopFolder(),
                                     text::CompareCsvName, text::CsvFilter);
    if (!path)
        return;
    std::vector<std::string> names;
    for (Set set : m_shownSets) names.push_back(setName(set).toStdString());
    const std::string csv = comparisonCsv(m_comparison, names, onlyDifferent());
    if (const auto failure = writeFileSafely(QFileInfo(*path).filesystemFilePath(), csv))
        m_services.dialogs->message(this, qs(describeWriteFault(*failure)), text::FileError);
}

}  // namespace velorin
