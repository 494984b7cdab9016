// The fault history window from the editor: the simulated drive's history on Ctrl+H, the report,
// the clear question (No writes nothing, Yes clears and the view empties), and offline a loaded
// file's history. The history's texts are the records' test.

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
        view = editor->findChild<FaultHistoryWindow*>(QStringLiteral("faultHistoryWindow"));
        EXPECT_TRUE(view && view->isVisible());
        return view;
    }
    // The cells of a row, joined by '|'.
    QString row(int r) {
        auto* table = view->findChild<QTableWidget*>(QStringLiteral("faultTable"));
        QStringList cells;
        for (int c = 0; c < 5; ++c) cells << (table->item(r, c) ? table->item(r, c)->text() : "");
        return cells.join('|');
    }
    void press(const char* name) {
        QTest::mouseClick(view->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    FaultHistoryWindow* view = nullptr;
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
    ASSERT_TRUE(openView());
    EXPECT_EQ(row(0).toStdString(),
              "最新|20：參數設定錯誤1(ErP1)：P05.03~P05.12(DI重復設定)|[ErP1]|1200|10.0 小時前");
    QStringList on;
    for (const char* name : {"M0", "M1", "M3", "RL1", "RL2", "DO1"})
        if (view->findChild<QLabel*>(QStringLiteral("terminal_") + name)->property("on").toBool())
            on << name;
    EXPECT_EQ(on.join(' '), "M0 M3 RL1 DO1");
    screenshot(view, "faultHistory.png");

    // 匯出報告 in either form, as the file's name says.
    for (const char* name : {"Report.html", "Report.pdf"}) {
        const QString report = desktopFile(QLatin1String(name));
        s.dialogs.answerInputs({report});
        press("exportButton");
        EXPECT_THAT(fileBytes(report),
                    ::testing::StartsWith(name[7] == 'h' ? "<!DOCTYPE html>" : "%PDF"));
    }
    // The history read goes into it (the rest of its words: the CLI's report test).
    EXPECT_THAT(fileBytes(desktopFile("Report.html")),
                ::testing::HasSubstr("20：參數設定錯誤1(ErP1)"));

    // No (the default): nothing written, the history stays. Yes: P17.08 = 8, then empty.
    s.drive.clearWriteLog();
    press("clearButton");
    EXPECT_EQ(std::pair(s.dialogs.shown().back().kind, s.dialogs.shown().back().enterGives),
              std::pair(ShownDialog::Kind::Question, Answer::No));
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_THAT(row(0).toStdString(), ::testing::HasSubstr("[ErP1]"));
    s.dialogs.answerQuestions({Answer::Yes});
    press("clearButton");
    ASSERT_FALSE(s.drive.writeLog().empty());
    EXPECT_EQ(std::tuple(s.drive.writeLog().front().reg, s.drive.writeLog().front().value),
              std::tuple(546, 8));
    EXPECT_EQ(row(0).toStdString(), "|無異常記錄|||");
}

TEST_F(FaultHistoryView, OfflineALoadedFilesHistory) {
    writeFile(desktopFile(), fileOf({{403, "3"}, {424, "7"}, {543, "9"}}));
    open(true);
    s.dialogs.answerInputs({desktopFile()});
    shortcut(Qt::Key_O);
    ASSERT_TRUE(openView());
    EXPECT_THAT(row(0).toStdString(), ::testing::EndsWith("|[ocA]|7|2.0 小時前"));
    EXPECT_FALSE(view->findChild<QPushButton*>(QStringLiteral("clearButton"))->isEnabled());
}

}  // namespace
