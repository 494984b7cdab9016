#include "PageTabs.h"

#include <QGridLayout>
#include <QToolButton>

namespace velorin {

PageTabs::PageTabs(const QStringList& captions, int perRow, int tabHeight, QWidget* parent)
    : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    for (int i = 0; i < captions.size(); ++i) {
        auto* tab = new QToolButton(this);
        tab->setObjectName(QStringLiteral("pageTab%1").arg(i));
        tab->setText(captions[i]);
        tab->setCheckable(true);
        tab->setFixedHeight(tabHeight);
        tab->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        // The button's own toggling is undone: only setCurrent() moves the checked tab.
        connect(tab, &QToolButton::clicked, this, [this, i] {
            m_tabs[i]->setChecked(i == m_current);
            emit tabRequested(i);
        });
        grid->addWidget(tab, i / perRow, i % perRow);
        m_tabs.push_back(tab);
    }
    for (int c = 0; c < perRow; ++c) grid->setColumnStretch(c, 1);
}

void PageTabs::setCurrent(int index) {
    m_current = index;
    for (int i = 0; i < count(); ++i) m_tabs[i]->setChecked(i == index);
}

}  // namespace velorin
