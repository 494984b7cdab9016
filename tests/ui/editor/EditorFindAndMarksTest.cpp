// The editor window's aids: find, marks, 讀取全部, the questions before a write, the compare and
// fault history windows. What they find is the core's test (tests/editor/EditorFindMarksTest.cpp).

#include <gmock/gmock.h>

#include "EditorFixture.h"
#include "editor/EditorCore.h"
#include "ui/diagnosis/FaultHistoryWindow.h"
#include "ui/editor/CompareWindow.h"

using namespace velorin;
using namespace velorin::test;

namespace {

using namespace std::chrono_literals;

class EditorAids : public EditorFixture {
protected:
    QLineEdit* findText() { return find<QLineEdit>(QStringLiteral("findText")); }
    QListWidget* results() { return find<QListWidget>(QStringLiteral("findResults")); }
    QWidget* findPanel() { return find<QWidget>(QStringLiteral("findPanel")); }
    void pick(int reg, int position) {
        field(reg)->setCurrentIndex(position);
        emit field(reg)->activated(position);
    }
    void escape() {
        QApplication::setActiveWindow(editor);
        QTest::keyClick(editor, Qt::Key_Escape);
    }
    bool changedMark(int reg) {
        return field(reg)->font().bold() && field(reg)->styleSheet().contains("#d55e00");
    }
    bool factoryMark(int reg) { return field(reg)->styleSheet().contains("#dcebf7"); }
};

TEST_F(EditorAids, CtrlFFindsAFieldOnAnUnreadPageReadsItAndFocusesTheField) {
    open();
    shortcut(Qt::Key_F);
    EXPECT_TRUE(findPanel()->isVisible() && findText()->hasFocus());
    QTest::keyClicks(findText(), "9.1");
    ASSERT_EQ(results()->count(), 11);  // P09.01, then P09.10-P09.19
    for (int i = 0; i < 7; ++i) QTest::keyClick(findText(), Qt::Key_Down);
    QTest::keyClick(findText(), Qt::Key_Up);
    EXPECT_TRUE(results()->currentItem()->text().startsWith("P09.15　IM1額定線電流　（P09-1）"));
    record.clear();
    QTest::keyClick(findText(), Qt::Key_Return);
    EXPECT_EQ(std::pair(record.firstReads(), currentPage()), std::pair(span(246, 269), 12));
    EXPECT_TRUE(field(261)->hasFocus() && field(261)->property("found").toBool());
    EXPECT_FALSE(findPanel()->isVisible());
    // The list floats over the tab strip and the page, which keep their places.
    shortcut(Qt::Key_F);
    QApplication::processEvents();
    auto* pages = find<QStackedWidget>(QStringLiteral("pages"));
    const auto place = [this](QWidget* w) { return QRect(w->mapTo(editor, QPoint()), w->size()); };
    const QRect page = place(pages);
    findText()->setText(QStringLiteral("額定電流"));  // typed through an input method
    QApplication::processEvents();
    EXPECT_EQ(results()->count(), 4);  // what it finds is the core's test
    EXPECT_EQ(place(pages), page);
    EXPECT_TRUE(place(results()).intersects(page.united(place(tab(0)))));
    QTest::keyClicks(findText(), "xyz");
    ASSERT_EQ(results()->count(), 1);
    EXPECT_EQ(results()->item(0)->text(), "沒有符合的參數");
    escape();
    EXPECT_FALSE(findPanel()->isVisible());
}

TEST_F(EditorAids, MarksFollowTypingAndAConfirmedWriteAndTheTabShowsAChangedPage) {
    open();
    typeInto(2, "9");
    EXPECT_TRUE(changedMark(2) && factoryMark(2));
    // Bold in the field's own face and size.
    field(2)->ensurePolished();
    const QFont changed = field(2)->font(), plain = field(3)->font();
    EXPECT_EQ(std::tuple(changed.bold(), changed.family(), changed.pointSizeF(),
                         QFontInfo(changed).family()),
              std::tuple(!plain.bold(), plain.family(), plain.pointSizeF(),
                         QFontInfo(plain).family()));
    EXPECT_EQ(tab(0)->text(), "P00 •");
    typeInto(2, "6");  // back to the drive's value
    field(2)->ensurePolished();
    EXPECT_FALSE(changedMark(2) || factoryMark(2) || field(2)->font().bold());
    EXPECT_EQ(tab(0)->text(), "P00");
    // The write the drive confirms clears the changes and leaves what differs from the factory.
    typeInto(2, "9");
    shortcut(Qt::Key_T);
    EXPECT_EQ(s.drive.reg(2), 9);
    EXPECT_TRUE(!changedMark(2) && factoryMark(2));
    EXPECT_EQ(tab(0)->text(), "P00");
    // The tooltip's text is the core's test; here that it follows the write.
    EXPECT_TRUE(field(2)->toolTip().endsWith("變頻機的值：6\n原始值：6"));
}

TEST_F(EditorAids, ReadAllStopsAtEscBetweenRegistersAndOtherwiseReadsEveryPage) {
    open();
    QString shown;
    during(300ms, [&] {
        shown = progress()->text();
        escape();
    });
    record.clear();
    find<QAction>(QStringLiteral("readAllItem"))->trigger();
    EXPECT_TRUE(shown.startsWith("讀取全部：P01-1（第 1/29 頁），暫存器 ") && shown.contains("約剩"))
        << shown.toStdString();
    EXPECT_EQ(progress()->text(), "讀取全部已停止。");
    EXPECT_FALSE(s.line.isHeld() && editor->core().line()->busy());
    EXPECT_TRUE(record.reads().size() < 24u && !core->pagePresent(1)) << record.reads().size();
    // Again to the end: every page is present, and a save holds them.
    record.clear();
    find<QAction>(QStringLiteral("readAllItem"))->trigger();
    for (int page = 0; page < kPageCount; ++page) EXPECT_TRUE(core->pagePresent(page)) << page;
    EXPECT_EQ(std::pair(progress()->isVisible(), currentPage()), std::pair(false, 0));
    EXPECT_NE(core->fileText(false).find("\nP548 "), std::string::npos);
}

TEST_F(EditorAids, AResetAndAnErPSettingAreAskedAboutBeforeTheWriteAndNoWritesNothing) {
    open();
    // The page, the choices made on it, the question (its text is the core's DriveWarnings).
    const std::tuple<int, std::vector<std::pair<int, int>>, const char*> cases[] = {
        {28, {{546, 2}},
         "P17.08 將重置變頻機全部參數為出廠值，通訊設定將回到 9600,N,7,2、站號 1。是否繼續？"},
        {7, {{546, 0}, {149, 1}, {150, 1}},
         "寫入後變頻機可能顯示 ErP1 P05.03、P05.04 同為 1：運轉許可，是否仍要寫入？"}};
    for (const auto& [page, picks, question] : cases) {
        click(tab(page));
        for (auto [reg, position] : picks) pick(reg, position);
        s.dialogs.clear();
        s.dialogs.answerQuestions({Answer::No});
        record.clear();
        shortcut(Qt::Key_T);
        EXPECT_EQ(s.dialogs.questions(), std::vector<QString>{QString::fromUtf8(question)});
        // Enter keeps the drive as it is (the boxes once took Enter as Yes).
        EXPECT_EQ(s.dialogs.shown().back().enterGives, Answer::No);
        EXPECT_TRUE(record.requests().empty());
    }
    s.dialogs.answerQuestions({Answer::Yes});
    shortcut(Qt::Key_T);
    EXPECT_EQ(std::tuple(s.drive.reg(149), s.drive.reg(150)), std::tuple(1, 1));
}

// The curve's points and what is out of order are the core's test (Marks.TheVfCurveFollows...).
TEST_F(EditorAids, TheVfCurveOnItsPageAndAScreenshotWithMarksAndTheFindBox) {
    s.drive.setReg(247, 4);  // P09.01 away from the factory value, as read
    open();
    editor->showNormal();
    editor->resize(1280, 800);
    click(tab(12));
    auto* plot = find<QWidget>(QStringLiteral("vfCurve12"));
    EXPECT_TRUE(find<QWidget>("vfCurve15") && !editor->findChild<QWidget*>("vfCurve13"));
    typeInto(250, "1.00");  // fe3 below fe2, drawn apart
    shortcut(Qt::Key_F);  // the picture's find box (the marks and the find are tested above)
    QTest::keyClicks(findText(), "P09.0");
    screenshot(editor, "parameterEditorMarks.png");
    screenshot(plot, "vfCurve.png");
}

class EditorCompare : public EditorFixture {
protected:
    template <class T>
    T* inWindow(const char* name) {
        auto* w = editor->findChild<QWidget*>("compareWindow")->findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    QTableWidget* table() { return inWindow<QTableWidget>("compareTable"); }
    std::vector<QStringList> rows() {
        std::vector<QStringList> out(1);
        for (int c = 0; c < table()->columnCount(); ++c)
            out[0] << table()->horizontalHeaderItem(c)->text();
        for (int r = 0; r < table()->rowCount(); ++r) {
            out.emplace_back();
            for (int c = 0; c < table()->columnCount(); ++c)
                out.back() << table()->item(r, c)->text();
        }
        return out;
    }
};

TEST_F(EditorCompare, CtrlMComparesAChosenFileWithoutLoadingItAndADoubleClickShowsTheField) {
    s.drive.setReg(2, 9);  // P00.02
    open();
    enter(2, QStringLiteral("7"));
    shortcut(Qt::Key_M);
    // A file of pages P00 and P01-2 at the factory values but for P00.02 and P01.24.
    writeFile(desktopFile("Other.txt"), fileOf({{2, "5"}}, 0, 22, factoryDriveValue) +
                                            fileOf({{49, "1500"}}, 49, 54, factoryDriveValue));
    const EditorCore::Values working = core->working();
    record.clear();
    s.dialogs.answerInputs({desktopFile("Other.txt")});
    click(inWindow<QPushButton>("chooseCompareFile"));
    inWindow<QCheckBox>("compareFactory")->setChecked(true);
    ASSERT_EQ(rows(),
              (std::vector<QStringList>{{"代碼", "名稱", "變頻機", "編輯器", "Other.txt", "出廠值"},
                                        {"P00.02", "監看變數LPF時間", "9", "7", "5", "6"},
                                        {"P01.24", "跳躍頻率1", "", "", "15.00", "0.00"}}));
    // The editor shows and holds what it did, and its pages stay unread.
    EXPECT_EQ(field(2)->currentText(), "7");
    EXPECT_EQ(core->working(), working);
    EXPECT_TRUE(!core->pagePresent(2) && record.requests().empty());
    screenshot(table()->window(), "compare.png");

    // A mouse's double click on P01.24: page P01-2 is read, then its field has the focus.
    const QPoint cell = table()->visualItemRect(table()->item(1, 0)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(record.firstReads(), span(49, 54));
    EXPECT_EQ(std::pair(currentPage(), field(49)->hasFocus()), std::pair(2, true));
}

TEST_F(EditorCompare, OfflineComparesTheFieldsWithTheFactoryValuesAndSavesTheTableAsCsv) {
    // As after a visit to a drive whose P13.35 was at its factory value.
    core->copies().pidDecimals = 2;
    open(true);
    enter(2, QStringLiteral("9"));
    field(0)->setCurrentIndex(2);
    find<QAction>(QStringLiteral("compareItem"))->trigger();
    EXPECT_FALSE(inWindow<QCheckBox>("compareDrive")->isVisibleTo(table()->window()));
    EXPECT_EQ(inWindow<QLabel>("compareSummary")->text(), "2 項不同，共 487 項");
    s.dialogs.answerInputs({desktopFile("比較.csv")});
    click(inWindow<QPushButton>("saveCompareCsv"));
    EXPECT_EQ(fileBytes(desktopFile("比較.csv")),
              "代碼,名稱,編輯器,出廠值\n"
              "P00.00,開機顯示畫面選擇,2：顯示實際運轉頻率(H),0：顯示設定頻率(F)\n"
              "P00.02,監看變數LPF時間,9,6\n");
}

// The name column takes what is left, else the widest are cut to one width.
TEST(CompareColumns, FillTheWidthCuttingTheWidestFirst) {
    const struct {
        std::vector<int> natural;
        int available;
        std::vector<int> widths;
    } cases[] = {
        {{50, 100, 80, 80}, 400, {50, 190, 80, 80}},
        {{100, 100}, 200, {100, 100}},
        {{50, 150, 400, 300}, 600, {50, 150, 200, 200}},
        {{50, 150, 400, 300}, 100, {25, 25, 25, 25}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fittedColumnWidths(c.natural, c.available, 1), c.widths) << c.available;
}

// The fault history window (Ctrl+H); the history's texts are the records' test.

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
    screenshot(view, "faultHistory.png");

    // 匯出報告 holds the history read (its forms and the rest of its words: the CLI's report test).
    s.dialogs.answerInputs({desktopFile("Report.html")});
    press("exportButton");
    EXPECT_THAT(fileBytes(desktopFile("Report.html")),
                ::testing::HasSubstr("20：參數設定錯誤1(ErP1)"));

    // No (the default): nothing written, the history stays. Yes: cleared (P17.08 = 8: the fault
    // history read's test), read again and empty.
    s.drive.clearWriteLog();
    press("clearButton");
    EXPECT_EQ(std::pair(s.dialogs.shown().back().kind, s.dialogs.shown().back().enterGives),
              std::pair(ShownDialog::Kind::Question, Answer::No));
    EXPECT_TRUE(s.drive.writeLog().empty());
    EXPECT_THAT(row(0).toStdString(), ::testing::HasSubstr("[ErP1]"));
    s.dialogs.answerQuestions({Answer::Yes});
    press("clearButton");
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
