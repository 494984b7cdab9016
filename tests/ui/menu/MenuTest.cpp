// The mode menu: the hand-overs, the developers' bulk write and several drives on one line.

#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include "model/FaultRegisters.h"
#include "platform/ChangeLogFile.h"
#include "support/Files.h"
#include "support/LoggedChanges.h"
#include "support/SimServices.h"
#include "support/Widgets.h"
#include "ui/editor/ParameterEditor.h"
#include "ui/menu/ModeMenu.h"
#include "ui/run/RunPanel.h"

using namespace velorin;

namespace {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.clock.setPump([] { QCoreApplication::processEvents(); });
        sim.services.setLink({1, Framing::Ascii, false, 1, "9600,N,7,2"});
        menu->show();
    }
    void TearDown() override { delete menu.data(); }
    void reopen() {
        delete menu.data();
        menu = new ModeMenu(sim.services);
        menu->show();
    }

    test::SimServices sim;
    QPointer<ModeMenu> menu = new ModeMenu(sim.services);
    QTemporaryDir logFolder;
    ChangeLogFile log{logFolder.filePath("changes.log")};  // in use once a test sets it
    QPushButton* button(const char* name) { return test::child<QPushButton>(menu, name); }
};

// The editor closes the menu once it has read its first page; the run panel comes up first.
TEST_F(MenuTest, EachButtonHandsOverAndTheMenuCloses) {
    QPointer<QWidget> opener;
    sim.services.windows.editor = [&](const Opening& o) {
        return opener = o.opener, nullptr;
    };
    button("editorButton")->click();
    EXPECT_TRUE(menu->isVisible());
    EXPECT_FALSE(button("editorButton")->isEnabled() || button("runPanelButton")->isEnabled());
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
        sim.services.portLost = lost;
        reopen();
        EXPECT_EQ(test::child<QLabel>(menu, "statusLine")->text(),
                  lost ? "COM1（SIM1）　通訊埠已中斷" : "COM1（SIM1）　9600,N,7,2　ASCII　站號 1");
    }
    bool upWhenPanelShown = false;
    sim.services.windows.runPanel = [&](auto&) {
        return upWhenPanelShown = menu->isVisible(), nullptr;
    };
    button("runPanelButton")->click();
    EXPECT_TRUE(upWhenPanelShown);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(menu) << "closed";

    // 中斷連線, or Ctrl+D: the connection screen again, the menu gone with its port.
    for (bool byKey : {false, true}) {
        reopen();
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

// The menu is never deleted under the run panel's entry.
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
        button("runPanelButton")->click();
        button("editorButton")->click();
        QMetaObject::invokeMethod(menu.data(), "onRunPanelClicked", Qt::DirectConnection);
        menu->close();
        EXPECT_TRUE(menu->isVisible()) << "held while its handler runs";
    });
    button("runPanelButton")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(panels, editors), std::tuple(1, 0));
    EXPECT_FALSE(menu) << "closed after the panel came up";
    EXPECT_EQ(sim.drive.reg(248), 40000);

    ASSERT_TRUE(panel && panel->isVisible());
    panel->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(std::tuple(sim.drive.reg(248), sim.drive.reg(32)), std::tuple(6000, 5000));
}

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
    QTest::keyClick(button("editorButton"), Qt::Key_F12);
    ASSERT_EQ(sim.dialogs.shown().size(), 2u);
    EXPECT_EQ(sim.dialogs.shown()[1].text,
              QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
                  .filePath("Develop"));
    EXPECT_FALSE(QDir(folder).exists());
    QDir().mkpath(folder);
    sim.dialogs.clear();

    sim.dialogs.answerInputs({QString("7094")});
    QTest::keyClick(button("editorButton"), Qt::Key_F12);
    EXPECT_EQ(sim.dialogs.messages(), std::vector<QString>{"密碼錯誤!!"});
    EXPECT_TRUE(sim.drive.writeLog().empty());

    sim.dialogs.clear();
    sim.services.changeLog = &log;
    bool lockedDuringWrite = false;
    sim.dialogs.onShow([&](const auto&) {
        lockedDuringWrite = !button("editorButton")->isEnabled() && line->isVisible();
        if (!QFile::exists(file))
            test::writeFile(file, "P256 5\r\nP123 -10\r\n");
    });
    sim.dialogs.answerInputs({QString("7093"), file});
    QTest::keyClick(button("editorButton"), Qt::Key_F12);
    EXPECT_TRUE(lockedDuringWrite);
    EXPECT_EQ(sim.dialogs.shown()[1].text, folder);
    EXPECT_TRUE(button("editorButton")->isEnabled() && button("runPanelButton")->isEnabled() && !line->isVisible());
    EXPECT_EQ(sim.dialogs.shown().back().title, "開發功能");  // its words are the texts' test
    // Its lines in the change log, the drive's values before not known: both written.
    EXPECT_EQ(test::shortChanges(log.path()),
              (std::vector<std::string>{"P09.10 >5 >0.05 已確認 開發參數寫入 set.txt",
                                        "P04.08 >-10 > 已確認 開發參數寫入 set.txt"}));
}

