#include "FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "EditorTexts.h"
#include "editor/ParameterFind.h"
#include "model/Catalogue.h"
#include "platform/QtText.h"
#include "platform/Twips.h"

namespace velorin {

namespace {
namespace text = editortext;
constexpr std::size_t kMostMatchesListed = 200;
}  // namespace

FindBar::FindBar(QWidget* area) : QWidget(area) {
    setObjectName(QStringLiteral("findPanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(text::FindLabel, this);
    label->setFont(kaiFont(12));
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(text::FindHint);
    m_text->setFont(mingFont(12));
    row->addWidget(label);
    row->addWidget(m_text, 1);
    layout->addLayout(row);
    m_results = new QListWidget(area);
    m_results->setObjectName(QStringLiteral("findResults"));
    m_results->setFont(mingFont(11));
    m_results->setFrameShape(QFrame::Box);
    m_results->hide();
    m_text->installEventFilter(this);
    connect(m_text, &QLineEdit::textChanged, this, &FindBar::onTextChanged);
    connect(m_text, &QLineEdit::returnPressed, this, &FindBar::onChosen);
    connect(m_results, &QListWidget::itemActivated, this, &FindBar::onChosen);
    connect(m_results, &QListWidget::itemClicked, this, &FindBar::onChosen);
    hide();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up) {
            const int row = m_results->currentRow() + (key == Qt::Key_Down ? 1 : -1);
            if (row >= 0 && row < m_results->count())
                m_results->setCurrentRow(row);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::open() {
    show();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
    placeResults();
}

void FindBar::dismiss() {
    hide();
    m_results->hide();
}

void FindBar::placeResults() {
    if (!isVisible() || m_results->count() == 0) {
        m_results->hide();
        return;
    }
    QWidget* area = m_results->parentWidget();
    const QPoint under = m_text->mapTo(area, QPoint(0, m_text->height()));
    const int rows = std::min(m_results->count(), 8);
    const int height = rows * m_results->sizeHintForRow(0) + 2 * m_results->frameWidth() + 2;
    const int width = std::min(area->width() - under.x(), std::max(m_text->width(), 480));
    m_results->setGeometry(under.x(), under.y(), width,
                           std::min(height, area->height() - under.y()));
    m_results->show();
    m_results->raise();
}

void FindBar::onTextChanged(const QString& query) {
    m_results->clear();
    const std::vector<int> found = findParameters(query.toStdString());
    if (found.empty() && !query.trimmed().isEmpty()) {
        auto* none = new QListWidgetItem(text::NoMatch, m_results);
        none->setFlags(Qt::NoItemFlags);
        placeResults();
        return;
    }
    for (std::size_t i = 0; i < found.size() && i < kMostMatchesListed; ++i) {
        const ParameterInfo& p = Catalogue::instance().parameter(found[i]);
        auto* item = new QListWidgetItem(
            QStringLiteral("%1　%2　（%3）")
                .arg(qs(p.code), qs(p.name), qs(Catalogue::instance().page(p.page).caption)),
            m_results);
        item->setData(Qt::UserRole, p.reg);
    }
    m_results->setCurrentRow(0);
    placeResults();
}

void FindBar::onChosen() {
    const QListWidgetItem* item = m_results->currentItem();
    if (!item || !(item->flags() & Qt::ItemIsEnabled))
        return;
    emit chosen(item->data(Qt::UserRole).toInt());
}

}  // namespace velorin
