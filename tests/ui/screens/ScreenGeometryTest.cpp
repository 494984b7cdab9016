// The windows on a 1024 × 768 screen, a 1366 × 768 one and a 1920 × 1080 one at 150 %: every
// page of the editor without sideways scrolling and without a label or field over another, the
// buttons' and labels' texts of the small windows whole, and the line monitor on the screen with
// every column in sight. With VELORIN_SCREENSHOT_DIR set, the editor's pictures are kept there.

#include <gtest/gtest.h>

#include <QtWidgets>

#include "support/SimServices.h"
#include "ui/connection/ConnectionWindow.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/monitor/MonitorWindow.h"
#include "ui/run/RunPanel.h"

using namespace velorin;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// "label261 over field262" for each two visible children of `parent` that overlap.
QStringList overlaps(const QWidget* parent) {
    QStringList found;
    QList<const QWidget*> shown;
    for (const QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(parent) && !w->objectName().isEmpty())
            shown << w;
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j)
            if (shown[i]->geometry().intersects(shown[j]->geometry()))
                found << shown[i]->objectName() + " over " + shown[j]->objectName();
    return found;
}

// The buttons, check boxes and one-line labels whose text is wider than they are.
QStringList cutTexts(const QWidget* window) {
    QStringList cut;
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!b->isVisible() || b->text().isEmpty() || qobject_cast<const QToolButton*>(b))
            continue;
        const int need = b->fontMetrics().horizontalAdvance(QString(b->text()).remove('&')) +
                         (qobject_cast<const QCheckBox*>(b) ? 24 : 8);
        if (need > b->width())
            cut << b->objectName() + ": " + b->text();
    }
    for (const QLabel* l : window->findChildren<QLabel*>())
        if (l->isVisible() && !l->wordWrap() && !l->text().contains('<') &&
            l->fontMetrics().horizontalAdvance(l->text()) > l->contentsRect().width())
            cut << l->objectName() + ": " + l->text();
    return cut;
}

class ScreenGeometry : public ::testing::TestWithParam<int> {
protected:
    QScreen* screen() const { return QGuiApplication::screens().value(GetParam()); }
    void place(QWidget* w) const {
        w->move(screen()->availableGeometry().topLeft() + QPoint(40, 40));
        settle();
    }
    test::SimServices sim;
};

TEST_P(ScreenGeometry, EveryPageFitsTheWidthAndNothingOverlaps) {
    ASSERT_TRUE(screen()) << "screens.json gives three screens";
    sim.services.link = {1, Framing::Ascii, false, 1, "9600,N,7,2"};
    sim.services.windows.menu = []() -> QWidget* { return nullptr; };
    QPointer<QWidget> editor = new QWidget;  // stands in until the editor is up
    delete editor.data();
    editor = showParameterEditor(sim.services, nullptr, {nullptr, [] { return nullptr; }});
    ASSERT_TRUE(editor);
    editor->windowHandle()->setScreen(screen());
    editor->setGeometry(screen()->availableGeometry());
    editor->showMaximized();
    settle();
    auto* pages = editor->findChild<QStackedWidget*>("pages");
    const QString size = screen()->name();
    for (int page = 0; page < pages->count(); ++page) {
        SCOPED_TRACE(size.toStdString() + " page " + std::to_string(page));
        pages->setCurrentIndex(page);
        settle();
        auto* scroll = qobject_cast<QScrollArea*>(pages->widget(page));
        EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "sideways scrolling";
        EXPECT_EQ(overlaps(scroll->widget()).join(", ").toStdString(), "");
        if (const char* dir = std::getenv("VELORIN_SCREENSHOT_DIR");
            dir && (page == 0 || page == 12))
            editor->grab().save(QDir(dir).filePath(QStringLiteral("editor-%1-page%2.png")
                                                       .arg(QString(size).replace('@', '-'))
                                                       .arg(page)));
    }
    delete editor.data();
}

TEST_P(ScreenGeometry, TheSmallWindowsShowTheirTextsWholeAndTheMonitorEveryColumn) {
    ASSERT_TRUE(screen());
    sim.services.link = {1, Framing::Ascii, false, 1, "9600,N,7,2"};
    const std::function<QWidget*()> windows[] = {
        [&] { return new ConnectionWindow(sim.services); },
        [&] { return new ModeMenu(sim.services); },
        [&] {
            return new RunPanel(sim.services, {nullptr, [] { return nullptr; }});
        },
    };
    for (const auto& make : windows) {
        QPointer<QWidget> w = make();
        place(w);
        w->show();
        settle();
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_EQ(cutTexts(w).join(" | ").toStdString(), "");
        delete w.data();
    }

    VirtualClock clock;
    LineMonitor monitor(clock);
    MonitorWindow window(monitor, sim.dialogs);
    window.windowHandle() ? window.windowHandle()->setScreen(screen()) : void();
    window.move(screen()->availableGeometry().topLeft());
    window.show();
    settle();
    const QRect area = screen()->availableGeometry();
    EXPECT_TRUE(area.contains(window.frameGeometry())) << "on the screen";
    EXPECT_GT(window.y(), area.top()) << "not over the windows at the top left";
    auto* table = window.findChild<QTableView*>("monitorTable");
    const int last = table->model()->columnCount() - 1;
    EXPECT_LE(table->columnViewportPosition(last) + table->columnWidth(last),
              table->viewport()->width() + 1)
        << "延遲(ms) in sight";
}

INSTANTIATE_TEST_SUITE_P(ThreeScreens, ScreenGeometry, ::testing::Values(0, 1, 2));

}  // namespace