// P00.03, a plain number on the editor's first page.
constexpr int kPlainNumber = 3;

class DriveSwitchTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        SimulatedDrive* drives[] = {&sim.drive, &second, &third};
        for (int i = 0; i < 3; ++i) {
            drives[i]->setLink(static_cast<std::uint8_t>(i + 1), 1, 0);  // 9600,N,7,2
            drives[i]->setReg(kPlainNumber, static_cast<std::uint16_t>(111 * (i + 1)));
            drives[i]->setReg(faultregs::kModel, static_cast<std::uint16_t>(30 + i));
            if (i > 0)
                sim.line.addDrive(*drives[i]);
        }
        sim.services.drives = {{1, 30, 100}, {2, 31, 200}, {3, 32, 300}};
        sim.services.windows.editor = [this](const Opening& opening) {
            editor = showParameterEditor(sim.services, core, opening);
            return editor.data();
        };
        reopen();
    }
    void TearDown() override {
        MenuTest::TearDown();
        delete editor.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QComboBox* driveList() { return test::child<QComboBox>(menu, "driveList"); }
    QString status() { return test::child<QLabel>(menu, "statusLine")->text(); }
    QStringList entries() {
        QStringList out;
        for (int i = 0; i < driveList()->count(); ++i) out << driveList()->itemText(i);
        return out;
    }
    void switchTo(const QString& typed) {
        driveList()->setEditText(typed);
        button("switchDriveButton")->click();
    }

    SimulatedDrive second, third;
    std::shared_ptr<EditorCore> core = std::make_shared<EditorCore>();
    QPointer<QWidget> editor;
};

TEST_F(DriveSwitchTest, AfterASwitchTheEditorReadsAndWritesTheSecondDriveOnly) {
    EXPECT_EQ(entries(), QStringList({"站號 1　機種 30", "站號 2　機種 31", "站號 3　機種 32"}));
    driveList()->setCurrentIndex(1);
    button("switchDriveButton")->click();
    EXPECT_EQ(sim.services.link().station, 2);
    EXPECT_EQ(status(), "COM1（SIM1）　9600,N,7,2　ASCII　站號 2");

    sim.services.changeLog = &log;
    button("editorButton")->click();
    ASSERT_TRUE(editor);
    auto* field = test::child<QComboBox>(editor, "field3");
    EXPECT_EQ(field->currentText(), "222");
    field->setEditText("250");
    QApplication::setActiveWindow(editor);
    QTest::keyClick(editor, Qt::Key_T, Qt::ControlModifier);  // write the pages read
    EXPECT_TRUE(sim.drive.writeLog().empty() && third.writeLog().empty());
    EXPECT_EQ(
        std::tuple(sim.drive.reg(kPlainNumber), second.reg(kPlainNumber), third.reg(kPlainNumber)),
        std::tuple(111, 250, 333));
    const auto logged = test::loggedChanges(log.path());
    ASSERT_FALSE(logged.empty());
    for (const ChangeEntry& e : logged) EXPECT_EQ(e.station, 2) << e.code;
}

