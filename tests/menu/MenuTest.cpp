// The mode menu: the progress line's dots and the hand-over to the editor and the run panel.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "menu/Select.h"
#include "support/SimServices.h"

using namespace velorin;

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override { menu->show(); }
    void TearDown() override { delete menu.data(); }

    test::SimServices sim;
    QPointer<Form2> menu = new Form2(sim.services);
};

TEST_F(MenuTest, ProgressLineGrowsToTwelveDotsThenStartsAgain) {
    const QString bare = "開發參數寫入中，請稍候";
    menu->Text1->setText(bare);
    for (int tick = 1; tick <= 12; ++tick) menu->Timer2_Timer();
    EXPECT_EQ(menu->Text1->text(), bare + "............");
    menu->Timer2_Timer();
    EXPECT_EQ(menu->Text1->text(), bare);
}

TEST_F(MenuTest, EditorButtonDisablesBothButtonsUntilTheEditorClosesTheMenu) {
    sim.services.windows.editor = [] { return nullptr; };
    menu->Command1->click();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(menu->Command1->isEnabled() || menu->Command2->isEnabled());
    closeModeMenus();  // the editor has read its first page
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(menu) << "closed";
}

TEST_F(MenuTest, RunPanelButtonShowsThePanelThenClosesTheMenu) {
    bool upWhenPanelShown = false;
    sim.services.windows.runPanel = [&]() -> QWidget* {
        upWhenPanelShown = menu->isVisible();
        return nullptr;
    };
    menu->Command2->click();
    EXPECT_TRUE(upWhenPanelShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(menu) << "closed";
}
