// The windows on a 1024 × 768 screen, a 1366 × 768 one and a 1920 × 1080 one at 150 %, one
// layout case a window kind.

#include <gtest/gtest.h>

#include <QtWidgets>

#include "support/SimServices.h"
#include "support/Widgets.h"
#include "ui/connection/ConnectionWindow.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/editor/VfCurvePlot.h"
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

// The drop-down boxes of `parent` with an option text wider than the box shows it.
QStringList cutOptions(const QWidget* parent) {
    QStringList cut;
    for (const QComboBox* box : parent->findChildren<QComboBox*>()) {
        if (!box->isVisibleTo(parent))
            continue;
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        option.frame = box->hasFrame();
        const int shown =
            box->style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                .width();
        for (int i = 0; i < box->count(); ++i)
            if (box->fontMetrics().horizontalAdvance(box->itemText(i)) + 4 > shown)
                cut << box->objectName() + ": " + box->itemText(i);
    }
    return cut;
}

class ScreenGeometry : public ::testing::TestWithParam<int> {
protected:
    QScreen* screen() const { return QGuiApplication::screens().value(GetParam()); }
    test::SimServices sim;
};

TEST_P(ScreenGeometry, EveryPageFitsTheWidthAndNothingOverlaps) {
    ASSERT_TRUE(screen()) << "screens.json gives three screens";
    sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2", std::nullopt});
    sim.services.windows.menu = []() -> QWidget* { return nullptr; };
    // Long option texts in the fields (P01.01, P05.02, P07.00, P12.03, P16.15).
    for (auto [reg, position] : {std::pair{26, 1}, {148, 3}, {186, 2}, {403, 21}, {520, 1}})
        sim.drive.setReg(reg, position);
    QPointer<QWidget> editor =
        showParameterEditor(sim.services, nullptr, {nullptr, [] { return nullptr; }});
    ASSERT_TRUE(editor);
    editor->windowHandle()->setScreen(screen());
    editor->setGeometry(screen()->availableGeometry());
    editor->showMaximized();
    settle();
    auto* pages = editor->findChild<QStackedWidget*>("pages");
    const QString size = screen()->name();
    for (int page = 0; page < pages->count(); ++page) {
        SCOPED_TRACE(size.toStdString() + " page " + std::to_string(page));
        // Read from the drive, so that the fields show its values.
        editor->findChild<QToolButton*>(QStringLiteral("pageTab%1").arg(page))->click();
        settle();
        ASSERT_EQ(pages->currentIndex(), page);
        auto* scroll = pages->findChild<QScrollArea*>(QStringLiteral("page%1").arg(page));
        EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0) << "sideways scrolling";
        EXPECT_EQ(overlaps(scroll->widget()).join(", ").toStdString(), "");
        EXPECT_EQ(cutOptions(scroll->widget()).join(" | ").toStdString(), "");
        // A motor page's V/F curve in sight as the page opens.
        if (auto* plot = pages->findChild<VfCurvePlot*>(QStringLiteral("vfCurve%1").arg(page)))
            EXPECT_EQ(plot->visibleRegion().boundingRect(), plot->rect()) << "curve in sight";
    }

    // Laid out for a wide screen, the editor still goes back to a small one.
    editor->showNormal();
    editor->findChild<QToolButton*>("pageTab12")->click();
    editor->resize(2400, 900);
    settle();
    editor->resize(800, 600);
    settle();
    EXPECT_EQ(editor->size(), QSize(800, 600));

    // The compare window with every value shown, two of them long: each column in sight.
    editor->findChild<QAction*>("compareItem")->trigger();
    settle();
    auto* compare = editor->findChild<QWidget*>("compareWindow");
    ASSERT_TRUE(compare);
    compare->findChild<QCheckBox*>("compareFactory")->setChecked(true);
    compare->findChild<QRadioButton*>("showAll")->click();
    settle();
    EXPECT_TRUE(screen()->availableGeometry().contains(compare->frameGeometry()));
    auto* table = compare->findChild<QTableWidget*>("compareTable");
    const int last = table->columnCount() - 1;
    EXPECT_LE(table->columnViewportPosition(last) + table->columnWidth(last),
              table->viewport()->width())
        << "出廠值 in sight";
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0) << "sideways scrolling";
    delete editor.data();
}

TEST_P(ScreenGeometry, TheSmallWindowsShowTheirTextsWholeAndTheMonitorEveryColumn) {
    ASSERT_TRUE(screen());
    sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2", std::nullopt});
    const std::function<QWidget*()> windows[] = {
        [&] { return new ConnectionWindow(sim.services); },
        [&] { return new ModeMenu(sim.services); },
        [&] { return new RunPanel(sim.services, {nullptr, [] { return nullptr; }}); },
    };
    for (const auto& make : windows) {
        QPointer<QWidget> w = make();
        w->move(screen()->availableGeometry().topLeft() + QPoint(40, 40));
        w->show();
        settle();
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_EQ(cutTexts(w).join(" | ").toStdString(), "");
        EXPECT_EQ(cutOptions(w).join(" | ").toStdString(), "");
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
    auto* table = window.findChild<QTableView*>("monitorTable");
    const int last = table->model()->columnCount() - 1;
    EXPECT_LE(table->columnViewportPosition(last) + table->columnWidth(last),
              table->viewport()->width() + 1)
        << "延遲(ms) in sight";
}

INSTANTIATE_TEST_SUITE_P(ThreeScreens, ScreenGeometry, ::testing::Values(0, 1, 2));

}  // namespace