// A drive whose station the editor writes keeps its entry under the new station; the line's
// list once went on naming the station it had left.
TEST_F(DriveSwitchTest, AStationWrittenInTheEditorMovesTheDrivesEntry) {
    switchTo(QStringLiteral("2"));
    button("editorButton")->click();
    ASSERT_TRUE(editor);
    test::child<QToolButton>(editor, "pageTab25")->click();  // P15: the link parameters
    test::child<QComboBox>(editor, "field496")->setEditText("5");
    sim.dialogs.answerQuestions({Answer::Yes, Answer::Yes});  // P15.03 as the drive has it: left out
    QApplication::setActiveWindow(editor);
    QTest::keyClick(editor, Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(std::tuple(second.station(), sim.services.link().station), std::tuple(5, 5));
    reopen();
    EXPECT_EQ(entries(), QStringList({"站號 1　機種 30", "站號 3　機種 32", "站號 5　機種 31"}));
    EXPECT_EQ(driveList()->currentText(), "站號 5　機種 31");

    // At another rate the others no longer answer where the link goes: only this drive is listed.
    test::child<QComboBox>(editor, "field497")->setCurrentIndex(2);  // 19200
    QTest::keyClick(editor, Qt::Key_T, Qt::ControlModifier);
    reopen();
    EXPECT_EQ(entries(), QStringList({"站號 5　機種 31"}));
}

// A station typed is probed before it is used.
TEST_F(DriveSwitchTest, AStationTypedIsUsedOnlyOnceADriveAnswersThere) {
    sim.services.drives.clear();  // found by a probe: the line's other drives unknown
    reopen();
    EXPECT_EQ(entries(), QStringList({"站號 1"}));

    const struct {
        const char* typed;
        int station;
        const char* box;
    } cases[] = {
        {"9", 1, "連線錯誤: 站號 9 未偵測到變頻機，請檢查站號與連線。"},
        {"248", 1, "站號錯誤: 站號範圍為1~247，請重新輸入。"},
        {"3", 3, ""},
        {"1", 1, ""},    // back to a drive of the list: no probe needed
        {"3\n", 3, ""},  // typed and Enter: the switch, not the editor
    };
    int editors = 0;
    sim.services.windows.editor = [&](const Opening&) -> QWidget* { return ++editors, nullptr; };
    for (const auto& c : cases) {
        sim.dialogs.clear();
        QString typed = QString::fromLatin1(c.typed);
        if (typed.endsWith('\n')) {
            driveList()->lineEdit()->selectAll();
            QTest::keyClicks(driveList()->lineEdit(), typed.chopped(1));
            QTest::keyClick(driveList()->lineEdit(), Qt::Key_Return);
        } else {
            switchTo(typed);
        }
        EXPECT_EQ(sim.dialogs.boxes(), c.box) << c.typed;
        EXPECT_EQ(sim.services.link().station, c.station) << c.typed;
        EXPECT_TRUE(button("switchDriveButton")->isEnabled());
    }
    EXPECT_EQ(entries(), QStringList({"站號 1", "站號 3　機種 32"}));
    EXPECT_EQ(editors, 0);
    for (const SimulatedDrive* d : {&sim.drive, &second, &third})
        EXPECT_TRUE(d->writeLog().empty());
}

// 全部備份 with the second drive silent: the summary names every drive with its outcome. What
// the run writes and leaves is the backup's own test (LineBackup.EachDriveIsToldItsOwnOutcome).
TEST_F(DriveSwitchTest, BackupOfEveryDriveGoesOnPastASilentOne) {
    second.setFaultMode(DriveFault{.kind = DriveFault::Kind::NoReply});
    QTemporaryDir folder;
    const QString day = QDate::currentDate().toString("yyyyMMdd");
    sim.dialogs.answerInputs({folder.path()});
    button("backupAllButton")->click();
    EXPECT_TRUE(QFileInfo::exists(folder.filePath(QString("S03_M32_%1.txt.json").arg(day))));
    ASSERT_EQ(sim.dialogs.shown().size(), 2u);  // the folder, then the summary
    EXPECT_EQ(sim.dialogs.shown().back().title + "\n" + sim.dialogs.shown().back().text,
              QString("全部備份\n全部備份：2 台成功，1 台失敗。\n資料夾：%1\n\n"
                      "站號 1　機種 30　已備份 S01_M30_%2.txt\n站號 2　機種 31　未回應\n"
                      "站號 3　機種 32　已備份 S03_M32_%2.txt")
                  .arg(QDir::toNativeSeparators(folder.path()), day));
    // The menu is at rest again, at the drive it used before.
    EXPECT_EQ(sim.services.link().station, 1);
    EXPECT_TRUE(button("backupAllButton")->isEnabled() && button("editorButton")->isEnabled());
    EXPECT_FALSE(test::child<QLineEdit>(menu, "progressLine")->isVisible());

    // A port another program holds is told as such, not as every drive's failure.
    sim.line.setHeldElsewhere(true);
    sim.dialogs.clear();
    sim.dialogs.answerInputs({folder.path()});
    button("backupAllButton")->click();
    EXPECT_EQ(sim.dialogs.messages(),
              std::vector<QString>{"無法開啟通訊埠，請確認連接埠未被其他程式占用。"});
}

}  // namespace
