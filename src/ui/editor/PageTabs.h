#pragma once
// A tab strip that wraps into rows (the editor's 30 pages take rows of 11, 11 and 8). A click
// only asks for a page: the owner decides whether the page changes, so a page being read from
// the drive keeps its tab.

#include <QStringList>
#include <QWidget>
#include <vector>

class QToolButton;

namespace velorin {

class PageTabs : public QWidget {
    Q_OBJECT
public:
    PageTabs(const QStringList& captions, int perRow, int tabHeight, QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_tabs.size()); }
    int current() const { return m_current; }
    void setCurrent(int index);
    QToolButton* tab(int index) const { return m_tabs.at(index); }

signals:
    void tabRequested(int index);

private:
    std::vector<QToolButton*> m_tabs;
    int m_current = -1;
};

}  // namespace velorin
