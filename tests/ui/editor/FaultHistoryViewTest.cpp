// The fault history window from the editor: the simulated drive's history on Ctrl+H, the clear
// question (No writes nothing, Yes writes P17.08 = 8 and the view empties), and offline a loaded
// file's history.

#include <gmock/gmock.h>

#include "EditorFixture.h"
#include "ui/diagnosis/FaultHistoryWindow.h"

using namespace velorin;
using namespace velorin::test;

namespace {

class FaultHistoryView : public EditorFixture {
protected:
    FaultHistoryWindow* openView() {
        shortcut(Qt::Key_H);
        auto* view = editor->findChild<FaultHistoryWindow*>(QStringLiteral("faultHistoryWindow"));
        EXPECT_TRUE(view && view->isVisible());
        return view;
    }
    QString cell(FaultHistoryWindow* view, int row, int column) {
        const QTableWidgetItem* item =
            view->findChild<QTableWidget*>(QStringLiteral("faultTable"))->item(row, column);
        return item ? item->text() : QString();
    }
    bool terminalOn(FaultHistoryWindow* view, const char* name) {
        auto* label = view->findChild<QLabel*>(QStringLiteral("terminal_") + QLatin1String(name));
        EXPECT_TRUE(label) << name;
        return label && label->property("on").toBool();
    }
};

TEST_F(FaultHistoryView, TheDrivesHistoryAndItsClearing) {
    const RecordedFault faults[] = {{20, 1200}, {6, 1190}};
    s.drive.setFaultHistory(faults);
    s.drive.setReg(543, 1210);
    s.drive.setReg(421, 0b1001);  // M0 and M3 on at the fault
    for (auto [reg, value] : {std::pair{411, 5000}, {412, 4870}, {413, 1440}, {414, 3620},
                              {415, 412}, {416, 3110}, {422, 0b101}, {423, 412}})
        s.drive.setReg(reg, static_cast<std::uint16_t>(value));
    open();
    FaultHistoryWindow* view = openView();
    ASSERT_TRUE(view);
    EXPECT_EQ(cell(view, 0, 0), "最新");
    EXPECT_EQ(cell(view, 0, 2), "[ErP1]");
    EXPECT_EQ(cell(view, 0, 3), "1200");
    EXPECT_EQ(cell(view, 0, 4), "10.0 小時前");
    EXPECT_EQ(cell(view, 1, 1), "6：過負載(oL)");
    EXPECT_TRUE(terminalOn(view, "M0") && terminalOn(view, "M3"));
    EXPECT_TRUE(terminalOn(view, "RL1") && terminalOn(view, "DO1"));
    EXPECT_FALSE(terminalOn(view, "M1") || terminalOn(view, "RL2"));
    if (qEnvironmentVariableIsSet("VELORIN_SCREENSHOT_DIR")) {  // the README's picture
        QApplication::processEvents();
        EXPECT_TRUE(view->grab().save(
            QDir(qEnvironmentVariable("VELORIN_SCREENSHOT_DIR")).filePath("faultHistory.png")));
    }

    // 匯出報告: the report of what the editor read, the history in it.
    for (const char* name : {"Report.html", "Report.pdf"}) {
        const QString report = desktopFile(QLatin1String(name));
        s.dialogs.answerInputs({report});
        QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("exportButton")),
                          Qt::LeftButton);
        EXPECT_THAT(fileBytes(report),
                    ::testing::StartsWith(name[7] == 'h' ? "<!DOCTYPE html>" : "%PDF"));
    }
    EXPECT_THAT(fileBytes(desktopFile("Report.html")),
                ::testing::AllOf(::testing::HasSubstr("變頻機維修報告"),
                                 ::testing::HasSubstr("20：參數設定錯誤1(ErP1)")));

    // No: nothing written, the history stays. The question's default is No.
    s.drive.clearWriteLog();
    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("clearButton")), Qt::LeftButton);
    ASSERT_EQ(s.dialogs.shown().back().kind, ShownDialog::Kind::Question);
    EXPECT_EQ(s.dialogs.shown().back().enterGives, Answer::No);
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_EQ(cell(view, 0, 2), "[ErP1]");

    // Yes: P17.08 = 8, then read again: empty.
    s.dialogs.answerQuestions({Answer::Yes});
    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("clearButton")), Qt::LeftButton);
    ASSERT_FALSE(s.drive.writeLog().empty());
    EXPECT_EQ(std::tuple(s.drive.writeLog().front().reg, s.drive.writeLog().front().value),
              std::tuple(546, 8));
    EXPECT_EQ(cell(view, 0, 1), "無異常記錄");
    EXPECT_TRUE(view->history() && view->history()->records.empty());
}

TEST_F(FaultHistoryView, OfflineALoadedFilesHistory) {
    std::string file;
    for (int reg = 0; reg <= 548; ++reg) {
        const int value = reg == 403 ? 3 : reg == 424 ? 7 : reg == 543 ? 9 : 0;
        file += "P" + std::to_string(reg) + " " + std::to_string(value) + "\r\n";
    }
    const QString path = desktopFile();
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << file;
    open(true);
    s.dialogs.answerInputs({path});
    shortcut(Qt::Key_O);
    FaultHistoryWindow* view = openView();
    ASSERT_TRUE(view);
    EXPECT_EQ(cell(view, 0, 2), "[ocA]");
    EXPECT_EQ(cell(view, 0, 4), "2.0 小時前");
    EXPECT_FALSE(view->findChild<QPushButton*>(QStringLiteral("clearButton"))->isEnabled());
}

}  // namespace
