// The mode menu: the hand-over to the editor and the run panel, and the developers' bulk write
// with its progress line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include "ui/menu/ModeMenu.h"
#include "platform/ChangeLogFile.h"
#include "ui/run/RunPanel.h"
#include "support/Files.h"
#include "support/LoggedChanges.h"
#include "support/SimServices.h"
#include "support/Widgets.h"

using namespace velorin;

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
        sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2"});
        menu->show();
    }
    void TearDown() override { delete menu.data(); }

    test::SimServices sim;
    QPointer<ModeMenu> menu = new ModeMenu(sim.services);
    QPushButton* editorButton() { return test::child<QPushButton>(menu, "editorButton"); }
    QPushButton* runPanelButton() { return test::child<QPushButton>(menu, "runPanelButton"); }
};

// The menu names the link found; the editor closes it once it has read its first page (both
// buttons locked until then); the run panel comes up while the menu is still there.
TEST_F(MenuTest, EachButtonHandsOverAndTheMenuCloses) {
    QPointer<QWidget> opener;
    sim.services.windows.editor = [&](const Opening& o) {
        return opener = o.opener, nullptr;
    };
    editorButton()->click();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(editorButton()->isEnabled() || runPanelButton()->isEnabled());
    // While the editor holds the menu, Ctrl+D takes nothing from under it.
    int screens = 0;
    sim.services.windows.connection = [&]() -> QWidget* { return ++screens, nullptr; };
    QApplication::setActiveWindow(menu);
    QTest::keyClick(menu, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(screens, 0);
    ASSERT_EQ(opener, menu);
    opener->close();  // as the editor does once it has read its first page
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(menu) << "closed";

    // After a lost port the menu names it so; entering a window opens the port again.
    for (bool lost : {true, false}) {
        delete menu.data();
        sim.services.portLost = lost;
        menu = new ModeMenu(sim.services);
        EXPECT_EQ(test::child<QLabel>(menu, "statusLine")->text(),
                  lost ? "COM1（SIM1）　通訊埠已中斷" : "COM1（SIM1）　9600,N,7,2　ASCII　站號 1");
    }
    bool upWhenPanelShown = false;
    sim.services.windows.runPanel = [&](auto&) {
        return upWhenPanelShown = menu->isVisible(), nullptr;
    };
    menu->show();
    runPanelButton()->click();
    EXPECT_TRUE(upWhenPanelShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(menu) << "closed";

    // 中斷連線, or Ctrl+D: the connection screen again, the menu gone with its port.
    for (bool byKey : {false, true}) {
        menu = new ModeMenu(sim.services);
        menu->show();
        QApplication::setActiveWindow(menu);
        if (byKey)
            QTest::keyClick(menu, Qt::Key_D, Qt::ControlModifier);
        else
            test::child<QPushButton>(menu, "disconnectButton")->click();
        EXPECT_EQ(screens, byKey ? 2 : 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(!menu && !sim.line.isHeld()) << "closed, its port let go";
    }
}

// During the run panel's entry a second click starts nothing and a close of the menu waits for
// the handler; the one panel puts its settings back when it closes.
TEST_F(MenuTest, ClicksAndCloseDuringTheRunPanelEntryWaitForIt) {
    using namespace std::chrono_literals;
    sim.drive.setReg(248, 6000);
    sim.drive.setReg(32, 5000);
    int panels = 0, editors = 0;
    QPointer<QWidget> panel;
    sim.services.windows.runPanel = [&](const Opening& opening) -> QWidget* {
        ++panels;
        return panel = showRunPanel(sim.services, opening);
    };
    sim.services.windows.editor = [&](const Opening&) -> QWidget* { return ++editors, nullptr; };
    sim.services.windows.menu = []() -> QWidget* { return nullptr; };
    sim.clock.after(30ms, [&] {
        runPanelButton()->click();
        editorButton()->click();
        QMetaObject::invokeMethod(menu.data(), "onRunPanelClicked", Qt::DirectConnection);
        menu->close();
        EXPECT_TRUE(menu->isVisible()) << "held while its handler runs";
    });
    runPanelButton()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(panels, editors), std::tuple(1, 0));
    EXPECT_FALSE(menu) << "closed after the panel came up";
    EXPECT_EQ(sim.drive.reg(248), 40000);

    ASSERT_TRUE(panel && panel->isVisible());
    panel->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(sim.drive.reg(248), sim.drive.reg(32)), std::tuple(6000, 5000));
}

// F12 with the developers' password writes the chosen file, the buttons locked and the progress
// line shown meanwhile; a wrong password does nothing else.
TEST_F(MenuTest, F12WritesAFileAfterThePassword) {
    // The progress line's dots, before any write: one a tick up to twelve, then the bare text.
    const QString bare = "開發參數寫入中，請稍候";
    auto* line = test::child<QLineEdit>(menu, "progressLine");
    auto* timer = test::child<QTimer>(menu, "progressTimer");
    line->setText(bare);
    for (int tick = 1; tick <= 12; ++tick) QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(line->text(), bare + "............");
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(line->text(), bare);
    const QString folder = QDir(sim.folders.programFolder()).filePath("Develop");
    const QString file = QDir(folder).filePath("set.txt");
    // The file dialog opens in the Develop folder beside the program, else the user's data folder.
    sim.dialogs.answerInputs({QString("7093")});
    QTest::keyClick(editorButton(), Qt::Key_F12);
    ASSERT_EQ(sim.dialogs.shown().size(), 2u);
    EXPECT_EQ(sim.dialogs.shown()[1].text,
              QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                  .filePath("Develop"));
    EXPECT_FALSE(QDir(folder).exists());
    QDir().mkpath(folder);
    sim.dialogs.clear();

    sim.dialogs.answerInputs({QString("7094")});
    QTest::keyClick(editorButton(), Qt::Key_F12);
    EXPECT_EQ(sim.dialogs.messages(), std::vector<QString>{"密碼錯誤!!"});
    EXPECT_TRUE(sim.drive.writeLog().empty());

    sim.dialogs.clear();
    QTemporaryDir logFolder;
    ChangeLogFile log(logFolder.filePath("changes.log"));
    sim.services.changeLog = &log;
    bool lockedDuringWrite = false;
    sim.dialogs.onShow([&](const auto&) {
        lockedDuringWrite = !editorButton()->isEnabled() && line->isVisible();
        if (!QFile::exists(file))
            test::writeFile(file, "P256 5\r\nP123 -10\r\n");
    });
    sim.dialogs.answerInputs({QString("7093"), file});
    QTest::keyClick(editorButton(), Qt::Key_F12);
    EXPECT_TRUE(lockedDuringWrite);
    EXPECT_EQ(sim.dialogs.shown()[1].text, folder);
    EXPECT_TRUE(editorButton()->isEnabled() && runPanelButton()->isEnabled() && !line->isVisible());
    ASSERT_FALSE(sim.dialogs.messages().empty());
    EXPECT_THAT(sim.dialogs.messages().back().toStdString(),
                testing::StartsWith("開發參數寫入完成：寫入 2 項，未確認 0 項"));
    // Its lines in the change log, the drive's values before not known: both written.
    EXPECT_EQ(test::shortChanges(log.path()),
              (std::vector<std::string>{"P09.10 >5 >0.05 已確認 開發參數寫入 set.txt",
                                        "P04.08 >-10 > 已確認 開發參數寫入 set.txt"}));
}
