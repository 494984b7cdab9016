// The mode menu: its resting state, the progress line's dots, and the hand-over to the editor and
// the run panel.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "menu/Select.h"
#include "support/SimServices.h"

using namespace velorin;

namespace {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        Global = {};
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
    }
    void TearDown() override { delete menu.data(); }
    Form2* open() {
        menu = new Form2(sim.services);
        menu->show();
        return menu;
    }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    test::SimServices sim;
    QPointer<Form2> menu;
};

// Records the keys the window previews.
class PreviewingMenu : public Form2 {
public:
    using Form2::Form2;
    std::vector<int> keys;

protected:
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers) override {
        keys.push_back(keyCode);
        return keyCode == Qt::Key_F12;
    }
};

}  // namespace

TEST_F(MenuTest, RestsWithBothButtonsAndAHiddenProgressLine) {
    open();
    EXPECT_EQ(menu->windowTitle(), "VELORIN");
    EXPECT_EQ(menu->Command1->text(), "變頻機參數調整");
    EXPECT_EQ(menu->Command2->text(), "變頻機運轉試車");
    EXPECT_TRUE(menu->Command1->isEnabled());
    EXPECT_TRUE(menu->Command2->isEnabled());
    EXPECT_FALSE(menu->Text1->isVisible());
    EXPECT_TRUE(menu->Text1->isReadOnly());
    EXPECT_EQ(menu->Text1->text(), "參數讀取中，請稍候");
    EXPECT_FALSE(menu->Timer2->isActive());
    EXPECT_EQ(menu->Timer2->interval(), 1000);
    EXPECT_EQ(menu->DOT, 0);
    EXPECT_FALSE(menu->MSComm1->isOpen());
}

TEST_F(MenuTest, ProgressLineGrowsToTwelveDotsThenStartsAgain) {
    open();
    const QString bare = QStringLiteral("開發參數寫入中，請稍候");
    menu->Text1->setText(bare);
    for (int tick = 1; tick <= 12; ++tick) menu->Timer2_Timer();
    EXPECT_EQ(menu->Text1->text(), bare + QString(12, QLatin1Char('.')));
    EXPECT_EQ(menu->DOT, 12);
    menu->Timer2_Timer();
    EXPECT_EQ(menu->Text1->text(), bare);
    EXPECT_EQ(menu->DOT, 0);
}

TEST_F(MenuTest, EditorButtonWaitsWithBothButtonsDisabledUntilTheEditorClosesIt) {
    open();
    bool disabledWhileEditorLoads = false;
    sim.services.windows.editor = [&]() -> QWidget* {
        disabledWhileEditorLoads = !menu->Command1->isEnabled() && !menu->Command2->isEnabled();
        return nullptr;
    };
    menu->Command1->click();
    EXPECT_TRUE(disabledWhileEditorLoads);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(menu->Command1->isEnabled());
    EXPECT_FALSE(menu->Command2->isEnabled());

    // The editor has read its first page.
    closeModeMenus();
    flushDeletes();
    EXPECT_FALSE(menu);
}

TEST_F(MenuTest, RunPanelButtonShowsThePanelThenCloses) {
    open();
    bool menuUpWhenPanelShown = false;
    sim.services.windows.runPanel = [&]() -> QWidget* {
        menuUpWhenPanelShown = menu && menu->isVisible();
        return nullptr;
    };
    menu->Command2->click();
    EXPECT_TRUE(menuUpWhenPanelShown);
    flushDeletes();
    EXPECT_FALSE(menu);
}

// The run panel talks to the drive while it loads; a close of the menu that arrives meanwhile
// waits until the button's handler is over.
TEST_F(MenuTest, CloseDuringTheRunPanelsLoadIsHeldBack) {
    open();
    sim.services.windows.runPanel = [&]() -> QWidget* {
        sim.clock.after(std::chrono::milliseconds(50), [&] {
            QMetaObject::invokeMethod(menu.data(), &QWidget::close, Qt::QueuedConnection);
        });
        sim.clock.wait(std::chrono::milliseconds(100));
        EXPECT_TRUE(menu) << "still there while its handler runs";
        return nullptr;
    };
    menu->Command2->click();
    flushDeletes();
    EXPECT_FALSE(menu);
}

TEST_F(MenuTest, KeysReachTheWindowFirstWhicheverControlHasTheFocus) {
    auto* previewing = new PreviewingMenu(sim.services);
    menu = previewing;
    menu->show();
    int clicks = 0;
    sim.services.windows.editor = [&]() -> QWidget* {
        ++clicks;
        return nullptr;
    };
    QTest::keyClick(menu->Command1, Qt::Key_F12);
    QTest::keyClick(menu->Command2, Qt::Key_A);
    QTest::keyClick(menu.data(), Qt::Key_F12);
    EXPECT_EQ(previewing->keys, (std::vector<int>{Qt::Key_F12, Qt::Key_A, Qt::Key_F12}));
    EXPECT_EQ(clicks, 0);
}
